// The Debian package that `cpack -G DEB` makes of this build folder, unpacked with dpkg-deb -x
// into a scratch root: what it declares and holds, its dualyn-compare run there by a user who may
// not write to the programs' folder (a run as root drops to nobody for it), and Debian's own
// checks of it (lintian, desktop-file-validate, appstreamcli), each where the tool is installed.
#include "generated_database.h"
#include "run_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::runCommand;
using testsupport::TempDir;

namespace {

// Everything a command said, for a failed check.
std::string said(const CommandResult& result)
{
    return "exit " + std::to_string(result.exitCode) + "\n" + result.out + result.err;
}

// Whether a program of that name is on PATH.
bool onPath(const std::string& program)
{
    return runCommand("sh", {"-c", "command -v \"$1\"", "sh", program}).exitCode == 0;
}

class PackageTest : public testing::Test {
protected:
    // Builds the package once for all the tests here, unpacks it and writes the databases.
    static void SetUpTestSuite()
    {
        scratch = std::make_unique<TempDir>();
        // The user the programs run as reads the unpacked files and the databases through here.
        ::chmod(scratch->path().c_str(), 0755);
        const std::string arch = runCommand("dpkg", {"--print-architecture"}).out;
        CommandResult cpack = runCommand("cpack", {"-G", "DEB", "--config", CPACK_CONFIG, "-B", scratch->file("out")});
        deb = scratch->file("out/dualyn_" PROJECT_VERSION "_" + arch.substr(0, arch.find('\n')) + ".deb");
        if (cpack.exitCode != 0 || !fs::is_regular_file(deb)) {
            setUpFailure = "cpack made no " + deb + ": " + said(cpack);
            return;
        }
        root = scratch->file("root");
        CommandResult unpack = runCommand("dpkg-deb", {"-x", deb, root});
        if (unpack.exitCode != 0) {
            setUpFailure = "dpkg-deb -x: " + said(unpack);
            return;
        }
        // Root may write anywhere and so runs the programs as nobody; anyone else may write to
        // what they unpacked, so the programs' folder is made read-only (and writable again at
        // the end, to be removed).
        ::chmod((root + "/usr/bin").c_str(), 0555);
        // The runs' temporary folder, which any user may write to, as /tmp.
        fs::create_directory(scratch->file("tmp"));
        ::chmod(scratch->file("tmp").c_str(), 01777);
        // Two databases of the same design, and one whose field Name is shorter.
        auto customers = [](int nameSize) {
            return "table Customers\n  field ID long\n  field Name text(" + std::to_string(nameSize) +
                   ")\n  index PrimaryKey (ID) primary\n";
        };
        for (const auto& [name, description] : {std::pair{"same1.mdb", customers(50)}, {"same2.mdb", customers(50)},
                                                 {"other.mdb", customers(40)}})
            ::chmod(testsupport::writeDatabase(*scratch, description, name).c_str(), 0644);
    }

    static void TearDownTestSuite()
    {
        if (!root.empty()) ::chmod((root + "/usr/bin").c_str(), 0755);
        scratch.reset();
    }

    void SetUp() override { ASSERT_EQ(setUpFailure, "") << "the package could not be built and unpacked"; }

