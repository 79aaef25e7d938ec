// Page geometry and little-endian byte helpers shared by the parts of the Jet 4 writer.
#pragma once

#include "schema_text.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace mdbgen::jet4 {

constexpr std::size_t kPageSize = 4096;
constexpr std::size_t kDataHeader = 14;                            // data page header before the row offsets
constexpr std::size_t kRowCapacity = kPageSize - kDataHeader - 2;  // largest row on a page
// Flags of a data page's row-offset entry, above its 13-bit offset: the row is deleted; the row
// holds only a pointer (row number, 3-byte page number) to where it now lives. Access marks the
// row a pointer leads to deleted, so that only the pointer reaches it.
constexpr std::uint16_t kDeletedRowFlag = 0x8000;
constexpr std::uint16_t kPointerRowFlag = 0x4000;
constexpr std::uint16_t kRowOffsetMask = 0x1FFF;
constexpr double kFixedDate = 45292.5;  // 2024-01-01 12:00: every date the file keeps

// A value Access writes in several header places; its meaning is unknown.
constexpr std::uint32_t kHeaderWord = 0x0659;

using Bytes = std::vector<std::uint8_t>;

inline void put8(Bytes& b, std::uint8_t v) { b.push_back(v); }
inline void put16(Bytes& b, std::uint16_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void putDouble(Bytes& b, double d)
{
    std::uint8_t raw[8];
    std::memcpy(raw, &d, 8);
    b.insert(b.end(), raw, raw + 8);
}
inline void putBytes(Bytes& b, const Bytes& v) { b.insert(b.end(), v.begin(), v.end()); }
inline void set16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void set32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
// A name as a table definition or a property blob stores it: byte length, then UTF-16LE.
inline void putName(Bytes& b, const std::string& name)
{
    Bytes u = utf16le(name);
    put16(b, static_cast<std::uint16_t>(u.size()));
    putBytes(b, u);
}

}  // namespace mdbgen::jet4
