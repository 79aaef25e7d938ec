// The serialized form of a design and its text for people.
//
// The bytes, front to back:
//
//     "DLDS" 01                        signature, version
//     count  | (length | name)...      the name pool: property names of at most 64 bytes
//     text                             the database name
//     count  | table...                name | count | field... | count | index...
//                                        field: name | properties
//                                        index: name | fields | properties
//     count  | relation...             name | table | foreign table | count | (name | foreign name)...
//                                      | properties
//     count  | query...                name | properties
//
// A count or length is an unsigned LEB128 number (seven bits a byte, low bits first, the high bit
// set on every byte but the last) in its shortest form. A text is its length in bytes and that
// many bytes of UTF-8. Properties are a count and, for each, a name reference and a value. The
// reference is n >= 1 for entry n - 1 of the name pool, or 0 and a text for a name written where
// it is used (one longer than 64 bytes). A value is a tag byte and what the tag calls for:
//
//     0 Null   1 False   2 True   3 a number: the 8 bytes of the double, little-endian
//     4 a whole number from -2^53 to 2^53 (not -0) as a zigzag LEB128: 0 1 -1 2 ... as 0 1 2 3 ...
//     5 a text
//
// So a field's 17 properties cost two bytes each plus their values: "Attributes=2" is the three
// bytes 02 04 04 when Attributes is pooled name 1.
//
// The decoder trusts nothing: every count is at most 32,767 and at most what the bytes left can
// hold before anything is allocated, every length fits in the bytes left, texts are UTF-8, tags
// are known and nothing is left over. What it builds is at most about 75 times the size of its
// input: a 72-byte property from two bytes, plus the copy of a pooled name of up to 64 bytes. That
// is why longer names are not pooled; without the limit a few bytes could stand for a name of
// megabytes.
#include "design_codec.h"

#include "format_error.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

namespace engine {

namespace {

constexpr char kSignature[4] = {'D', 'L', 'D', 'S'};
constexpr std::uint8_t kVersion = 1;

constexpr std::size_t kLongestPooledName = 64;   // Access names have at most 64 characters
constexpr std::uint64_t kLargestWhole = std::uint64_t{1} << 53;  // larger whole doubles skip numbers

enum Tag : std::uint8_t { kNull = 0, kFalse = 1, kTrue = 2, kNumber = 3, kWhole = 4, kText = 5 };

// The kinds of objects that have property lists; each keeps its own memory of pooled names.
enum Kind { kField, kIndex, kRelation, kQuery, kKinds };

// The length of the UTF-8 sequence starting at p[i], or 0 when it is not one (a stray
// continuation byte, an overlong form, a surrogate, a code point past U+10FFFF, or cut off by n).
// "é" is C3 A9: length 2 at its first byte, 0 at its second.
std::size_t utf8SequenceLength(const unsigned char* p, std::size_t i, std::size_t n)
{
    unsigned c = p[i];
    if (c < 0x80) return 1;
    std::size_t length;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte, narrowed for some leads
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;   // overlong
        if (c == 0xED) high = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;   // overlong
        if (c == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return 0;
    }
    if (n - i < length || p[i + 1] < low || p[i + 1] > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((p[i + k] & 0xC0) != 0x80) return 0;
    return length;
}

// The position of the first byte of s that does not start a whole UTF-8 sequence, or npos when
// s is all UTF-8. Runs of ASCII go eight bytes at a time.
std::size_t firstNonUtf8(std::string_view s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        if (n - i >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080u) == 0) {
                i += 8;
                continue;
            }
        }
        std::size_t length = utf8SequenceLength(p, i, n);
        if (length == 0) return i;
        i += length;
    }
    return std::string_view::npos;
}

// Whether a number goes as a zigzag whole number (tag 4) rather than its 8 bytes: 1033 and -5 do,
// 0.5, -0, NaN, the infinities and 2^60 do not.
bool isSmallWhole(double v)
{
    return std::fabs(v) <= static_cast<double>(kLargestWhole) && std::trunc(v) == v && !(v == 0 && std::signbit(v));
}

