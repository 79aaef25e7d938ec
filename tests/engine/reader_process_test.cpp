// Reading a design in the reader process: the same design as reading it here, and every way the
// reader can fail turned into a reason why the file cannot be opened.
#include "database_file.h"
#include "design_codec.h"
#include "design_reader.h"
#include "generated_database.h"
#include "jet4_writer.h"
#include "reader_process.h"
#include "run_command.h"
#include "schema_text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

using namespace engine;
using testsupport::TempDir;

namespace {

// Sets an environment variable for the lifetime of the object.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) { ::setenv(name, value, 1); }
    ~ScopedVariable() { ::unsetenv(name_); }

private:
    const char* name_;
};

class Reader : public ::testing::Test {
protected:
    std::string write(const std::string& description) { return testsupport::writeDatabase(dir_, description); }

    // The reason the reader gives for not opening path.
    std::string refusal(const std::string& path)
    {
        try {
            readDesignInReader(path);
        } catch (const OpenError& e) {
            EXPECT_EQ(e.path(), path);
            return e.reason();
        }
        return "opened";
    }

    TempDir dir_;
};

TEST_F(Reader, GivesTheDesignReadingHereGives)
{
    std::string path = write(R"(
table Customers
  field ID autonumber
  field Name text(40) Required=yes Description="Größe"
  index PrimaryKey (ID) primary
table Orders
  field ID long
  field CustomerID long
relationship CO Customers(ID) -> Orders(CustomerID) enforced
query Q select
  from Customers
  column "Customers.Name"
  property ODBCTimeout:integer=30
)");
    DatabaseDesign here = readDesign(path);
    DatabaseDesign there = expandDesign(*readDesignInReader(path));
    EXPECT_EQ(there.name, path);
    EXPECT_EQ(designText(there), designText(here));
    // The text a person sees is the same design.
    auto shown = testsupport::runCommand(readerProgram(), {"--text", path});
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(shown.out, designText(here));
}

TEST_F(Reader, PassesOnTheReasonAFileCannotBeOpened)
{
    EXPECT_EQ(refusal(dir_.file("missing.mdb")), "the file does not exist");
    testsupport::writeFile(dir_.file("text.mdb"), "not a database");
    EXPECT_EQ(refusal(dir_.file("text.mdb")), "not an Access database");
    EXPECT_EQ(refusal(dir_.path()), "not a file but a folder");
    ::mkfifo(dir_.file("pipe.mdb").c_str(), 0600);
    EXPECT_EQ(refusal(dir_.file("pipe.mdb")), "not a file but a pipe");  // and no wait for a writer
    EXPECT_EQ(refusal("/dev/zero"), "not a file but a device");
    std::string longPath = dir_.path() + "/" + std::string(300, 'x') + ".mdb";
    EXPECT_EQ(refusal(longPath), "the file cannot be read: File name too long");
}

// Paths are passed on as they are: spaces, quotes and letters beyond ASCII need nothing special.
TEST_F(Reader, PathsWithSpacesAndLettersBeyondAscii)
{
    std::string folder = dir_.file("Größe \"Kunden\" $HOME; 'x'");
    std::filesystem::create_directory(folder);
    std::string path = folder + "/Ärger 顧客.mdb";
    mdbgen::writeJet4File(mdbgen::parseDescription("table T\n field F long\n"), path);
    EXPECT_EQ(readDesignInReader(path)->name(), path);
}

// Whatever goes wrong in the reader reaches the window process as a reason, never as a crash,
// a hang or a design that is not the file's.
TEST_F(Reader, EveryFailureOfTheReaderIsAReason)
{
    std::string path = write("table T\n field F long\n");
    struct Case {
        const char* misbehaviour;
        const char* reason;
    };
    const Case cases[] = {
        // Signal 11, or 6 where a sanitizer catches the fault and aborts.
        {"crash", "damaged: reading it failed (the reader stopped with signal "},
        {"garbage", "damaged: the reader's answer is malformed: "},
        {"cut", "damaged: the reader's answer is malformed: "},
        {"escape", "no other file can be opened"},
    };
    for (const Case& c : cases) {
        ScopedVariable misbehave("DUALYN_READER_TEST", c.misbehaviour);
        std::string reason = refusal(path);
        EXPECT_EQ(reason.rfind(c.reason, 0), 0u) << c.misbehaviour << ": " << reason;
    }
    ScopedVariable hang("DUALYN_READER_TEST", "hang");
    ScopedVariable shortTime("DUALYN_READER_SECONDS", "1");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(refusal(path), "damaged: reading it took longer than 1 seconds");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
}

TEST_F(Reader, AMissingReaderIsAReason)
{
    std::string path = write("table T\n field F long\n");
    ScopedVariable reader("DUALYN_READER", dir_.file("no-reader").c_str());
    EXPECT_EQ(refusal(path), "the reader program " + dir_.file("no-reader") + " cannot be started");
}

// The limits grow with the file.
TEST(ReaderLimits, GrowWithTheFile)
{
    ReaderLimits small = ReaderLimits::forFileSize(100 << 10), large = ReaderLimits::forFileSize(1000u << 20);
    EXPECT_GE(small.seconds, 30.0);
    EXPECT_GT(large.seconds, small.seconds + 900);
    EXPECT_GT(large.memoryBytes, small.memoryBytes + (20000ull << 20));
    EXPECT_GT(large.answerBytes, small.answerBytes);
}

}  // namespace
