#include "expected_design.h"

#include "expected_sql.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace difftest {

bool Value::matches(const Value& other) const
{
    if (kind == Any || other.kind == Any) return true;
    if (kind != other.kind) return false;
    switch (kind) {
    case Boolean: return boolean == other.boolean;
    case Number: return std::memcmp(&number, &other.number, sizeof number) == 0 || number == other.number;
    case Text: return text == other.text;
    default: return true;
    }
}

std::string Value::describe() const
{
    switch (kind) {
    case Any: return "(any)";
    case Null: return "Null";
    case Boolean: return boolean ? "True" : "False";
    case Text: return "\"" + text + "\"";
    case Number: {
        char buffer[40];
        auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, number);  // reads back as the same double
        return error == std::errc() ? std::string(buffer, end) : "?";
    }
    }
    return "?";
}

namespace {

// Appends one code point as UTF-16: a surrogate pair beyond the BMP.
void appendUtf16(std::u16string& out, char32_t cp)
{
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<char16_t>(cp);
    }
}

// A UTF-8 text as UTF-16 units.
std::u16string utf16(const std::string& s)
{
    std::u16string out;
    for (char32_t cp : codePoints(s)) appendUtf16(out, cp);
    return out;
}

// Every code point folded by ICU's simple (one to one) default case folding.
std::u16string folded(const std::string& s)
{
    std::u16string out;
    for (char32_t cp : codePoints(s))
        appendUtf16(out, static_cast<char32_t>(u_foldCase(static_cast<UChar32>(cp), U_FOLD_CASE_DEFAULT)));
    return out;
}

// Appends one code point as UTF-8.
void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16LE bytes (pairs of surrogates joined) to UTF-8.
std::string fromUtf16le(const std::vector<std::uint8_t>& b)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
        char32_t unit = static_cast<char32_t>(b[i] | b[i + 1] << 8);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < b.size()) {
            char32_t low = static_cast<char32_t>(b[i + 2] | b[i + 3] << 8);
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        appendUtf8(out, unit);
    }
    return out;
}

// Upper-case hex digits of n bytes: {0x01, 0xAB} -> "01AB".
std::string hex(const std::uint8_t* p, std::size_t n)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

// A little-endian number of T's size from the start of b (callers check its length).
template <typename T>
T little(const std::vector<std::uint8_t>& b)
{
    T value;
    std::memcpy(&value, b.data(), sizeof value);  // the machine is little-endian, as the file
    return value;
}

constexpr double kFixedDate = 45292.5;  // 1 January 2024, noon: every date the generator writes

using mdbgen::DataType;

// The type code Access reports for a field's type, and its size.
int reportedType(DataType t)
{
    return t == DataType::Decimal ? 20 : static_cast<int>(t);
}

int reportedSize(DataType t, int size)
{
    switch (t) {
    case DataType::Text:
    case DataType::Binary: return size;
    case DataType::Memo:
    case DataType::Ole: return 0;
    case DataType::YesNo:
    case DataType::Byte: return 1;
    case DataType::Integer: return 2;
    case DataType::Long:
    case DataType::Single: return 4;
    case DataType::Currency:
    case DataType::Double:
    case DataType::DateTime: return 8;
    case DataType::Guid: return 16;
    case DataType::Decimal: return 17;
    }
    return 0;
}

// True when a and b are the same name but for letter case.
bool sameFolded(const std::string& a, const std::string& b)
{
    return folded(a) == folded(b);
}

// The property named name, its value the stored one of the first property of that name in any
// letter case ("required" is the Required property), or fallback.
NamedValue storedOr(const std::vector<mdbgen::Property>& stored, const char* name, Value fallback)
{
    for (const auto& p : stored)
        if (sameFolded(p.name, name)) return {name, storedValue(p), p.name != name};
    return {name, std::move(fallback)};
}

