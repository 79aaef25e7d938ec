// The serialized form of a design (its bytes are described in encoded_design.h), turning it back
// into a design of strings and values, and the text of a design for people.
//
// The decoder (encoded_design.cpp) trusts nothing: every count is at most 32,767 and at most what
// the bytes left can hold, every length fits in the bytes left, texts are UTF-8 (all but the
// database's path), tags are known and nothing is left over. Long names are not pooled: expanding
// a design builds a copy of a pooled name for every reference to it, so a pool of long names would
// let a few bytes stand for megabytes.
#include "design_codec.h"

#include "design_path.h"
#include "encoded_design.h"
#include "field_properties.h"
#include "format_error.h"
#include "text_codec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <stdexcept>
#include <unordered_map>

namespace engine {

namespace {

using namespace design_format;

// The kinds of objects that have property lists; each keeps its own memory of pooled names.
enum Kind { kField, kIndex, kRelation, kQuery, kKinds };

// Whether a number goes as a zigzag whole number (tag 4) rather than its 8 bytes: 1033 and -5 do,
// 0.5, -0, NaN, the infinities and 2^60 do not.
bool isSmallWhole(double v)
{
    return std::fabs(v) <= static_cast<double>(kLargestWhole) && std::trunc(v) == v && !(v == 0 && std::signbit(v));
}

// Writes v as an unsigned LEB128 number at into (room for 10 bytes): 300 -> AC 02. Returns the
// number of bytes written.
std::size_t numberBytes(char* into, std::uint64_t v)
{
    std::size_t n = 0;
    while (v >= 0x80) {
        into[n++] = static_cast<char>(v | 0x80);
        v >>= 7;
    }
    into[n++] = static_cast<char>(v);
    return n;
}

// Appends v as an unsigned LEB128 number: 300 -> AC 02.
void putNumber(std::string& out, std::uint64_t v)
{
    char bytes[10];
    out.append(bytes, numberBytes(bytes, v));
}

// Copies the n bytes at from to to and returns where the next byte goes; short runs, as most
// names are, without a call.
inline char* copyBytes(char* to, const char* from, std::size_t n)
{
    if (n >= 8 && n <= 16) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4 && n < 8) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n > 0 && n < 4) {  // the first, the middle and the last byte cover them
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    } else if (n > 0) {
        std::memcpy(to, from, n);
    }
    return to + n;
}

}  // namespace

// Writes a design into bytes, whole (encode) or as it is read (begin, table for each table, end,
// then finish). Refuses (std::length_error, std::invalid_argument) a design that the decoder
// would refuse, so that whatever is encoded decodes to the same design.
class DesignEncoder::Impl {
public:
    std::string encode(const DatabaseDesign& d)
    {
        begin(d.name, d.format, d.tables.size());
        for (const TableDesign& table : d.tables) this->table(table);
        end(d.relations, d.queries);
        return finish();
    }

    void begin(const std::string& name, FileFormat format, std::size_t tableCount)
    {
        format_ = format;
        body_->reserve(kChunkBytes + kChunkBytes / 4);
        // The database's path: its bytes as they are, since a path need not be UTF-8.
        putNumber(*body_, name.size());
        *body_ += name;
        count(tableCount, "the table count");
    }

    void table(const TableDesign& table)
    {
        tableWith(
            table.name, table.fields, table.indexes,
            [this](const FieldDesign& field) {
                text(field.name, "the name");
                properties(field.properties, kField);
            },
            [this](const IndexDesign& index) {
                text(index.name, "the name");
                text(index.fields, "the fields");
                properties(index.properties, kIndex);
            });
    }

    // The same bytes as table() gives for tableDesign(table), written straight from what the
    // reader found: no property list is made.
    void table(const TableFacts& table)
    {
        tableWith(
            table.name, table.fields, table.indexes, [&](const FieldFacts& field) { fieldAsRead(field, table.name); },
            [this](const IndexFacts& index) { indexAsRead(index); });
    }

