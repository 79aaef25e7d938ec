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
//
// Every run's lines of difference also have their twins, in log order, and its JSON report is
// what the schema describes.
#include "difference_report.h"
#include "golden_pair.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

namespace fs = std::filesystem;
using testsupport::readFile;

namespace {

// text with every from replaced by to: replaceAll("a/b/c", "/", "{DIR}") == "a{DIR}b{DIR}c".
std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, LogAndItsTwinsAreExactlyAsExpected)
{
    const fs::path folder = fs::path(GOLDEN_DIR) / GetParam();
    std::unique_ptr<goldenpair::GoldenRun> golden = goldenpair::runCase(GetParam());
    const dualyn::ComparisonRun& run = *golden->run;

    std::string expected = readFile((folder / "expected.log").string());
    EXPECT_EQ(golden->log, expected) << "the log of " << GetParam() << " differs";
    if (fs::exists(folder / "expected.calls")) {
        std::string calls;
        for (const auto& call : golden->window.calls) calls += replaceAll(call, golden->dir.path(), "{DIR}") + "\n";
        EXPECT_EQ(calls, readFile((folder / "expected.calls").string())) << "the window calls of " << GetParam();
    }
    EXPECT_FALSE(run.db1) << "database 1 is released";
    EXPECT_FALSE(run.db2) << "database 2 is released";

    // Each line of difference has its twin, in log order, and each OK line is counted.
    const goldenpair::LogFindings findings = goldenpair::findingsOf(golden->log);
    EXPECT_EQ(goldenpair::logLinesOf(run.differences), findings.differences);
    EXPECT_EQ(run.okCounts, findings.ok);

    // The report holds them all, and the schema describes it.
    const std::string json = dualyn::DifferenceReportJson(run);
    EXPECT_EQ(goldenpair::schemaProblems(json), "") << json;
    const nlohmann::json report = nlohmann::json::parse(json);
    ASSERT_EQ(report.at("differences").size(), run.differences.size());
    for (std::size_t i = 0; i < run.differences.size(); ++i)
        EXPECT_EQ(report["differences"][i].at("line"), run.differences[i].line) << "difference " << i;
    EXPECT_EQ(report.at("counts").at("differences"), run.differences.size());
}

INSTANTIATE_TEST_SUITE_P(Logs, Golden, ::testing::ValuesIn(goldenpair::cases()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name;
                             for (char c : info.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

}  // namespace