// Appends the stored properties that no position of list holds (by name, letter case folded),
// the first of each name, in name order.
void appendOthers(ValueList& list, const std::vector<mdbgen::Property>& stored)
{
    ValueList others;
    for (const auto& p : stored) {
        bool placed =
            std::any_of(list.begin(), list.end(), [&](const NamedValue& v) { return sameFolded(v.name, p.name); });
        bool repeated =
            std::any_of(others.begin(), others.end(), [&](const NamedValue& v) { return v.name == p.name; });
        if (!placed && !repeated) others.push_back({p.name, storedValue(p)});
    }
    std::stable_sort(others.begin(), others.end(),
                     [](const NamedValue& a, const NamedValue& b) { return nameBefore(a.name, b.name); });
    list.insert(list.end(), others.begin(), others.end());
}

// A field's whole property list (see the header), stored: its stored properties.
FieldModel field(const std::string& table, const std::string& name, std::size_t position, DataType type, int size,
                 const std::vector<mdbgen::Property>& stored)
{
    ValueList p = {
        {"Value", Value::null()},
        {"Attributes", Value::any()},
        {"CollatingOrder", Value::of(1033)},
        {"Type", Value::of(reportedType(type))},
        {"Name", Value::of(name)},
        {"OrdinalPosition", Value::of(static_cast<int>(position))},
        {"Size", Value::of(reportedSize(type, size))},
        {"SourceField", Value::of(name)},
        {"SourceTable", Value::of(table)},
        {"ValidateOnSet", Value::of(false)},
        {"DataUpdatable", Value::of(false)},
        {"ForeignName", Value::null()},
        storedOr(stored, "DefaultValue", Value::of(std::string())),
        storedOr(stored, "ValidationRule", Value::of(std::string())),
        storedOr(stored, "ValidationText", Value::of(std::string())),
        storedOr(stored, "Required", Value::of(false)),
        storedOr(stored, "AllowZeroLength", Value::of(false)),
    };
    appendOthers(p, stored);
    return FieldModel{name, std::move(p)};
}

// The four system tables the generator always writes, with their columns as the file format
// defines them (name, type, size: characters for Text, bytes for Binary).
std::vector<TableModel> systemTables()
{
    struct Column {
        const char* name;
        DataType type;
        int size;
    };
    const std::vector<std::pair<const char*, std::vector<Column>>> tables = {
        {"MSysObjects",
         {{"Id", DataType::Long, 0},
          {"ParentId", DataType::Long, 0},
          {"Name", DataType::Text, 255},
          {"Type", DataType::Integer, 0},
          {"DateCreate", DataType::DateTime, 0},
          {"DateUpdate", DataType::DateTime, 0},
          {"Owner", DataType::Binary, 510},
          {"Flags", DataType::Long, 0},
          {"Database", DataType::Memo, 0},
          {"Connect", DataType::Memo, 0},
          {"ForeignName", DataType::Text, 255},
          {"RmtInfoShort", DataType::Binary, 510},
          {"RmtInfoLong", DataType::Ole, 0},
          {"Lv", DataType::Ole, 0},
          {"LvProp", DataType::Ole, 0},
          {"LvModule", DataType::Ole, 0},
          {"LvExtra", DataType::Ole, 0}}},
        {"MSysACEs",
         {{"ObjectId", DataType::Long, 0},
          {"SID", DataType::Binary, 510},
          {"ACM", DataType::Long, 0},
          {"FInheritable", DataType::YesNo, 0}}},
        {"MSysQueries",
         {{"ObjectId", DataType::Long, 0},
          {"Attribute", DataType::Byte, 0},
          {"Order", DataType::Binary, 510},
          {"Name1", DataType::Text, 255},
          {"Name2", DataType::Text, 255},
          {"Expression", DataType::Memo, 0},
          {"Flag", DataType::Integer, 0},
          {"LvExtra", DataType::Long, 0}}},
        {"MSysRelationships",
         {{"szRelationship", DataType::Text, 255},
          {"grbit", DataType::Long, 0},
          {"ccolumn", DataType::Long, 0},
          {"icolumn", DataType::Long, 0},
          {"szObject", DataType::Text, 255},
          {"szColumn", DataType::Text, 255},
          {"szReferencedObject", DataType::Text, 255},
          {"szReferencedColumn", DataType::Text, 255}}},
    };
    std::vector<TableModel> out;
    for (const auto& [name, columns] : tables) {
        TableModel t{name, {}, {}};
        for (const Column& c : columns) t.fields.push_back(field(name, c.name, t.fields.size(), c.type, c.size, {}));
        out.push_back(std::move(t));
    }
    return out;
}

