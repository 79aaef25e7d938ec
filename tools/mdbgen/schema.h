// The design of one Access database as the generator writes it: tables with their fields,
// properties and indexes, linked tables, relationships and queries. Plain data, filled by the
// description parser (schema_text.h) or by code, and turned into a Jet 4 file by jet4_writer.h.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace mdbgen {

// A description the generator cannot write. what() reads "line N: what is wrong" (line 0 for
// designs built in code without line numbers).
class DescriptionError : public std::runtime_error {
public:
    DescriptionError(int line, const std::string& message);
    int line() const { return line_; }

private:
    int line_;
};

// Column and property value types, numbered as the file format numbers them.
enum class DataType : std::uint8_t {
    YesNo = 0x01,
    Byte = 0x02,
    Integer = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0A,
    Ole = 0x0B,
    Memo = 0x0C,
    Guid = 0x0F,
    Decimal = 0x10,
};

// One stored property ("DefaultValue", "Required", "Format", ...). The value is kept as the bytes
// the file stores, already encoded for its type (UTF-16LE text, little-endian numbers, 0xFF/0x00
// for Yes/No), so any property of any type can be written as Access would.
struct Property {
    std::string name;          // UTF-8
    DataType type = DataType::Text;
    bool ddl = false;          // the "DDL" flag Access keeps beside some design properties
    std::vector<std::uint8_t> value;
};

struct Field {
    std::string name;
    DataType type = DataType::Long;
    int size = 0;              // Text: characters (1..255); Binary: bytes; others: ignored
    int precision = 18;        // Decimal only
    int scale = 0;             // Decimal only
    bool autoNumber = false;   // Long (increment) or Guid (random) AutoNumber
    bool compressedUnicode = true;  // Text and Memo: the "Unicode compression" setting
    bool calculated = false;   // a calculated column (Access 2010): its value is stored behind a
                               // 23-byte header, which its stored length counts
    int columnNumber = 0;      // set by the parser: numbers left free by deleted fields are skipped
    std::vector<Property> properties;
    int line = 0;              // where the description defined it, for error messages
};

struct IndexColumn {
    std::string field;
    bool descending = false;
};

struct Index {
    std::string name;
    std::vector<IndexColumn> columns;
    bool primary = false;
    bool unique = false;
    bool ignoreNulls = false;
    bool required = false;
    int line = 0;
};

// How a row is kept on its data page. Access rewrites a row in place while it still fits; a row
// that has grown it either moves to another page of the table, leaving in its place a pointer to
// where it went, or writes anew, leaving the old row behind marked deleted. An object's state
// applies to every row it has in the system tables.
enum class RowState : std::uint8_t {
    Live,        // in its place
    Moved,       // on another data page of the table, its place holding a pointer to it
    Stale,       // an old version: marked deleted, its bytes left on the page
    StaleMoved,  // an old version that had moved: its pointer marked deleted as well, the row
                 // left on the other page, marked deleted as a moved row always is
};

// Whether rows in this state are an old version, not the object as it is.
inline bool isStale(RowState s) { return s == RowState::Stale || s == RowState::StaleMoved; }

// One value of a data row, as the description writes it; the field's type says how it is stored.
struct DataValue {
    bool null = false;
    std::string text;
};

struct DataRow {
    std::vector<DataValue> values;  // in field order
    RowState state = RowState::Live;
    int line = 0;
};

struct Table {
    std::string name;
    bool system = false;       // flagged as a system table, as Access flags its MSys tables
    bool hidden = false;       // flagged as hidden
    // Its catalog row. A stale table is only that: an old catalog row of the live table of the same
    // name, with its id, its fields and properties giving the old row's properties.
    RowState state = RowState::Live;
    std::vector<Field> fields;
    int columnNumbersUsed = 0; // one past the highest column number, deleted fields included
    std::vector<Index> indexes;
    std::vector<Property> properties;  // the table's own properties
    std::vector<DataRow> rows;         // data, for tables that Dualyn reads rows of
    int line = 0;              // where the description defined it, for error messages
};

// A table that lives in another file (Access link) or behind ODBC (connect string).
struct LinkedTable {
    std::string name;
    std::string database;      // Access link: path of the other database
    std::string connect;       // ODBC link: connect string
    std::string foreignName;   // the table's name in the other database
    int line = 0;
};

enum class JoinType { Inner, LeftOuter, RightOuter };

struct Relationship {
    std::string name;
    std::string primaryTable;
    std::vector<std::string> primaryFields;
    std::string foreignTable;
    std::vector<std::string> foreignFields;
    bool enforced = false;
    bool cascadeUpdate = false;
    bool cascadeDelete = false;
    bool cascadeNull = false;
    bool oneToOne = false;
    JoinType join = JoinType::Inner;
    RowState state = RowState::Live;  // its catalog row and its rows of the relationship table
    int line = 0;
};

enum class QueryType : std::uint8_t {
    Select = 0,
    Crosstab = 16,
    Delete = 32,
    Update = 48,
    Append = 64,
    MakeTable = 80,
    DataDefinition = 96,
    PassThrough = 112,
    Union = 128,
};

// One design row of a query, as kept in the query system table. Absent values stay empty.
struct QueryRow {
    int attribute = 0;
    std::optional<int> flag;
    std::optional<std::string> name1;
    std::optional<std::string> name2;
    std::optional<std::string> expression;
    std::optional<std::int32_t> extra;  // LvExtra: the size of a Text parameter, for one
};

struct Query {
    std::string name;
    QueryType type = QueryType::Select;
    bool hidden = false;       // flagged as hidden, as Access flags the queries of its forms
    bool noTypeRow = false;    // no type row, as older Access versions write select queries
    int version = 0;           // the start row's Flag: which Access version wrote the query
    // Its catalog row and design rows. A stale query is an old version of the live query of the
    // same name: its rows take that query's id.
    RowState state = RowState::Live;
    std::vector<QueryRow> rows;       // without the start and end rows, which the writer adds
    std::vector<Property> properties;
    int line = 0;
};

struct Database {
    std::vector<Table> tables;
    std::vector<LinkedTable> linkedTables;
    std::vector<Relationship> relationships;
    std::vector<Query> queries;
    // Every page after the first RC4-encoded, as Access's "Encode Database" leaves a file. The key
    // is derived from the rest of the file, so the same design still gives the same bytes.
    bool encoded = false;
    std::string password;      // the database password (UTF-8, 1 to 20 characters); "" for none
    // Free pages left after each table's definition, as in a file whose tables once held rows and
    // indexes: a larger file with the same design. 0 for none.
    int freePagesPerTable = 0;
};

}  // namespace mdbgen
