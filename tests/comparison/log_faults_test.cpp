// The log under faults: a symbolic link or anything else put in the log's place is never written
// through, and runs that share one log, in one process or in two, take turns with it.
#include "comparison_log.h"
#include "comparison_run.h"
#include "generated_database.h"
#include "headless_window.h"
#include "run_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace dualyn;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const char kWaiting[] = "Waiting for another comparison to finish";

// Holds the lock of a log as a run of another window does: an flock on an open of the lock file
// of its own, which any other open of it, in this process or another, waits for.
class OtherRun {
public:
    explicit OtherRun(const std::string& logFile) : fd_(::open((logFile + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644))
    {
        EXPECT_GE(fd_, 0);
        EXPECT_EQ(::flock(fd_, LOCK_EX | LOCK_NB), 0) << "the lock is free before the test";
    }
    ~OtherRun() { Finish(); }
    void Finish()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// True when nobody holds the lock of logFile (taking it for a moment).
bool lockIsFree(const std::string& logFile)
{
    LogLock lock(logFile);
    return lock.TryTake();
}

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

// The log a run of path1 against path2 writes, all sections ticked, written to reference.
std::string referenceLog(const std::string& path1, const std::string& path2, const std::string& reference)
{
    HeadlessWindow window;
    window.paths[0] = path1;
    window.paths[1] = path2;
    ComparisonRun run(window, reference);
    run.cmdCompare_Click();
    return readFile(reference);
}

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
    std::ostringstream shown;
    EXPECT_EQ(logError([&] { CopyLog(log, shown); }), "the comparison log " + log + " is a symbolic link");
    EXPECT_EQ(shown.str(), "");
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
// file the link points to, the viewer is not started and the lock is given back.
TEST(LogFaults, ALinkSwappedInDuringARunIsNotWrittenThrough)
{
    struct SwappingWindow : HeadlessWindow {
        std::string log, target;
        void SetStatus(const std::string& text) override
        {
            HeadlessWindow::SetStatus(text);
            if (text != "Comparing table B") return;
            // Put in place at once, as the log writer's thread may create the log again at any
            // moment between a removal and a new link.
            std::filesystem::create_symlink(target, log + ".link");
            std::filesystem::rename(log + ".link", log);
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
    EXPECT_TRUE(lockIsFree(window.log));
}

// Links before the run: one in the log's place is replaced by the new log, the file it points to
// untouched; one in the lock file's place stops the run before it touches the log.
TEST(LogFaults, LinksInPlaceBeforeTheRun)
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

    std::filesystem::remove(log + ".lock");
    std::filesystem::create_symlink(target, log + ".lock");
    EXPECT_EQ(logError([&] { run.cmdCompare_Click(); }),
              "the comparison log's lock file " + log + ".lock is a symbolic link");
    EXPECT_EQ(readFile(log), "Comparison Log for " + window.paths[0] + " and " + window.paths[0] + "\r\n");
    EXPECT_EQ(readFile(target), "not the log\n");
}

// A run started while another holds the log waits, saying so and handling events, without
// touching the log; once the other run is done it writes its own whole log, and the status line
// shows again what it showed before. The log is still the run's while the viewer is started on
// it (so dualyn-compare prints this run's log).
TEST(LogFaults, ARunWaitsForAnotherThenWritesItsWholeLog)
{
    struct WaitingWindow : HeadlessWindow {
        std::string log;
        OtherRun* other = nullptr;  // finished at the third event
        std::vector<std::string> logWhileWaiting;  // the log at each event handled while waiting
        void ProcessPendingEvents() override
        {
            HeadlessWindow::ProcessPendingEvents();
            if (status != kWaiting) return;
            logWhileWaiting.push_back(readFile(log));
            if (eventsProcessed == 3) other->Finish();
        }
        bool lockedWhenShown = false;  // the log is still the run's when the viewer shows it
        void OpenLogViewer(const std::string& logFile) override
        {
            HeadlessWindow::OpenLogViewer(logFile);
            lockedWhenShown = !lockIsFree(logFile);
        }
    };
    TempDir dir;
    WaitingWindow window;
    window.log = dir.file("ComparisonLog.txt");
    window.paths[0] = testsupport::writeDatabase(dir, kDesign1, "a.mdb");
    window.paths[1] = testsupport::writeDatabase(dir, kDesign2, "b.mdb");
    window.status = "Press Compare to compare databases";
    const std::string expected = referenceLog(window.paths[0], window.paths[1], dir.file("reference.txt"));
    writeFile(window.log, "the other run's line\r\n");
    OtherRun other(window.log);
    window.other = &other;
    ComparisonRun run(window, window.log);
    run.cmdCompare_Click();

    ASSERT_GE(window.calls.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(window.calls.begin(), window.calls.begin() + 6),
              (std::vector<std::string>{"SetBusyPointer on", std::string("SetStatus ") + kWaiting, "ProcessPendingEvents",
                                        "ProcessPendingEvents", "ProcessPendingEvents",
                                        "SetStatus Press Compare to compare databases"}));
    EXPECT_EQ(window.logWhileWaiting.size(), 3u);
    for (const std::string& seen : window.logWhileWaiting) EXPECT_EQ(seen, "the other run's line\r\n");
    EXPECT_EQ(readFile(window.log), expected);
    EXPECT_NE(std::find(window.calls.begin(), window.calls.end(), "OpenLogViewer " + window.log), window.calls.end());
    EXPECT_TRUE(window.lockedWhenShown);
    EXPECT_TRUE(lockIsFree(window.log));
}

// Cancel while waiting ends the run as a cancel does: no database opened, the log left as the
// other run has it, no viewer; and the lock is not kept.
TEST(LogFaults, ACancelWhileWaitingLeavesTheLogAlone)
{
    TempDir dir;
    const std::string log = dir.file("ComparisonLog.txt");
    writeFile(log, "the other run's line\r\n");
    HeadlessWindow window;
    window.paths[0] = dir.file("missing1.mdb");  // opening them would show a message box
    window.paths[1] = dir.file("missing2.mdb");
    ComparisonRun run(window, log);
    window.run = &run;
    window.cancelAtEvent = 2;
    OtherRun other(log);
    run.cmdCompare_Click();
    EXPECT_EQ(window.calls, (std::vector<std::string>{"SetBusyPointer on", std::string("SetStatus ") + kWaiting,
                                                      "ProcessPendingEvents", "ProcessPendingEvents",
                                                      "SetStatus Comparison cancelled", "SetBusyPointer off",
                                                      "SetStatus Comparison complete", "ProcessPendingEvents",
                                                      "SetStatus Releaseing resources", "ProcessPendingEvents"}));
    EXPECT_EQ(readFile(log), "the other run's line\r\n");
    other.Finish();
    EXPECT_TRUE(lockIsFree(log));
}

// Two runs in processes of their own (as two windows of one installation are) started together
// on one log, while a third run holds it: neither touches the log before that run is done; then
// each writes and shows its own whole log, and the log holds exactly one of them.
TEST(LogFaults, TwoProcessesAtOnceTakeTurnsWithTheLog)
{
    TempDir dir;
    const std::string log = dir.file("ComparisonLog.txt");
    const std::string pairs[2][2] = {
        {testsupport::writeDatabase(dir, kDesign1, "a1.mdb"), testsupport::writeDatabase(dir, kDesign2, "a2.mdb")},
        {testsupport::writeDatabase(dir, kDesign2, "b1.mdb"), testsupport::writeDatabase(dir, kDesign1, "b2.mdb")}};
    std::string expected[2];  // the log of each pair's run
    for (int i = 0; i < 2; ++i) expected[i] = referenceLog(pairs[i][0], pairs[i][1], dir.file("reference.txt"));
    ASSERT_NE(expected[0], expected[1]);

    writeFile(log, "the other run's line\r\n");
    OtherRun other(log);
    pid_t pids[2];
    for (int i = 0; i < 2; ++i) {
        pids[i] = ::fork();
        ASSERT_GE(pids[i], 0);
        if (pids[i] == 0) {
            // The child runs the comparison on the shared log and keeps what its viewer was shown.
            // It lets go of the files it inherited, the lock of the run that holds the log among
            // them, as a process of its own never had them.
            ::closefrom(3);
            std::ofstream shown(dir.file("out" + std::to_string(i)), std::ios::binary);
            HeadlessWindow window;
            ComparisonRun run(window, log);
            window.run = &run;
            window.showLogOn = &shown;
            window.paths[0] = pairs[i][0];
            window.paths[1] = pairs[i][1];
            run.cmdCompare_Click();
            shown.close();
            ::_exit(window.messageDetails.empty() && shown ? 0 : 1);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (pid_t pid : pids) EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), 0) << "a run did not wait";
    EXPECT_EQ(readFile(log), "the other run's line\r\n");
    other.Finish();

    for (int i = 0; i < 2; ++i) {
        int status = 0;
        ASSERT_EQ(::waitpid(pids[i], &status, 0), pids[i]);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(readFile(dir.file("out" + std::to_string(i))), expected[i]);
    }
    const std::string final = readFile(log);
    EXPECT_TRUE(final == expected[0] || final == expected[1]) << final;
}
