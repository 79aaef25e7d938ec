// Damaged databases are refused with the place of the damage, never read as a smaller design: a
// few kinds of damage seen in real files, done by hand, and a deterministic slice of the damage
// campaign (tools/damage) on the generator's example files.
#include "damage_campaign.h"
#include "generated_database.h"
#include "little_endian.h"
#include "raw_definition.h"
#include "run_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kPage = 4096;

Bytes generate(const testsupport::TempDir& dir, const std::string& description)
{
    std::string text = testsupport::readFile(testsupport::writeDatabase(dir, description));
    return Bytes(text.begin(), text.end());
}

std::uint32_t u32(const Bytes& b, std::size_t at) { return engine::u32At(b.data() + at); }

void put(Bytes& b, std::size_t at, std::uint32_t value, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The data pages whose rows belong to the table defined at owner, in file order.
std::vector<std::uint32_t> dataPagesOf(const Bytes& b, std::uint32_t owner)
{
    std::vector<std::uint32_t> pages;
    for (std::uint32_t p = 1; p < b.size() / kPage; ++p)
        if (b[p * kPage] == 0x01 && u32(b, p * kPage + 4) == owner) pages.push_back(p);
    return pages;
}

// What reading the bytes gives: the counts, or the reason they are refused.
std::string reading(const Bytes& b)
{
    try {
        return damage::readCounts(b).text();
    } catch (const std::exception& e) {
        return std::string("refused: ") + e.what();
    }
}

// Many tables with long names, so that the catalog's rows fill more than one page.
std::string manyTables()
{
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += "table Table_with_a_rather_long_name_number_" + std::to_string(i) + "\n  field ID long\n";
    return text + "  values (1)\n  values (2)\n";
}

class Damage : public ::testing::Test {
protected:
    testsupport::TempDir dir_;
};

// Each a number of the catalog's own definition (page 2) that once made the catalog read as
// empty: too few columns, far too many indexes.
TEST_F(Damage, CountsOfTheCatalogsDefinition)
{
    const Bytes whole = generate(dir_, "table T\n  field ID long\n");
    ASSERT_EQ(reading(whole).find("refused"), std::string::npos) << reading(whole);
    Bytes oneColumn = whole;
    put(oneColumn, 2 * kPage + 45, 1, 2);
    EXPECT_EQ(reading(oneColumn), "refused: damaged.mdb: damaged: the catalog cannot be read: table definition at page 2: "
                                  "the name of column 0 at byte 90 runs past the definition's stored end at byte 834");
    Bytes manyIndexes = whole;
    put(manyIndexes, 2 * kPage + 47, 0x7FFFFFFF, 4);
    EXPECT_EQ(reading(manyIndexes).rfind("refused: damaged.mdb: damaged: the catalog cannot be read: table definition at "
                                         "page 2: 2147483647 index entries",
                                         0),
              0u)
        << reading(manyIndexes);
}

// A page of another object copied over one of the catalog's data pages, or over the page that
// holds the system tables' page maps: the rows on it are not the catalog's.
TEST_F(Damage, AnotherPageCopiedOverTheCatalogsRows)
{
    const Bytes whole = generate(dir_, manyTables());
    const std::vector<std::uint32_t> catalog = dataPagesOf(whole, 2);
    ASSERT_GE(catalog.size(), 2u);
    EXPECT_EQ(reading(whole), "64 tables, 97 fields, 0 indexes, 0 relations, 0 queries");
    // The data page of the one table with rows.
    const std::uint32_t table = static_cast<std::uint32_t>(
        testsupport::catalogIds(testsupport::writeDatabase(dir_, manyTables())).at("Table_with_a_rather_long_name_number_59"));
    ASSERT_EQ(dataPagesOf(whole, table).size(), 1u);
    const std::uint32_t other = dataPagesOf(whole, table)[0];
    Bytes copied = whole;
    std::copy_n(whole.begin() + other * kPage, kPage, copied.begin() + catalog[1] * kPage);
    EXPECT_EQ(reading(copied), "refused: damaged.mdb: damaged: the catalog cannot be read: the rows of table MSysObjects: page " +
                                   std::to_string(catalog[1]) + " holds rows of another table (the one defined at page " +
                                   std::to_string(table) + ")");
    Bytes zeroed = whole;
    std::fill_n(zeroed.begin() + catalog[1] * kPage, kPage, 0);
    EXPECT_EQ(reading(zeroed), "refused: damaged.mdb: damaged: the catalog cannot be read: the rows of table MSysObjects: page " +
                                   std::to_string(catalog[1]) + " holds no rows");
}

// A table whose name cannot be read is named by its catalog row, never by an empty name.
TEST_F(Damage, ATableWithoutANameIsNamedByItsCatalogRow)
{
    const std::string name = "TheOneTableWithThisName";
    const std::string path = testsupport::writeDatabase(dir_, "table A\n  field ID long\ntable " + name + "\n  field ID long\n");
    const std::string text = testsupport::readFile(path);
    Bytes b(text.begin(), text.end());
    // The catalog's rows in page order, live ones counted, until the one holding the name (as
    // UTF-16 or compressed: one byte a character after FF FE).
    std::string utf16, compressed = "\xFF\xFE" + name;
    for (char c : name) utf16 += std::string{c, '\0'};
    std::size_t live = 0, rowEnd = 0;  // the live rows up to the named one; where that row ends
    for (std::uint32_t page : dataPagesOf(b, 2)) {
        const std::uint8_t* p = b.data() + page * kPage;
        unsigned rows = p[12] | p[13] << 8;
        for (unsigned r = 0; r < rows && !rowEnd; ++r) {
            unsigned entry = p[14 + 2 * r] | p[15 + 2 * r] << 8;
            if (entry & 0xC000) continue;
            ++live;
            std::size_t end = r == 0 ? kPage : (p[12 + 2 * r] | p[13 + 2 * r] << 8) & 0x1FFF;
            std::string row(p + (entry & 0x1FFF), p + end);
            if (row.find(utf16) != std::string::npos || row.find(compressed) != std::string::npos) rowEnd = page * kPage + end;
        }
    }
    ASSERT_NE(rowEnd, 0u);
    // The row's null mask ends it, one bit per column number (set: the column has a value).
    int nameColumn = -1;
    for (const auto& c : testsupport::readDefinition(text, 2).columns)
        if (c.name == "Name") nameColumn = c.number;
    ASSERT_GE(nameColumn, 0);
    const std::size_t maskBytes = (17 + 7) / 8;  // the catalog's 17 columns
    b[rowEnd - maskBytes + nameColumn / 8] &= static_cast<std::uint8_t>(~(1u << (nameColumn % 8)));
    EXPECT_EQ(reading(b), "refused: damaged.mdb: damaged: the catalog cannot be read: row " + std::to_string(live) +
                              " has no Name");
}

// A table's definition copied over another's: the copy has the other's map of row pages, and
// says whose it is.
TEST_F(Damage, ADefinitionCopiedOverAnothers)
{
    const std::string path = testsupport::writeDatabase(dir_, "table A\n  field ID long\ntable B\n  field ID long\n");
    const std::map<std::string, std::int64_t> ids = testsupport::catalogIds(path);
    const auto a = static_cast<std::uint32_t>(ids.at("A") & 0xFFFFFF), b = static_cast<std::uint32_t>(ids.at("B") & 0xFFFFFF);
    const std::string text = testsupport::readFile(path);
    Bytes copied(text.begin(), text.end());
    std::copy_n(copied.begin() + a * kPage, kPage, copied.begin() + b * kPage);
    EXPECT_NE(reading(copied).find("its definition at page " + std::to_string(b) + " has the map of row pages of table A, "
                                   "whose definition is at page " + std::to_string(a)),
              std::string::npos)
        << reading(copied);
}

// A file cut at a page boundary: the pages its maps list are gone.
TEST_F(Damage, AFileCutShort)
{
    const Bytes whole = generate(dir_, manyTables());
    const std::vector<std::uint32_t> catalog = dataPagesOf(whole, 2);
    Bytes cut(whole.begin(), whole.begin() + catalog.back() * kPage);
    EXPECT_EQ(reading(cut).rfind("refused: damaged.mdb: damaged: the catalog cannot be read: table definition at page 2: "
                                 "its map of row pages lists page " + std::to_string(catalog.back()) + ", which is not in the file",
                                 0),
              0u)
        << reading(cut);
}

// The slice of the campaign CI runs: every kind of damage on each example file. No damaged file
// may be read as empty, crash or hang the reading; at most one in a hundred that are read may
// lose an object.
TEST_F(Damage, CampaignSlice)
{
    constexpr std::uint64_t kTrials = 120;
    std::size_t read = 0, lost = 0;
    std::ostringstream report;  // the trials that went wrong, to see them in the failure
    for (const auto& entry : std::filesystem::directory_iterator(EXAMPLES_DIR)) {
        if (entry.path().extension() != ".txt") continue;
        damage::Campaign campaign(generate(dir_, testsupport::readFile(entry.path().string())), entry.path().filename().string());
        for (std::uint64_t n = 0; n < kTrials; ++n) {
            damage::Trial t = campaign.run(n);
            if (t.outcome == damage::Outcome::Refused) {
                // "damaged.mdb: " and then why.
                EXPECT_GT(t.detail.size(), std::string("damaged.mdb: ").size()) << campaign.name() << " trial " << n;
                continue;
            }
            if (t.outcome != damage::Outcome::Intact && t.outcome != damage::Outcome::Lost)
                ADD_FAILURE() << campaign.name() << " trial " << n << " (" << t.change << "): " << damage::outcomeName(t.outcome)
                              << ": " << t.detail;
            if (t.outcome == damage::Outcome::Intact || t.outcome == damage::Outcome::Lost) ++read;
            if (t.outcome == damage::Outcome::Lost) {
                ++lost;
                report << campaign.name() << " trial " << n << " (" << t.change << "): " << t.detail << "\n";
            }
        }
    }
    EXPECT_GT(read, 100u);
    EXPECT_LE(lost * 100, read) << lost << " of " << read << " readings lost an object:\n" << report.str();
}

}  // namespace
