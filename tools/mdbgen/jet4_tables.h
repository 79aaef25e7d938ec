// Table definitions and rows of a Jet 4 file being written: how a table's columns and indexes
// are laid out, the definition pages that describe them, the system tables' own layouts, rows
// and property blobs.
#pragma once

#include "jet4_pages.h"
#include "schema.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace mdbgen::jet4 {

struct Column {
    std::string name;
    DataType type;
    int number = 0;         // column number, as rows and indexes refer to it
    int rank = 0;           // position among the table's columns
    std::uint16_t length = 0;  // bytes
    bool fixed = false;
    std::uint16_t fixedOffset = 0;
    std::uint16_t varIndex = 0;  // for fixed columns: the variable columns before it
    std::uint8_t flags = 0;
    std::uint8_t extraFlags = 0;
    std::uint16_t misc = 0x0409;  // text sort order, or precision and scale
};

struct RealIndex {
    std::vector<std::pair<int, bool>> columns;  // column number, descending
    std::uint8_t flags = 0x80;
    std::uint32_t map = 0;
};

struct LogicalIndex {
    std::string name;
    std::uint32_t number = 0;
    std::uint32_t real = 0;
    std::uint8_t kind = 0;         // 1 primary key, 2 relationship, 0 other
    std::uint8_t side = 0;         // relationship: 1 primary side, 2 foreign side
    std::int32_t otherIndex = -1;  // relationship: the other table's index number
    std::size_t otherTable = 0;    // relationship: the other table's layout
    std::uint8_t cascadeUpdate = 4;
    std::uint8_t cascadeDelete = 4;
};

struct TableLayout {
    std::string name;
    bool system = false;
    std::vector<Column> columns;   // in column-number order
    int maxColumns = 0;            // column numbers used, deleted fields included
    int varColumns = 0;
    std::size_t fixedSize = 0;
    std::vector<RealIndex> realIndexes;
    std::vector<LogicalIndex> indexes;
    std::uint32_t firstPage = 0;
    std::vector<std::uint32_t> pages;  // the definition's pages
    std::uint32_t usedMap = 0, freeMap = 0;
    std::vector<std::array<std::uint32_t, 3>> longValueMaps;  // column number, used map, free map
    std::uint32_t rowCount = 0;
    const Table* source = nullptr;
    int relationshipIndexes = 0;  // hidden primary-side indexes made so far
};

bool isLongValue(DataType t);

// The system tables, in this order, as Access defines them.
enum SystemTable { kObjects, kAces, kQueries, kRelationships, kFirstUserTable };
std::vector<TableLayout> systemTables();

// The layout of a described table with its own indexes. Throws DescriptionError for a table no
// file can hold (duplicate names, an index on a field the table lacks, ...).
TableLayout userTable(const Table& table);

const Column* findColumn(const TableLayout& t, const std::string& name);

// Adds the indexes Access makes for an enforced relationship between tables[primary] and
// tables[foreign]; both tables must have the fields. Throws DescriptionError when the primary
// table lacks a unique index on its fields.
void addRelationshipIndexes(const Relationship& rel, std::vector<TableLayout>& tables, std::size_t primary,
                            std::size_t foreign);

// Bytes of the definition, and the pages it needs.
std::size_t definitionLength(const TableLayout& t);
std::size_t definitionPages(std::size_t length);

// Writes t's definition onto its pages; all gives the other tables' pages to relationship indexes.
void writeDefinition(PageFile& file, const TableLayout& t, const std::vector<TableLayout>& all);

// One value of a row.
struct Cell {
    enum Kind { Null, Value, True, False } kind = Null;
    Bytes bytes;
};
Cell value(Bytes b);
Cell longCell(std::int32_t v);
Cell shortCell(std::int16_t v);
Cell dateCell(double d);
Cell textCell(const std::string& s);

// One row of a table: cells in column-number order (one per column of the layout). The row may
// be larger than a page can hold: callers check it against kRowCapacity.
Bytes encodeRow(const TableLayout& t, const std::vector<Cell>& cells);

// The property blob: a pool of property names, the object's own block, then one block per
// named part (a table's fields, for instance).
struct PropertyBlock {
    std::string name;  // empty for the object's own block
    const std::vector<Property>* properties;
};
Bytes propertyBlob(const std::vector<PropertyBlock>& blocks);

}  // namespace mdbgen::jet4