// Where in the design the codec is, for messages: " of property 5 of field 2 of table 3".
class Path {
public:
    // Goes into the object of the given kind ("table", "field", ...) at position index; leave()
    // comes back out. Objects nest at most three deep (a table's field's property).
    void enter(const char* kind, std::size_t index) { steps_[depth_++] = Step{kind, index}; }
    void leave() { --depth_; }

    // " of " and the objects from the innermost out, or "" at the top.
    std::string describe() const
    {
        std::string out;
        for (int i = depth_ - 1; i >= 0; --i)
            out += std::string(" of ") + steps_[i].kind + " " + std::to_string(steps_[i].index);
        return out;
    }

private:
    struct Step {
        const char* kind;
        std::size_t index;
    };
    Step steps_[3] = {};
    int depth_ = 0;
};

// Appends v as an unsigned LEB128 number: 300 -> AC 02.
void putNumber(std::string& out, std::uint64_t v)
{
    while (v >= 0x80) {
        out += static_cast<char>(v | 0x80);
        v >>= 7;
    }
    out += static_cast<char>(v);
}

// Writes a design into bytes. Refuses (std::length_error, std::invalid_argument) a design that
// the decoder would refuse, so that whatever is encoded decodes to the same design.
class Encoder {
public:
    std::string encode(const DatabaseDesign& d)
    {
        text(d.name, "the database name");
        count(d.tables.size(), "the table count");
        for (std::size_t t = 0; t < d.tables.size(); ++t) {
            const TableDesign& table = d.tables[t];
            path_.enter("table", t);
            text(table.name, "the name");
            count(table.fields.size(), "the field count");
            for (std::size_t f = 0; f < table.fields.size(); ++f) {
                path_.enter("field", f);
                text(table.fields[f].name, "the name");
                properties(table.fields[f].properties, kField);
                path_.leave();
            }
            count(table.indexes.size(), "the index count");
            for (std::size_t x = 0; x < table.indexes.size(); ++x) {
                path_.enter("index", x);
                text(table.indexes[x].name, "the name");
                text(table.indexes[x].fields, "the fields");
                properties(table.indexes[x].properties, kIndex);
                path_.leave();
            }
            path_.leave();
        }
        count(d.relations.size(), "the relation count");
        for (std::size_t r = 0; r < d.relations.size(); ++r) {
            const RelationDesign& relation = d.relations[r];
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
        count(d.queries.size(), "the query count");
        for (std::size_t q = 0; q < d.queries.size(); ++q) {
            path_.enter("query", q);
            text(d.queries[q].name, "the name");
            properties(d.queries[q].properties, kQuery);
            path_.leave();
        }

        // The pool is known only now; it goes before the body.
        std::string out(kSignature, sizeof kSignature);
        out += static_cast<char>(kVersion);
        putNumber(out, pool_.size());
        for (std::string_view name : pool_) {
            putNumber(out, name.size());
            out += name;
        }
        out.reserve(out.size() + body_.size());
        out += body_;
        return out;
    }

private:
    [[noreturn]] void refuse(const char* what, const std::string& problem) const
    {
        throw std::invalid_argument("cannot encode the design: " + std::string(what) + path_.describe() + " " + problem);
    }

    void count(std::size_t n, const char* what)
    {
        if (n > kMostItems)
            throw std::length_error("cannot encode the design: " + std::string(what) + path_.describe() + " is " +
                                    std::to_string(n) + ", more than " + std::to_string(kMostItems));
        putNumber(body_, n);
    }

    void text(std::string_view s, const char* what)
    {
        std::size_t bad = firstNonUtf8(s);
        if (bad != std::string_view::npos) refuse(what, "is not UTF-8 (byte " + std::to_string(bad) + " of it)");
        putNumber(body_, s.size());
        body_ += s;
    }

    void properties(const PropertyList& list, Kind kind)
    {
        count(list.size(), "the property count");
        for (std::size_t i = 0; i < list.size(); ++i) {
            path_.enter("property", i);
            nameReference(list[i].name, kind, i);
            value(list[i].value);
            path_.leave();
        }
    }

    // The pool entry for name, plus one, added when new; 0 and the name itself when it is too long
    // to pool. The entry the same position of the same kind had last time is tried first, since
    // objects of a kind mostly share their names position by position.
    void nameReference(const std::string& name, Kind kind, std::size_t position)
    {
        if (name.size() > kLongestPooledName) {
            putNumber(body_, 0);
            text(name, "the name");
            return;
        }
        std::vector<std::size_t>& recent = recent_[kind];
        if (position < recent.size() && recent[position] != 0 && pool_[recent[position] - 1] == name) {
            putNumber(body_, recent[position]);
            return;
        }
        auto [entry, added] = poolIndex_.try_emplace(name, pool_.size());
        if (added) {
            if (std::size_t bad = firstNonUtf8(name); bad != std::string_view::npos)
                refuse("the name", "is not UTF-8 (byte " + std::to_string(bad) + " of it)");
            pool_.push_back(name);
        }
        std::size_t reference = entry->second + 1;
        if (position >= recent.size()) recent.resize(position + 1, 0);
        recent[position] = reference;
        putNumber(body_, reference);
    }

    void value(const Variant& v)
    {
        if (v.isNull()) {
            body_ += static_cast<char>(kNull);
        } else if (v.isBoolean()) {
            body_ += static_cast<char>(v.boolean() ? kTrue : kFalse);
        } else if (v.isText()) {
            body_ += static_cast<char>(kText);
            text(v.text(), "the value");
        } else if (isSmallWhole(v.number())) {
            auto whole = static_cast<std::int64_t>(v.number());
            body_ += static_cast<char>(kWhole);
            putNumber(body_, static_cast<std::uint64_t>(whole) << 1 ^ static_cast<std::uint64_t>(whole >> 63));
        } else {
            auto bits = std::bit_cast<std::uint64_t>(v.number());
            body_ += static_cast<char>(kNumber);
            for (int k = 0; k < 8; ++k) body_ += static_cast<char>(bits >> 8 * k);
        }
    }

    std::string body_;                          // everything after the pool
    std::vector<std::string_view> pool_;        // the pooled names, viewing the design's strings
    std::unordered_map<std::string_view, std::size_t> poolIndex_;  // name -> its position in pool_
    std::vector<std::size_t> recent_[kKinds];   // per kind and position: the last reference used
    Path path_;
};

// Reads bytes into a design, refusing with a FormatError anything malformed (see the top).
class Decoder {
public:
    explicit Decoder(std::string_view bytes)
        : data_(reinterpret_cast<const unsigned char*>(bytes.data())), size_(bytes.size())
    {
    }

