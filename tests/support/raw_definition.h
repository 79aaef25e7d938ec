// Reads a table definition straight from a Jet 4 file's pages, for checking what mdbtools does
// not show (index flags and sort order, the indexes of relationships).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct RawColumn {
    std::string name;
    int type = 0;
    int number = 0;
    int flags = 0;
    int length = 0;
};

struct RawRealIndex {
    std::vector<std::pair<int, int>> columns;  // column number, 1 ascending / 2 descending
    int flags = 0;
};

struct RawLogicalIndex {
    std::string name;
    std::uint32_t number = 0;
    std::uint32_t real = 0;
    int side = 0;
    std::int32_t otherIndex = 0;
    std::uint32_t otherPage = 0;
    int cascadeUpdate = 0;
    int cascadeDelete = 0;
    int kind = 0;
};

struct RawDefinition {
    int tableType = 0;  // 0x4E user, 0x53 system
    std::uint32_t rows = 0;
    int pages = 0;      // pages the definition spans
    std::vector<RawColumn> columns;  // in the order stored
    std::vector<RawRealIndex> realIndexes;
    std::vector<RawLogicalIndex> indexes;
};

// The definition at page of file (the whole file's bytes). Throws on anything malformed.
RawDefinition readDefinition(const std::string& file, std::uint32_t page);

}  // namespace testsupport
