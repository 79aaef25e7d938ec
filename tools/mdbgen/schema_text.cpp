#include "schema_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

namespace mdbgen {

DescriptionError::DescriptionError(int line, const std::string& message)
    : std::runtime_error(line > 0 ? "line " + std::to_string(line) + ": " + message : message), line_(line)
{
}

// ---------------------------------------------------------------------------------------------
// Text helpers

std::vector<std::uint8_t> utf16le(std::string_view s)
{
    std::vector<std::uint8_t> out;
    out.reserve(s.size() * 2);
    auto put = [&out](std::uint32_t unit) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = 0;   // the code point being decoded
        std::size_t extra = 0;  // its continuation bytes
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            extra = 3;
        } else {
            throw std::invalid_argument("the text is not valid UTF-8");
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if (i + k >= s.size()) throw std::invalid_argument("the text is not valid UTF-8");
            auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) throw std::invalid_argument("the text is not valid UTF-8");
            cp = (cp << 6) | (c & 0x3F);
        }
        static constexpr std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (cp < smallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            throw std::invalid_argument("the text is not valid UTF-8");
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp);
        }
        i += extra + 1;
    }
    return out;
}

std::size_t utf16Length(std::string_view utf8) { return utf16le(utf8).size() / 2; }

namespace {

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

template <typename T> void putLE(std::vector<std::uint8_t>& out, T value)
{
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i)));
}

template <typename F> void putFloatLE(std::vector<std::uint8_t>& out, F value)
{
    std::uint8_t raw[sizeof(F)];
    std::memcpy(raw, &value, sizeof(F));
    out.insert(out.end(), raw, raw + sizeof(F));
}

std::optional<long long> parseInteger(std::string_view s)
{
    long long v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
    return v;
}

