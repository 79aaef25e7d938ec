// Which rows of a table's data pages are live, from pages built by hand: deleted rows left out,
// moved rows read once where their pointer leads, in the pointer's place, and the damage a page
// or a pointer can carry refused with a message that says where.
#include "format_error.h"
#include "live_rows.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

using namespace engine;

namespace {

constexpr std::uint32_t kOwner = 40;  // the table's definition page
constexpr std::uint16_t kDeleted = 0x8000, kMoved = 0x4000;

// A file of data pages made row by row. Pages 0 and 1 are left empty, as no table's rows are there.
class Pages {
public:
    explicit Pages(bool jet3 = false) : jet3_(jet3), size_(jet3 ? 2048 : 4096), bytes_(2 * size_, 0) {}

    // A new data page of the table defined at owner; its number.
    std::uint32_t page(std::uint32_t owner = kOwner)
    {
        auto number = static_cast<std::uint32_t>(bytes_.size() / size_);
        bytes_.resize(bytes_.size() + size_, 0);
        std::uint8_t* p = at(number);
        p[0] = 0x01;
        p[1] = 0x01;
        for (int i = 0; i < 4; ++i) p[4 + i] = static_cast<std::uint8_t>(owner >> (8 * i));
        tops_.push_back(size_);
        settle(number);
        return number;
    }

    // Adds a row holding text to page, its entry carrying flags; its row number.
    unsigned add(std::uint32_t page, const std::string& text, std::uint16_t flags = 0)
    {
        return addBytes(page, std::vector<std::uint8_t>(text.begin(), text.end()), flags);
    }

    // Adds a row to page that points to row of toPage, its entry carrying flags.
    unsigned pointer(std::uint32_t page, std::uint32_t toPage, unsigned row, std::uint16_t flags = kMoved)
    {
        return addBytes(page, {static_cast<std::uint8_t>(row), static_cast<std::uint8_t>(toPage),
                               static_cast<std::uint8_t>(toPage >> 8), static_cast<std::uint8_t>(toPage >> 16)},
                        flags);
    }

    void setEntry(std::uint32_t page, unsigned row, std::uint16_t entry)
    {
        std::uint8_t* e = at(page) + countAt() + 2 + 2 * row;
        e[0] = static_cast<std::uint8_t>(entry);
        e[1] = static_cast<std::uint8_t>(entry >> 8);
    }
    void setCount(std::uint32_t page, unsigned count)
    {
        at(page)[countAt()] = static_cast<std::uint8_t>(count);
        at(page)[countAt() + 1] = static_cast<std::uint8_t>(count >> 8);
    }

    // Sets page's free space to what its row entries leave (as add keeps it), after entries were
    // changed by hand.
    void settle(std::uint32_t page)
    {
        std::uint8_t* p = at(page);
        unsigned count = p[countAt()] | p[countAt() + 1] << 8;
        std::size_t lowest = size_;
        for (unsigned row = 0; row < count; ++row)
            lowest = std::min<std::size_t>(lowest, (p[countAt() + 2 + 2 * row] | p[countAt() + 3 + 2 * row] << 8) & 0x1FFF);
        std::size_t free = lowest - (countAt() + 2 + 2 * count);
        p[2] = static_cast<std::uint8_t>(free);
        p[3] = static_cast<std::uint8_t>(free >> 8);
    }

    FileImage image() const { return FileImage{bytes_.data(), bytes_.size(), jet3_}; }

    // The texts of the rows at places.
    std::vector<std::string> texts(const std::vector<RowPlace>& places) const
    {
        std::vector<std::string> out;
        for (const RowPlace& p : places) {
            const std::uint8_t* page = bytes_.data() + p.page * size_;
            out.emplace_back(page + p.start, page + p.end);
        }
        return out;
    }

private:
    std::size_t countAt() const { return jet3_ ? 8 : 12; }
    std::uint8_t* at(std::uint32_t page) { return bytes_.data() + page * size_; }

