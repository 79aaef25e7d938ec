#include "field_properties.h"

namespace engine {

Variant PropertyValue::variant() const
{
    switch (kind) {
    case Boolean: return Variant::boolean(boolean);
    case Number: return Variant::number(number);
    case Text: return Variant::text(std::string(text));
    case Stored: return *stored;
    default: return Variant();
    }
}

PropertyList fieldProperties(const FieldFacts& f, std::string_view table)
{
    PropertyList list;
    list.reserve(kFieldPropertyNames.size() + f.others.size());
    visitFieldProperties(f, table, [&list](const char* name, const PropertyValue& value) {
        list.push_back(Property{name, value.variant()});
    });
    return list;
}

PropertyList indexProperties(const IndexFacts& x)
{
    const auto& names = kIndexPropertyNames;
    return {{names[0], Variant::text(x.name)},       {names[1], Variant::boolean(x.foreign)},
            {names[2], Variant::boolean(x.unique)},  {names[3], Variant::boolean(false)},
            {names[4], Variant::boolean(x.required)}, {names[5], Variant::boolean(x.ignoreNulls)},
            {names[6], Variant::boolean(x.primary)}, {names[7], Variant::text(x.fields)}};
}

TableDesign tableDesign(TableFacts table)
{
    TableDesign design;
    design.name = std::move(table.name);
    design.fields.reserve(table.fields.size());
    for (const FieldFacts& f : table.fields) design.fields.push_back(FieldDesign{f.name, fieldProperties(f, design.name)});
    design.indexes.reserve(table.indexes.size());
    for (IndexFacts& x : table.indexes) {
        PropertyList properties = indexProperties(x);
        design.indexes.push_back(IndexDesign{std::move(x.name), std::move(x.fields), std::move(properties)});
    }
    return design;
}

void DesignSink::tableAsRead(TableFacts table) { this->table(tableDesign(std::move(table))); }

}  // namespace engine
