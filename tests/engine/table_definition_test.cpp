#include "table_definition.h"

#include "format_error.h"
#include "jet4_writer.h"
#include "run_command.h"
#include "schema_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <tuple>

using namespace engine;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

namespace {

// The bytes of the Jet 4 file the description gives, and each table's definition page (its Id in
// MSysObjects, columns Id 0, Name 2, Type 3).
Bytes generate(const std::string& description, std::map<std::string, std::uint32_t>& pages)
{
    testsupport::TempDir dir;
    mdbgen::writeJet4File(mdbgen::parseDescription(description), dir.file("t.mdb"));
    auto exported = testsupport::runCommand("mdb-export", {"-H", dir.file("t.mdb"), "MSysObjects"});
    auto rows = testsupport::parseCsv(exported.out);
    for (const auto& row : rows)
        if (row.size() > 3 && row[3] == "1") pages[row[2]] = static_cast<std::uint32_t>(std::stoul(row[0]) & 0xFFFFFF);
    std::string file = testsupport::readFile(dir.file("t.mdb"));
    return Bytes(file.begin(), file.end());
}

// Each logical index in stored order as "name kind side flags columns", e.g. "PK 1 0 9 +0 -3".
Lines describe(const Bytes& file, std::uint32_t page, bool jet3 = false)
{
    TableDefinition indexes = readTableDefinition(FileImage{file.data(), file.size(), jet3}, page);
    Lines out;
    for (const auto& ix : indexes.logical) {
        const RealIndex& real = indexes.real.at(ix.realIndex);
        out.push_back(ix.name + " " + std::to_string(ix.kind) + " " + std::to_string(ix.relationshipSide) + " " +
                      std::to_string(real.flags));
        for (const auto& c : real.columns) out.back() += (c.descending ? " -" : " +") + std::to_string(c.columnNumber);
    }
    return out;
}

void set32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> 8 * i);
}

}  // namespace

TEST(TableDefinition, FlagsColumnsOrderAndRelationships)
{
    std::map<std::string, std::uint32_t> pages;
    Bytes file = generate(R"(table Customers
  field ID long
  index PrimaryKey (ID) primary
table Orders
  field ID long
  deleted 2
  field CustomerID long
  field Placed datetime
  field Code text(10)
  index Code (Code) unique ignorenulls
  index PrimaryKey (ID) primary
  index ByCustomer (CustomerID, Placed desc) required
  index CustomerID (CustomerID)
relationship CustomersOrders Customers(ID) -> Orders(CustomerID) enforced)",
                          pages);
    // Column numbers skip the deleted ones. The relationship's indexes share real indexes: the
    // hidden ".rC" (index 1) the primary key's (real 0), CustomersOrders (index 4) CustomerID's (real 3).
    EXPECT_EQ(describe(file, pages["Customers"]), (Lines{"PrimaryKey 1 0 9 +0", ".rC 2 1 9 +0"}));
    EXPECT_EQ(describe(file, pages["Orders"]), (Lines{"Code 0 0 3 +5", "PrimaryKey 1 0 9 +0", "ByCustomer 0 0 8 +3 -4",
                                                      "CustomerID 0 0 0 +3", "CustomersOrders 2 2 0 +3"}));
}

TEST(TableDefinition, DefinitionOverSeveralPagesAndDamagedOnes)
{
    std::string description = "table Wide\n";
    for (int i = 1; i <= 255; ++i) description += "  field f" + std::to_string(i) + " long\n";
    std::map<std::string, std::uint32_t> pages;
    description += "  index Last (f255 desc) unique\ntable Small\n  field ID long\n  index PK (ID) primary";
    Bytes file = generate(description, pages);
    const std::size_t wide = pages["Wide"] * 4096, small = pages["Small"] * 4096;  // where they start
    EXPECT_EQ(describe(file, pages["Wide"]), Lines{"Last 0 0 1 -254"});

    // Small's only index entry comes right before its name ("PK"), its only real index before that.
    const Bytes pk = {4, 0, 'P', 0, 'K', 0};
    auto name = std::search(file.begin() + static_cast<std::ptrdiff_t>(small), file.end(), pk.begin(), pk.end());
    const std::size_t entry = static_cast<std::size_t>(name - file.begin()) - 28, real = entry - 52;
    const std::vector<std::tuple<std::string, std::size_t, std::function<void(Bytes&)>>> damages = {
        {"its continuation page", wide, [&](Bytes& b) { b.resize(wide + 5000); }},
        {"page 16777215 is past the file's end", wide, [&](Bytes& b) { set32(b, wide + 4, 0xFFFFFF); }},
        {"page chain returns from page", wide, [&](Bytes& b) { set32(b, wide + 4, pages["Wide"]); }},
        {"chain ends after 1 page", wide, [&](Bytes& b) { set32(b, wide + 4, 0); }},  // so it spans pages
        {"is no table definition page", 4096, [](Bytes&) {}},
        {"names real index 1, but the definition has 1", small, [&](Bytes& b) { set32(b, entry + 8, 1); }},
        {"past the definition's stored end at byte 150", small, [&](Bytes& b) { set32(b, small + 8, 150); }},
        {"has no columns", small, [&](Bytes& b) { b[real + 4] = b[real + 5] = 0xFF; }},
    };
    for (const auto& [fault, start, damage] : damages) {
        Bytes damaged = file;
        damage(damaged);
        try {
            FileImage image{damaged.data(), damaged.size(), false};
            readTableDefinition(image, static_cast<std::uint32_t>(start / 4096));
            ADD_FAILURE() << "accepted; expected: " << fault;
        } catch (const FormatError& e) {
            EXPECT_NE(std::string(e.what()).find(fault), std::string::npos) << e.what();
        }
    }
}

TEST(TableDefinition, Jet3Layout)
{
    // Page 1 of a Jet 3 file: one column (number 3, named "A"), one real and one logical index.
    Bytes file(2 * 2048, 0);
    std::uint8_t* d = file.data() + 2048;
    d[0] = 0x02, d[1] = 0x01, d[8] = 135;                     // a definition of 135 bytes
    d[25] = d[27] = d[31] = 1;                                // column, logical and real index counts
    d[51 + 1] = 3, d[69] = 1, d[70] = 'A';                    // the column (at 43 + 8) and its name
    std::fill(d + 74, d + 71 + 30, 0xFF);                     // the real index: column 3 descending,
    d[71] = 3, d[73] = 2, d[71 + 38] = 0x09;                  // 9 unused slots; unique and required
    d[110 + 8] = 1, d[110 + 19] = 2;                          // logical: primary side of a relationship
    d[130] = 2, d[131] = '.', d[132] = 'r';
    d[133] = d[134] = 0xFF;                                   // no long-value page maps
    EXPECT_EQ(describe(file, 1, true), Lines{".r 2 1 9 -3"});
}
