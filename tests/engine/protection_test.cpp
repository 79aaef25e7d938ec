// Encoded and password-protected Jet databases: they read exactly as their plain twins, in this
// process and through the reader; a missing or wrong password is told apart from damage; damage
// to an encoded file is reported as damage.
#include "database_engine.h"
#include "database_file.h"
#include "design_codec.h"
#include "design_reader.h"
#include "generated_database.h"
#include "jet_protection.h"
#include "rc4.h"
#include "reader_process.h"
#include "run_command.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace engine;
using testsupport::TempDir;

namespace {

const char* const kDesign = R"(
table Customers
  field ID autonumber
  field Name text(40) Required=yes Description="Größe"
  field Notes memo
  index PrimaryKey (ID) primary
  values (1, "Anna", "first")
table Orders
  field ID long
  field CustomerID long DefaultValue="0"
relationship CO Customers(ID) -> Orders(CustomerID) enforced
query Recent select
  from Orders
  column "Orders.ID"
  where "Orders.ID > 10"
)";

class Protection : public ::testing::Test {
protected:
    // The file of kDesign with the database line (none for the plain twin).
    std::string write(const std::string& databaseLine, const std::string& name)
    {
        return testsupport::writeDatabase(dir_, databaseLine + "\n" + kDesign, name);
    }

    // The design as text, without its first line (which names the file).
    static std::string withoutName(const std::string& text) { return text.substr(text.find('\n') + 1); }

    // The problem and reason of opening path with password, in this process or in the reader.
    static std::pair<OpenProblem, std::string> refusal(const std::string& path, const std::string& password, bool inReader)
    {
        try {
            if (inReader)
                DBEngine::instance().OpenDatabase(path, password);
            else
                readDesign(path, password);
        } catch (const OpenError& e) {
            return {e.problem(), e.reason()};
        }
        return {OpenProblem::Other, "opened"};
    }

    TempDir dir_;
};

TEST_F(Protection, EncodedAndPasswordFilesReadAsTheirPlainTwins)
{
    const std::string plain = withoutName(designText(readDesign(write("", "plain.mdb"))));
    struct Variant {
        std::string line, name, password;
    };
    const Variant variants[] = {
        {"database encoded", "encoded.mdb", ""},
        {"database password \"Geheim\"", "password.mdb", "Geheim"},
        {"database encoded password \"Pä$$wört 顧客 12345\"", "both.mdb", "Pä$$wört 顧客 12345"},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        std::string path = write(v.line, v.name);
        EXPECT_EQ(withoutName(designText(readDesign(path, v.password))), plain);
        // Through the reader process, with the password on its pipe.
        EXPECT_EQ(withoutName(designText(expandDesign(*readDesignInReader(path, nullptr, v.password)))), plain);
        // A password given to a file that needs none, or to an encoded one without a password,
        // changes nothing.
        if (v.password.empty()) {
            EXPECT_EQ(withoutName(designText(readDesign(path, "unneeded"))), plain);
        }
    }
    EXPECT_EQ(withoutName(designText(readDesign(dir_.file("plain.mdb"), "unneeded"))), plain);
}

TEST_F(Protection, MissingOrWrongPasswordIsToldAsSuch)
{
    std::string path = write("database encoded password \"Geheim\"", "both.mdb");
    for (bool inReader : {false, true}) {
        SCOPED_TRACE(inReader ? "in the reader" : "here");
        using Refusal = std::pair<OpenProblem, std::string>;
        EXPECT_EQ(refusal(path, "", inReader), (Refusal{OpenProblem::PasswordNeeded, "no password given"}));
        for (const char* wrong : {"geheim", "GEHEIM", "Geheim ", "Gehei", "Geheim\n", "Ge\xFFheim"})
            EXPECT_EQ(refusal(path, wrong, inReader), (Refusal{OpenProblem::WrongPassword, "wrong password"})) << wrong;
    }
    // The reader says so with its exit status: 4 none given, 5 wrong.
    auto none = testsupport::runCommand(readerProgram(), {"--text", path});
    EXPECT_EQ(none.exitCode, 4);
    EXPECT_EQ(none.err, "no password given\n");
    auto wrong = testsupport::runCommand(readerProgram(), {"--password-on-stdin", "--text", path}, "geheim");
    EXPECT_EQ(wrong.exitCode, 5);
    auto right = testsupport::runCommand(readerProgram(), {"--password-on-stdin", "--text", path}, "Geheim");
    EXPECT_EQ(right.exitCode, 0) << right.err;
}