    DatabaseDesign decode()
    {
        std::size_t signature = std::min(size_, sizeof kSignature);  // the bytes of it there are
        if (std::string_view(reinterpret_cast<const char*>(data_), signature) != std::string_view(kSignature, signature))
            fail(0, "the data", "does not start with the signature of a design");
        if (signature < sizeof kSignature) fail(size_, "the signature", "is cut off by the end of the data");
        at_ = sizeof kSignature;
        if (std::uint8_t version = byte("the version"); version != kVersion)
            fail(at_ - 1, "the version", "is " + std::to_string(version) + ", not " + std::to_string(kVersion));
        pool();

        DatabaseDesign d;
        d.name = text("the database name");
        d.tables.resize(count("the table count", 3));  // name, field count, index count
        for (std::size_t t = 0; t < d.tables.size(); ++t) {
            TableDesign& table = d.tables[t];
            path_.enter("table", t);
            table.name = text("the name");
            table.fields.resize(count("the field count", 2));  // name, property count
            for (std::size_t f = 0; f < table.fields.size(); ++f) {
                path_.enter("field", f);
                table.fields[f].name = text("the name");
                table.fields[f].properties = properties();
                path_.leave();
            }
            table.indexes.resize(count("the index count", 3));  // name, fields, property count
            for (std::size_t x = 0; x < table.indexes.size(); ++x) {
                path_.enter("index", x);
                table.indexes[x].name = text("the name");
                table.indexes[x].fields = text("the fields");
                table.indexes[x].properties = properties();
                path_.leave();
            }
            path_.leave();
        }
        d.relations.resize(count("the relation count", 5));  // three texts and two counts
        for (std::size_t r = 0; r < d.relations.size(); ++r) {
            RelationDesign& relation = d.relations[r];
            path_.enter("relation", r);
            relation.name = text("the name");
            relation.table = text("the table");
            relation.foreignTable = text("the foreign table");
            relation.fields.resize(count("the field count", 2));  // two texts
            for (std::size_t f = 0; f < relation.fields.size(); ++f) {
                path_.enter("field", f);
                relation.fields[f].name = text("the name");
                relation.fields[f].foreignName = text("the foreign name");
                path_.leave();
            }
            relation.properties = properties();
            path_.leave();
        }
        d.queries.resize(count("the query count", 2));  // name, property count
        for (std::size_t q = 0; q < d.queries.size(); ++q) {
            path_.enter("query", q);
            d.queries[q].name = text("the name");
            d.queries[q].properties = properties();
            path_.leave();
        }
        if (at_ != size_)
            fail(at_, "the data", "goes on after the last query (" + std::to_string(size_ - at_) +
                                      (size_ - at_ == 1 ? " byte" : " bytes") + " left over)");
        return d;
    }

private:
    // "design data at byte 57: the name of field 2 of table 3 is not UTF-8".
    [[noreturn]] void fail(std::size_t offset, const char* what, const std::string& problem) const
    {
        throw FormatError("design data at byte " + std::to_string(offset) + ": " + what + path_.describe() + " " +
                          problem);
    }

