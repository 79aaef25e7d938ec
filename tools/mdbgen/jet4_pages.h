// Pages of a Jet 4 file being written: the page store, rows packed onto data pages, long values,
// usage maps and the header page.
#pragma once

#include "jet4_format.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace mdbgen::jet4 {

constexpr std::size_t kUsageMapRow = 69;  // type byte, start page, 64-byte bitmap

// The file's pages, numbered from 0 in the order they were allocated.
class PageFile {
public:
    std::uint32_t allocate();
    std::uint8_t* page(std::uint32_t n) { return pages_.at(n).data(); }
    std::uint32_t count() const { return static_cast<std::uint32_t>(pages_.size()); }
    Bytes bytes() const;

private:
    std::vector<std::array<std::uint8_t, kPageSize>> pages_;
};

// The owner field of a data page: the page of the owning table's definition, or a tag.
using PageOwner = std::array<std::uint8_t, 4>;
PageOwner ownerPage(std::uint32_t page);

// Rows of one owner packed onto data pages: the rows of a page grow from its end towards its
// header, and a row is addressed as page << 8 | row number (at most 255 rows a page).
class RowPacker {
public:
    RowPacker(PageFile& file, PageOwner owner) : file_(file), owner_(owner) {}

    // Stores the row, on a new page when the current one lacks room, with the flags of its
    // row-offset entry (kDeletedRowFlag, kPointerRowFlag); returns its address.
    std::uint32_t add(const Bytes& row, std::uint16_t flags = 0);
    // Where the row stored at address starts, for filling in reserved rows later.
    std::uint8_t* rowData(std::uint32_t address);
    // Makes an already allocated page the current one.
    void startOn(std::uint32_t page);
    const std::vector<std::uint32_t>& pages() const { return pages_; }

private:
    PageFile& file_;
    PageOwner owner_;
    std::vector<std::uint32_t> pages_;
    int rows_ = 0;                 // rows on the current page
    std::size_t top_ = kPageSize;  // start of the lowest row on the current page
};

// Memo and OLE values: short ones stay inside the row, others go to long-value pages, on one
// page when they fit, otherwise as a chain of rows that each start with the next row's address.
class LongValues {
public:
    explicit LongValues(PageFile& file) : rows_(file, {'L', 'V', 'A', 'L'}) {}
    // The column value to store in the row: the 12-byte header, followed by the data when inline.
    Bytes store(const Bytes& data);

private:
    RowPacker rows_;
};

// Fills the usage-map row at row with the pages: an inline bitmap when the pages lie within 512
// of each other, otherwise a list of bitmap pages (allocated here) that cover 32736 pages each.
void writeUsageMap(PageFile& file, std::uint8_t* row, const std::vector<std::uint32_t>& pages);

// Page 0: the format's signature and version, and the masked block with code page, the
// encoding key (0: not encoded), the database password (UTF-8, at most 20 characters; "" for
// none), sort order and creation date.
void writeHeaderPage(std::uint8_t* page, std::uint32_t encodingKey, const std::string& password);

}  // namespace mdbgen::jet4
