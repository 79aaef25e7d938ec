#include "field_properties.h"

#include "name_order.h"

#include <algorithm>

namespace engine {

namespace {

// The names of the properties every field has, in the list's order.
constexpr const char* kFixedNames[kFieldPropertyCount] = {
    "Value",         "Attributes",    "CollatingOrder", "Type",           "Name",           "OrdinalPosition",
    "Size",          "SourceField",   "SourceTable",    "ValidateOnSet",  "DataUpdatable",  "ForeignName",
    "DefaultValue",  "ValidationRule", "ValidationText", "Required",      "AllowZeroLength"};

}  // namespace

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

const Variant* storedValue(const PropertyBlock* block, const char* name)
{
    if (block)
        for (const auto& p : block->properties)
            if (compareFolded(p.name, name) == 0) return &p.value;
    return nullptr;
}

std::vector<const StoredProperty*> otherStoredProperties(const PropertyBlock* block)
{
    std::vector<const StoredProperty*> others;
    if (!block) return others;
    for (const auto& s : block->properties) {
        bool placed = std::any_of(std::begin(kFixedNames), std::end(kFixedNames),
                                  [&s](const char* fixed) { return compareFolded(fixed, s.name) == 0; });
        bool repeated = std::any_of(others.begin(), others.end(), [&s](const StoredProperty* p) { return p->name == s.name; });
        if (!placed && !repeated) others.push_back(&s);
    }
    std::stable_sort(others.begin(), others.end(),
                     [](const StoredProperty* a, const StoredProperty* b) { return nameLess(a->name, b->name); });
    return others;
}

PropertyList fieldProperties(const FieldFacts& f, const PropertyBlock* block, std::string_view table)
{
    const std::vector<const StoredProperty*> others = otherStoredProperties(block);
    PropertyList list;
    list.reserve(kFieldPropertyCount + others.size());
    visitFieldProperties(f, block, table, others, [&list](const char* name, const PropertyValue& value) {
        list.push_back(Property{name, value.variant()});
    });
    return list;
}

TableDesign tableDesign(TableFacts table)
{
    TableDesign design;
    design.name = std::move(table.name);
    design.fields.reserve(table.fields.size());
    for (const FieldFacts& f : table.fields) {
        const PropertyBlock* block = f.block >= 0 ? &table.blocks[static_cast<std::size_t>(f.block)] : nullptr;
        design.fields.push_back(FieldDesign{f.name, fieldProperties(f, block, design.name)});
    }
    design.indexes = std::move(table.indexes);
    return design;
}

void DesignSink::tableAsRead(TableFacts table) { this->table(tableDesign(std::move(table))); }

}  // namespace engine
