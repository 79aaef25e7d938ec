// What the engine takes from a table definition (TDEF) page chain itself, read from the file's
// bytes: each column's stored flags and sort order, and the index entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace engine {

// Reads a file's pages into memory as they are first used (database_file.h).
class PageLoader {
public:
    // The bytes of page (below the file's page count), read from the file the first time. Throws
    // OpenError when the file cannot be read there.
    virtual const std::uint8_t* page(std::uint32_t page) const = 0;
    // The bytes of page of which at least the first bytes (at most the page's size) are read:
    // where only a page's start is needed, the rest is not read until page() is asked for it.
    virtual const std::uint8_t* pageStart(std::uint32_t page, std::size_t bytes) const = 0;
    // When more than most pages are held, forgets them all, to read them again when used: what
    // page() returned before is then invalid.
    virtual void forgetPagesOver(std::size_t most) const = 0;

protected:
    ~PageLoader() = default;
};

// A database file in memory: whole at data, or read page by page as its pages are used (loader,
// and no data). Jet 3 files have 2048-byte pages and their own layout; Jet 4 and all later formats
// have 4096-byte pages and share a layout. Pages are reached through page().
struct FileImage {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    bool jet3 = false;
    const PageLoader* loader = nullptr;  // none: every page is at data
    std::size_t pageSize() const { return jet3 ? 2048 : 4096; }
    // Page n, which must be below size / pageSize().
    const std::uint8_t* page(std::uint32_t n) const
    {
        return loader ? loader->page(n) : data + static_cast<std::size_t>(n) * pageSize();
    }
    // Page n, of which the first bytes at least are there (PageLoader::pageStart).
    const std::uint8_t* pageStart(std::uint32_t n, std::size_t bytes) const
    {
        return loader ? loader->pageStart(n, bytes) : data + static_cast<std::size_t>(n) * pageSize();
    }
};

struct ColumnEntry {
    std::string name;              // UTF-8, decoded from the definition itself
    int type = 0;                  // the stored type code (4 Long, 10 Text, ...)
    int columnNumber = 0;          // as stored: deleted columns leave gaps
    std::uint8_t flags = 0;        // 0x01 fixed length, 0x02 may be null, 0x04 AutoNumber, 0x10 system,
                                   // 0x40 GUID AutoNumber, 0x80 hyperlink
    std::uint8_t moreFlags = 0;    // Jet 4 and later: 0x01 compressed text, 0xC0 calculated
    std::uint16_t sortOrder = 0;   // text columns: the collating order (1033 General)
    int length = 0;                // the stored length of a value, in bytes (Text: 2 per character in Jet 4)
    int precision = 0;             // Decimal (the bytes hold other things for other types)
    int scale = 0;                 // Decimal
};

struct IndexColumn {
    int columnNumber = 0;  // the column's number as the definition stores it (not its position)
    bool descending = false;
};

struct RealIndex {
    std::vector<IndexColumn> columns;
    std::uint8_t flags = 0;  // 0x01 unique, 0x02 ignore nulls, 0x08 required (0x80 masked off)
};

struct LogicalIndex {
    std::string name;              // UTF-8
    std::uint32_t number = 0;
    std::uint32_t realIndex = 0;   // position in TableDefinition::real
    std::uint8_t kind = 0;         // 1 primary key, 2 a relationship's index, 0 other
    std::uint8_t relationshipSide = 0;  // for kind 2: 1 the primary table's side, 2 the foreign side
};

struct TableDefinition {
    std::vector<ColumnEntry> columns;   // in the order the definition stores them
    std::vector<RealIndex> real;
    std::vector<LogicalIndex> logical;  // in the order the definition stores them
};

// The pages that hold the rows of the table whose definition starts at page, in rising order, as
// the table's map of row pages lists them. Throws FormatError when the map's row does not exist,
// is of no known kind, or lists a page the file lacks or a bitmap page that is none. That the
// pages are the table's own is for whoever reads them to check (live_rows.h).
std::vector<std::uint32_t> rowPages(const FileImage& file, std::uint32_t page);

// Where the map of row pages of the table whose definition starts at page is kept: its page
// << 8 | its row. Throws FormatError when page is not in the file.
std::uint32_t rowPageMapAddress(const FileImage& file, std::uint32_t page);

// Reads the columns' entries and the indexes of the definition that starts at page. Follows the definition's continuation
// pages. Throws FormatError naming what is wrong when the page is no table definition or any
// count, length, offset or page number does not fit.
TableDefinition readTableDefinition(const FileImage& file, std::uint32_t page);

}  // namespace engine
