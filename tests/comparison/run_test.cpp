// The comparison run's frame and its log file: what the run does around the sections, how each
// line is written, and the headless runner's contract.
#include "comparison_log.h"
#include "comparison_run.h"
#include "headless_window.h"
#include "jet4_writer.h"
#include "run_command.h"
#include "schema_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace dualyn;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

TEST(ComparisonLog, LinesEndWithCrLfAndLeadingPairsMakeEmptyLines)
{
    TempDir dir;
    std::string log = dir.file("log.txt");
    WriteLog(log, "first");
    WriteLog(log, "\r\n\r\nafter two empty lines");
    WriteLog(log, "");
    EXPECT_EQ(readFile(log), "first\r\n\r\n\r\nafter two empty lines\r\n\r\n");
    // A log that disappears is made again by the next line.
    std::filesystem::remove(log);
    WriteLog(log, "again");
    EXPECT_EQ(readFile(log), "again\r\n");
    EmptyLog(log);
    EXPECT_EQ(readFile(log), "");
}

TEST(ComparisonLog, EightBitTextWithQuestionMarksForTheRest)
{
    EXPECT_EQ(toWindows1252("Größe €5 – ÿ"), "Gr\xF6\xDF" "e \x80" "5 \x96 \xFF");
    EXPECT_EQ(toWindows1252("顧客 Ключ"), "?? ????");
    EXPECT_EQ(toWindows1252("a\xC3"), "a?");          // a cut-off sequence
    EXPECT_EQ(toWindows1252("\xFF\xFEx"), "??x");     // bytes that are no UTF-8
    EXPECT_EQ(toWindows1252("\xF0\x9F\x98\x80!"), "?!");  // one character beyond the BMP
}

TEST(ComparisonLog, AFolderThatCannotBeWrittenIsAClearError)
{
    TempDir dir;
    std::string log = dir.file("missing-folder/log.txt");
    try {
        WriteLog(log, "x");
        ADD_FAILURE() << "wrote into a folder that does not exist";
    } catch (const LogError& e) {
        EXPECT_EQ(std::string(e.what()), "the comparison log " + log + " cannot be opened: No such file or directory");
    }
    EXPECT_THROW(EmptyLog(log), LogError);
}

TEST(ComparisonRun, FileNamesAfterTheLastSlashOrBackslash)
{
    EXPECT_EQ(ComparisonRun::FileNameOf("/home/ann/shop.mdb"), "shop.mdb");
    EXPECT_EQ(ComparisonRun::FileNameOf("C:\\data\\shop.mdb"), "shop.mdb");
    EXPECT_EQ(ComparisonRun::FileNameOf("/mixed\\dir/a\\b.mdb"), "b.mdb");
    EXPECT_EQ(ComparisonRun::FileNameOf("shop.mdb"), "shop.mdb");
    EXPECT_EQ(ComparisonRun::FileNameOf("/ends/with/"), "");
}

// Cancel pressed while no run goes on shows its status; the next run clears it.
TEST(ComparisonRun, CancelWhileIdleIsForgottenByTheNextRun)
{
    TempDir dir;
    mdbgen::writeJet4File(mdbgen::parseDescription("table T\n field F long\n"), dir.file("a.mdb"));
    HeadlessWindow window;
    window.paths[0] = window.paths[1] = dir.file("a.mdb");
    window.tables = window.relations = window.queries = false;
    ComparisonRun run(window, dir.file("log.txt"));
    run.cmdCancel_Click();
    EXPECT_EQ(window.status, "Comparison cancelled");
    EXPECT_TRUE(run.blnCancel);
    run.cmdCompare_Click();
    EXPECT_FALSE(run.blnCancel);
    EXPECT_EQ(window.calls.back(), "ProcessPendingEvents");
    EXPECT_NE(std::find(window.calls.begin(), window.calls.end(), "OpenLogViewer " + dir.file("log.txt")), window.calls.end());
    EXPECT_EQ(run.strDB1Name, "a.mdb");
    EXPECT_EQ(readFile(dir.file("log.txt")), "Comparison Log for " + dir.file("a.mdb") + " and " + dir.file("a.mdb") + "\r\n");
}

// The reason a database failed to open reaches the message box's details, and with the number of
// the database its informative text: a line for each failure when every failure is reported, a
// missing path said without an empty one before it.
TEST(ComparisonRun, OpeningFailureSaysWhichFileAndWhy)
{
    TempDir dir;
    HeadlessWindow window;
    window.paths[0] = dir.file("none.mdb");
    window.paths[1] = dir.file("none2.mdb");
    ComparisonRun run(window, dir.file("log.txt"));
    run.cmdCompare_Click();
    ASSERT_EQ(window.messageDetails.size(), 1u);
    EXPECT_EQ(window.messageDetails[0], dir.file("none.mdb") + ": the file does not exist");
    EXPECT_EQ(window.messageInformative[0], "Database 1: " + dir.file("none.mdb") + ": the file does not exist");
    EXPECT_EQ(window.paths[0], "");
    EXPECT_EQ(window.paths[1], "");
    EXPECT_EQ(readFile(dir.file("log.txt")), "");

    run.blnReportEveryFailedOpen = true;
    window.paths[1] = dir.file("none2.mdb");
    run.cmdCompare_Click();
    ASSERT_EQ(run.openFailures.size(), 2u);
    EXPECT_EQ(run.openFailures[0].database, 1);
    EXPECT_EQ(run.openFailures[1].database, 2);
    ASSERT_EQ(window.messageDetails.size(), 2u);
    EXPECT_EQ(window.messageDetails[1], ": no file name was given");
    EXPECT_EQ(window.messageInformative[1], "Database 1: no file name was given\nDatabase 2: " + dir.file("none2.mdb") +
                                                ": the file does not exist");
}

