#include "object_summary.h"

#include <cmath>

namespace dualyn {

namespace {

// Positions in the property lists (engine/design.h).
constexpr std::int16_t kFieldAttributes = 1, kFieldType = 3, kFieldSize = 6, kFieldRequired = 15;
constexpr std::int16_t kIndexUnique = 2, kIndexPrimary = 6;
constexpr std::int16_t kQuerySql = 4;

// The field attribute bit of an auto-increment field.
constexpr double kAutoIncrement = 16;

// The types whose size says something to the user: the texts and the binaries.
bool TypeHasSize(double type) { return type == 9 || type == 10 || type == 17 || type == 18; }

// The value at position of a list, Null when the list is shorter: a summary never fails.
engine::Variant ValueAt(const engine::Properties& properties, std::int16_t position)
{
    return position < properties.Count() ? properties.Item(position).Value() : engine::Variant();
}

// Whether value is the boolean true (or a number other than 0).
bool IsTrue(const engine::Variant& value)
{
    if (value.isBoolean()) return value.boolean();
    return value.isNumber() && value.number() != 0;
}

}  // namespace

std::string FieldTypeName(const engine::Variant& type)
{
    if (!type.isNumber()) return "no type";
    const double code = type.number();  // DAO's type numbers
    switch (static_cast<int>(code == std::trunc(code) ? code : -1)) {
    case 1: return "Yes/No";
    case 2: return "Byte";
    case 3: return "Integer";
    case 4: return "Long Integer";
    case 5: return "Currency";
    case 6: return "Single";
    case 7: return "Double";
    case 8: return "Date/Time";
    case 9: return "Binary";
    case 10: return "Text";
    case 11: return "OLE Object";
    case 12: return "Memo";
    case 15: return "Replication ID";
    case 16: return "Large Number";
    case 20: return "Decimal";
    default: return "type " + type.describe();
    }
}

std::string SummarizeTable(const engine::TableDef& table)
{
    std::string text = "Fields:\n";
    const engine::Fields fields = table.Fields();
    for (std::int16_t i = 0; i < fields.Count(); ++i) {
        const engine::Field field = fields.Item(i);
        const engine::Properties properties = field.Properties();
        const engine::Variant type = ValueAt(properties, kFieldType);
        text += "  " + field.Name() + ": " + FieldTypeName(type);
        if (type.isNumber() && TypeHasSize(type.number())) text += ", size " + ValueAt(properties, kFieldSize).describe();
        const engine::Variant attributes = ValueAt(properties, kFieldAttributes);
        if (attributes.isNumber() && (static_cast<long long>(attributes.number()) & static_cast<long long>(kAutoIncrement)))
            text += ", auto-increment";
        if (IsTrue(ValueAt(properties, kFieldRequired))) text += ", required";
        text += "\n";
    }
    const engine::Indexes indexes = table.Indexes();
    if (indexes.Count() > 0) text += "Indexes:\n";
    for (std::int16_t i = 0; i < indexes.Count(); ++i) {
        const engine::Index index = indexes.Item(i);
        const engine::Properties properties = index.Properties();
        std::string kind;  // " (primary key)", " (unique)" or nothing
        if (IsTrue(ValueAt(properties, kIndexPrimary)))
            kind = " (primary key)";
        else if (IsTrue(ValueAt(properties, kIndexUnique)))
            kind = " (unique)";
        text += "  " + index.Name() + kind + ": " + index.Fields() + "\n";
    }
    return text;
}

std::string QuerySql(const engine::QueryDef& query)
{
    const engine::Variant sql = ValueAt(query.Properties(), kQuerySql);
    return sql.isText() ? sql.text() : "";
}

}  // namespace dualyn
