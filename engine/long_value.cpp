#include "long_value.h"

#include "format_error.h"
#include "little_endian.h"

#include <string>

namespace engine {

std::vector<std::uint8_t> readRow(const FileImage& file, std::uint32_t page, unsigned row)
{
    const std::size_t pageSize = file.pageSize();
    // Data pages: type 01, then (Jet 3) free space, owner, row count at 8 and row offsets at 10;
    // Jet 4 adds four bytes before the row count.
    const std::size_t countAt = file.jet3 ? 8 : 12;
    if ((static_cast<std::size_t>(page) + 1) * pageSize > file.size || page == 0)
        throw FormatError("page " + std::to_string(page) + " is not in the file");
    const std::uint8_t* p = file.page(page);
    if (p[0] != 0x01) throw FormatError("page " + std::to_string(page) + " holds no rows");
    unsigned rows = static_cast<unsigned>(p[countAt] | p[countAt + 1] << 8);
    if (row >= rows || countAt + 2 + 2 * (static_cast<std::size_t>(row) + 1) > pageSize)
        throw FormatError("row " + std::to_string(row) + " of page " + std::to_string(page) + " does not exist (the page has " +
                          std::to_string(rows) + " rows)");
    auto offset = [&](unsigned r) { return static_cast<std::size_t>((p[countAt + 2 + 2 * r] | p[countAt + 3 + 2 * r] << 8) & 0x1FFF); };
    std::size_t start = offset(row);
    std::size_t end = row == 0 ? pageSize : offset(row - 1);
    if (start < countAt + 2 + 2 * static_cast<std::size_t>(rows) || start > end || end > pageSize)
        throw FormatError("row " + std::to_string(row) + " of page " + std::to_string(page) + " has no sound place on it");
    return std::vector<std::uint8_t>(p + start, p + end);
}

namespace {

// The row of a long value at address (page << 8 | row), naming the long value in errors.
std::vector<std::uint8_t> longValueRow(const FileImage& file, std::uint32_t address)
{
    try {
        return readRow(file, address >> 8, address & 0xFF);
    } catch (const FormatError& e) {
        throw FormatError(std::string("a long value's data: ") + e.what());
    }
}

}  // namespace

std::vector<std::uint8_t> readLongValue(const FileImage& file, const std::vector<std::uint8_t>& cell,
                                        std::size_t mostBytes)
{
    if (cell.size() < 12) throw FormatError("a long value's header is cut short");
    std::uint32_t header = u32At(cell.data());
    std::size_t length = header & 0x00FFFFFF;  // the top byte holds where the value is
    if (length > mostBytes) throw FormatError("a long value is longer than " + std::to_string(mostBytes) + " bytes");
    std::uint32_t address = u32At(cell.data() + 4);  // page << 8 | row
    if (header & 0x80000000u) {
        if (cell.size() - 12 < length) throw FormatError("an inline long value is cut short");
        return std::vector<std::uint8_t>(cell.begin() + 12, cell.begin() + 12 + static_cast<std::ptrdiff_t>(length));
    }
    if (header & 0x40000000u) {
        std::vector<std::uint8_t> row = longValueRow(file, address);
        if (row.size() < length) throw FormatError("a long value is cut short on its page");
        row.resize(length);
        return row;
    }
    if (header & 0xFF000000u) throw FormatError("a long value's header has unknown flags");
    // A chain: each row starts with the address of the next (0 for the last).
    std::vector<std::uint8_t> value;
    const std::size_t pageCount = file.size / file.pageSize();
    for (std::size_t links = 0; value.size() < length; ++links) {
        if (address == 0) throw FormatError("a long value's chain ends early");
        if (links > pageCount * 256) throw FormatError("a long value's chain goes round in circles");
        std::vector<std::uint8_t> row = longValueRow(file, address);
        if (row.size() < 4) throw FormatError("a row of a long value's chain is cut short");
        address = u32At(row.data());
        value.insert(value.end(), row.begin() + 4, row.end());
    }
    value.resize(length);
    return value;
}

}  // namespace engine
