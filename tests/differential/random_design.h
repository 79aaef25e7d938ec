// Random design descriptions for the differential test: a design drawn from a seed, random edits
// of it, and the description text the generator (tools/mdbgen) reads. The same seed gives the
// same designs and edits on every machine and standard library: draws come from std::mt19937
// through this file's own distributions.
//
//     Random random(7);
//     DesignSpec design = randomDesign(random);
//     std::string edited = describe(randomEdit(random, design).design);
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace difftest {

// Draws from a seeded std::mt19937 with distributions written here (those of the standard
// library differ between libraries).
class Random {
public:
    explicit Random(std::uint32_t seed) : engine_(seed) {}
    // A number from 0 to n - 1, every one equally likely; 0 when n is 0.
    std::uint32_t below(std::uint32_t n);
    // A number from lo to hi, both included.
    int between(int lo, int hi) { return lo + static_cast<int>(below(static_cast<std::uint32_t>(hi - lo + 1))); }
    // True in percent cases out of 100.
    bool chance(int percent) { return static_cast<int>(below(100)) < percent; }
    template <typename T>
    const T& pick(const std::vector<T>& items)
    {
        return items[below(static_cast<std::uint32_t>(items.size()))];
    }

private:
    std::mt19937 engine_;
};

// NAME[:TYPE]=VALUE as a description writes it; quoted values are texts.
struct PropertySpec {
    std::string name;
    std::string type;  // "" for the type the value's form gives
    std::string value;
    bool quoted = false;
};

struct FieldSpec {
    std::string name;
    std::string type;               // a type word of the description: "text", "long", "decimal", ...
    int size = 0;                   // text and binary
    int precision = 18, scale = 0;  // decimal
    bool autoNumber = false;        // long or guid
    bool noCompression = false;
    int deletedBefore = 0;  // column numbers left unused before this field
    std::vector<PropertySpec> properties;
};

struct IndexColumnSpec {
    std::string field;
    bool descending = false;
};

struct IndexSpec {
    std::string name;
    std::vector<IndexColumnSpec> columns;
    bool primary = false, unique = false, ignoreNulls = false, required = false;
};

struct TableSpec {
    std::string name;
    bool system = false, hidden = false;
    std::vector<FieldSpec> fields;
    int deletedAfter = 0;  // column numbers left unused after the last field
    std::vector<IndexSpec> indexes;
    std::vector<PropertySpec> properties;
};

struct LinkSpec {
    std::string name;
    std::string database, connect, foreign;  // database or connect
};

struct RelationshipSpec {
    std::string name;
    std::string primaryTable;
    std::vector<std::string> primaryFields;
    std::string foreignTable;
    std::vector<std::string> foreignFields;
    bool enforced = false, cascadeUpdate = false, cascadeDelete = false, cascadeNull = false, oneToOne = false;
    std::string join;  // "", "inner", "left" or "right"
};

struct QuerySpec {
    std::string name;
    std::string type;  // a query type word: "select", "crosstab", ...
    bool hidden = false;
    std::vector<std::string> lines;  // the lines after the query line, each a whole statement
    std::vector<PropertySpec> properties;
};

struct DesignSpec {
    std::vector<TableSpec> tables;
    std::vector<LinkSpec> links;
    std::vector<RelationshipSpec> relationships;
    std::vector<QuerySpec> queries;
};

// A random design: a few tables of random fields, properties and indexes, linked tables,
// relationships and queries of every type, with names drawn from ASCII and from letters whose
// case folding is unusual (µ ſ K Å ẞ ς ǅ İ ı, Cyrillic, a character outside the BMP, names that
// differ only in letter case).
DesignSpec randomDesign(Random& random);

// One random edit: the design after it and what it did ("rename field T.A to T.a").
struct Edit {
    DesignSpec design;
    std::string what;
};
// Adds, removes or renames a table, field, index, relationship, query or linked table, changes a
// property, a field's type or size, an index's or a relationship's settings or a query's rows,
// or moves a field. The result is always a design the generator can write.
Edit randomEdit(Random& random, const DesignSpec& design);

// The description text of a design (tools/mdbgen/README.md).
std::string describe(const DesignSpec& design);

}  // namespace difftest