// File names are bytes: a database whose name is not UTF-8 is read and compared, and named with
// those bytes as \xHH, plain ASCII in the log; so is one that fails to open.
TEST(ComparisonRun, NamesThatAreNotUtf8AreComparedAndShownEscaped)
{
    TempDir dir;
    mdbgen::writeJet4File(mdbgen::parseDescription("table A\n field F long\n"), dir.file("caf\xE9.mdb"));
    mdbgen::writeJet4File(mdbgen::parseDescription("table B\n field F long\n"), dir.file("b.mdb"));
    HeadlessWindow window;
    window.paths[0] = dir.file("caf\xE9.mdb");
    window.paths[1] = dir.file("b.mdb");
    window.relations = window.queries = false;
    ComparisonRun run(window, dir.file("log.txt"));
    run.cmdCompare_Click();
    ASSERT_TRUE(window.messageDetails.empty()) << window.messageDetails[0];
    EXPECT_EQ(run.strDB1Name, "caf\\xE9.mdb");
    std::string log = readFile(dir.file("log.txt"));
    EXPECT_EQ(log.substr(0, log.find("\r\n")), "Comparison Log for " + dir.path() + "/caf\\xE9.mdb and " + dir.file("b.mdb"));
    EXPECT_NE(log.find("   A was not found in b.mdb\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("   B was not found in caf\\xE9.mdb\r\n"), std::string::npos) << log;

    window.paths[0] = dir.file("b.mdb");
    window.paths[1] = dir.file("nichts\xFF.mdb");
    run.cmdCompare_Click();
    ASSERT_EQ(window.messageDetails.size(), 1u);
    EXPECT_EQ(window.messageDetails[0], dir.path() + "/nichts\\xFF.mdb: the file does not exist");
}

// An error that no step handles leaves the run as an exception; the lines written before stay.
TEST(ComparisonRun, AnErrorNothingHandlesLeavesTheRunAndKeepsTheLog)
{
    struct FailingWindow : HeadlessWindow {
        void SetStatus(const std::string& text) override
        {
            HeadlessWindow::SetStatus(text);
            if (text == "Comparing table B") throw std::runtime_error("the window is gone");
        }
    };
    TempDir dir;
    mdbgen::writeJet4File(mdbgen::parseDescription("table A\n field F long\ntable B\n field F long\n"), dir.file("a.mdb"));
    FailingWindow window;
    window.paths[0] = window.paths[1] = dir.file("a.mdb");
    ComparisonRun run(window, dir.file("log.txt"));
    try {
        run.cmdCompare_Click();
        ADD_FAILURE() << "the run went on";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "the window is gone");
    }
    EXPECT_EQ(readFile(dir.file("log.txt")),
              "Comparison Log for " + dir.file("a.mdb") + " and " + dir.file("a.mdb") +
                  "\r\n\r\nTABLE COMPARISONS\r\n\r\n   COMPARISON LOG FOR A\r\n\r\n      FIELDS COMPARISON\r\n"
                  "         A OK\r\n\r\n      PRIMARY KEY AND INDEX COMPARISON\r\n         Primary keys and indexes OK\r\n");
    EXPECT_EQ(std::count(window.calls.begin(), window.calls.end(), "OpenLogViewer " + dir.file("log.txt")), 0);
}

// A reader that crashes or hangs on a file is a database that failed to open, with the reason in
// the box's details; no file is left behind, and the next run works.
TEST(ComparisonRun, AReaderThatCrashesOrHangsIsAFailedOpen)
{
    TempDir dir, temporary;
    mdbgen::writeJet4File(mdbgen::parseDescription("table T\n field F long\n"), dir.file("a.mdb"));
    ::setenv("TMPDIR", temporary.path().c_str(), 1);
    ::setenv("DUALYN_READER_SECONDS", "1", 1);
    HeadlessWindow window;
    window.tables = window.relations = window.queries = false;
    ComparisonRun run(window, dir.file("log.txt"));
    for (const char* misbehaviour : {"crash", "hang"}) {
        ::setenv("DUALYN_READER_TEST", misbehaviour, 1);
        window.paths[0] = window.paths[1] = dir.file("a.mdb");
        window.messageDetails.clear();
        run.cmdCompare_Click();
        ASSERT_EQ(window.messageDetails.size(), 1u) << misbehaviour;
        EXPECT_NE(window.messageDetails[0].find(dir.file("a.mdb") + ": damaged: reading it "), std::string::npos)
            << window.messageDetails[0];
        EXPECT_EQ(window.paths[0], "");
        EXPECT_EQ(readFile(dir.file("log.txt")), "");
    }
    ::unsetenv("DUALYN_READER_TEST");
    ::unsetenv("DUALYN_READER_SECONDS");
    window.paths[0] = window.paths[1] = dir.file("a.mdb");
    run.cmdCompare_Click();
    EXPECT_EQ(readFile(dir.file("log.txt")), "Comparison Log for " + dir.file("a.mdb") + " and " + dir.file("a.mdb") + "\r\n");
    ::unsetenv("TMPDIR");
    EXPECT_TRUE(std::filesystem::is_empty(temporary.path()));
}

// The two databases are read at the same time. When database 1 cannot be opened, its reason is
// the one shown at once, however long database 2 would take, and database 2's reader is gone.
TEST(ComparisonRun, DatabaseOneFailingStopsTheReadingOfDatabaseTwo)
{
    TempDir dir;
    mdbgen::writeJet4File(mdbgen::parseDescription("table T\n field F long\n"), dir.file("b.mdb"));
    ::setenv("DUALYN_READER_TEST", "hang", 1);  // a reader that would run for its whole 30 seconds
    ::setenv("DUALYN_READER_SECONDS", "30", 1);
    HeadlessWindow window;
    ComparisonRun run(window, dir.file("log.txt"));
    window.paths[0] = dir.file("missing.mdb");
    window.paths[1] = dir.file("b.mdb");
    auto start = std::chrono::steady_clock::now();
    run.cmdCompare_Click();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::unsetenv("DUALYN_READER_TEST");
    ::unsetenv("DUALYN_READER_SECONDS");
    ASSERT_EQ(window.messageDetails.size(), 1u);
    EXPECT_EQ(window.messageDetails[0], dir.file("missing.mdb") + ": the file does not exist");
    EXPECT_LT(seconds, 5.0);
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a reader is still running";
    EXPECT_EQ(errno, ECHILD);
}

// Both databases protected by the password "secret" (as the reader's test hook takes them). A run
// that may not ask fails with the engine's reasons; a run that may asks for each database, says
// when a password was wrong, gives up after three tries, and takes Cancel as no password given.
TEST(ComparisonRun, PasswordsAreAskedForAtMostThreeTimes)
{
    TempDir dir;
    mdbgen::writeJet4File(mdbgen::parseDescription("table T\n field F long\n"), dir.file("a.mdb"));
    ::setenv("DUALYN_READER_TEST", "password-is:secret", 1);
    const std::string a = dir.file("a.mdb");
    HeadlessWindow window;
    window.tables = window.relations = window.queries = false;
    ComparisonRun run(window, dir.file("log.txt"));
    run.blnReportEveryFailedOpen = true;
    auto compare = [&](std::vector<std::string> answers) {
        window.paths[0] = window.paths[1] = a;
        window.passwordAnswers = std::move(answers);
        window.calls.clear();
        run.cmdCompare_Click();
        std::vector<std::string> asked, reasons;  // the questions, the failures
        for (const std::string& call : window.calls)
            if (call.rfind("AskPassword", 0) == 0) asked.push_back(call);
        for (const auto& failure : run.openFailures) reasons.push_back(std::to_string(failure.database) + " " + failure.reason);
        return std::make_pair(asked, reasons);
    };

    // Not asking: the engine's reasons, for a password missing or wrong.
    auto [asked, reasons] = compare({"secret"});
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(reasons, (std::vector<std::string>{"1 " + a + ": no password given", "2 " + a + ": no password given"}));
    run.strPassword1 = "secret";
    run.strPassword2 = "Secret";
    std::tie(asked, reasons) = compare({});
    EXPECT_EQ(reasons, (std::vector<std::string>{"2 " + a + ": wrong password"}));
    run.strPassword1.clear();
    run.strPassword2.clear();

    run.blnAskForPasswords = true;
    // Wrong, then right for database 1; right at once for database 2.
    std::tie(asked, reasons) = compare({"nope", "secret", "secret"});
    EXPECT_EQ(asked, (std::vector<std::string>{"AskPassword 1 " + a, "AskPassword 1 " + a + " wrong", "AskPassword 2 " + a}));
    EXPECT_TRUE(reasons.empty());
    EXPECT_EQ(readFile(dir.file("log.txt")), "Comparison Log for " + a + " and " + a + "\r\n");
    // Three wrong ones for database 1, then Cancel for database 2.
    std::tie(asked, reasons) = compare({"x", "y", "z"});
    EXPECT_EQ(asked, (std::vector<std::string>{"AskPassword 1 " + a, "AskPassword 1 " + a + " wrong",
                                               "AskPassword 1 " + a + " wrong", "AskPassword 2 " + a}));
    EXPECT_EQ(reasons, (std::vector<std::string>{"1 " + a + ": wrong password", "2 " + a + ": no password given"}));
    ::unsetenv("DUALYN_READER_TEST");
}

}  // namespace