    unsigned addBytes(std::uint32_t page, const std::vector<std::uint8_t>& row, std::uint16_t flags)
    {
        std::uint8_t* p = at(page);
        unsigned count = p[countAt()] | p[countAt() + 1] << 8;
        std::size_t& top = tops_.at(page - 2);
        top -= row.size();
        std::copy(row.begin(), row.end(), p + top);
        setEntry(page, count, static_cast<std::uint16_t>(top | flags));
        setCount(page, count + 1);
        settle(page);
        return count;
    }

    bool jet3_;
    std::size_t size_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::size_t> tops_;  // per page from 2: where its lowest row starts
};

std::vector<std::string> live(const Pages& pages, const std::vector<std::uint32_t>& numbers)
{
    return pages.texts(liveRows(pages.image(), kOwner, numbers));
}

// The message liveRows refuses the pages with.
std::string refusal(const Pages& pages, const std::vector<std::uint32_t>& numbers)
{
    try {
        liveRows(pages.image(), kOwner, numbers);
    } catch (const FormatError& e) {
        return e.what();
    }
    return "accepted";
}

using Texts = std::vector<std::string>;

// Access marks a deleted row 0x8000 and, having reclaimed its bytes, often 0xC000 and empty.
TEST(LiveRows, DeletedRowsAreLeftOut)
{
    Pages pages;
    std::uint32_t p = pages.page();
    pages.add(p, "a");
    pages.add(p, "old", kDeleted);
    pages.add(p, "", kDeleted | kMoved);
    pages.add(p, "b");
    EXPECT_EQ(live(pages, {p}), (Texts{"a", "b"}));
}

TEST(LiveRows, AMovedRowIsReadInItsPointersPlace)
{
    Pages pages;
    std::uint32_t first = pages.page(), second = pages.page();
    pages.add(first, "a");
    pages.pointer(first, second, 1);
    pages.add(first, "c");
    pages.add(second, "d");
    pages.add(second, "b", kDeleted);
    EXPECT_EQ(live(pages, {first, second}), (Texts{"a", "b", "c", "d"}));
}

TEST(LiveRows, APointerMayLeadBackToAnEarlierPageOrToAPageNotListed)
{
    Pages pages;
    std::uint32_t first = pages.page(), second = pages.page(), unlisted = pages.page();
    pages.add(first, "b", kDeleted);
    pages.add(second, "a");
    pages.pointer(second, first, 0);
    pages.pointer(second, unlisted, 0);
    pages.add(unlisted, "c", kDeleted);
    EXPECT_EQ(live(pages, {first, second}), (Texts{"a", "b", "c"}));
}

// A row a pointer leads to is read once, in the pointer's place, even when its own entry does not
// say it is deleted: before the pointer on the pages or after it.
TEST(LiveRows, ARowAPointerLeadsToIsNotReadOnItsOwn)
{
    Pages pages;
    std::uint32_t first = pages.page(), second = pages.page();
    pages.add(first, "b");
    pages.pointer(first, second, 0);
    pages.add(second, "c");
    pages.pointer(second, first, 0);
    EXPECT_EQ(live(pages, {first, second}), (Texts{"c", "b"}));
}

// A row moved twice: the first pointer leads to a second one, which is marked deleted too.
TEST(LiveRows, PointersLeadingToPointersAreFollowed)
{
    Pages pages;
    std::uint32_t first = pages.page(), second = pages.page();
    pages.pointer(first, second, 0);
    pages.pointer(second, second, 1, kDeleted | kMoved);
    pages.add(second, "moved twice", kDeleted);
    EXPECT_EQ(live(pages, {first, second}), (Texts{"moved twice"}));
}

TEST(LiveRows, Jet3Pages)
{
    Pages pages(true);
    std::uint32_t first = pages.page(), second = pages.page();
    pages.add(first, "a");
    pages.add(first, "old", kDeleted);
    pages.pointer(first, second, 0);
    pages.add(second, "b", kDeleted);
    EXPECT_EQ(live(pages, {first, second}), (Texts{"a", "b"}));
}

TEST(LiveRows, DamagedPointersAreRefused)
{
    {
        Pages pages;
        std::uint32_t p = pages.page();
        pages.add(p, "abc", kMoved);  // three bytes: no room for a pointer
        EXPECT_EQ(refusal(pages, {p}), "row 0 of page 2 has no sound place on its page (bytes 4093 to 4096)");
    }
    {
        Pages pages;
        std::uint32_t p = pages.page();
        pages.pointer(p, 99, 0);
        EXPECT_EQ(refusal(pages, {p}), "row 0 of page 2 moved to row 0 of page 99, but page 99 is not in the file");
    }
    {
        Pages pages;
        std::uint32_t p = pages.page(), other = pages.page(77);
        pages.add(other, "x", kDeleted);
        pages.pointer(p, other, 0);
        EXPECT_EQ(refusal(pages, {p}), "row 0 of page 2 moved to row 0 of page 3, but page 3 holds rows of another "
                                       "table (the one defined at page 77)");
    }
    {
        Pages pages;
        std::uint32_t p = pages.page();
        pages.pointer(p, 1, 0);
        EXPECT_EQ(refusal(pages, {p}), "row 0 of page 2 moved to row 0 of page 1, but page 1 holds no rows");
    }
    {
        Pages pages;
        std::uint32_t p = pages.page();
        pages.pointer(p, p, 5);
        EXPECT_EQ(refusal(pages, {p}), "row 0 of page 2 moved to row 5 of page 2, which its page lacks (it has 1 rows)");
    }
    {
        Pages pages;
        std::uint32_t p = pages.page();
        pages.pointer(p, p, 1);
        pages.pointer(p, p, 0, kDeleted | kMoved);
        EXPECT_EQ(refusal(pages, {p}), "row 0 of page 2 moved, but its pointers go round in circles");
    }
    {
        Pages pages;
        std::uint32_t p = pages.page();
        pages.add(p, "x", kDeleted);
        pages.pointer(p, p, 0);
        pages.pointer(p, p, 0);
        EXPECT_EQ(refusal(pages, {p}), "row 1 of page 2 and row 2 of page 2 both moved to row 0 of page 2");
    }
}

TEST(LiveRows, DamagedPagesAreRefused)
{
    {
        Pages pages;
        std::uint32_t p = pages.page();
        pages.add(p, "a");
        pages.add(p, "b");
        pages.setEntry(p, 1, 10);  // among the row entries
        EXPECT_EQ(refusal(pages, {p}), "page 2 says 4076 bytes are free, but its row count 2 leaves no room before its "
                                       "lowest row");
    }
    {
        Pages pages;
        std::uint32_t p = pages.page();
        pages.add(p, "a");
        pages.add(p, "b");
        pages.add(p, "c", kDeleted);  // a deleted row is never read: its place does not matter
        pages.setEntry(p, 1, 4096);   // after row 0, which ends the page
        pages.setEntry(p, 2, 5000 | kDeleted);
        pages.settle(p);
        EXPECT_EQ(refusal(pages, {p}), "row 1 of page 2 has no sound place on its page (bytes 4096 to 4095)");
    }
    {
        // Rows lost from the count leave more free space than the page says it has.
        Pages pages;
        std::uint32_t p = pages.page();
        pages.add(p, "first");
        pages.add(p, "second");
        pages.add(p, "third");
        pages.setCount(p, 1);
        EXPECT_EQ(refusal(pages, {p}), "page 2 says 4060 bytes are free, but its row count 1 leaves 4075 bytes before its "
                                       "lowest row");
    }
    {
        Pages pages;
        std::uint32_t p = pages.page();
        pages.setCount(p, 3000);
        EXPECT_EQ(refusal(pages, {p}), "page 2: its 3000 row entries run past its end");
    }
    {
        Pages pages;
        std::uint32_t p = pages.page(), other = pages.page(77);
        EXPECT_EQ(refusal(pages, {p, other}), "page 3 holds rows of another table (the one defined at page 77)");
        EXPECT_EQ(refusal(pages, {p, p}), "page 2 is listed twice");
    }
}

}  // namespace