    std::size_t left() const { return size_ - at_; }

    std::uint8_t byte(const char* what)
    {
        if (at_ == size_) fail(at_, what, "is cut off by the end of the data");
        return data_[at_++];
    }

    // An unsigned LEB128 number of at most nine bytes (63 bits) in its shortest form.
    std::uint64_t number(const char* what)
    {
        std::size_t start = at_;
        std::uint64_t v = 0;
        for (int shift = 0; shift < 63; shift += 7) {
            if (at_ == size_) fail(start, what, "is cut off by the end of the data");
            std::uint8_t b = data_[at_++];
            v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
            if (!(b & 0x80)) {
                if (b == 0 && shift > 0) fail(start, what, "is a number not in its shortest form");
                return v;
            }
        }
        fail(start, what, "is a number longer than nine bytes");
    }

    // A count of items that take at least smallest bytes each: at most kMostItems and at most what
    // the bytes left can hold, so that a vector of them can be made before reading them.
    std::size_t count(const char* what, std::size_t smallest)
    {
        std::size_t start = at_;
        std::uint64_t n = number(what);
        if (n > kMostItems)
            fail(start, what, "is " + std::to_string(n) + ", more than " + std::to_string(kMostItems));
        if (n * smallest > left())
            fail(start, what, "is " + std::to_string(n) + ", more than the " + std::to_string(left()) +
                                  " bytes left can hold");
        return static_cast<std::size_t>(n);
    }

    // A length and that many bytes of UTF-8, viewed in place.
    std::string_view textView(const char* what)
    {
        std::size_t start = at_;
        std::uint64_t length = number(what);
        if (length > left())
            fail(start, what, "is " + std::to_string(length) + " bytes long, past the end of the data (" +
                                  std::to_string(left()) + " bytes left)");
        std::string_view s(reinterpret_cast<const char*>(data_ + at_), static_cast<std::size_t>(length));
        if (std::size_t bad = firstNonUtf8(s); bad != std::string_view::npos) fail(at_ + bad, what, "is not UTF-8");
        at_ += s.size();
        return s;
    }