    void end(const std::vector<RelationDesign>& relations, const std::vector<QueryDesign>& queries)
    {
        startChunkWhenFull();
        count(relations.size(), "the relation count");
        for (std::size_t r = 0; r < relations.size(); ++r) {
            const RelationDesign& relation = relations[r];
            path_.enter("relation", r);
            text(relation.name, "the name");
            text(relation.table, "the table");
            text(relation.foreignTable, "the foreign table");
            count(relation.fields.size(), "the field count");
            for (std::size_t f = 0; f < relation.fields.size(); ++f) {
                path_.enter("field", f);
                text(relation.fields[f].name, "the name");
                text(relation.fields[f].foreignName, "the foreign name");
                path_.leave();
            }
            properties(relation.properties, kRelation);
            path_.leave();
        }
        count(queries.size(), "the query count");
        for (std::size_t q = 0; q < queries.size(); ++q) {
            path_.enter("query", q);
            text(queries[q].name, "the name");
            properties(queries[q].properties, kQuery);
            path_.leave();
        }
    }

    // The signature, the format and the name pool: what goes before the body, known only once the
    // whole design is encoded.
    std::string head() const
    {
        std::string out(kSignature, sizeof kSignature);
        out += static_cast<char>(kVersion);
        out += static_cast<char>(formatByte(format_));
        putNumber(out, pool_.size());
        for (std::string_view name : pool_) {
            putNumber(out, name.size());
            out += name;
        }
        return out;
    }

    std::string finish()
    {
        std::string out = head();
        std::size_t size = out.size();
        for (const std::string& chunk : chunks_) size += chunk.size();
        out.reserve(size);
        for (const std::string& chunk : chunks_) out += chunk;
        return out;
    }

    // From now on the body's chunk goes to spill once it is full, with where it starts in the
    // body, and is then written over: the whole design is not held. finishSpill hands over the
    // last chunk and gives the head.
    void spillTo(std::function<bool(std::string_view, std::size_t)> spill)
    {
        spill_ = std::move(spill);
        while (chunks_.size() > 1) {  // chunks filled before: all but the one being written
            spillChunk(chunks_.front());
            chunks_.pop_front();
        }
    }

    std::string finishSpill(std::size_t& bodyBytes)
    {
        if (!body_->empty()) spillChunk(*body_);
        bodyBytes = spilled_;
        return head();
    }

    // Hands the bytes to out piece by piece (the head, then the body's chunks) until it returns
    // false; whether all were taken.
    bool write(const std::function<bool(std::string_view)>& out) const
    {
        if (!out(head())) return false;
        for (const std::string& chunk : chunks_)
            if (!out(chunk)) return false;
        return true;
    }

private:
    // The body goes into chunks of about kChunkBytes, each reserved whole, so that a large design
    // is never copied to grow and takes little more memory than its bytes. A chunk is full once it
    // holds kChunkBytes; a table or the end starts a new one then.
    static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
    // A body spilled as it is made goes out in pieces of about kSpillBytes, which stay in the
    // processor's cache between being made and being written out.
    static constexpr std::size_t kSpillBytes = std::size_t{128} << 10;
    void startChunkWhenFull()
    {
        if (spill_) {
            if (body_->size() >= kSpillBytes) spillChunk(*body_);
            return;
        }
        if (body_->size() < kChunkBytes) return;
        body_ = &chunks_.emplace_back();
        body_->reserve(kChunkBytes + kChunkBytes / 4);
    }

    // A table: its name, its fields (each as writeField writes it: its name, then its properties)
    // and its indexes (as writeIndex writes each: its name, its fields, its properties).
    template <class Field, class WriteField, class Index, class WriteIndex>
    void tableWith(std::string_view name, const std::vector<Field>& fields, const std::vector<Index>& indexes,
                   const WriteField& writeField, const WriteIndex& writeIndex)
    {
        startChunkWhenFull();
        path_.enter("table", tables_++);
        text(name, "the name");
        count(fields.size(), "the field count");
        for (std::size_t f = 0; f < fields.size(); ++f) {
            path_.enter("field", f);
            writeField(fields[f]);
            path_.leave();
        }
        count(indexes.size(), "the index count");
        for (std::size_t x = 0; x < indexes.size(); ++x) {
            path_.enter("index", x);
            writeIndex(indexes[x]);
            path_.leave();
        }
        path_.leave();
    }

