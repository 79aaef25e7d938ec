// Where the live rows of a table are, read from the row-offset tables of its data pages.
//
// A data page (Jet 3: 01 01 | u16 free space | u32 owner | u16 row count at 8, entries from 10;
// Jet 4 has four more bytes before the count, at 12) keeps one u16 entry per row: the row's offset
// in the low 13 bits, and two flags above them:
//
//     0x8000  the row is deleted;
//     0x4000  the row moved: its place holds only a pointer to where it lives now, its row number
//             byte, then its page number in three bytes.
//
// Access marks the row a pointer leads to deleted too, so that only the pointer reaches it; a
// deleted row whose row had moved keeps both flags. A row ends where the row before it on the page
// starts (the first row at the page's end).
//
// libmdb 1.0 reads the two flags the other way round: it skips rows with 0x4000 as deleted and
// reads rows with 0x8000 as live. That reads a deleted row left with its bytes as a live one.
#pragma once

#include "table_definition.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine {

struct RowPlace {
    std::uint32_t page = 0;
    unsigned row = 0;        // its entry in the page's row-offset table
    std::size_t start = 0;   // its first byte in the page
    std::size_t end = 0;     // one past its last byte
};

// The live rows of the table whose definition starts at page owner, on its data pages pages, in
// the order of the pages and of their row-offset entries, each once: deleted rows are left out,
// and a moved row is read where its pointer leads, in the pointer's place; a row a pointer leads
// to is not read again on its own. Throws FormatError when a page is not a data page of the table,
// a live row has no sound place on its page, or a pointer leads to no row of the table, round in
// circles, or to a row another pointer also leads to.
std::vector<RowPlace> liveRows(const FileImage& file, std::uint32_t owner, const std::vector<std::uint32_t>& pages);

}  // namespace engine
