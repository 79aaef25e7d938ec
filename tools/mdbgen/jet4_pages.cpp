#include "jet4_pages.h"

#include "jet_protection.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace mdbgen::jet4 {

namespace {

constexpr int kMaxRowsPerPage = 255;          // a row number is one byte in a row address
constexpr std::size_t kInlineLongValue = 64;  // long values up to this size stay in the row
constexpr std::uint32_t kPagesPerMapPage = (kPageSize - 4) * 8;

}  // namespace

std::uint32_t PageFile::allocate()
{
    pages_.emplace_back();
    pages_.back().fill(0);
    return static_cast<std::uint32_t>(pages_.size() - 1);
}

Bytes PageFile::bytes() const
{
    Bytes out;
    out.reserve(pages_.size() * kPageSize);
    for (const auto& p : pages_) out.insert(out.end(), p.begin(), p.end());
    return out;
}

PageOwner ownerPage(std::uint32_t page)
{
    return {static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(page >> 8),
            static_cast<std::uint8_t>(page >> 16), static_cast<std::uint8_t>(page >> 24)};
}

std::uint32_t RowPacker::add(const Bytes& row, std::uint16_t flags)
{
    if (row.size() > kRowCapacity) throw std::logic_error("row larger than a page");
    if (pages_.empty() || rows_ == kMaxRowsPerPage || top_ < row.size() + kDataHeader + 2 * (rows_ + 1))
        startOn(file_.allocate());
    std::uint8_t* p = file_.page(pages_.back());
    top_ -= row.size();
    std::memcpy(p + top_, row.data(), row.size());
    set16(p + kDataHeader + 2 * rows_, static_cast<std::uint16_t>(top_ | flags));
    ++rows_;
    set16(p + 12, static_cast<std::uint16_t>(rows_));
    set16(p + 2, static_cast<std::uint16_t>(top_ - (kDataHeader + 2 * rows_)));
    return pages_.back() << 8 | static_cast<std::uint32_t>(rows_ - 1);
}

std::uint8_t* RowPacker::rowData(std::uint32_t address)
{
    std::uint8_t* p = file_.page(address >> 8);
    std::size_t entry = kDataHeader + 2 * (address & 0xFF);
    return p + ((p[entry] | p[entry + 1] << 8) & kRowOffsetMask);
}

void RowPacker::startOn(std::uint32_t page)
{
    pages_.push_back(page);
    std::uint8_t* p = file_.page(page);
    p[0] = 0x01;
    p[1] = 0x01;
    std::memcpy(p + 4, owner_.data(), 4);
    rows_ = 0;
    top_ = kPageSize;
    set16(p + 2, static_cast<std::uint16_t>(kPageSize - kDataHeader));
}

Bytes LongValues::store(const Bytes& data)
{
    Bytes out;
    if (data.size() >= 0x00FFFFFF) throw std::logic_error("long value too large");
    auto length = static_cast<std::uint32_t>(data.size());
    if (data.size() <= kInlineLongValue) {
        put32(out, length | 0x80000000u);
        put32(out, 0);
        put32(out, 0);
        putBytes(out, data);
    } else if (data.size() <= kRowCapacity) {
        put32(out, length | 0x40000000u);
        put32(out, rows_.add(data));
        put32(out, 0);
    } else {
        // Chunks are written last to first so that each knows the address of its successor.
        constexpr std::size_t chunk = kRowCapacity - 4;
        std::size_t chunks = (data.size() + chunk - 1) / chunk;
        std::uint32_t next = 0;
        for (std::size_t i = chunks; i-- > 0;) {
            Bytes row;
            put32(row, next);
            std::size_t begin = i * chunk;
            std::size_t end = std::min(data.size(), begin + chunk);
            row.insert(row.end(), data.begin() + static_cast<std::ptrdiff_t>(begin),
                       data.begin() + static_cast<std::ptrdiff_t>(end));
            next = rows_.add(row);
        }
        put32(out, length);
        put32(out, next);
        put32(out, 0);
    }
    return out;
}

void writeUsageMap(PageFile& file, std::uint8_t* row, const std::vector<std::uint32_t>& pages)
{
    std::memset(row, 0, kUsageMapRow);
    if (pages.empty()) return;
    std::uint32_t first = *std::min_element(pages.begin(), pages.end());
    std::uint32_t last = *std::max_element(pages.begin(), pages.end());
    if (last - first < (kUsageMapRow - 5) * 8) {
        row[0] = 0x00;
        set32(row + 1, first);
        for (auto pg : pages) row[5 + (pg - first) / 8] |= static_cast<std::uint8_t>(1 << ((pg - first) % 8));
        return;
    }
    row[0] = 0x01;
    std::map<std::uint32_t, std::uint32_t> bitmapPages;  // map index, its page
    for (auto pg : pages) {
        std::uint32_t index = pg / kPagesPerMapPage;
        if (index >= (kUsageMapRow - 1) / 4) throw std::logic_error("file too large for a usage map");
        auto it = bitmapPages.find(index);
        if (it == bitmapPages.end()) {
            std::uint32_t mapPage = file.allocate();
            std::uint8_t* m = file.page(mapPage);
            m[0] = 0x05;
            m[1] = 0x01;
            it = bitmapPages.emplace(index, mapPage).first;
            set32(row + 1 + 4 * index, mapPage);
        }
        std::uint32_t bit = pg % kPagesPerMapPage;
        file.page(it->second)[4 + bit / 8] |= static_cast<std::uint8_t>(1 << (bit % 8));
    }
}

void writeHeaderPage(std::uint8_t* p, std::uint32_t encodingKey, const std::string& password)
{
    const std::uint8_t start[] = {0x00, 0x01, 0x00, 0x00};
    std::memcpy(p, start, 4);
    std::memcpy(p + 4, "Standard Jet DB", 16);
    set32(p + 0x14, 1);  // Jet 4
    const std::uint8_t fixedStart[24] = {0, 1, 0, 0, 1, 1, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0};
    std::memcpy(p + 0x18, fixedStart, sizeof fixedStart);
    set16(p + 0x3C, 1252);  // code page
    set32(p + engine::kEncodingKeyAt, encodingKey);
    // The password field holds the password XORed with the creation day; no password leaves the
    // day repeated.
    auto field = engine::jet4PasswordField(password, kFixedDate);
    std::memcpy(p + engine::kPasswordAt, field.data(), field.size());
    set32(p + 0x6E, 0x0409);  // sort order
    std::memcpy(p + engine::kCreationDateAt, &kFixedDate, 8);
    engine::toggleHeaderMask(p, engine::FileFormat::Jet4);
    const std::uint8_t version[] = {0x54, 0x06, 0x00, 0x00, '4', '.', '0', 0};
    std::memcpy(p + 0x98, version, sizeof version);
}

}  // namespace mdbgen::jet4