// Twenty characters is the most Access keeps; a longer one given can only be wrong.
TEST_F(Protection, LongestPasswordAndOneLonger)
{
    const std::string longest = "abcdefghij€bcdefghij";
    std::string path = write("database password \"" + longest + "\"", "long.mdb");
    EXPECT_EQ(refusal(path, longest, false).second, "opened");
    EXPECT_EQ(refusal(path, longest + "k", false).first, OpenProblem::WrongPassword);
}

// A Jet 3 image made here: 2048-byte pages, a code page 1252 password, pages encoded with the
// page's own key; the catalog page must come out as a table definition.
TEST_F(Protection, Jet3PasswordAndEncoding)
{
    std::vector<std::uint8_t> bytes(3 * 2048, 0);
    std::memcpy(bytes.data() + 4, "Standard Jet DB", 16);
    const std::uint8_t start[24] = {0, 1, 0, 0, 1, 1, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0};
    std::memcpy(bytes.data() + kHeaderMaskStart, start, sizeof start);
    const std::uint8_t key[4] = {0x78, 0x56, 0x34, 0x12};
    std::memcpy(bytes.data() + kEncodingKeyAt, key, 4);
    const char password[] = "Gr\xFC\xDF";  // "Grüß" in code page 1252
    std::memcpy(bytes.data() + kPasswordAt, password, 4);
    toggleHeaderMask(bytes.data(), FileFormat::Jet3);
    bytes[2 * 2048] = 0x02;
    bytes[2 * 2048 + 1] = 0x01;
    const std::vector<std::uint8_t> plain = bytes;
    encodePages(bytes.data(), bytes.size(), 2048, 0x12345678);
    ASSERT_NE(bytes[2 * 2048], 0x02);

    std::vector<std::uint8_t> copy = bytes;
    try {
        checkDatabaseBytes("jet3.mdb", copy, "grüß");
        ADD_FAILURE() << "a wrong password was taken";
    } catch (const OpenError& e) {
        EXPECT_EQ(e.problem(), OpenProblem::WrongPassword);
    }
    EXPECT_EQ(checkDatabaseBytes("jet3.mdb", bytes, "Grüß"), FileFormat::Jet3);
    EXPECT_TRUE(std::equal(bytes.begin() + 2048, bytes.end(), plain.begin() + 2048));
    // The header now says the file is plain: decoding again changes nothing.
    EXPECT_FALSE(decodeJetPages(bytes, FileFormat::Jet3));
}

// Damage to an encoded file is damage, named where it is: never a crash, never a design with
// something missing. Damage to its password is a password problem, never damage. (Random damage
// is left to the reader fuzz target, which has an encoded seed.)
TEST_F(Protection, DamagedEncodedFilesAreRefusedAsDamaged)
{
    std::string path = write("database encoded\ntable Broken\n  field F long", "encoded.mdb");
    const std::string bytes = testsupport::readFile(path);
    std::string damaged = dir_.file("damaged.mdb");
    auto reasonFor = [&](std::string copy, const std::string& password = "") {
        testsupport::writeFile(damaged, copy);
        return refusal(damaged, password, false);
    };
    auto flipped = [&](std::size_t at) {
        std::string copy = bytes;
        copy.at(at) = static_cast<char>(copy[at] ^ 0x20);
        return copy;
    };
    auto startsWith = [](const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; };
    EXPECT_TRUE(startsWith(reasonFor(flipped(2 * 4096)).second, "damaged: page 2, where every Access file keeps its "
                                                                  "catalog, does not decode"));
    EXPECT_TRUE(startsWith(reasonFor(flipped(0x3F)).second, "damaged: page 2"));  // the key itself
    // The user tables' definitions follow the four system tables' (pages 2-5).
    EXPECT_TRUE(startsWith(reasonFor(flipped(6 * 4096)).second, "damaged: the design of table Broken cannot be read"));
    EXPECT_TRUE(startsWith(reasonFor(bytes.substr(0, bytes.size() - 100)).second, "damaged: the file is cut short"));
    // Cut after a page: damaged, unless only pages the design does not use (a table's rows) are gone.
    const std::string whole = withoutName(designText(readDesign(path)));
    for (std::size_t pages = 3; pages * 4096 < bytes.size(); ++pages) {
        testsupport::writeFile(damaged, bytes.substr(0, pages * 4096));
        try {
            EXPECT_EQ(withoutName(designText(readDesign(damaged))), whole) << pages << " pages";
        } catch (const OpenError& e) {
            EXPECT_TRUE(startsWith(e.reason(), "damaged")) << pages << " pages: " << e.reason();
        }
    }
    EXPECT_EQ(reasonFor(flipped(0x43)), (std::pair{OpenProblem::PasswordNeeded, std::string("no password given")}));
}

}  // namespace
