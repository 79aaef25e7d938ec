// The log under faults: a symbolic link or anything else put in the log's place is never written
// through.
#include "comparison_log.h"
#include "comparison_run.h"
#include "generated_database.h"
#include "headless_window.h"
#include "run_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace dualyn;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

// The LogError of action, or "" when it throws none.
template <class Action> std::string logError(Action action)
{
    try {
        action();
    } catch (const LogError& e) {
        return e.what();
    }
    return "";
}

// Three tables that differ in one field, and relationships and queries: a log of a few dozen lines.
const char kDesign1[] =
    "table A\n field ID long\n field Name text(50)\n index PrimaryKey (ID) primary\n"
    "table B\n field ID long\n field AID long\n"
    "table C\n field ID long\n"
    "relationship AB A(ID) -> B(AID) enforced\n"
    "query Q select\n from A\n column \"A.Name\"\n";
const char kDesign2[] =
    "table A\n field ID long\n field Name text(80)\n index PrimaryKey (ID) primary\n"
    "table B\n field ID long\n field AID long\n"
    "table C\n field ID long\n field Extra text(10)\n"
    "query Q select\n from B\n";

}  // namespace

// Every open of the log refuses a link, and whatever is not a regular file; the file a link
// points to stays as it was, and a link to a missing file makes none.
TEST(LogFaults, OnlyARegularFileIsWrittenAndNeverThroughALink)
{
    TempDir dir;
    const std::string log = dir.file("log.txt"), other = dir.file("other.txt");
    writeFile(other, "someone's file\n");
    std::filesystem::create_symlink(other, log);
    EXPECT_EQ(logError([&] { WriteLog(log, "a line"); }), "the comparison log " + log + " is a symbolic link");
    EXPECT_EQ(readFile(other), "someone's file\n");

    // Emptying removes the link itself and makes a file of the log's own.
    EmptyLog(log);
    EXPECT_FALSE(std::filesystem::is_symlink(log));
    WriteLog(log, "first");
    EXPECT_EQ(readFile(log), "first\r\n");
    EXPECT_EQ(readFile(other), "someone's file\n");

    const std::string dangling = dir.file("dangling.txt");
    std::filesystem::create_symlink(dir.file("made.txt"), dangling);
    EXPECT_EQ(logError([&] { WriteLog(dangling, "a line"); }), "the comparison log " + dangling + " is a symbolic link");
    EXPECT_FALSE(std::filesystem::exists(dir.file("made.txt")));

    // A FIFO with no reader would hold a plain open up for good; a device takes lines unseen.
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(logError([&] { WriteLog(fifo, "a line"); }), "the comparison log " + fifo + " is not a regular file");
    EXPECT_EQ(logError([&] { WriteLog("/dev/full", "a line"); }), "the comparison log /dev/full is not a regular file");
    std::filesystem::create_directory(dir.file("folder"));
    EXPECT_EQ(logError([&] { WriteLog(dir.file("folder"), "a line"); }),
              "the comparison log " + dir.file("folder") + " is not a regular file");
}

// A log that belongs to another user is not written (this needs the right to give a file away).
TEST(LogFaults, ALogOfAnotherUserIsNotWritten)
{
    TempDir dir;
    const std::string log = dir.file("log.txt");
    writeFile(log, "theirs\r\n");
    if (::chown(log.c_str(), ::geteuid() + 1, static_cast<gid_t>(-1)) != 0) GTEST_SKIP() << "cannot give a file away";
    EXPECT_EQ(logError([&] { WriteLog(log, "a line"); }), "the comparison log " + log + " belongs to another user");
    EXPECT_EQ(readFile(log), "theirs\r\n");
}

// A link put in the log's place during a run: the run stops with the reason, no line reaches the
// file the link points to and the viewer is not started.
TEST(LogFaults, ALinkSwappedInDuringARunIsNotWrittenThrough)
{
    struct SwappingWindow : HeadlessWindow {
        std::string log, target;
        void SetStatus(const std::string& text) override
        {
            HeadlessWindow::SetStatus(text);
            if (text != "Comparing table B") return;
            std::filesystem::remove(log);
            std::filesystem::create_symlink(target, log);
        }
    };
    TempDir dir;
    SwappingWindow window;
    window.log = dir.file("ComparisonLog.txt");
    window.target = dir.file("target.txt");
    writeFile(window.target, "not the log\n");
    window.paths[0] = testsupport::writeDatabase(dir, kDesign1, "a.mdb");
    window.paths[1] = testsupport::writeDatabase(dir, kDesign2, "b.mdb");
    ComparisonRun run(window, window.log);
    EXPECT_EQ(logError([&] { run.cmdCompare_Click(); }), "the comparison log " + window.log + " is a symbolic link");
    EXPECT_EQ(readFile(window.target), "not the log\n");
    EXPECT_EQ(std::count_if(window.calls.begin(), window.calls.end(),
                            [](const std::string& call) { return call.rfind("OpenLogViewer", 0) == 0; }),
              0);
}

// A link in the log's place before the run is replaced by the new log, the file it points to
// untouched.
TEST(LogFaults, ALinkInPlaceBeforeTheRunIsReplaced)
{
    TempDir dir;
    const std::string log = dir.file("ComparisonLog.txt"), target = dir.file("target.txt");
    writeFile(target, "not the log\n");
    std::filesystem::create_symlink(target, log);
    HeadlessWindow window;
    window.paths[0] = window.paths[1] = testsupport::writeDatabase(dir, kDesign1);
    window.tables = window.relations = window.queries = false;
    ComparisonRun run(window, log);
    run.cmdCompare_Click();
    EXPECT_FALSE(std::filesystem::is_symlink(log));
    EXPECT_EQ(readFile(log), "Comparison Log for " + window.paths[0] + " and " + window.paths[0] + "\r\n");
    EXPECT_EQ(readFile(target), "not the log\n");
}
