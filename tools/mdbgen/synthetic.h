// Descriptions of large made-up designs, for benchmarks and scale tests: tables of a given width
// whose fields cycle through text, number, date and memo types with the properties Access keeps,
// a primary key and one more index per table, a chain of enforced relationships and a share of
// select queries.
#pragma once

#include <string>

namespace mdbgen {

struct SyntheticDesign {
    int tables = 100;
    int fieldsPerTable = 50;   // including the AutoNumber key; at least 2
    int tablesPerQuery = 5;    // one query for every this many tables
};

std::string syntheticDescription(const SyntheticDesign& design);

}  // namespace mdbgen