    // Runs the installed program with args as a user who may not write to its folder, with the
    // scratch tmp folder as TMPDIR and no variable that points it at another reader, another
    // state folder or a display.
    static CommandResult runInstalled(const std::string& program, const std::vector<std::string>& args)
    {
        std::vector<std::string> command = {"-u", "DUALYN_READER", "-u", "XDG_STATE_HOME", "-u", "DISPLAY",
                                            "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", "HOME=/nonexistent",
                                            "TMPDIR=" + scratch->file("tmp")};
        if (::geteuid() == 0) command.insert(command.end(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        command.push_back(root + "/usr/bin/" + program);
        command.insert(command.end(), args.begin(), args.end());
        return runCommand("env", command);
    }

    static inline std::unique_ptr<TempDir> scratch;  // the package, the root it is unpacked in, the databases
    static inline std::string deb;                   // the package file
    static inline std::string root;                  // the scratch root the package is unpacked in
    static inline std::string setUpFailure;          // what went wrong in SetUpTestSuite; empty when nothing
};

// The control fields, the libraries' packages found from the programs, every file in its place,
// and the version wherever it is written by hand.
TEST_F(PackageTest, DeclaresItsDependenciesAndHoldsItsFiles)
{
    CommandResult fields = runCommand("dpkg-deb", {"--field", deb, "Package", "Version", "Section", "Maintainer", "Depends"});
    ASSERT_EQ(fields.exitCode, 0) << said(fields);
    EXPECT_NE(fields.out.find("Package: dualyn\n"), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find("Version: " PROJECT_VERSION "\n"), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find("Section: database\n"), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find("Maintainer: "), std::string::npos) << fields.out;
    for (const char* library : {"libqt6widgets6", "libmdb3", "libstdc++6", "libssl3"})
        EXPECT_NE(fields.out.find(library), std::string::npos) << library << " missing from\n" << fields.out;

    std::set<std::string> files;  // every file the package holds, by its path below the root
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (!entry.is_directory()) files.insert(fs::relative(entry.path(), root).string());
    std::set<std::string> expected = {
        "usr/bin/dualyn", "usr/bin/dualyn-compare", "usr/bin/dualyn-reader",
        "usr/share/applications/dualyn.desktop",
        "usr/share/metainfo/example.dualyn.dualyn.metainfo.xml",
        "usr/share/icons/hicolor/scalable/apps/dualyn.svg",
        "usr/share/man/man1/dualyn.1.gz", "usr/share/man/man1/dualyn-compare.1.gz", "usr/share/man/man1/dualyn-reader.1.gz",
        "usr/share/doc/dualyn/copyright", "usr/share/doc/dualyn/changelog.gz",
        "usr/share/dualyn/dualyn-compare.schema.json"};
    for (const char* size : {"16x16", "22x22", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256"})
        expected.insert("usr/share/icons/hicolor/" + std::string(size) + "/apps/dualyn.png");
    for (const std::string& file : expected) EXPECT_TRUE(files.count(file)) << file << " is not in the package";
    for (const std::string& file : files) EXPECT_TRUE(expected.count(file)) << file << " is in the package";

    // The changelog's latest entry and the AppStream description's latest release are this version.
    CommandResult changelog = runCommand("gzip", {"-dc", root + "/usr/share/doc/dualyn/changelog.gz"});
    EXPECT_EQ(changelog.out.rfind("dualyn (" PROJECT_VERSION ") ", 0), 0u) << changelog.out;
    EXPECT_NE(testsupport::readFile(root + "/usr/share/metainfo/example.dualyn.dualyn.metainfo.xml")
                  .find("<release version=\"" PROJECT_VERSION "\""),
              std::string::npos);
}

// The installed dualyn-compare, with the installed reader, run by a user who may not write to
// the programs' folder: the log on standard output, exit 0 for the same designs and 1 for
// different ones, nothing written beside the programs and nothing left in TMPDIR. Both programs
// tell their version.
TEST_F(PackageTest, InstalledCompareRunsForAUserWhoCannotWriteItsFolder)
{
    const std::string same1 = scratch->file("same1.mdb"), same2 = scratch->file("same2.mdb"), other = scratch->file("other.mdb");
    CommandResult same = runInstalled("dualyn-compare", {same1, same2});
    EXPECT_EQ(same.exitCode, 0) << said(same);
    EXPECT_EQ(same.out.rfind("Comparison Log for " + same1 + " and " + same2 + "\r\n", 0), 0u) << same.out;
    EXPECT_NE(same.out.find("Primary keys and indexes OK\r\n"), std::string::npos) << same.out;

    CommandResult different = runInstalled("dualyn-compare", {"--", same1, other});
    EXPECT_EQ(different.exitCode, 1) << said(different);
    EXPECT_NE(different.out.find("\r\n         The fields Name have different sizes\r\n"), std::string::npos) << different.out;

    std::set<std::string> programs;  // what the programs' folder holds after the runs
    for (const auto& entry : fs::directory_iterator(root + "/usr/bin")) programs.insert(entry.path().filename().string());
    EXPECT_EQ(programs, (std::set<std::string>{"dualyn", "dualyn-compare", "dualyn-reader"}));
    EXPECT_TRUE(fs::is_empty(scratch->file("tmp")));

    // dualyn answers --version without a display.
    CommandResult window = runInstalled("dualyn", {"--version"});
    EXPECT_EQ(window.exitCode, 0) << said(window);
    EXPECT_EQ(window.out, "dualyn " PROJECT_VERSION "\n");
    CommandResult command = runInstalled("dualyn-compare", {"--version"});
    EXPECT_EQ(command.exitCode, 0) << said(command);
    EXPECT_NE(command.out.find(PROJECT_VERSION), std::string::npos) << command.out;
}

// lintian finds no error and no warning in the package, and the desktop entry and the AppStream
// description as installed pass their validators; a tool that is not installed is left out.
TEST_F(PackageTest, PassesDebianChecks)
{
    struct Check {
        const char* tool;
        std::vector<std::string> args;
        bool silent;  // the tool's warnings leave its exit status 0, so it must say nothing
    };
    const Check checks[] = {
        {"lintian", {"--fail-on", "error,warning", deb}, false},
        {"desktop-file-validate", {root + "/usr/share/applications/dualyn.desktop"}, true},
        {"appstreamcli", {"validate", "--no-net", root + "/usr/share/metainfo/example.dualyn.dualyn.metainfo.xml"}, false},
    };
    int run = 0;  // how many of the tools are installed here
    for (const Check& check : checks) {
        if (!onPath(check.tool)) {
            std::cout << check.tool << " is not installed: its check is left out\n";
            continue;
        }
        ++run;
        CommandResult result = runCommand(check.tool, check.args);
        EXPECT_EQ(result.exitCode, 0) << check.tool << ": " << said(result);
        if (check.silent) {
            EXPECT_EQ(result.out + result.err, "") << check.tool;
        }
    }
    if (run == 0) GTEST_SKIP() << "none of lintian, desktop-file-validate and appstreamcli is installed";
}

}  // namespace
