// The structured twin of a line of difference in the comparison log: what the line says, as data.
// Each comparison builds the twin where it writes the line, from the very values it compared, so
// the two cannot disagree. Names are the engine's (UTF-8, whole), not the log's Windows-1252.
//
//     "         The fields City have different sizes"   (Customers, 30 in A.mdb and 40 in B.mdb)
//     is the twin {kind FieldProperty, table "Customers", field "City", property "Size",
//                  position 6, value1 30, value2 40, walked 1}
#pragma once

#include "variant.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace dualyn {

// The log's sections, in the order a run writes them.
enum class Section { Tables, Relations, Queries };
inline constexpr Section kSections[] = {Section::Tables, Section::Relations, Section::Queries};

// What a line of difference reports; each kind belongs to one section (SectionOf).
enum class DifferenceKind {
    TableMissing,        // "   T was not found in B.mdb"
    FieldMissing,        // "         Field F was not found in B.mdb"
    FieldOrder,          // "         Field F is not in the same order in the tables."
    FieldProperty,       // "         The fields F have different sizes"
    PrimaryKey,          // "         The tables have different primary keys" (fields) or, with
                         // 12 spaces, the primary key only database 1's table has
    IndexProperty,       // "            X is indexed differently in B.mdb", one per property
    IndexMissing,        // "            X is indexed in A.mdb but not in B.mdb", and from B's side
    RelationMissing,     // "   T.F to U was not found in B.mdb"
    RelationAttributes,  // "   T.F to U is different"
    QueryMissing,        // "   Q was not found in B.mdb"
    QueryProperty,       // "   Q has a different SQL setting"
};
inline constexpr DifferenceKind kDifferenceKinds[] = {
    DifferenceKind::TableMissing,    DifferenceKind::FieldMissing,       DifferenceKind::FieldOrder,
    DifferenceKind::FieldProperty,   DifferenceKind::PrimaryKey,         DifferenceKind::IndexProperty,
    DifferenceKind::IndexMissing,    DifferenceKind::RelationMissing,    DifferenceKind::RelationAttributes,
    DifferenceKind::QueryMissing,    DifferenceKind::QueryProperty,
};

// The OK lines, counted rather than listed.
enum class OkKind {
    Fields,                 // "         Customers OK", closing a table's field block
    PrimaryKeysAndIndexes,  // "         Primary keys and indexes OK"
    Relations,              // "   Relations OK"
    Queries,                // "   Queries OK"
};
inline constexpr OkKind kOkKinds[] = {OkKind::Fields, OkKind::PrimaryKeysAndIndexes, OkKind::Relations,
                                      OkKind::Queries};

// A relation as a line of difference names it. Relations are matched by their description, so
// the two matched relations may bear different names.
struct RelationNames {
    std::string description{};           // "Customers.ID to Orders", as the log writes it
    std::string table{};                 // its own table (the description's first part)
    std::string field{};                 // its first field
    std::string foreignTable{};
    std::optional<std::string> name1{};  // its Name in database 1; none when database 1 lacks it
    std::optional<std::string> name2{};  // likewise in database 2
};

struct Difference {
    DifferenceKind kind = DifferenceKind::TableMissing;
    // The text handed to the log for this line, leading CR LF pairs and spaces included, in UTF-8.
    std::string line{};
    // The database whose objects the walk that wrote the line went through: 1, or 2 for the
    // walks from database 2's side (the missing tables, indexes, relations and queries, and a
    // table's second field walk, which repeats from that side the lines for fields both have).
    int walked = 1;
    // For the missing kinds and the primary key only database 1's table has: the database (1 or
    // 2) that holds the object the other lacks. 0 for every other line.
    int presentIn = 0;
    // The objects the line is about, as the engine names them; none where the line is not about
    // one. A field, index or primary key line has its table; a relation line only its relation.
    std::optional<std::string> table{}, field{}, index{}, query{};
    std::optional<RelationNames> relation{};
    // The compared property by name ("Size", "Unique", "SQL", "Attributes", the primary key's
    // "Fields") and its position in the object's property list where it is read by position.
    std::optional<std::string> property{};
    std::optional<int> position{};
    // The two values as compared, database 1's and database 2's whichever side was walked: the
    // property's values; for FieldOrder the field's positions (from 0) in the two tables; none
    // for the lines that compare no value (missing objects).
    std::optional<engine::Variant> value1{}, value2{};
    // For a missing table or query: what the database that has it holds (object_summary.h), the
    // table's fields and indexes or the query's SQL. Empty for every other line.
    std::string presentContent{};
    // The line of the log file (from 0) that holds the line's text, after its leading empty
    // lines; none when the line was not written by a run that counts its lines.
    std::optional<std::size_t> logLine{};
};

// The section a kind of line is written in.
//     SectionOf(DifferenceKind::IndexMissing) == Section::Tables
Section SectionOf(DifferenceKind kind);
Section SectionOf(OkKind kind);

// The names a report gives: "tables", "relations", "queries"; "table missing", "field property",
// "relation attributes" ...; "fields", "primary keys and indexes", "relations", "queries".
std::string_view SectionName(Section section);
std::string_view KindName(DifferenceKind kind);
std::string_view OkKindName(OkKind kind);

}  // namespace dualyn
