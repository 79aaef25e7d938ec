// dualyn-compare as a shell or a CI job uses it: its exit status (0 same, 1 different, 2
// trouble), the log on standard output and in --log's file, every failure named on standard
// error, -- before a file named like an option, runs at once each printing its own output, a
// program folder nobody may write to, and passwords taken from the environment to the reader.
#include "comparison_run.h"
#include "generated_database.h"
#include "headless_window.h"
#include "run_command.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using testsupport::readFile;
using testsupport::runCommand;
using testsupport::TempDir;

const std::string kProgram = COMPARE_PROGRAM;
const char kDesign1[] = "table T\n  field ID long\n  field City text(30)\n  index PrimaryKey (ID) primary\n";
const char kDesign2[] = "table T\n  field ID long\n  field City text(40)\n  index PrimaryKey (ID) primary\n";

// The log the window's run writes for the pair, with every section.
std::string logOf(const TempDir& dir, const std::string& db1, const std::string& db2)
{
    dualyn::HeadlessWindow window;
    dualyn::ComparisonRun run(window, dir.file("reference-log.txt"));
    window.paths[0] = db1;
    window.paths[1] = db2;
    run.cmdCompare_Click();
    return readFile(dir.file("reference-log.txt"));
}

class CompareCommand : public ::testing::Test {
protected:
    TempDir dir_;
    const std::string a_ = testsupport::writeDatabase(dir_, kDesign1, "a.mdb");
    const std::string b_ = testsupport::writeDatabase(dir_, kDesign2, "b.mdb");
};

TEST_F(CompareCommand, ExitStatusSaysSameDifferentOrTrouble)
{
    auto same = runCommand(kProgram, {a_, a_});
    EXPECT_EQ(same.exitCode, 0) << same.err;
    EXPECT_EQ(same.out, logOf(dir_, a_, a_));
    EXPECT_EQ(same.err, "");

    auto different = runCommand(kProgram, {"--log", dir_.file("copy.txt"), a_, b_});
    EXPECT_EQ(different.exitCode, 1) << different.err;
    EXPECT_EQ(different.out, logOf(dir_, a_, b_));
    EXPECT_NE(different.out.find("The fields City have different sizes"), std::string::npos);
    EXPECT_EQ(readFile(dir_.file("copy.txt")), different.out);

    // A section left out that held the only difference: the designs are the same as far as asked.
    EXPECT_EQ(runCommand(kProgram, {"--no-tables", a_, b_}).exitCode, 0);

    // Both databases fail: each is named with its reason, one line each.
    auto neither = runCommand(kProgram, {dir_.file("none1.mdb"), dir_.file("none2.mdb")});
    EXPECT_EQ(neither.exitCode, 2);
    EXPECT_EQ(neither.out, "");
    EXPECT_EQ(neither.err, dir_.file("none1.mdb") + ": the file does not exist\n" + dir_.file("none2.mdb") +
                               ": the file does not exist\n");
    auto second = runCommand(kProgram, {a_, dir_.file("none2.mdb")});
    EXPECT_EQ(second.exitCode, 2);
    EXPECT_EQ(second.err, dir_.file("none2.mdb") + ": the file does not exist\n");
    auto noPaths = runCommand(kProgram, {"", ""});
    EXPECT_EQ(noPaths.exitCode, 2);
    EXPECT_EQ(noPaths.err, "dualyn-compare: no file name was given\n");
}

// --format json: the same run's differences with their values, one document.
TEST_F(CompareCommand, TheDifferencesWithTheirValues)
{
    auto json = runCommand(kProgram, {"--format", "json", "--log", dir_.file("copy.txt"), a_, b_});
    EXPECT_EQ(json.exitCode, 1) << json.err;
    const auto document = nlohmann::json::parse(json.out);
    ASSERT_EQ(document["differences"].size(), 1u) << json.out;
    const auto& size = document["differences"][0];
    EXPECT_EQ(size["line"], "         The fields City have different sizes");
    EXPECT_EQ(size["value1"]["value"], 30);
    EXPECT_EQ(size["value2"]["value"], 40);
    // The log's copy is the log, whatever standard output shows.
    EXPECT_EQ(readFile(dir_.file("copy.txt")), logOf(dir_, a_, b_));
    auto same = runCommand(kProgram, {"--format=json", a_, a_});
    EXPECT_EQ(same.exitCode, 0);
    EXPECT_TRUE(nlohmann::json::parse(same.out)["differences"].empty());
}