    static constexpr std::size_t kMostNumberBytes = 10;
    // A number and its bytes (numberBytes), made once to be copied many times.
    struct NumberBytes {
        std::size_t value = 0;
        char bytes[kMostNumberBytes] = {};
        std::size_t size = 0;
    };

    // A field's name, then its properties as visitFieldProperties hands them over, written without
    // going through them one by one: the names every field has are pooled once for the whole
    // design, and the field's name, checked once, and the table's, already checked by tableWith,
    // are not checked again. Only the stored values and the other properties take the general way.
    //
    // The bytes are gathered on the stack and appended in one go: appending a byte at a time
    // costs more than the byte. Names too long to gather take the general way too.
    void fieldAsRead(const FieldFacts& field, std::string_view tableName)
    {
        static_assert(kFieldPropertyNames.size() == 17 && kFirstStoredFieldProperty == 12);
        const std::size_t propertyCount = kFieldPropertyNames.size() + field.others.size();
        char staged[1024];
        // What the name, the count and the 17 take at most: the name's length and bytes, the count,
        // a reference, a tag and a number or a text's length each, and the three texts (Name,
        // SourceField, SourceTable).
        if (2 * kMostNumberBytes + 17 * (kMostNumberBytes + 1 + kMostNumberBytes) + 3 * field.name.size() +
                tableName.size() > sizeof staged ||
            propertyCount > kMostItems) {
            text(field.name, "the name");
            count(propertyCount, "the property count");
            std::size_t position = 0;
            visitFieldProperties(field, tableName,
                                 [&](const char* name, const PropertyValue& v) { property(name, v, kField, position++); });
            return;
        }
        if (!isAscii(field.name)) checkUtf8(field.name, "the name");
        const std::array<NumberBytes, 17>& names = fieldNameReferences();
        char* to = staged;  // where the next byte goes
        to += numberBytes(to, field.name.size());
        to = copyBytes(to, field.name.data(), field.name.size());
        to += numberBytes(to, propertyCount);
        auto name = [&to, &names](std::size_t k, Tag tag) { to = stageName(to, names[k], tag); };
        auto whole = [&to, &name](std::size_t k, std::int64_t n) {
            name(k, kWhole);
            to += numberBytes(to, static_cast<std::uint64_t>(n) << 1 ^ static_cast<std::uint64_t>(n >> 63));
        };
        auto text = [&to, &name](std::size_t k, std::string_view t) {
            name(k, kText);
            to += numberBytes(to, t.size());
            to = copyBytes(to, t.data(), t.size());
        };
        name(0, kNull);  // Value
        whole(1, field.attributes);
        whole(2, field.collatingOrder);
        whole(3, field.type);
        text(4, field.name);  // Name
        whole(5, static_cast<std::int64_t>(field.position));
        whole(6, field.size);
        text(7, field.name);    // SourceField
        text(8, tableName);     // SourceTable
        if (std::find_if(field.stored.begin(), field.stored.end(), [](const Variant* v) { return v; }) == field.stored.end()) {
            // Nothing stored, as for most fields: the bytes every such field has, made once.
            to = copyBytes(to, noneStored_.data(), noneStored_.size());
        } else {
            to = stageStored(staged, to, field.stored);
        }
        body_->append(staged, static_cast<std::size_t>(to - staged));
        std::size_t position = kFieldPropertyNames.size();
        for (const StoredProperty* other : field.others) property(other->name, other->value, kField, position++);
    }

    // Stages reference and tag at to; where the next byte goes.
    static char* stageName(char* to, const NumberBytes& reference, Tag tag)
    {
        std::memcpy(to, reference.bytes, sizeof reference.bytes);
        to += reference.size;
        *to++ = static_cast<char>(tag);
        return to;
    }

