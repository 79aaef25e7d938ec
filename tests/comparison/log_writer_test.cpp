// The run's log writer: every line in the file in the order given, and a line that cannot be
// written reported at the next Write or at Finish, with the lines before it kept.
#include "comparison_log.h"
#include "log_writer.h"
#include "run_command.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>
#include <sys/resource.h>

using namespace dualyn;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

// Line i of a test log: 98 characters, so with CR LF 100 bytes.
std::string line(int i)
{
    std::string text = "line " + std::to_string(i) + " ";
    return text + std::string(98 - text.size(), '.');
}

}  // namespace

TEST(LogWriter, WritesEveryLineInOrder)
{
    TempDir dir;
    const std::string log = dir.file("log.txt");
    std::string expected;
    {
        LogWriter writer(log);
        for (int i = 0; i < 20000; ++i) {  // more than may wait at once
            writer.Write(line(i));
            expected += line(i) + "\r\n";
        }
        writer.Finish();
        EXPECT_EQ(readFile(log), expected);
        writer.Write("\r\nlast, written when the writer goes");
    }
    EXPECT_EQ(readFile(log), expected + "\r\nlast, written when the writer goes\r\n");
}

TEST(LogWriter, ALineThatCannotBeWrittenIsReported)
{
    TempDir dir;
    const std::string log = dir.file("log.txt");
    // The file may grow to ten lines; the eleventh cannot be written.
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tenLines {1000, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tenLines), 0);
    std::string error;
    {
        LogWriter writer(log);
        try {
            for (int i = 0; i < 5000; ++i) writer.Write(line(i));
            writer.Finish();
        } catch (const LogError& e) {
            error = e.what();
        }
        EXPECT_THROW(writer.Write("more"), LogError);
        EXPECT_THROW(writer.Finish(), LogError);
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);
    EXPECT_EQ(error, "the comparison log " + log + " cannot be written: File too large");
    std::string expected;
    for (int i = 0; i < 10; ++i) expected += line(i) + "\r\n";
    EXPECT_EQ(readFile(log), expected);
}

// Lines handed over together are gathered for a moment, never held back: a single line reaches
// the file on its own, while the run goes on, long before anyone waits for it.
TEST(LogWriter, ALineReachesTheFileWithoutFinish)
{
    TempDir dir;
    const std::string log = dir.file("log.txt");
    LogWriter writer(log);
    writer.Write(line(1));
    auto written = [&log] { return std::filesystem::exists(log) ? readFile(log) : std::string(); };
    const auto start = std::chrono::steady_clock::now();
    while (written() != line(1) + "\r\n" && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(written(), line(1) + "\r\n");
}