TEST_F(CompareCommand, OptionsAndTheirMistakes)
{
    auto version = runCommand(kProgram, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "dualyn-compare " DUALYN_VERSION "\n");
    auto help = runCommand(kProgram, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: dualyn-compare", 0), 0u);

    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"--colour", a_, a_}, {"-h", a_}, {a_}, {a_, a_, a_}, {"--format", "xml", a_, a_},
                                              {"--format"}, {"--log", "", a_, a_}}) {
        auto bad = runCommand(kProgram, wrong);
        EXPECT_EQ(bad.exitCode, 2) << wrong.front();
        EXPECT_EQ(bad.out, "");
        EXPECT_NE(bad.err.find("usage: dualyn-compare"), std::string::npos) << bad.err;
    }

    // After --, a file named -h is a database like any other.
    std::filesystem::copy_file(a_, dir_.file("-h"));
    auto dashed = runCommand("/bin/sh", {"-c", "cd \"$1\" && exec \"$2\" -- -h a.mdb", "sh", dir_.path(), kProgram});
    EXPECT_EQ(dashed.exitCode, 0) << dashed.err;
    EXPECT_EQ(dashed.out.rfind("Comparison Log for " + dir_.file("-h") + " and " + a_ + "\r\n", 0), 0u) << dashed.out;
}

// Eight runs started at once, on two pairs: each prints its own whole log.
TEST_F(CompareCommand, RunsAtOnceEachPrintTheirOwnOutput)
{
    const std::string expected[2] = {logOf(dir_, a_, b_), logOf(dir_, b_, a_)};
    constexpr int kRuns = 8;
    pid_t pids[kRuns];
    for (int i = 0; i < kRuns; ++i) {
        const std::string out = dir_.file("out" + std::to_string(i));
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::string& first = i % 2 ? b_ : a_;
        const std::string& second = i % 2 ? a_ : b_;
        const char* argv[] = {kProgram.c_str(), first.c_str(), second.c_str(), nullptr};
        ASSERT_EQ(::posix_spawn(&pids[i], kProgram.c_str(), &files, nullptr, const_cast<char* const*>(argv), environ), 0);
        posix_spawn_file_actions_destroy(&files);
    }
    for (int i = 0; i < kRuns; ++i) {
        int status = 0;
        ASSERT_EQ(::waitpid(pids[i], &status, 0), pids[i]);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << i;
        EXPECT_EQ(readFile(dir_.file("out" + std::to_string(i))), expected[i % 2]) << i;
    }
}

// Installed where its user may not write, it still runs, and writes nothing beside itself.
TEST_F(CompareCommand, NothingIsWrittenBesideTheProgram)
{
    TempDir installed;
    const std::string bin = installed.file("bin");
    std::filesystem::create_directory(bin);
    std::filesystem::copy_file(kProgram, bin + "/dualyn-compare");
    std::filesystem::copy_file(std::filesystem::path(kProgram).parent_path() / "dualyn-reader", bin + "/dualyn-reader");
    ::chmod(bin.c_str(), 0555);
    // The copy finds the reader beside itself, as an installed program does.
    auto run = runCommand(bin + "/dualyn-compare", {a_, b_}, {}, {{"DUALYN_READER", ""}});
    ::chmod(bin.c_str(), 0755);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out, logOf(dir_, a_, b_));
    std::vector<std::string> beside;
    for (const auto& entry : std::filesystem::directory_iterator(bin)) beside.push_back(entry.path().filename().string());
    std::sort(beside.begin(), beside.end());
    EXPECT_EQ(beside, (std::vector<std::string>{"dualyn-compare", "dualyn-reader"}));
}

// The log reaches standard output whole whatever it is: a pipe, or a file appended to (which the
// kernel's direct copy refuses: the bytes then go through the program).
TEST_F(CompareCommand, TheLogReachesAFileAppendedToWhole)
{
    const std::string out = dir_.file("appended.txt");
    for (int run = 0; run < 2; ++run) {
        auto appended = runCommand("/bin/sh", {"-c", "exec \"$0\" \"$1\" \"$2\" >> \"$3\"", kProgram, a_, b_, out});
        EXPECT_EQ(appended.exitCode, 1) << appended.err;
    }
    const std::string log = logOf(dir_, a_, b_);
    EXPECT_EQ(readFile(out), log + log);
}