    // Stages ValidateOnSet to AllowZeroLength (positions 9 to 16) at to, in the buffer that starts
    // at staged, with these stored values; a stored value goes out the general way, after what was
    // staged before it. Where the next byte goes.
    char* stageStored(char* staged, char* to, const std::array<const Variant*, 5>& stored)
    {
        to = stageName(to, fieldNames_[9], kFalse);   // ValidateOnSet
        to = stageName(to, fieldNames_[10], kFalse);  // DataUpdatable
        to = stageName(to, fieldNames_[11], kNull);   // ForeignName
        for (std::size_t k = 0; k < stored.size(); ++k) {
            const std::size_t position = kFirstStoredFieldProperty + k;
            if (stored[k]) {
                to += numberBytes(to, fieldNames_[position].value);
                body_->append(staged, static_cast<std::size_t>(to - staged));
                to = staged;
                path_.enter("property", position);
                value(*stored[k]);
                path_.leave();
            } else if (k < 3) {
                to = stageName(to, fieldNames_[position], kText);  // an empty text
                *to++ = 0;
            } else {
                to = stageName(to, fieldNames_[position], kFalse);
            }
        }
        return to;
    }

    // An index's name and fields, then its property list as indexProperties makes it, written
    // without making it: the references to the names are made once for the whole design.
    void indexAsRead(const IndexFacts& index)
    {
        text(index.name, "the name");
        text(index.fields, "the fields");
        if (indexNames_[0].size == 0)  // pooled in their order the first time, as nameReference would
            for (std::size_t k = 0; k < indexNames_.size(); ++k) {
                NumberBytes& reference = indexNames_[k];
                reference.value = pooled(kIndexPropertyNames[k]);
                reference.size = numberBytes(reference.bytes, reference.value);
            }
        auto name = [this](std::size_t k, Tag tag) {
            char staged[kMostNumberBytes + 1];
            body_->append(staged, static_cast<std::size_t>(stageName(staged, indexNames_[k], tag) - staged));
        };
        auto boolean = [](bool b) { return b ? kTrue : kFalse; };
        putNumber(*body_, kIndexPropertyNames.size());
        name(0, kText);
        putNumber(*body_, index.name.size());  // checked above
        *body_ += index.name;
        name(1, boolean(index.foreign));
        name(2, boolean(index.unique));
        name(3, kFalse);  // Clustered
        name(4, boolean(index.required));
        name(5, boolean(index.ignoreNulls));
        name(6, boolean(index.primary));
        name(7, kText);
        putNumber(*body_, index.fields.size());
        *body_ += index.fields;
    }

    // The references to the names every field has (kFieldPropertyNames), pooled in their order the
    // first time a field is written, as nameReference would; with them noneStored_.
    const std::array<NumberBytes, kFieldPropertyNames.size()>& fieldNameReferences()
    {
        if (fieldNames_[0].size == 0) {
            for (std::size_t k = 0; k < fieldNames_.size(); ++k) {
                NumberBytes& reference = fieldNames_[k];
                reference.value = pooled(kFieldPropertyNames[k]);
                reference.size = numberBytes(reference.bytes, reference.value);
            }
            char bytes[8 * (kMostNumberBytes + 2)];  // the eight, none stored: no value goes out
            noneStored_.assign(bytes, stageStored(bytes, bytes, {}));
        }
        return fieldNames_;
    }

    // The pool entry for name (of at most kLongestPooledName bytes), plus one, added when new.
    // Refuses a name that is not UTF-8.
    std::size_t pooled(std::string_view name)
    {
        auto entry = poolIndex_.find(name);
        if (entry == poolIndex_.end()) {
            checkUtf8(name, "the name");
            pool_.emplace_back(name);
            entry = poolIndex_.emplace(pool_.back(), pool_.size() - 1).first;
        }
        return entry->second + 1;
    }

    // Hands chunk to spill_ and empties it, keeping its room. Throws std::runtime_error when
    // spill_ could not take it.
    void spillChunk(std::string& chunk)
    {
        if (!spill_(chunk, spilled_)) throw std::runtime_error("cannot write the design out");
        spilled_ += chunk.size();
        chunk.clear();
    }

    [[noreturn]] void refuse(const char* what, const std::string& problem) const
    {
        throw std::invalid_argument("cannot encode the design: " + std::string(what) + path_.describe() + " " + problem);
    }

    // Refuses s, named what, when it is not UTF-8.
    void checkUtf8(std::string_view s, const char* what) const
    {
        if (std::size_t bad = firstNonUtf8(s); bad != std::string_view::npos)
            refuse(what, "is not UTF-8 (byte " + std::to_string(bad) + " of it)");
    }

