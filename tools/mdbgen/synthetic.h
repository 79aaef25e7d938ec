// Descriptions of large made-up designs, for benchmarks and scale tests.
//
// Three shapes:
// - Current: tables of a given width whose fields cycle through text, number, date and memo types
//   with the properties Access keeps, a primary key and one more index per table, a chain of
//   enforced relationships and a share of select queries.
// - Plain: 30 fields of four types with no properties, a primary key and one more index per table,
//   an enforced relationship every tenth table and no queries, in a file with free pages after
//   each table's definition, as a file written by another program and used for a while is laid out.
// - Properties: Plain with the eight properties a field designed in Access carries (Description,
//   Caption, Format, DefaultValue, Required, ColumnWidth, ColumnOrder, DisplayControl) on each.
#pragma once

#include <string>

namespace mdbgen {

enum class SyntheticShape { Current, Plain, Properties };

struct SyntheticDesign {
    SyntheticShape shape = SyntheticShape::Current;
    int tables = 100;
    int fieldsPerTable = 50;   // including the AutoNumber key; at least 2 (Plain and Properties: 30)
    int tablesPerQuery = 5;    // one query for every this many tables (Plain and Properties: none)
};

std::string syntheticDescription(const SyntheticDesign& design);

}  // namespace mdbgen
