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

TableDesign tableDesign(TableFacts table)
{
    TableDesign design;
    design.name = std::move(table.name);
    design.fields.reserve(table.fields.size());
    for (const FieldFacts& f : table.fields) design.fields.push_back(FieldDesign{f.name, fieldProperties(f, design.name)});
    design.indexes = std::move(table.indexes);
    return design;
}

void DesignSink::tableAsRead(TableFacts table) { this->table(tableDesign(std::move(table))); }

}  // namespace engine