    void count(std::size_t n, const char* what)
    {
        if (n > kMostItems)
            throw std::length_error("cannot encode the design: " + std::string(what) + path_.describe() + " is " +
                                    std::to_string(n) + ", more than " + std::to_string(kMostItems));
        putNumber(*body_, n);
    }

    void text(std::string_view s, const char* what)
    {
        checkUtf8(s, what);
        putNumber(*body_, s.size());
        *body_ += s;
    }

    void properties(const PropertyList& list, Kind kind)
    {
        count(list.size(), "the property count");
        for (std::size_t i = 0; i < list.size(); ++i) property(list[i].name, list[i].value, kind, i);
    }

    // A property at position in the list of an object of kind: its name's reference, its value.
    template <class Value>
    void property(std::string_view name, const Value& v, Kind kind, std::size_t position)
    {
        path_.enter("property", position);
        nameReference(name, kind, position);
        value(v);
        path_.leave();
    }

    // The pool entry for name, plus one, added when new; 0 and the name itself when it is too long
    // to pool. The entry the same position of the same kind had last time is tried first, since
    // objects of a kind mostly share their names position by position.
    void nameReference(std::string_view name, Kind kind, std::size_t position)
    {
        if (name.size() > kLongestPooledName) {
            putNumber(*body_, 0);
            text(name, "the name");
            return;
        }
        std::vector<std::size_t>& recent = recent_[kind];
        if (position < recent.size() && recent[position] != 0 && pool_[recent[position] - 1] == name) {
            putNumber(*body_, recent[position]);
            return;
        }
        const std::size_t reference = pooled(name);
        if (position >= recent.size()) recent.resize(position + 1, 0);
        recent[position] = reference;
        putNumber(*body_, reference);
    }

    void value(const Variant& v)
    {
        if (v.isNull())
            *body_ += static_cast<char>(kNull);
        else if (v.isBoolean())
            *body_ += static_cast<char>(v.boolean() ? kTrue : kFalse);
        else if (v.isText())
            textValue(v.text());
        else
            numberValue(v.number());
    }

    void value(const PropertyValue& v)
    {
        switch (v.kind) {
        case PropertyValue::Null: *body_ += static_cast<char>(kNull); break;
        case PropertyValue::Boolean: *body_ += static_cast<char>(v.boolean ? kTrue : kFalse); break;
        case PropertyValue::Number: numberValue(v.number); break;
        case PropertyValue::Text: textValue(v.text); break;
        case PropertyValue::Stored: value(*v.stored); break;
        }
    }

    void textValue(std::string_view t)
    {
        *body_ += static_cast<char>(kText);
        text(t, "the value");
    }

    void numberValue(double number)
    {
        char bytes[10];  // the tag and the number
        std::size_t n = 1;
        if (isSmallWhole(number)) {
            auto whole = static_cast<std::int64_t>(number);
            bytes[0] = static_cast<char>(kWhole);
            n += numberBytes(bytes + 1, static_cast<std::uint64_t>(whole) << 1 ^ static_cast<std::uint64_t>(whole >> 63));
        } else {
            auto bits = std::bit_cast<std::uint64_t>(number);
            bytes[0] = static_cast<char>(kNumber);
            for (int k = 0; k < 8; ++k) bytes[n++] = static_cast<char>(bits >> 8 * k);
        }
        body_->append(bytes, n);
    }

    FileFormat format_ = FileFormat::Jet4;      // written with the signature, before the pool
    std::deque<std::string> chunks_{1};         // everything after the pool, in pieces that never move
    std::string* body_ = &chunks_.back();       // the piece written to
    std::deque<std::string> pool_;              // the pooled names (a deque: they never move)
    std::unordered_map<std::string_view, std::size_t> poolIndex_;  // name -> its position in pool_
    std::size_t tables_ = 0;                    // tables encoded so far
    std::vector<std::size_t> recent_[kKinds];   // per kind and position: the last reference used
    std::function<bool(std::string_view, std::size_t)> spill_;  // where full chunks go, if anywhere
    std::size_t spilled_ = 0;                   // the bytes of the body spilled so far
    std::array<NumberBytes, kFieldPropertyNames.size()> fieldNames_{};  // their references; none made yet: size 0
    std::string noneStored_;  // what follows SourceTable for a field with nothing stored (made with fieldNames_)
    std::array<NumberBytes, kIndexPropertyNames.size()> indexNames_{};  // as fieldNames_, for indexes
    DesignPath path_;
};