// An index's property list: Name, Foreign, Unique, Clustered (never), Required, IgnoreNulls,
// Primary, Fields.
IndexModel index(const std::string& name, const std::string& fields, bool foreign, bool unique, bool required,
                 bool ignoreNulls, bool primary)
{
    ValueList p = {{"Name", Value::of(name)},         {"Foreign", Value::of(foreign)},
                   {"Unique", Value::of(unique)},     {"Clustered", Value::of(false)},
                   {"Required", Value::of(required)}, {"IgnoreNulls", Value::of(ignoreNulls)},
                   {"Primary", Value::of(primary)},   {"Fields", Value::of(fields)}};
    return IndexModel{name, fields, std::move(p)};
}

// A described table: its fields in column order, its indexes as listed, then those its
// enforced relationships add.
TableModel table(const mdbgen::Table& t, const mdbgen::Database& db)
{
    TableModel out{t.name, {}, {}};
    for (const auto& f : t.fields)
        out.fields.push_back(field(t.name, f.name, out.fields.size(), f.type, f.size, f.properties));
    for (const auto& ix : t.indexes) {
        std::string fields;
        for (const auto& c : ix.columns)
            fields += (fields.empty() ? "" : ";") + std::string(c.descending ? "-" : "+") + c.field;
        out.indexes.push_back(index(ix.name, fields, false, ix.unique || ix.primary, ix.required || ix.primary,
                                    ix.ignoreNulls, ix.primary));
    }
    // An enforced relationship gives its foreign table an index of its name over the foreign
    // fields, ascending, neither unique nor required.
    for (const auto& rel : db.relationships) {
        if (!rel.enforced || rel.foreignTable != t.name) continue;
        std::string fields;
        for (const auto& f : rel.foreignFields) fields += (fields.empty() ? "+" : ";+") + f;
        out.indexes.push_back(index(rel.name, fields, true, false, false, false, false));
    }
    return out;
}

// A system table's name: "MSys" in any ASCII letter case.
bool isSystemName(const std::string& name)
{
    if (name.size() < 4) return false;
    std::string prefix = name.substr(0, 4);
    for (char& c : prefix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return prefix == "msys";
}

// A relationship's Attributes: 0x1 one-to-one, 0x2 not enforced, 0x100 cascade update, 0x1000
// cascade delete, 0x2000 cascade to Null, 0x01000000 left join, 0x02000000 right join.
std::uint32_t relationshipAttributes(const mdbgen::Relationship& r)
{
    std::uint32_t a = 0;
    if (r.oneToOne) a |= 0x1;
    if (!r.enforced) a |= 0x2;
    if (r.cascadeUpdate) a |= 0x100;
    if (r.cascadeDelete) a |= 0x1000;
    if (r.cascadeNull) a |= 0x2000;
    if (r.join == mdbgen::JoinType::LeftOuter) a |= 0x01000000;
    if (r.join == mdbgen::JoinType::RightOuter) a |= 0x02000000;
    return a;
}

// A query's whole property list (see the header); a query whose SQL the oracle cannot work out
// expects a text saying so, which no engine serves.
QueryModel query(const mdbgen::Query& q)
{
    std::string connect;  // a pass-through query's connect string, from its type row
    if (q.type == mdbgen::QueryType::PassThrough)
        for (const auto& r : q.rows)
            if (r.attribute == 1 && r.name1) connect = *r.name1;
    std::string sql;
    try {
        sql = expectedSql(q);
    } catch (const UnsupportedQuery& e) {
        sql = "(no expected SQL: " + std::string(e.what()) + ")";
    }
    ValueList p = {
        {"Name", Value::of(q.name)},
        {"DateCreated", Value::of(kFixedDate)},
        {"LastUpdated", Value::of(kFixedDate)},
        {"Type", Value::of(static_cast<int>(q.type))},
        {"SQL", Value::of(sql)},
        {"Updatable", Value::of(true)},
        storedOr(q.properties, "Connect", Value::of(connect)),
        storedOr(q.properties, "ReturnsRecords", Value::of(true)),
        storedOr(q.properties, "ODBCTimeout", Value::of(60)),
        {"RecordsAffected", Value::of(0)},
        storedOr(q.properties, "MaxRecords", Value::of(0)),
    };
    appendOthers(p, q.properties);
    return QueryModel{q.name, std::move(p)};
}

}  // namespace

