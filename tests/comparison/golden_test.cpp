// Golden logs: each folder of tests/golden holds a pair of database descriptions (db1.txt,
// db2.txt), how the run goes (run.txt, optional) and the exact log it must write (expected.log,
// CR LF and all, with {DIR} standing for the folder the databases are written to). Optionally
// expected.calls lists, one a line, what the run must have asked of the window.
//
// run.txt, one setting a line:
//     uncheck tables | relations | queries   the check box is clear
//     cancel at N                            Cancel is pressed during the N-th event processing
//     missing db1 | db2                      that path names no file
//     same file                              both paths name db1.mdb (db2.txt is not needed)
//     old log                                a log from an earlier run is there before the run
#include "comparison_run.h"
#include "headless_window.h"
#include "jet4_writer.h"
#include "run_command.h"
#include "schema_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

std::vector<std::string> goldenCases()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(GOLDEN_DIR))
        if (entry.is_directory()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, LogIsExactlyAsExpected)
{
    const fs::path folder = fs::path(GOLDEN_DIR) / GetParam();
    TempDir dir;
    dualyn::HeadlessWindow window;
    bool sameFile = false, oldLog = false;
    std::vector<std::string> missing;
    if (fs::exists(folder / "run.txt")) {
        std::istringstream settings(readFile((folder / "run.txt").string()));
        for (std::string line; std::getline(settings, line);) {
            std::istringstream words(line);
            std::string word, what;
            words >> word >> what;
            if (word == "uncheck" && what == "tables") window.tables = false;
            else if (word == "uncheck" && what == "relations") window.relations = false;
            else if (word == "uncheck" && what == "queries") window.queries = false;
            else if (word == "cancel" && what == "at") words >> window.cancelAtEvent;
            else if (word == "missing") missing.push_back(what);
            else if (word == "same" && what == "file") sameFile = true;
            else if (word == "old" && what == "log") oldLog = true;
            else if (!word.empty()) FAIL() << "unknown setting in run.txt: " << line;
        }
    }
    for (const char* side : {"db1", "db2"}) {
        std::string path = dir.file(std::string(side) + ".mdb");
        if (std::find(missing.begin(), missing.end(), side) != missing.end()) continue;
        if (std::string(side) == "db2" && sameFile) continue;
        mdbgen::writeJet4File(mdbgen::parseDescription(readFile((folder / (std::string(side) + ".txt")).string())), path);
    }
    window.paths[0] = dir.file("db1.mdb");
    window.paths[1] = dir.file(sameFile ? "db1.mdb" : "db2.mdb");
    std::string logFile = dir.file("ComparisonLog.txt");
    if (oldLog) writeFile(logFile, "a log of an earlier run\r\nwith two lines\r\n");
    dualyn::ComparisonRun run(window, logFile);
    window.run = &run;
    run.cmdCompare_Click();

    std::string log = replaceAll(readFile(logFile), dir.path(), "{DIR}");
    std::string expected = readFile((folder / "expected.log").string());
    EXPECT_EQ(log, expected) << "the log of " << GetParam() << " differs";
    if (fs::exists(folder / "expected.calls")) {
        std::string calls;
        for (const auto& call : window.calls) calls += replaceAll(call, dir.path(), "{DIR}") + "\n";
        EXPECT_EQ(calls, readFile((folder / "expected.calls").string())) << "the window calls of " << GetParam();
    }
    EXPECT_FALSE(run.db1) << "database 1 is released";
    EXPECT_FALSE(run.db2) << "database 2 is released";
}

INSTANTIATE_TEST_SUITE_P(Logs, Golden, ::testing::ValuesIn(goldenCases()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name;
                             for (char c : info.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

}  // namespace