namespace {

// The property list whose count is at offset at: "0 Value=Null 1 Attributes=2 ...".
PropertyList expandProperties(const EncodedDesign& design, std::uint32_t at)
{
    PropertyList list(static_cast<std::size_t>(design.number(at)));
    for (Property& p : list) {
        p.name = design.propertyName(at);
        p.value = design.propertyValue(at);
        at = design.nextProperty(at);
    }
    return list;
}

// Appends s in double quotes, escaped so that it stays on one line and reads back unchanged:
// '"' and '\' with a backslash, \n \r \t, other control characters and DEL as \xHH, the C1
// controls and the line and paragraph separators as \uHHHH, and bytes that are not UTF-8 as
// \xHH. Everything else is kept. "a\"b" then a newline -> "a\"b\n" in quotes.
void appendQuoted(std::string& out, std::string_view s)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    out += '"';
    for (std::size_t i = 0; i < s.size();) {
        unsigned c = p[i];
        std::size_t length = utf8SequenceLength(p, i, s.size());
        // The code point of a two or three byte sequence, enough to tell C1 and U+2028/9.
        unsigned code = length == 2 ? (c & 0x1F) << 6 | (p[i + 1] & 0x3F)
                      : length == 3 ? (c & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F)
                                    : c;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (length == 0 || c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 0x0F];
            length = 1;
        } else if ((length == 2 && code <= 0x9F) || (length == 3 && (code == 0x2028 || code == 0x2029))) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) out += digits[code >> shift & 0x0F];
        } else {
            out.append(s.substr(i, length));
        }
        i += length;
    }
    out += '"';
}

// A property name bare when it is an ASCII word not starting with a digit (AllowZeroLength),
// quoted otherwise ("Größe", "a b", "").
void appendName(std::string& out, std::string_view name)
{
    bool bare = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
    for (char c : name)
        bare = bare && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_');
    if (bare)
        out += name;
    else
        appendQuoted(out, name);
}

// " 0 Value=Null 1 Attributes=2 ... 4 Name="ID"": each property with its position. Numbers as
// Variant::describe gives them, but -0 as such.
void appendProperties(std::string& out, const PropertyList& list)
{
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Variant& v = list[i].value;
        out += ' ';
        out += std::to_string(i);
        out += ' ';
        appendName(out, list[i].name);
        out += '=';
        if (v.isText())
            appendQuoted(out, v.text());
        else if (v.isNumber() && v.number() == 0 && std::signbit(v.number()))
            out += "-0";
        else
            out += v.describe();
    }
}

}  // namespace

std::string encodeDesign(const DatabaseDesign& design) { return DesignEncoder::Impl().encode(design); }

DesignEncoder::DesignEncoder() : impl_(std::make_unique<Impl>()) {}
DesignEncoder::~DesignEncoder() = default;
void DesignEncoder::begin(const std::string& name, FileFormat format, std::size_t tableCount)
{
    impl_->begin(name, format, tableCount);
}
void DesignEncoder::table(TableDesign table) { impl_->table(table); }
void DesignEncoder::tableAsRead(TableFacts table) { impl_->table(table); }
void DesignEncoder::end(std::vector<RelationDesign> relations, std::vector<QueryDesign> queries)
{
    impl_->end(relations, queries);
}
std::string DesignEncoder::bytes() { return impl_->finish(); }
bool DesignEncoder::write(const std::function<bool(std::string_view)>& out) const { return impl_->write(out); }
void DesignEncoder::spillTo(std::function<bool(std::string_view, std::size_t)> spill) { impl_->spillTo(std::move(spill)); }
std::string DesignEncoder::finishSpill(std::size_t& bodyBytes) { return impl_->finishSpill(bodyBytes); }

