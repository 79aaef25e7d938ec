// Reading a design in the reader process: the same design as reading it here, and every way the
// reader can fail turned into a reason why the file cannot be opened.
#include "database_engine.h"
#include "database_file.h"
#include "design_codec.h"
#include "design_reader.h"
#include "generated_database.h"
#include "jet4_writer.h"
#include "printable_path.h"
#include "reader_process.h"
#include "run_command.h"
#include "schema_text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace engine;
using testsupport::TempDir;

namespace {

// Sets an environment variable for the lifetime of the object, then gives it back its value.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name)
    {
        if (const char* was = std::getenv(name)) was_ = was;
        ::setenv(name, value, 1);
    }
    ~ScopedVariable()
    {
        if (was_)
            ::setenv(name_, was_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> was_;  // the value before, if it was set
};

// The readers (dualyn-reader processes) whose parent is parent, once count of them run, waited for
// up to five seconds; fewer when no more appear.
std::vector<pid_t> readersOf(pid_t parent, std::size_t count)
{
    std::vector<pid_t> found;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (found.size() < count && std::chrono::steady_clock::now() < until) {
        found.clear();
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
            if (entry.path().filename().string().find_first_not_of("0123456789") != std::string::npos) continue;
            // "pid (name) state ppid ...": the name may hold spaces and parentheses.
            std::ifstream in(entry.path() / "stat");
            std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::size_t open = stat.find('('), close = stat.rfind(')');
            if (open == std::string::npos || close == std::string::npos || close + 4 >= stat.size()) continue;
            if (stat.substr(open + 1, close - open - 1) == "dualyn-reader" && std::atoi(stat.c_str() + close + 4) == parent)
                found.push_back(std::atoi(stat.c_str()));
        }
        if (found.size() < count) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return found;
}

// How the child process pid ended, waited for up to five seconds; -1 when it is still running
// then (it is killed, so that no process is left behind).
int endOf(pid_t pid)
{
    int status = 0;
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5); std::chrono::steady_clock::now() < until;) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

class Reader : public ::testing::Test {
protected:
    std::string write(const std::string& description, const std::string& name = "test.mdb")
    {
        return testsupport::writeDatabase(dir_, description, name);
    }

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

// A design the reader hands over in several pieces, whose pool of property names does not fit in
// the room the reader keeps for it before the rest, comes over whole.
TEST_F(Reader, GivesALargeDesignWithALargePoolWhole)
{
    std::string description;
    for (int t = 0; t < 300; ++t) {
        description += "table Table" + std::to_string(t) + "\n";
        for (int f = 0; f < 30; ++f)
            description += " field F" + std::to_string(f) + " long PropertyOfItsOwnForTable" + std::to_string(t) + "Field" +
                           std::to_string(f) + "=1\n";
    }
    std::string path = write(description);
    const std::unique_ptr<const EncodedDesign> there = readDesignInReader(path);
    EXPECT_EQ(designText(expandDesign(*there)), designText(readDesign(path)));
    EXPECT_EQ(there->tables().size(), 304u);  // the four system tables too
}

// The reader tells the file's format, and the opened database serves it: a generator file is
// Jet 4; the same file with the header's version byte of Access 2007 is read as ACE.
TEST_F(Reader, TellsTheFileFormat)
{
    std::string jet4 = write("table T\n  field ID long\n");
    std::string bytes = testsupport::readFile(jet4);
    ASSERT_EQ(bytes.at(0x14), '\x01');
    bytes[0x14] = '\x02';
    std::string ace = dir_.file("test.accdb");
    testsupport::writeFile(ace, bytes);
    EXPECT_EQ(readDesignInReader(jet4)->format(), FileFormat::Jet4);
    EXPECT_EQ(DBEngine::instance().OpenDatabase(ace)->Format(), FileFormat::Ace);
    EXPECT_EQ(readDesign(ace).format, FileFormat::Ace);
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

// Paths are passed on as they are: spaces, quotes, letters beyond ASCII and bytes that are not
// UTF-8 need nothing special. Messages show those bytes as \xHH.
TEST_F(Reader, PathsWithSpacesAndLettersBeyondAsciiAndBytesBeyondUtf8)
{
    std::string folder = dir_.file("Größe \"Kunden\" $HOME; 'x'");
    std::filesystem::create_directory(folder);
    for (std::string name : {"Ärger 顧客.mdb", "caf\xE9.mdb", "\xFF\xC3.mdb"}) {
        std::string path = folder + "/" + name;
        mdbgen::writeJet4File(mdbgen::parseDescription("table T\n field F long\n"), path);
        std::unique_ptr<const EncodedDesign> design = readDesignInReader(path);
        EXPECT_EQ(design->name(), path);
        EXPECT_GE(design->tablePosition("T"), 0);
    }
    std::string missing = folder + "/caf\xE9-2.mdb";
    try {
        DBEngine::instance().OpenDatabase(missing);
        ADD_FAILURE() << "a missing file opened";
    } catch (const OpenError& e) {
        EXPECT_EQ(e.path(), missing);
        EXPECT_EQ(std::string(e.what()), folder + "/caf\\xE9-2.mdb: the file does not exist");
    }
}

TEST(PrintablePath, BytesThatAreNoTextAsHexTheRestAsItIs)
{
    EXPECT_EQ(printablePath("/data/caf\xE9.mdb"), "/data/caf\\xE9.mdb");
    EXPECT_EQ(printablePath("/Größe/顧客 \xF0\x9F\x98\x80.mdb"), "/Größe/顧客 \xF0\x9F\x98\x80.mdb");  // UTF-8 kept
    EXPECT_EQ(printablePath("a\xC3"), "a\\xC3");                  // a character cut off
    EXPECT_EQ(printablePath("\xED\xA0\x80"), "\\xED\\xA0\\x80");   // a surrogate
    EXPECT_EQ(printablePath("two\r\nlines\x7F"), "two\\x0D\\x0Alines\\x7F");
    EXPECT_EQ(printablePath("C:\\a\\b.mdb"), "C:\\a\\b.mdb");
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
        {"flood", "damaged: reading it gave more than 16 MiB"},
        // Ending badly after it has said where its design is and closed standard error.
        {"done-then-crash", "damaged: reading it failed (the reader stopped with signal "},
    };
    for (const Case& c : cases) {
        ScopedVariable misbehave("DUALYN_READER_TEST", c.misbehaviour);
        std::string reason = refusal(path);
        EXPECT_EQ(reason.rfind(c.reason, 0), 0u) << c.misbehaviour << ": " << reason;
    }
    ScopedVariable shortTime("DUALYN_READER_SECONDS", "1");
    for (const char* hanging : {"hang", "done-then-hang"}) {
        ScopedVariable hang("DUALYN_READER_TEST", hanging);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(refusal(path), "damaged: reading it took longer than 1 seconds") << hanging;
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0) << hanging;
    }
}

// A process killed while its readers run takes them with it: the reader of database 2, started
// on a thread of its own, as well as that of database 1.
TEST_F(Reader, EndsWithTheProcessThatStartedIt)
{
    std::string path = write("table T\n field F long\n");
    ScopedVariable hang("DUALYN_READER_TEST", "hang");
    // The readers that the killed process leaves are this process's to wait for.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    pid_t parent = ::fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // gone with this test whatever happens
        try {
            OpeningDatabase second = DBEngine::instance().StartOpening(path);
            DBEngine::instance().OpenDatabase(path);
        } catch (...) {
        }
        _exit(0);
    }
    std::vector<pid_t> readers = readersOf(parent, 2);
    ::kill(parent, SIGKILL);
    ::waitpid(parent, nullptr, 0);
    EXPECT_EQ(readers.size(), 2u);
    for (pid_t reader : readers) {
        int end = endOf(reader);
        EXPECT_TRUE(end != -1 && WIFSIGNALED(end) && WTERMSIG(end) == SIGKILL) << "the reader outlived its parent";
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
}

// A reader stopped from outside, by the out-of-memory killer or anyone with a signal, is reported
// as such, not as damage in the file.
TEST_F(Reader, AReaderStoppedFromOutsideIsReportedSo)
{
    std::string path = write("table T\n field F long\n");
    ScopedVariable hang("DUALYN_READER_TEST", "hang");
    ScopedVariable shortTime("DUALYN_READER_SECONDS", "10");  // should the signal go astray
    const std::pair<int, std::string> cases[] = {
        {SIGKILL, "the reader was stopped by signal 9 — out of memory?"},
        {SIGTERM, "the reader was stopped by signal 15 (SIGTERM)"},
        {SIGINT, "the reader was stopped by signal 2 (SIGINT)"},
    };
    for (const auto& [signal, reason] : cases) {
        auto opening = std::async(std::launch::async, [&] { return refusal(path); });
        std::vector<pid_t> readers = readersOf(::getpid(), 1);
        EXPECT_EQ(readers.size(), 1u);
        if (!readers.empty()) ::kill(readers[0], signal);
        EXPECT_EQ(opening.get(), reason);
    }
}

TEST_F(Reader, AMissingReaderIsAReason)
{
    std::string path = write("table T\n field F long\n");
    ScopedVariable reader("DUALYN_READER", dir_.file("no-reader").c_str());
    EXPECT_EQ(refusal(path), "the reader program " + dir_.file("no-reader") + " cannot be started");
}

// The reader starts in this process's environment with glibc's allocator asked for huge pages:
// added to the tunables already set, never in place of them, and left alone when they name it.
TEST_F(Reader, StartsWithHugePagesAskedForAndTheTunablesKept)
{
    std::string path = write("table T\n field F long\n");
    const std::string script = dir_.file("reader.sh"), seen = dir_.file("seen.txt");
    std::ofstream(script) << "#!/bin/sh\nprintf '%s' \"$GLIBC_TUNABLES\" > " << seen << "\necho refused >&2\nexit 2\n";
    ::chmod(script.c_str(), 0755);
    ScopedVariable reader("DUALYN_READER", script.c_str());
    ScopedVariable restored("GLIBC_TUNABLES", "");  // whatever this process had comes back at the end
    const std::vector<std::pair<std::optional<std::string>, std::string>> cases = {
        {std::nullopt, "glibc.malloc.hugetlb=1"},
        {"glibc.malloc.arena_max=2", "glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1"},
        {"", "glibc.malloc.hugetlb=1"},
        {"glibc.malloc.hugetlb=0", "glibc.malloc.hugetlb=0"},
    };
    for (const auto& [set, expected] : cases) {
        std::optional<ScopedVariable> tunables;
        if (set) tunables.emplace("GLIBC_TUNABLES", set->c_str());
        else ::unsetenv("GLIBC_TUNABLES");
        EXPECT_EQ(refusal(path), "refused");
        EXPECT_EQ(testsupport::readFile(seen), expected) << set.value_or("(none)");
    }
}

// A file larger than any Access file is refused at once, before it is read, by the reader and by
// the engine that starts it; so is a file that its header page shows is no database, however
// large.
TEST_F(Reader, RefusesAFileTooLargeForAccessAtOnce)
{
    // The least time refusing takes over three tries: reading the file would take seconds every
    // time, while a busy machine only slows a try now and then.
    auto fastest = [](const std::function<void()>& refuse) {
        double least = 1e9;
        for (int i = 0; i < 3 && least >= 1.0; ++i) {
            auto start = std::chrono::steady_clock::now();
            refuse();
            least = std::min(least, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        return least;
    };
    // A database made 4 GiB long (sparse): the size alone refuses it.
    std::string huge = write("table T\n field F long\n", "huge.mdb");
    ASSERT_EQ(::truncate(huge.c_str(), 4ll << 30), 0);
    const std::string tooLarge = "not an Access database (the file is 4294967296 bytes; Access files are at most 2 GiB)";
    EXPECT_LT(fastest([&] {
                  auto direct = testsupport::runCommand(readerProgram(), {huge});
                  EXPECT_EQ(direct.exitCode, 2);
                  EXPECT_EQ(direct.err, tooLarge + "\n");
              }),
              1.0);
    EXPECT_LT(fastest([&] {
                  try {
                      DBEngine::instance().OpenDatabase(huge);
                      ADD_FAILURE() << "a 4 GiB file opened";
                  } catch (const OpenError& e) {
                      EXPECT_EQ(e.reason(), tooLarge);
                  }
              }),
              1.0);

    // 2 GiB of nothing: no larger than Access files may be, refused by its first page.
    std::string zeros = dir_.file("zeros.mdb");
    testsupport::writeFile(zeros, "");
    ASSERT_EQ(::truncate(zeros.c_str(), 2ll << 30), 0);
    EXPECT_LT(fastest([&] { EXPECT_EQ(refusal(zeros), "not an Access database"); }), 1.0);
}

// The limits hold the file's bytes once and a fixed budget: twice the file is not twice the memory,
// and a file larger than Access files gets no more than the largest.
TEST(ReaderLimits, TheFileOnceAndAFixedBudget)
{
    constexpr std::size_t kMiB = 1 << 20;
    ReaderLimits small = ReaderLimits::forFileSize(100 << 10), large = ReaderLimits::forFileSize(1000 * kMiB);
    // The reading of the largest generated design (53 MiB) needs 298 MiB: small files get room for it.
    EXPECT_GE(small.memoryBytes, 512 * kMiB);
    EXPECT_EQ(large.memoryBytes - small.memoryBytes, 1000 * kMiB - (100 << 10));
    ReaderLimits largest = ReaderLimits::forFileSize(2048 * kMiB), beyond = ReaderLimits::forFileSize(4096 * kMiB);
    EXPECT_EQ(beyond.memoryBytes, largest.memoryBytes);
    EXPECT_EQ(beyond.seconds, largest.seconds);
}

}  // namespace