    std::string text(const char* what) { return std::string(textView(what)); }

    // The name pool: each entry at least its one length byte, none longer than kLongestPooledName.
    void pool()
    {
        std::size_t start = at_;
        std::uint64_t n = number("the name pool's count");
        if (n > left())
            fail(start, "the name pool's count", "is " + std::to_string(n) + ", more than the " +
                                                     std::to_string(left()) + " bytes left can hold");
        pool_.reserve(static_cast<std::size_t>(n));
        for (std::size_t i = 0; i < n; ++i) {
            path_.enter("pooled name", i);
            std::size_t entry = at_;
            std::string_view name = textView("the text");
            if (name.size() > kLongestPooledName)
                fail(entry, "the text", "is " + std::to_string(name.size()) + " bytes long, more than " +
                                            std::to_string(kLongestPooledName));
            pool_.emplace_back(name);
            path_.leave();
        }
    }

    PropertyList properties()
    {
        PropertyList list(count("the property count", 2));  // name reference, tag
        for (std::size_t i = 0; i < list.size(); ++i) {
            path_.enter("property", i);
            std::size_t start = at_;
            std::uint64_t reference = number("the name reference");
            if (reference == 0)
                list[i].name = text("the name");
            else if (reference <= pool_.size())
                list[i].name = pool_[reference - 1];
            else
                fail(start, "the name reference", "is " + std::to_string(reference) + ", past the " +
                                                      std::to_string(pool_.size()) + " pooled names");
            list[i].value = value();
            path_.leave();
        }
        return list;
    }

    Variant value()
    {
        std::size_t start = at_;
        switch (byte("the value")) {
        case kNull: return Variant();
        case kFalse: return Variant::boolean(false);
        case kTrue: return Variant::boolean(true);
        case kText: return Variant::text(text("the value"));
        case kNumber: {
            if (left() < 8) fail(start, "the value", "is cut off by the end of the data");
            std::uint64_t bits = 0;
            for (int k = 0; k < 8; ++k) bits |= static_cast<std::uint64_t>(data_[at_ + k]) << 8 * k;
            at_ += 8;
            return Variant::number(std::bit_cast<double>(bits));
        }
        case kWhole: {
            std::uint64_t zigzag = number("the value");
            if (zigzag > 2 * kLargestWhole)  // 2^53 and -2^53 are 2^54 and 2^54 - 1
                fail(start, "the value", "is a whole number beyond 2^53");
            auto whole = static_cast<std::int64_t>(zigzag >> 1) ^ -static_cast<std::int64_t>(zigzag & 1);
            return Variant::number(static_cast<double>(whole));
        }
        default:
            fail(start, "the value", "has the unknown tag " + std::to_string(data_[start]));
        }
    }

    const unsigned char* data_;
    std::size_t size_;
    std::size_t at_ = 0;              // the next byte to read
    std::vector<std::string> pool_;   // the pooled property names
    Path path_;
};

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

std::string encodeDesign(const DatabaseDesign& design) { return Encoder().encode(design); }

DatabaseDesign decodeDesign(std::string_view bytes) { return Decoder(bytes).decode(); }

// DATABASE "path" tables=1 relations=0 queries=0
// TABLE "Customers" fields=1 indexes=1
//   FIELD "ID" 0 Value=Null 1 Attributes=17 ...
//   INDEX "PrimaryKey" fields="+ID" 0 Name="PrimaryKey" ...
// RELATION "CustomersOrders" "Customers" ("ID") -> "Orders" ("CustomerID") 0 Name="CustomersOrders" ...
// QUERY "All names" 0 Name="All names" ...
std::string designText(const DatabaseDesign& design)
{
    std::string out = "DATABASE ";
    appendQuoted(out, design.name);
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