DatabaseDesign expandDesign(const EncodedDesign& encoded)
{
    DatabaseDesign d;
    d.name = encoded.name();
    d.format = encoded.format();
    for (const EncodedDesign::Table& t : encoded.tables()) {
        TableDesign& table = d.tables.emplace_back();
        table.name = encoded.textAt(t.name);
        for (std::uint32_t f = 0; f < t.fieldCount; ++f) {
            std::uint32_t at = encoded.fields()[t.firstField + f];
            FieldDesign& field = table.fields.emplace_back();
            field.name = encoded.text(at);
            field.properties = expandProperties(encoded, at);
        }
        for (std::uint32_t x = 0; x < t.indexCount; ++x) {
            std::uint32_t at = encoded.indexes()[t.firstIndex + x];
            IndexDesign& index = table.indexes.emplace_back();
            index.name = encoded.text(at);
            index.fields = encoded.text(at);
            index.properties = expandProperties(encoded, at);
        }
    }
    for (std::uint32_t at : encoded.relations()) {
        RelationDesign& relation = d.relations.emplace_back();
        relation.name = encoded.text(at);
        relation.table = encoded.text(at);
        relation.foreignTable = encoded.text(at);
        relation.fields.resize(static_cast<std::size_t>(encoded.number(at)));
        for (RelationField& f : relation.fields) {
            f.name = encoded.text(at);
            f.foreignName = encoded.text(at);
        }
        relation.properties = expandProperties(encoded, at);
    }
    for (std::uint32_t at : encoded.queries()) {
        QueryDesign& query = d.queries.emplace_back();
        query.name = encoded.text(at);
        query.properties = expandProperties(encoded, at);
    }
    return d;
}

DatabaseDesign decodeDesign(std::string_view bytes) { return expandDesign(*EncodedDesign::decode(std::string(bytes))); }

// DATABASE "path" format="Jet 4" tables=1 relations=0 queries=0
// TABLE "Customers" fields=1 indexes=1
//   FIELD "ID" 0 Value=Null 1 Attributes=17 ...
//   INDEX "PrimaryKey" fields="+ID" 0 Name="PrimaryKey" ...
// RELATION "CustomersOrders" "Customers" ("ID") -> "Orders" ("CustomerID") 0 Name="CustomersOrders" ...
// QUERY "All names" 0 Name="All names" ...
std::string designText(const DatabaseDesign& design)
{
    std::string out = "DATABASE ";
    appendQuoted(out, design.name);
    out += " format=";
    appendQuoted(out, formatName(design.format));
    out += " tables=" + std::to_string(design.tables.size()) + " relations=" +
           std::to_string(design.relations.size()) + " queries=" + std::to_string(design.queries.size()) + "\n";
    for (const TableDesign& t : design.tables) {
        out += "TABLE ";
        appendQuoted(out, t.name);
        out += " fields=" + std::to_string(t.fields.size()) + " indexes=" + std::to_string(t.indexes.size()) + "\n";
        for (const FieldDesign& f : t.fields) {
            out += "  FIELD ";
            appendQuoted(out, f.name);
            appendProperties(out, f.properties);
            out += '\n';
        }
        for (const IndexDesign& x : t.indexes) {
            out += "  INDEX ";
            appendQuoted(out, x.name);
            out += " fields=";
            appendQuoted(out, x.fields);
            appendProperties(out, x.properties);
            out += '\n';
        }
    }
    for (const RelationDesign& r : design.relations) {
        // One side's table and its field names: "Customers" ("ID", "Region").
        auto side = [&out, &r](const std::string& table, std::string RelationField::*field) {
            appendQuoted(out, table);
            out += " (";
            for (std::size_t i = 0; i < r.fields.size(); ++i) {
                if (i > 0) out += ", ";
                appendQuoted(out, r.fields[i].*field);
            }
            out += ')';
        };
        out += "RELATION ";
        appendQuoted(out, r.name);
        out += ' ';
        side(r.table, &RelationField::name);
        out += " -> ";
        side(r.foreignTable, &RelationField::foreignName);
        appendProperties(out, r.properties);
        out += '\n';
    }
    for (const QueryDesign& q : design.queries) {
        out += "QUERY ";
        appendQuoted(out, q.name);
        appendProperties(out, q.properties);
        out += '\n';
    }
    return out;
}

}  // namespace engine
