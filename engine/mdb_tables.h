// Columns and rows of a database's tables, read through libmdb. This and mdb_tables.cpp are the
// only files of the project that know libmdb; nothing of libmdb leaves them.
#pragma once

#include "database_file.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace engine {

struct ColumnInfo {
    std::string name;      // UTF-8
    int number = 0;        // as stored: numbers left by deleted columns stay unused
    int type = 0;          // the stored type code
    int size = 0;          // libmdb's size (bytes for most types; see the reader for Text)
    int precision = 0;     // Decimal
    int scale = 0;         // Decimal
    bool autoNumber = false;
    bool autoGuid = false;
};

// A value of a row: its stored bytes (for Memo and OLE the 12-byte long-value header, with the
// data when it is inline), or nothing for Null. A Yes/No value is one byte, 1 or 0.
using Cell = std::optional<std::vector<std::uint8_t>>;
// The same value where it lies in libmdb's page, valid only while its row is being handed over.
using CellView = std::optional<std::span<const std::uint8_t>>;

// The tables of one loaded database file. libmdb reads only the file's bytes in memory, with its
// environment variables set aside and what it prints kept off the terminal.
class MdbTables {
public:
    explicit MdbTables(const DatabaseFile& file);  // throws OpenError
    ~MdbTables();
    MdbTables(const MdbTables&) = delete;
    MdbTables& operator=(const MdbTables&) = delete;

    // The columns of the table whose definition starts at page, in the order stored. Throws
    // FormatError when libmdb cannot read the definition.
    std::vector<ColumnInfo> columns(std::uint32_t page, const std::string& tableName);

    // Every live row of that table, each once (see live_rows.h): per row the cells of the named
    // columns, in the order named (a column the table lacks reads Null). Throws FormatError when
    // the definition cannot be read, the rows never end, or a row has no sound place.
    std::vector<std::vector<Cell>> rows(std::uint32_t page, const std::string& tableName,
                                        const std::vector<std::string>& columnNames);
    // The same rows handed to visit one by one, as views of their cells: nothing is copied but
    // what visit keeps.
    void visitRows(std::uint32_t page, const std::string& tableName, const std::vector<std::string>& columnNames,
                   const std::function<void(const std::vector<CellView>&)>& visit);

private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
    FileImage image_;  // the bytes libmdb reads
    std::size_t pageCount_;
};

}  // namespace engine
