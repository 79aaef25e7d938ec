// The design of one database as the engine serves it: plain data, read once when the database
// opens, in the engine's order, with every object's property list complete. Nothing here refers
// to the file or to libmdb, so a design can be made in one process and used in another.
#pragma once

#include "variant.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The file format of a database: Access 97 and before (Jet 3), Access 2000 to 2003 (Jet 4), or
// Access 2007 and later (ACE).
enum class FileFormat { Jet3, Jet4, Ace };

// The format as people name it: "Jet 3", "Jet 4" or "ACE".
constexpr std::string_view formatName(FileFormat format)
{
    return format == FileFormat::Jet3 ? "Jet 3" : format == FileFormat::Jet4 ? "Jet 4" : "ACE";
}

// The size of a format's pages: 2048 bytes in Jet 3, 4096 in Jet 4 and ACE.
constexpr std::size_t pageSizeOf(FileFormat format) { return format == FileFormat::Jet3 ? 2048 : 4096; }

// The most items a collection of a design holds: collections are counted with 16-bit numbers.
constexpr std::size_t kMostItems = 32767;

struct Property {
    std::string name;
    Variant value;
};
using PropertyList = std::vector<Property>;

// Property lists by position, the same for every object of a kind:
//   field    0 Value, 1 Attributes, 2 CollatingOrder, 3 Type, 4 Name, 5 OrdinalPosition, 6 Size,
//            7 SourceField, 8 SourceTable, 9 ValidateOnSet, 10 DataUpdatable, 11 ForeignName,
//            12 DefaultValue, 13 ValidationRule, 14 ValidationText, 15 Required,
//            16 AllowZeroLength, then the field's other stored properties by name
//   index    0 Name, 1 Foreign, 2 Unique, 3 Clustered, 4 Required, 5 IgnoreNulls, 6 Primary, 7 Fields
//   relation 0 Name, 1 Table, 2 ForeignTable, 3 Attributes, 4 PartialReplica
//   query    0 Name, 1 DateCreated, 2 LastUpdated, 3 Type, 4 SQL, 5 Updatable, 6 Connect,
//            7 ReturnsRecords, 8 ODBCTimeout, 9 RecordsAffected, 10 MaxRecords, then the query's
//            other stored properties by name

struct FieldDesign {
    std::string name;
    PropertyList properties;
};

struct IndexDesign {
    std::string name;
    std::string fields;  // "+OrderID;-Amount": each field with its order sign
    PropertyList properties;
};

struct TableDesign {
    std::string name;
    std::vector<FieldDesign> fields;    // in column order
    std::vector<IndexDesign> indexes;   // in the order the table stores them
};

struct RelationField {
    std::string name;         // the primary table's field
    std::string foreignName;  // the foreign table's field
};

struct RelationDesign {
    std::string name;
    std::string table;         // the primary ("one") side
    std::string foreignTable;
    std::vector<RelationField> fields;
    PropertyList properties;
};

struct QueryDesign {
    std::string name;
    PropertyList properties;
};

struct DatabaseDesign {
    std::string name;  // the absolute path of the file
    std::vector<TableDesign> tables;        // by name, letter case ignored, ties by exact name
    std::vector<RelationDesign> relations;  // likewise
    std::vector<QueryDesign> queries;       // likewise
    FileFormat format = FileFormat::Jet4;   // of the file the design was read from
};

struct TableFacts;

// Takes a design piece by piece as it is read, so that it need not be held whole: begin with the
// database name, its file format and the number of tables, then each table in the design's order,
// then end with the relations and the queries.
class DesignSink {
public:
    virtual ~DesignSink() = default;
    virtual void begin(const std::string& name, FileFormat format, std::size_t tableCount) = 0;
    virtual void table(TableDesign table) = 0;
    // A table as the reader finds it (field_properties.h), its fields' property lists not yet
    // made: by default they are made and the table handed to table().
    virtual void tableAsRead(TableFacts table);
    virtual void end(std::vector<RelationDesign> relations, std::vector<QueryDesign> queries) = 0;
};

}  // namespace engine