Value storedValue(const mdbgen::Property& p)
{
    const auto& b = p.value;
    switch (p.type) {
    case DataType::Text:
    case DataType::Memo: return Value::of(fromUtf16le(b));
    case DataType::Binary:
    case DataType::Ole:
    case DataType::Decimal: return Value::of("0x" + hex(b.data(), b.size()));
    default: break;
    }
    if (b.empty()) return Value::null();  // a number of no bytes has no value
    switch (p.type) {
    case DataType::YesNo: return Value::of(std::any_of(b.begin(), b.end(), [](std::uint8_t x) { return x != 0; }));
    case DataType::Byte: return Value::of(static_cast<int>(b[0]));
    case DataType::Integer: return Value::of(b.size() == 4 ? little<std::int32_t>(b) : little<std::int16_t>(b));
    case DataType::Long: return Value::of(static_cast<double>(little<std::int32_t>(b)));
    case DataType::Currency: return Value::of(static_cast<double>(little<std::int64_t>(b)) / 10000.0);
    case DataType::Single: return Value::of(static_cast<double>(little<float>(b)));  // exact: every float is a double
    case DataType::Double:
    case DataType::DateTime: return Value::of(little<double>(b));
    case DataType::Guid: {
        // The first three groups are stored little-endian.
        const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
        std::string text = "{";
        for (int i = 0; i < 16; ++i) {
            if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
            text += hex(&b[static_cast<std::size_t>(order[i])], 1);
        }
        return Value::of(text + "}");
    }
    default: return Value::null();
    }
}

bool nameBefore(const std::string& a, const std::string& b)
{
    const std::u16string fa = folded(a), fb = folded(b);
    if (fa != fb) return fa < fb;  // char16_t compares as unsigned: unit by unit
    return utf16(a) < utf16(b);
}

DesignModel expectedDesign(const mdbgen::Database& db)
{
    DesignModel out;
    out.tables = systemTables();
    for (const auto& t : db.tables) out.tables.push_back(table(t, db));
    for (const auto& l : db.linkedTables) out.tables.push_back(TableModel{l.name, {}, {}});
    for (const auto& rel : db.relationships) {
        if (isSystemName(rel.primaryTable) && isSystemName(rel.foreignTable)) continue;  // Access's own
        RelationModel r{rel.name, rel.primaryTable, rel.foreignTable, {}, {}};
        for (std::size_t i = 0; i < rel.primaryFields.size(); ++i)
            r.fields.emplace_back(rel.primaryFields[i], rel.foreignFields[i]);
        r.properties = {{"Name", Value::of(rel.name)},
                        {"Table", Value::of(rel.primaryTable)},
                        {"ForeignTable", Value::of(rel.foreignTable)},
                        {"Attributes", Value::of(static_cast<double>(relationshipAttributes(rel)))},
                        {"PartialReplica", Value::of(false)}};
        out.relations.push_back(std::move(r));
    }
    for (const auto& q : db.queries) out.queries.push_back(query(q));
    auto byName = [](const auto& a, const auto& b) { return nameBefore(a.name, b.name); };
    std::stable_sort(out.tables.begin(), out.tables.end(), byName);
    std::stable_sort(out.relations.begin(), out.relations.end(), byName);
    std::stable_sort(out.queries.begin(), out.queries.end(), byName);
    return out;
}

}  // namespace difftest