std::optional<double> parseReal(std::string_view s)
{
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

struct TypeName {
    const char* word;
    DataType type;
};

constexpr TypeName kTypeNames[] = {
    {"yesno", DataType::YesNo},   {"boolean", DataType::YesNo},   {"byte", DataType::Byte},
    {"integer", DataType::Integer}, {"long", DataType::Long},     {"currency", DataType::Currency},
    {"single", DataType::Single}, {"double", DataType::Double},   {"datetime", DataType::DateTime},
    {"binary", DataType::Binary}, {"text", DataType::Text},       {"ole", DataType::Ole},
    {"memo", DataType::Memo},     {"guid", DataType::Guid},       {"decimal", DataType::Decimal},
};

std::optional<DataType> typeFromName(std::string_view word)
{
    for (const auto& t : kTypeNames)
        if (equalsIgnoreCase(word, t.word)) return t.type;
    return std::nullopt;
}

// Design properties that Access stores with its "DDL" flag set, and the type it gives those
// of them that a description writes without a type.
struct KnownProperty {
    const char* name;
    DataType type;
    bool ddl;
};

constexpr KnownProperty kKnownProperties[] = {
    {"DefaultValue", DataType::Memo, true},    {"ValidationRule", DataType::Text, true},
    {"ValidationText", DataType::Text, true},  {"Required", DataType::YesNo, true},
    {"AllowZeroLength", DataType::YesNo, true}, {"Description", DataType::Memo, false},
};

std::vector<std::uint8_t> hexBytes(std::string_view s)
{
    if (s.size() < 2 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X') || s.size() % 2 != 0)
        throw std::invalid_argument("binary values are written as 0x followed by hex digits");
    std::vector<std::uint8_t> out;
    for (std::size_t i = 2; i < s.size(); i += 2) {
        unsigned v = 0;
        auto [end, ec] = std::from_chars(s.data() + i, s.data() + i + 2, v, 16);
        if (ec != std::errc() || end != s.data() + i + 2)
            throw std::invalid_argument("'" + std::string(s) + "' is not a hex value");
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

std::vector<std::uint8_t> guidBytes(std::string_view s)
{
    // {01234567-89AB-CDEF-0123-456789ABCDEF}: the first three groups little-endian.
    std::string hex;
    for (char c : s)
        if (c != '{' && c != '}' && c != '-') hex += c;
    if (hex.size() != 32) throw std::invalid_argument("'" + std::string(s) + "' is not a GUID");
    auto raw = hexBytes("0x" + hex);
    std::reverse(raw.begin(), raw.begin() + 4);
    std::reverse(raw.begin() + 4, raw.begin() + 6);
    std::reverse(raw.begin() + 6, raw.begin() + 8);
    return raw;
}

long long integerIn(std::string_view value, long long lo, long long hi, const char* what)
{
    auto v = parseInteger(value);
    if (!v || *v < lo || *v > hi)
        throw std::invalid_argument("'" + std::string(value) + "' is not " + what);
    return *v;
}

}  // namespace

std::vector<std::uint8_t> encodeValue(DataType type, std::string_view value)
{
    std::vector<std::uint8_t> out;
    switch (type) {
    case DataType::YesNo:
        if (equalsIgnoreCase(value, "yes") || equalsIgnoreCase(value, "true"))
            out = {0xFF};
        else if (equalsIgnoreCase(value, "no") || equalsIgnoreCase(value, "false"))
            out = {0x00};
        else
            throw std::invalid_argument("'" + std::string(value) + "' is not yes or no");
        break;
    case DataType::Byte:
        out = {static_cast<std::uint8_t>(integerIn(value, 0, 255, "a Byte (0 to 255)"))};
        break;
    case DataType::Integer:
        putLE(out, static_cast<std::int16_t>(
                           integerIn(value, -32768, 32767, "an Integer (-32768 to 32767)")));
        break;
    case DataType::Long:
        putLE(out, static_cast<std::int32_t>(integerIn(value, std::numeric_limits<std::int32_t>::min(),
                                                           std::numeric_limits<std::int32_t>::max(),
                                                           "a Long")));
        break;
    case DataType::Currency: {
        auto v = parseReal(value);
        if (!v || std::fabs(*v) > 9.2e14) throw std::invalid_argument("'" + std::string(value) + "' is not a Currency value");
        putLE(out, static_cast<std::int64_t>(std::llround(*v * 10000.0)));
        break;
    }
    case DataType::Single: {
        auto v = parseReal(value);
        if (!v) throw std::invalid_argument("'" + std::string(value) + "' is not a number");
        putFloatLE(out, static_cast<float>(*v));
        break;
    }
    case DataType::Double:
    case DataType::DateTime: {
        auto v = parseReal(value);
        if (!v) throw std::invalid_argument("'" + std::string(value) + "' is not a number");
        putFloatLE(out, *v);
        break;
    }
    case DataType::Text:
    case DataType::Memo:
        out = utf16le(value);
        break;
    case DataType::Binary:
    case DataType::Ole:
        out = hexBytes(value);
        break;
    case DataType::Guid:
        out = guidBytes(value);
        break;
    case DataType::Decimal:
        throw std::invalid_argument("Decimal values are not supported");
    }
    return out;
}

Property makeProperty(const std::string& name, std::string_view typeName, std::string_view value,
                      bool quoted)
{
    Property p;
    p.name = name;
    const KnownProperty* known = nullptr;
    for (const auto& k : kKnownProperties)
        if (name == k.name) known = &k;
    p.ddl = known && known->ddl;

    if (!typeName.empty()) {
        auto t = typeFromName(typeName);
        if (!t) throw std::invalid_argument("unknown property type '" + std::string(typeName) + "'");
        p.type = *t;
    } else if (quoted) {
        p.type = known && (known->type == DataType::Memo || known->type == DataType::Text)
                     ? known->type
                     : DataType::Text;
    } else if (equalsIgnoreCase(value, "yes") || equalsIgnoreCase(value, "no") ||
               equalsIgnoreCase(value, "true") || equalsIgnoreCase(value, "false")) {
        p.type = DataType::YesNo;
    } else if (parseInteger(value)) {
        p.type = DataType::Long;
    } else if (parseReal(value)) {
        p.type = DataType::Double;
    } else {
        throw std::invalid_argument("the value '" + std::string(value) +
                                    "' needs quotes (text), yes/no, or a number");
    }

    p.value = encodeValue(p.type, value);
    if (p.value.size() > 0xFFF0) throw std::invalid_argument("the value of " + name + " is too long");
    return p;
}

// ---------------------------------------------------------------------------------------------
// The description parser

namespace {

struct Token {
    enum Kind { Word, String, Punct } kind;
    std::string text;
};

// Splits one line into words, quoted strings ("" inside quotes stands for one quote) and the
// punctuation ( ) , = : ; a '#' outside quotes ends the line.
std::vector<Token> tokenize(std::string_view line, int lineNo)
{
    std::vector<Token> out;
    std::size_t i = 0;
    auto isPunct = [](char c) { return c == '(' || c == ')' || c == ',' || c == '=' || c == ':'; };
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            std::string text;
            ++i;
            for (;;) {
                if (i >= line.size()) throw DescriptionError(lineNo, "a quoted text is not closed");
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        text += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += line[i++];
            }
            out.push_back({Token::String, std::move(text)});
        } else if (isPunct(c)) {
            out.push_back({Token::Punct, std::string(1, c)});
            ++i;
        } else {
            std::size_t start = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
                   line[i] != '"' && line[i] != '#' && !isPunct(line[i]))
                ++i;
            out.push_back({Token::Word, std::string(line.substr(start, i - start))});
        }
    }
    return out;
}

// The longest texts the query system table's columns hold: Name1 and Name2 are Text(255);
// Expression is a long value, whose length field has 24 bits.
constexpr std::size_t kShortTextLength = 255;
constexpr std::size_t kLongTextLength = 0x7FFFFF;

class LineReader {
public:
    LineReader(std::vector<Token> tokens, int line) : tokens_(std::move(tokens)), line_(line) {}

    int line() const { return line_; }
    bool atEnd() const { return pos_ >= tokens_.size(); }
    [[noreturn]] void fail(const std::string& message) const { throw DescriptionError(line_, message); }

    const Token* peek() const { return atEnd() ? nullptr : &tokens_[pos_]; }
    bool peekPunct(char c) const { return peek() && peek()->kind == Token::Punct && peek()->text[0] == c; }
    bool peekWord(std::string_view w) const
    {
        return peek() && peek()->kind == Token::Word && equalsIgnoreCase(peek()->text, w);
    }

    void expectPunct(char c, const char* where)
    {
        if (!peekPunct(c)) fail(std::string("expected '") + c + "' " + where);
        ++pos_;
    }
    bool acceptPunct(char c)
    {
        if (!peekPunct(c)) return false;
        ++pos_;
        return true;
    }
    bool acceptWord(std::string_view w)
    {
        if (!peekWord(w)) return false;
        ++pos_;
        return true;
    }
    // Sets the flag named by the next word, when it is one of options; false when it is none.
    bool acceptOption(std::initializer_list<std::pair<const char*, bool*>> options)
    {
        for (auto [word, flag] : options)
            if (acceptWord(word)) {
                *flag = true;
                return true;
            }
        return false;
    }

    // A name: a bare word or a quoted text. Checks what Access allows in object names.
    std::string name(const char* what)
    {
        if (atEnd() || tokens_[pos_].kind == Token::Punct) fail(std::string("expected ") + what);
        std::string n = tokens_[pos_++].text;
        try {
            auto units = utf16Length(n);
            if (units == 0) fail(std::string("the ") + what + " is empty");
            if (units > 64) fail(std::string("the ") + what + " '" + n + "' is longer than 64 characters");
        } catch (const std::invalid_argument& e) {
            fail(std::string("the ") + what + ": " + e.what());
        }
        return n;
    }
    // Any text: a quoted string or a bare word, of at most maxLength characters (UTF-16 units).
    // Texts for long-value columns are limited only by what a long value can hold.
    std::string text(const char* what, std::size_t maxLength = kLongTextLength)
    {
        if (atEnd() || tokens_[pos_].kind == Token::Punct) fail(std::string("expected ") + what);
        std::string t = tokens_[pos_++].text;
        std::size_t length = 0;
        try {
            length = utf16Length(t);
        } catch (const std::invalid_argument& e) {
            fail(std::string(what) + ": " + e.what());
        }
        if (length > maxLength)
            fail(std::string(what) + " is longer than " + std::to_string(maxLength) + " characters");
        return t;
    }
    // moved or stale, when the next word is one of them: sets state. Both make an old version
    // that had moved; neither may be given twice.
    bool acceptRowState(RowState& state)
    {
        bool moved = acceptWord("moved");
        bool stale = !moved && acceptWord("stale");
        if (!moved && !stale) return false;
        bool wasMoved = state == RowState::Moved || state == RowState::StaleMoved;
        if ((moved && wasMoved) || (stale && isStale(state))) fail(std::string(moved ? "moved" : "stale") + " is given twice");
        moved = moved || wasMoved;
        stale = stale || isStale(state);
        state = moved && stale ? RowState::StaleMoved : moved ? RowState::Moved : RowState::Stale;
        return true;
    }
    long long integer(const char* what, long long lo, long long hi)
    {
        if (atEnd() || tokens_[pos_].kind != Token::Word) fail(std::string("expected ") + what);
        auto v = parseInteger(tokens_[pos_].text);
        if (!v || *v < lo || *v > hi)
            fail(std::string("expected ") + what + " from " + std::to_string(lo) + " to " +
                 std::to_string(hi) + ", not '" + tokens_[pos_].text + "'");
        ++pos_;
        return *v;
    }
    std::string word(const char* what)
    {
        if (atEnd() || tokens_[pos_].kind != Token::Word) fail(std::string("expected ") + what);
        return tokens_[pos_++].text;
    }
    void expectEnd()
    {
        if (!atEnd()) fail("unexpected '" + tokens_[pos_].text + "'");
    }

    // NAME[:type]=VALUE
    Property property()
    {
        std::string n = name("a property name");
        std::string type;
        if (acceptPunct(':')) type = word("a property type");
        expectPunct('=', "after the property name");
        if (atEnd() || peek()->kind == Token::Punct) fail("expected the value of " + n);
        bool quoted = peek()->kind == Token::String;
        std::string value = tokens_[pos_++].text;
        try {
            return makeProperty(n, type, value, quoted);
        } catch (const std::invalid_argument& e) {
            fail("property " + n + ": " + e.what());
        }
    }

    // (name, name, ...)
    std::vector<std::string> nameList(const char* what)
    {
        std::vector<std::string> names;
        expectPunct('(', (std::string("before the ") + what).c_str());
        do {
            names.push_back(name(what));
        } while (acceptPunct(','));
        expectPunct(')', (std::string("after the ") + what).c_str());
        return names;
    }

private:
    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    int line_;
};

struct QueryTypeName {
    const char* word;
    QueryType type;
};

constexpr QueryTypeName kQueryTypes[] = {
    {"select", QueryType::Select},       {"crosstab", QueryType::Crosstab},
    {"delete", QueryType::Delete},       {"update", QueryType::Update},
    {"append", QueryType::Append},       {"maketable", QueryType::MakeTable},
    {"ddl", QueryType::DataDefinition},  {"passthrough", QueryType::PassThrough},
    {"union", QueryType::Union},
};

// The query's design-row attribute numbers.
enum Attribute {
    kAttrType = 1,
    kAttrParameter = 2,
    kAttrOptions = 3,
    kAttrSource = 5,
    kAttrColumn = 6,
    kAttrJoin = 7,
    kAttrWhere = 8,
    kAttrGroupBy = 9,
    kAttrHaving = 10,
    kAttrOrderBy = 11,
};

int typeRowFlag(QueryType t)
{
    switch (t) {
    case QueryType::Select: return 1;
    case QueryType::MakeTable: return 2;
    case QueryType::Append: return 3;
    case QueryType::Update: return 4;
    case QueryType::Delete: return 5;
    case QueryType::Crosstab: return 6;
    case QueryType::DataDefinition: return 7;
    case QueryType::PassThrough: return 8;
    case QueryType::Union: return 9;
    }
    return 1;
}

class Parser {
public:
    Database run(std::string_view text)
    {
        int lineNo = 0;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            ++lineNo;
            auto tokens = tokenize(text.substr(start, end - start), lineNo);
            if (!tokens.empty()) statement(LineReader(std::move(tokens), lineNo));
            start = end + 1;
        }
        finishQuery();
        return std::move(db_);
    }

private:
    enum class Block { None, Table, Query };

    void statement(LineReader r)
    {
        if (r.peek()->kind != Token::Word) r.fail("a line must start with a keyword");
        std::string keyword = r.word("a keyword");
        std::string k;
        for (char c : keyword) k += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

        if (k == "table") return table(r);
        if (k == "linked") return linked(r);
        if (k == "relationship") return relationship(r);
        if (k == "query") return query(r);
        if (k == "database") return database(r);
        if (block_ == Block::Table) {
            if (k == "field") return field(r);
            if (k == "deleted") return deleted(r);
            if (k == "index") return index(r);
            if (k == "values") return values(r);
            if (k == "property") return properties(r, db_.tables.back().properties);
        }
        if (block_ == Block::Query && queryLine(k, r)) return;
        if (block_ == Block::None && (k == "field" || k == "index" || k == "property" || k == "deleted" || k == "values"))
            r.fail("'" + keyword + "' must follow a table");
        r.fail("unknown keyword '" + keyword + "'" +
               (block_ == Block::Query ? " in a query" : block_ == Block::Table ? " in a table" : ""));
    }

    void table(LineReader& r)
    {
        finishQuery();
        Table t;
        t.line = r.line();
        t.name = r.name("table name");
        while (!r.atEnd())
            if (!r.acceptOption({{"system", &t.system}, {"hidden", &t.hidden}}) && !r.acceptRowState(t.state))
                r.fail("unknown table option '" + r.peek()->text + "' (expected system, hidden, moved or stale)");
        db_.tables.push_back(std::move(t));
        block_ = Block::Table;
    }

    void field(LineReader& r)
    {
        Table& t = db_.tables.back();
        Field f;
        f.line = r.line();
        f.name = r.name("field name");
        std::string typeWord = r.word("a field type");
        if (equalsIgnoreCase(typeWord, "autonumber")) {
            f.type = DataType::Long;
            f.autoNumber = true;
        } else {
            auto type = typeFromName(typeWord);
            if (!type) r.fail("unknown field type '" + typeWord + "'");
            f.type = *type;
        }
        if (f.type == DataType::Text || f.type == DataType::Binary) {
            f.size = f.type == DataType::Text ? 50 : 255;
            if (r.acceptPunct('(')) {
                f.size = static_cast<int>(r.integer("a size", 1, 255));
                r.expectPunct(')', "after the size");
            }
        } else if (f.type == DataType::Decimal) {
            if (r.acceptPunct('(')) {
                f.precision = static_cast<int>(r.integer("a precision", 1, 28));
                if (r.acceptPunct(',')) f.scale = static_cast<int>(r.integer("a scale", 0, f.precision));
                r.expectPunct(')', "after the precision and scale");
            }
        } else if (r.peekPunct('(')) {
            r.fail("a " + typeWord + " field has no size");
        }
        while (!r.atEnd()) {
            if (r.acceptWord("autonumber")) {
                if (f.type != DataType::Long && f.type != DataType::Guid)
                    r.fail("only long and guid fields can be AutoNumber");
                f.autoNumber = true;
            } else if (r.acceptWord("nocompression")) {
                f.compressedUnicode = false;
            } else if (r.acceptWord("calculated")) {
                f.calculated = true;
            } else {
                f.properties.push_back(r.property());
            }
        }
        if (t.fields.size() >= 255) r.fail("a table has at most 255 fields");
        f.columnNumber = t.columnNumbersUsed++;
        t.fields.push_back(std::move(f));
    }

    void deleted(LineReader& r)
    {
        int count = r.atEnd() ? 1 : static_cast<int>(r.integer("a number of deleted fields", 1, 255));
        r.expectEnd();
        Table& t = db_.tables.back();
        if (t.columnNumbersUsed + count > 255) r.fail("a table has at most 255 column numbers");
        t.columnNumbersUsed += count;
    }

    void index(LineReader& r)
    {
        if (isStale(db_.tables.back().state))
            r.fail("a stale table is an old catalog row: its indexes are the live table's");
        Index ix;
        ix.line = r.line();
        ix.name = r.name("index name");
        r.expectPunct('(', "before the index's fields");
        do {
            IndexColumn c;
            c.field = r.name("field name");
            if (r.acceptWord("desc"))
                c.descending = true;
            else
                r.acceptWord("asc");
            ix.columns.push_back(std::move(c));
        } while (r.acceptPunct(','));
        r.expectPunct(')', "after the index's fields");
        while (!r.atEnd())
            if (!r.acceptOption({{"primary", &ix.primary},
                                 {"unique", &ix.unique},
                                 {"ignorenulls", &ix.ignoreNulls},
                                 {"required", &ix.required}}))
                r.fail("unknown index option '" + r.peek()->text +
                       "' (expected primary, unique, ignorenulls or required)");
        db_.tables.back().indexes.push_back(std::move(ix));
    }

    // values (VALUE, ...): one data row; null for an empty value.
    void values(LineReader& r)
    {
        if (isStale(db_.tables.back().state)) r.fail("a stale table is an old catalog row: it holds no rows");
        DataRow row;
        row.line = r.line();
        r.expectPunct('(', "before the values");
        do {
            DataValue v;
            if (r.acceptWord("null"))
                v.null = true;
            else
                v.text = r.text("a value");
            row.values.push_back(std::move(v));
        } while (r.acceptPunct(','));
        r.expectPunct(')', "after the values");
        while (r.acceptRowState(row.state)) {
        }
        r.expectEnd();
        for (const Field& f : db_.tables.back().fields)
            if (f.calculated) r.fail("table " + db_.tables.back().name + " has a calculated field, whose values cannot be written");
        db_.tables.back().rows.push_back(std::move(row));
    }

    void properties(LineReader& r, std::vector<Property>& into)
    {
        if (r.atEnd()) r.fail("expected Name=value");
        while (!r.atEnd()) into.push_back(r.property());
    }

    // database [encoded] [password TEXT] [spacious PAGES]: how the whole file is kept; each option
    // at most once in the description.
    void database(LineReader& r)
    {
        finishQuery();
        block_ = Block::None;
        if (r.atEnd()) r.fail("expected encoded, password or spacious after database");
        while (!r.atEnd()) {
            if (r.acceptWord("encoded")) {
                if (db_.encoded) r.fail("the database is already encoded");
                db_.encoded = true;
            } else if (r.acceptWord("password")) {
                if (!db_.password.empty()) r.fail("the database password is already given");
                db_.password = r.text("the database password", 20);
                if (db_.password.empty()) r.fail("the database password is empty");
                if (db_.password.find('\0') != std::string::npos) r.fail("the database password holds a NUL character");
            } else if (r.acceptWord("spacious")) {
                if (db_.freePagesPerTable > 0) r.fail("the database is already spacious");
                db_.freePagesPerTable = static_cast<int>(r.integer("a number of free pages", 1, 64));
            } else {
                r.fail("unknown database option '" + r.peek()->text + "' (expected encoded, password or spacious)");
            }
        }
    }

    void linked(LineReader& r)
    {
        finishQuery();
        block_ = Block::None;
        LinkedTable l;
        l.line = r.line();
        l.name = r.name("table name");
        while (!r.atEnd()) {
            std::string key = r.word("database=, connect= or foreign=");
            r.expectPunct('=', ("after " + key).c_str());
            if (equalsIgnoreCase(key, "database"))
                l.database = r.text("the linked database's path");
            else if (equalsIgnoreCase(key, "connect"))
                l.connect = r.text("the connect string");
            else if (equalsIgnoreCase(key, "foreign"))
                l.foreignName = r.name("foreign table name");
            else
                r.fail("unknown linked-table setting '" + key + "'");
        }
        if (l.database.empty() == l.connect.empty())
            r.fail("a linked table needs either database= or connect=");
        if (l.foreignName.empty()) l.foreignName = l.name;
        db_.linkedTables.push_back(std::move(l));
    }

    void relationship(LineReader& r)
    {
        finishQuery();
        block_ = Block::None;
        Relationship rel;
        rel.line = r.line();
        rel.name = r.name("relationship name");
        rel.primaryTable = r.name("primary table name");
        rel.primaryFields = r.nameList("primary table's fields");
        if (!r.acceptWord("->")) r.fail("expected '->' between the primary and the foreign table");
        rel.foreignTable = r.name("foreign table name");
        rel.foreignFields = r.nameList("foreign table's fields");
        if (rel.primaryFields.size() != rel.foreignFields.size())
            r.fail("the two tables must name the same number of fields");
        while (!r.atEnd()) {
            if (r.acceptOption({{"enforced", &rel.enforced},
                                {"cascadeupdate", &rel.cascadeUpdate},
                                {"cascadedelete", &rel.cascadeDelete},
                                {"cascadenull", &rel.cascadeNull},
                                {"onetoone", &rel.oneToOne}}) ||
                r.acceptRowState(rel.state))
                continue;
            if (r.acceptWord("join")) {
                r.expectPunct('=', "after join");
                if (r.acceptWord("inner"))
                    rel.join = JoinType::Inner;
                else if (r.acceptWord("left"))
                    rel.join = JoinType::LeftOuter;
                else if (r.acceptWord("right"))
                    rel.join = JoinType::RightOuter;
                else
                    r.fail("join is inner, left or right");
            } else
                r.fail("unknown relationship option '" + r.peek()->text + "'");
        }
        db_.relationships.push_back(std::move(rel));
    }

    void query(LineReader& r)
    {
        finishQuery();
        Query q;
        q.line = r.line();
        q.name = r.name("query name");
        std::string typeWord = r.word("a query type");
        bool known = false;
        for (const auto& t : kQueryTypes)
            if (equalsIgnoreCase(typeWord, t.word)) {
                q.type = t.type;
                known = true;
            }
        if (!known)
            r.fail("unknown query type '" + typeWord +
                   "' (expected select, crosstab, delete, update, append, maketable, ddl, "
                   "passthrough or union)");
        while (!r.atEnd()) {
            if (r.acceptOption({{"hidden", &q.hidden}, {"notyperow", &q.noTypeRow}}) || r.acceptRowState(q.state))
                continue;
            if (r.acceptWord("version")) {
                r.expectPunct('=', "after version");
                q.version = static_cast<int>(r.integer("a version", 0, 32767));
                continue;
            }
            r.fail("unexpected '" + r.peek()->text +
                   "' after the query's type (expected hidden, notyperow, version=N, moved or stale)");
        }
        db_.queries.push_back(std::move(q));
        typeRow_ = QueryRow{kAttrType, typeRowFlag(db_.queries.back().type), {}, {}, {}, {}};
        optionsRow_.reset();
        block_ = Block::Query;
    }

    // Adds the type row (and the options row, when given) in front of the query's other rows.
    void finishQuery()
    {
        if (block_ != Block::Query) return;
        Query& q = db_.queries.back();
        std::vector<QueryRow> rows;
        if (!q.noTypeRow) rows.push_back(typeRow_);
        if (optionsRow_) rows.push_back(*optionsRow_);
        rows.insert(rows.end(), q.rows.begin(), q.rows.end());
        q.rows = std::move(rows);
        block_ = Block::None;
    }

    // One line inside a query; false when the keyword is not a query keyword.
    bool queryLine(const std::string& k, LineReader& r)
    {
        Query& q = db_.queries.back();
        auto add = [&](QueryRow row) {
            if (r.acceptWord("flag")) {
                r.expectPunct('=', "after flag");
                row.flag = static_cast<int>(r.integer("a flag", -32768, 32767));
            }
            r.expectEnd();
            q.rows.push_back(std::move(row));
        };
        if (k == "property") {
            properties(r, q.properties);
        } else if (k == "parameter") {
            QueryRow row{kAttrParameter, {}, r.name("parameter name"), {}, {}, {}};
            std::string typeWord = r.word("the parameter's type");
            auto type = typeFromName(typeWord);
            if (!type) r.fail("unknown parameter type '" + typeWord + "'");
            row.flag = static_cast<int>(*type);
            // text(SIZE): Access keeps a Text parameter's size in the row's LvExtra.
            if (*type == DataType::Text && r.acceptPunct('(')) {
                row.extra = static_cast<std::int32_t>(r.integer("a size", 1, 255));
                r.expectPunct(')', "after the size");
            } else if (r.peekPunct('(')) {
                r.fail("only a text parameter has a size");
            }
            add(row);
        } else if (k == "option") {
            int flags = 0;
            std::optional<std::string> top;
            while (!r.atEnd()) {
                if (r.acceptWord("star"))
                    flags |= 1;
                else if (r.acceptWord("distinct"))
                    flags |= 2;
                else if (r.acceptWord("owneraccess"))
                    flags |= 4;
                else if (r.acceptWord("distinctrow"))
                    flags |= 8;
                else if (r.acceptWord("top")) {
                    flags |= 16;
                    r.expectPunct('=', "after top");
                    top = r.text("the TOP value", kShortTextLength);
                } else if (r.acceptWord("percent"))
                    flags |= 32;
                else
                    r.fail("unknown query option '" + r.peek()->text + "'");
            }
            optionsRow_ = QueryRow{kAttrOptions, flags, top, {}, {}, {}};
        } else if (k == "from") {
            QueryRow row{kAttrSource, {}, r.name("source table or query"), {}, {}, {}};
            if (r.acceptWord("as")) row.name2 = r.name("alias");
            add(row);
        } else if (k == "union") {
            int part = 1;
            for (const auto& row : q.rows)
                if (row.attribute == kAttrSource && row.expression) ++part;
            std::string sql = r.text("the SQL text of the union's part");
            // Access names the parts of a union with a fixed prefix and their number.
            add(QueryRow{kAttrSource, {}, {}, "X7YZ_____" + std::to_string(part), sql, {}});
        } else if (k == "join") {
            int kind = r.acceptWord("inner") ? 1 : r.acceptWord("left") ? 2 : r.acceptWord("right") ? 3 : 0;
            if (kind == 0) r.fail("a join is inner, left or right");
            QueryRow row{kAttrJoin, kind, r.name("left table"), r.name("right table"), {}, {}};
            row.expression = r.text("the join's ON condition");
            add(row);
        } else if (k == "column") {
            QueryRow row{kAttrColumn, 0, {}, {}, r.text("the column's expression"), {}};
            while (r.peekWord("as") || r.peekWord("into")) {
                if (r.acceptWord("as")) row.name1 = r.name("alias");
                if (r.acceptWord("into")) row.name2 = r.name("target field");
            }
            add(row);
        } else if (k == "where" || k == "having") {
            add(QueryRow{k == "where" ? kAttrWhere : kAttrHaving, {}, {}, {}, r.text("an expression"), {}});
        } else if (k == "groupby") {
            add(QueryRow{kAttrGroupBy, 0, {}, {}, r.text("an expression"), {}});
        } else if (k == "orderby") {
            QueryRow row{kAttrOrderBy, {}, {}, {}, r.text("an expression"), {}};
            if (r.acceptWord("desc"))
                row.name1 = "D";
            else
                r.acceptWord("asc");
            add(row);
        } else if (k == "target" || k == "connect") {
            typeRow_.name1 = k == "target" ? r.name("target table") : r.text("the connect string", kShortTextLength);
            r.expectEnd();
        } else if (k == "sql") {
            typeRow_.expression = r.text("the SQL text");
            r.expectEnd();
        } else if (k == "row") {
            QueryRow row{static_cast<int>(r.integer("an attribute number", 0, 255)), {}, {}, {}, {}, {}};
            while (!r.atEnd()) {
                std::string key = r.word("flag=, name1=, name2=, expression= or extra=");
                r.expectPunct('=', ("after " + key).c_str());
                if (equalsIgnoreCase(key, "flag"))
                    row.flag = static_cast<int>(r.integer("a flag", -32768, 32767));
                else if (equalsIgnoreCase(key, "name1"))
                    row.name1 = r.text("name1", kShortTextLength);
                else if (equalsIgnoreCase(key, "name2"))
                    row.name2 = r.text("name2", kShortTextLength);
                else if (equalsIgnoreCase(key, "expression"))
                    row.expression = r.text("expression");
                else if (equalsIgnoreCase(key, "extra"))
                    row.extra = static_cast<std::int32_t>(
                        r.integer("an LvExtra value", std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max()));
                else
                    r.fail("unknown row setting '" + key + "'");
            }
            q.rows.push_back(std::move(row));
        } else {
            return false;
        }
        return true;
    }

    Database db_;
    Block block_ = Block::None;
    QueryRow typeRow_;
    std::optional<QueryRow> optionsRow_;
};

}  // namespace

Database parseDescription(std::string_view text)
{
    return Parser().run(text);
}

}  // namespace mdbgen
