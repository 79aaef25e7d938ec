// A database design as plain values, in the shape the engine serves it (engine/design.h): the
// differential test builds one from a description (expected_design.h) and one from what the
// engine read (served_design.h), and compares the two (design_check.h).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace difftest {

// The code points of a UTF-8 text, which the description parser has checked: "Ka" gives {U+212A,
// U+0061}.
inline std::u32string codePoints(const std::string& s)
{
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        std::size_t extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
        char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        for (std::size_t k = 1; k <= extra && i + k < s.size(); ++k)
            cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out += cp;
        i += extra + 1;
    }
    return out;
}

// A property value: Null, a Boolean, a number or a text; Any where the description fixes no
// value (a column's flags, which depend on how the file lays the column out).
struct Value {
    enum Kind { Any, Null, Boolean, Number, Text } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;

    static Value any() { return Value{Any, false, 0, {}}; }
    static Value null() { return Value{}; }
    static Value of(bool b) { return Value{Boolean, b, 0, {}}; }
    static Value of(double n) { return Value{Number, false, n, {}}; }
    static Value of(int n) { return of(static_cast<double>(n)); }
    static Value of(std::string t) { return Value{Text, false, 0, std::move(t)}; }

    // True when both hold the same value exactly (numbers to the last bit); Any matches all.
    bool matches(const Value& other) const;
    // For messages: Null, True, False, a number in full ("0.100000001490116"), "a text".
    std::string describe() const;
};

struct NamedValue {
    std::string name;
    Value value;
    bool storedInOtherCase = false;  // expected: stored under the name in another letter case
};
using ValueList = std::vector<NamedValue>;  // a property list, by position

struct FieldModel {
    std::string name;
    ValueList properties;
};

struct IndexModel {
    std::string name;
    std::string fields;  // "+A;-B"
    ValueList properties;
};

struct TableModel {
    std::string name;
    std::vector<FieldModel> fields;
    std::vector<IndexModel> indexes;
};

struct RelationModel {
    std::string name;
    std::string table, foreignTable;
    std::vector<std::pair<std::string, std::string>> fields;  // primary field, foreign field
    ValueList properties;
};

struct QueryModel {
    std::string name;
    ValueList properties;
};

struct DesignModel {
    std::vector<TableModel> tables;
    std::vector<RelationModel> relations;
    std::vector<QueryModel> queries;
};

}  // namespace difftest
