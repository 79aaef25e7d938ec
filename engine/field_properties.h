// A table as the reader finds it, before its fields' and indexes' property lists are made: what
// each list is made from, and the one place that says what a field's or an index's list holds. A
// sink that writes the lists out (the encoder) writes them from these instead of building them.
#pragma once

#include "design.h"
#include "property_blob.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The names of the properties every field has, in the order of its list (design.h); the last five
// may be stored, and Access reports a default for them when they are not.
inline constexpr std::array<const char*, 17> kFieldPropertyNames = {
    "Value",          "Attributes",     "CollatingOrder", "Type",     "Name",           "OrdinalPosition",
    "Size",           "SourceField",    "SourceTable",    "ValidateOnSet", "DataUpdatable", "ForeignName",
    "DefaultValue",   "ValidationRule", "ValidationText", "Required", "AllowZeroLength"};
inline constexpr std::size_t kFirstStoredFieldProperty = 12;  // DefaultValue

// The names of an index's properties, in the order of its list.
inline constexpr std::array<const char*, 8> kIndexPropertyNames = {
    "Name", "Foreign", "Unique", "Clustered", "Required", "IgnoreNulls", "Primary", "Fields"};

// A field: its column's entry in the table's definition, as the list reports it, and what is
// stored for it, pointing into its table's TableFacts::blocks.
struct FieldFacts {
    std::string name;
    int attributes = 0;       // the column's flags
    int collatingOrder = 0;   // 1033 (General) for all but text columns
    int type = 0;             // as reported: 10 Text, 20 Decimal, ...
    int size = 0;             // as reported: characters for Text, 0 for Memo and OLE
    std::size_t position = 0; // among the table's fields, from 0
    // The stored values of DefaultValue, ValidationRule, ValidationText, Required and
    // AllowZeroLength, found by name in any letter case; null where none is stored.
    std::array<const Variant*, 5> stored{};
    // Its other stored properties, in the order the list takes them (by name).
    std::vector<const StoredProperty*> others;
};

// An index as the table's definition gives it. Clustered is always No.
struct IndexFacts {
    std::string name;
    std::string fields;  // "+ID;-Name": each field ascending (+) or descending (-)
    bool foreign = false, unique = false, required = false, ignoreNulls = false, primary = false;
};

struct TableFacts {
    std::string name;
    std::vector<FieldFacts> fields;        // in column order
    std::vector<IndexFacts> indexes;       // in the order the table stores them
    std::vector<PropertyBlock> blocks;     // the table's stored property blocks
};

// A property's value as it is handed over, without a Variant made for it.
struct PropertyValue {
    enum Kind { Null, Boolean, Number, Text, Stored } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string_view text;
    const Variant* stored = nullptr;  // Stored: the value as the blob holds it

    static PropertyValue null() { return {}; }
    static PropertyValue of(bool b) { return {Boolean, b, 0, {}, nullptr}; }
    static PropertyValue of(double n) { return {Number, false, n, {}, nullptr}; }
    static PropertyValue of(std::string_view t) { return {Text, false, 0, t, nullptr}; }
    static PropertyValue of(const Variant& v) { return {Stored, false, 0, {}, &v}; }
    Variant variant() const;
};

// Hands each property of field f of the table named table to visit(name, value), in the list's
// order: the 17 every field has (kFieldPropertyNames), then f.others.
//     visitFieldProperties(f, "Orders", [](const char* name, const PropertyValue& v) { ... });
template <class Visit>
void visitFieldProperties(const FieldFacts& f, std::string_view table, Visit&& visit)
{
    const auto& names = kFieldPropertyNames;
    const std::string_view name = f.name;
    visit(names[0], PropertyValue::null());
    visit(names[1], PropertyValue::of(static_cast<double>(f.attributes)));
    visit(names[2], PropertyValue::of(static_cast<double>(f.collatingOrder)));
    visit(names[3], PropertyValue::of(static_cast<double>(f.type)));
    visit(names[4], PropertyValue::of(name));
    visit(names[5], PropertyValue::of(static_cast<double>(f.position)));
    visit(names[6], PropertyValue::of(static_cast<double>(f.size)));
    visit(names[7], PropertyValue::of(name));
    visit(names[8], PropertyValue::of(table));
    visit(names[9], PropertyValue::of(false));
    visit(names[10], PropertyValue::of(false));
    visit(names[11], PropertyValue::null());
    // Stored, or what Access reports when nothing is: empty texts, and No.
    for (std::size_t k = 0; k < f.stored.size(); ++k) {
        const PropertyValue otherwise = k < 3 ? PropertyValue::of(std::string_view()) : PropertyValue::of(false);
        visit(names[kFirstStoredFieldProperty + k], f.stored[k] ? PropertyValue::of(*f.stored[k]) : otherwise);
    }
    for (const StoredProperty* other : f.others) visit(other->name.c_str(), PropertyValue::of(other->value));
}

// Field f's property list, as visitFieldProperties goes through it.
PropertyList fieldProperties(const FieldFacts& f, std::string_view table);

// Index x's property list (kIndexPropertyNames).
PropertyList indexProperties(const IndexFacts& x);

// The table with its fields' and indexes' property lists made.
TableDesign tableDesign(TableFacts table);

}  // namespace engine
