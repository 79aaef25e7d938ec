// Memo and OLE values: the 12-byte header a row keeps, followed by the data when it is inline,
// or pointing to a row of a long-value page, or to a chain of such rows.
#pragma once

#include "table_definition.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine {

// The whole value of a Memo or OLE cell, read from the file's pages where it is not inline.
// Throws FormatError when the header, a page or a row it names is not what it must be, when a
// chain goes round in circles, or when the value would be longer than mostBytes.
std::vector<std::uint8_t> readLongValue(const FileImage& file, const std::vector<std::uint8_t>& cell,
                                        std::size_t mostBytes = 16u << 20);

// The bytes of row number row on data page page.
// Throws FormatError when the page is not a data page or the row is not on it.
std::vector<std::uint8_t> readRow(const FileImage& file, std::uint32_t page, unsigned row);

}  // namespace engine