// Without $TMPDIR the log's folder is made in memory, in $XDG_RUNTIME_DIR when that is a folder
// (a reader that lists it while it runs sees the folder), and removed at the end; when it is no
// folder, elsewhere, and the run works as well.
TEST_F(CompareCommand, WithoutTmpdirTheLogsFolderIsInMemory)
{
    TempDir runtime;
    const std::string listing = dir_.file("listing.txt"), reader = dir_.file("listing-reader");
    testsupport::writeFile(reader, "#!/bin/sh\nls \"$XDG_RUNTIME_DIR\" >> '" + listing + "'\nexec '" +
                                       (std::filesystem::path(kProgram).parent_path() / "dualyn-reader").string() +
                                       "' \"$@\"\n");
    ::chmod(reader.c_str(), 0755);
    auto run = runCommand(kProgram, {a_, b_}, {}, {{"TMPDIR", ""}, {"XDG_RUNTIME_DIR", runtime.path()}, {"DUALYN_READER", reader}});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out, logOf(dir_, a_, b_));
    EXPECT_EQ(readFile(listing).rfind("dualyn-compare.", 0), 0u) << readFile(listing);
    EXPECT_TRUE(std::filesystem::is_empty(runtime.path()));
    auto elsewhere = runCommand(kProgram, {a_, b_}, {}, {{"TMPDIR", ""}, {"XDG_RUNTIME_DIR", dir_.file("none")}});
    EXPECT_EQ(elsewhere.exitCode, 1) << elsewhere.err;
    EXPECT_EQ(elsewhere.out, run.out);
    // Output to a reader gone before it came ends the run by SIGPIPE; the folder goes all the same.
    auto cut = runCommand("/bin/sh", {"-c", "\"$0\" \"$1\" \"$2\" | true; echo $?", kProgram, a_, b_}, {},
                          {{"TMPDIR", ""}, {"XDG_RUNTIME_DIR", runtime.path()}});
    EXPECT_EQ(cut.out, "0\n");  // true's status: the shell waited for both
    EXPECT_TRUE(std::filesystem::is_empty(runtime.path()));
}

// The passwords go from the environment to each database's reader.
TEST_F(CompareCommand, PasswordsComeFromTheEnvironment)
{
    auto run = runCommand(kProgram, {a_, b_}, {},
                          {{"DUALYN_READER_TEST", "password"}, {"DUALYN_PASSWORD1", "first secret"},
                           {"DUALYN_PASSWORD2", "zweites Geheimnis"}});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, a_ + ": the reader was given the password \"first secret\"\n" + b_ +
                           ": the reader was given the password \"zweites Geheimnis\"\n");
    auto none = runCommand(kProgram, {a_, b_}, {}, {{"DUALYN_READER_TEST", "password"}});
    EXPECT_EQ(none.err, a_ + ": the reader was given the password \"\"\n" + b_ + ": the reader was given the password \"\"\n");

    // Protected databases: the right passwords compare; a wrong or missing one is trouble, said.
    auto right = runCommand(kProgram, {a_, b_}, {},
                            {{"DUALYN_READER_TEST", "password-is:k3y"}, {"DUALYN_PASSWORD1", "k3y"}, {"DUALYN_PASSWORD2", "k3y"}});
    EXPECT_EQ(right.exitCode, 1) << right.err;  // the pair differs
    EXPECT_EQ(right.out, logOf(dir_, a_, b_));
    auto wrong = runCommand(kProgram, {a_, b_}, {}, {{"DUALYN_READER_TEST", "password-is:k3y"}, {"DUALYN_PASSWORD1", "k3y"}});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_EQ(wrong.err, b_ + ": no password given\n");
    wrong = runCommand(kProgram, {a_, b_}, {},
                       {{"DUALYN_READER_TEST", "password-is:k3y"}, {"DUALYN_PASSWORD1", "K3Y"}, {"DUALYN_PASSWORD2", "k3y"}});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_EQ(wrong.err, a_ + ": wrong password\n");
}

}  // namespace
