// A table as the reader finds it, before its fields' property lists are made: what each list is
// made from, and the one place that says what a field's list holds. A sink that writes the lists
// out (the encoder) goes through them property by property instead of building them.
#pragma once

#include "design.h"
#include "property_blob.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// A field: its column's entry in the table's definition, as the list reports it, and the
// properties stored for it.
struct FieldFacts {
    std::string name;
    int attributes = 0;       // the column's flags
    int collatingOrder = 0;   // 1033 (General) for all but text columns
    int type = 0;             // as reported: 10 Text, 20 Decimal, ...
    int size = 0;             // as reported: characters for Text, 0 for Memo and OLE
    std::size_t position = 0; // among the table's fields, from 0
    int block = -1;           // the position of its stored properties in TableFacts::blocks, or -1
};

struct TableFacts {
    std::string name;
    std::vector<FieldFacts> fields;        // in column order
    std::vector<IndexDesign> indexes;      // in the order the table stores them
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

// The number of properties every field has before its other stored ones.
inline constexpr std::size_t kFieldPropertyCount = 17;

// The stored properties of block (none when it is null) that the field's list places after its
// fixed ones: those not named like one of them, letter case aside, each name once, by name.
std::vector<const StoredProperty*> otherStoredProperties(const PropertyBlock* block);

// The first stored property of block named name in any letter case, as the engine finds
// properties by name ("required" is Required); null when there is none.
const Variant* storedValue(const PropertyBlock* block, const char* name);

// Hands each property of field f of the table named table to visit(name, value), in the list's
// order (design.h): the 17 every field has, then others (otherStoredProperties).
//     visitFieldProperties(f, block, "Orders", others, [](const char* name, const PropertyValue& v) { ... });
template <class Visit>
void visitFieldProperties(const FieldFacts& f, const PropertyBlock* block, std::string_view table,
                          const std::vector<const StoredProperty*>& others, Visit&& visit)
{
    // A stored value, or the one Access reports when none is stored.
    auto storedOr = [block](const char* name, PropertyValue otherwise) {
        const Variant* v = block ? storedValue(block, name) : nullptr;
        return v ? PropertyValue::of(*v) : otherwise;
    };
    const std::string_view name = f.name;
    visit("Value", PropertyValue::null());
    visit("Attributes", PropertyValue::of(static_cast<double>(f.attributes)));
    visit("CollatingOrder", PropertyValue::of(static_cast<double>(f.collatingOrder)));
    visit("Type", PropertyValue::of(static_cast<double>(f.type)));
    visit("Name", PropertyValue::of(name));
    visit("OrdinalPosition", PropertyValue::of(static_cast<double>(f.position)));
    visit("Size", PropertyValue::of(static_cast<double>(f.size)));
    visit("SourceField", PropertyValue::of(name));
    visit("SourceTable", PropertyValue::of(table));
    visit("ValidateOnSet", PropertyValue::of(false));
    visit("DataUpdatable", PropertyValue::of(false));
    visit("ForeignName", PropertyValue::null());
    visit("DefaultValue", storedOr("DefaultValue", PropertyValue::of(std::string_view())));
    visit("ValidationRule", storedOr("ValidationRule", PropertyValue::of(std::string_view())));
    visit("ValidationText", storedOr("ValidationText", PropertyValue::of(std::string_view())));
    visit("Required", storedOr("Required", PropertyValue::of(false)));
    visit("AllowZeroLength", storedOr("AllowZeroLength", PropertyValue::of(false)));
    for (const StoredProperty* other : others) visit(other->name.c_str(), PropertyValue::of(other->value));
}

// Field f's property list, as visitFieldProperties goes through it.
PropertyList fieldProperties(const FieldFacts& f, const PropertyBlock* block, std::string_view table);

// The table with its fields' property lists made.
TableDesign tableDesign(TableFacts table);

}  // namespace engine
