#include "live_rows.h"

#include "format_error.h"
#include "little_endian.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace engine {

namespace {

constexpr std::uint16_t kDeletedFlag = 0x8000;
constexpr std::uint16_t kMovedFlag = 0x4000;
constexpr std::uint16_t kOffsetMask = 0x1FFF;
constexpr std::size_t kPointerSize = 4;  // row number, 3-byte page number

using Address = std::pair<std::uint32_t, unsigned>;  // page, row

std::string rowName(const Address& a)
{
    return "row " + std::to_string(a.second) + " of page " + std::to_string(a.first);
}

// A data page of the table whose definition starts at owner, checked to be one, with its row
// entries inside it.
class DataPage {
public:
    DataPage(const FileImage& file, std::uint32_t page, std::uint32_t owner)
        : number_(page), pageSize_(file.pageSize()), countAt_(file.jet3 ? 8 : 12)
    {
        const std::string name = "page " + std::to_string(page);
        if (page == 0 || page >= file.size / pageSize_) throw FormatError(name + " is not in the file");
        bytes_ = file.page(page);
        if (bytes_[0] != 0x01) throw FormatError(name + " holds no rows");
        if (std::uint32_t holder = u32At(bytes_ + 4); holder != owner)
            throw FormatError(name + " holds rows of another table (the one defined at page " + std::to_string(holder) +
                              ")");
        count_ = u16At(bytes_ + countAt_);
        if (entriesEnd() > pageSize_)
            throw FormatError(name + ": its " + std::to_string(count_) + " row entries run past its end");
        // The page's free space lies between its row entries and its lowest row (rows fill the
        // page from its end): a count or an entry that changed shows as a gap of another size.
        std::size_t lowest = pageSize_;  // where the lowest row starts, deleted rows included
        for (unsigned row = 0; row < count_; ++row) lowest = std::min<std::size_t>(lowest, entry(row) & kOffsetMask);
        const std::size_t free = u16At(bytes_ + 2);
        if (lowest < entriesEnd() || lowest - entriesEnd() != free)
            throw FormatError(name + " says " + std::to_string(free) + " bytes are free, but its row count " +
                              std::to_string(count_) + " leaves " +
                              (lowest < entriesEnd() ? std::string("no room") : std::to_string(lowest - entriesEnd()) + " bytes") +
                              " before its lowest row");
    }

    std::uint32_t number() const { return number_; }
    unsigned count() const { return count_; }
    std::uint16_t entry(unsigned row) const { return u16At(bytes_ + countAt_ + 2 + 2 * static_cast<std::size_t>(row)); }
    const std::uint8_t* bytes() const { return bytes_; }

    // The place of the row: after the row entries, before the page's end and the row before it,
    // at least leastSize bytes long.
    RowPlace place(unsigned row, std::size_t leastSize) const
    {
        std::size_t start = entry(row) & kOffsetMask;
        std::size_t end = row == 0 ? pageSize_ : entry(row - 1) & kOffsetMask;
        if (start < entriesEnd() || end > pageSize_ || start > end || end - start < leastSize)
            throw FormatError(rowName({number_, row}) + " has no sound place on its page (bytes " +
                              std::to_string(start) + " to " + std::to_string(end) + ")");
        return RowPlace{number_, row, start, end};
    }

private:
    std::size_t entriesEnd() const { return countAt_ + 2 + 2 * static_cast<std::size_t>(count_); }

    std::uint32_t number_;
    std::size_t pageSize_;
    std::size_t countAt_;
    const std::uint8_t* bytes_ = nullptr;
    unsigned count_ = 0;
};

// The row that the moved row at row of from lives as, following pointers that lead to pointers.
RowPlace follow(const FileImage& file, std::uint32_t owner, const DataPage& from, unsigned row)
{
    const Address start{from.number(), row};
    std::set<Address> passed{start};
    const std::uint8_t* pointer = from.bytes() + from.place(row, kPointerSize).start;
    for (;;) {
        const Address target{static_cast<std::uint32_t>(pointer[1] | pointer[2] << 8 | pointer[3] << 16), pointer[0]};
        const std::string moved = rowName(start) + " moved to " + rowName(target);
        std::optional<DataPage> page;
        try {
            page.emplace(file, target.first, owner);
        } catch (const FormatError& e) {
            throw FormatError(moved + ", but " + e.what());
        }
        if (target.second >= page->count())
            throw FormatError(moved + ", which its page lacks (it has " + std::to_string(page->count()) + " rows)");
        if (!passed.insert(target).second) throw FormatError(rowName(start) + " moved, but its pointers go round in circles");
        // Access marks the row itself deleted: only a further pointer matters here.
        if (!(page->entry(target.second) & kMovedFlag)) return page->place(target.second, 1);
        pointer = page->bytes() + page->place(target.second, kPointerSize).start;
    }
}

}  // namespace

std::vector<RowPlace> liveRows(const FileImage& file, std::uint32_t owner, const std::vector<std::uint32_t>& pageNumbers)
{
    std::vector<DataPage> pages;
    pages.reserve(pageNumbers.size());
    std::set<std::uint32_t> listed;
    for (std::uint32_t number : pageNumbers) {
        if (!listed.insert(number).second) throw FormatError("page " + std::to_string(number) + " is listed twice");
        pages.emplace_back(file, number, owner);
    }

    // First where each moved row lives, so that a row a pointer leads to is known before the walk
    // below reaches it, wherever it lies.
    std::map<Address, RowPlace> moved;       // the pointer's place, the row it leads to
    std::map<Address, Address> reachedFrom;  // a row that a pointer leads to, the pointer's place
    for (const DataPage& page : pages) {
        for (unsigned row = 0; row < page.count(); ++row) {
            std::uint16_t entry = page.entry(row);
            if ((entry & kDeletedFlag) || !(entry & kMovedFlag)) continue;
            RowPlace target = follow(file, owner, page, row);
            auto [it, fresh] = reachedFrom.emplace(Address{target.page, target.row}, Address{page.number(), row});
            if (!fresh)
                throw FormatError(rowName(it->second) + " and " + rowName({page.number(), row}) + " both moved to " +
                                  rowName(it->first));
            moved.emplace(Address{page.number(), row}, target);
        }
    }

    std::vector<RowPlace> live;
    for (const DataPage& page : pages) {
        for (unsigned row = 0; row < page.count(); ++row) {
            std::uint16_t entry = page.entry(row);
            const Address here{page.number(), row};
            if (entry & kDeletedFlag) continue;
            if (entry & kMovedFlag)
                live.push_back(moved.at(here));
            else if (!reachedFrom.count(here))
                live.push_back(page.place(row, 1));
        }
    }
    return live;
}

}  // namespace engine
