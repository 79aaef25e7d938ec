// dualyn-compare: the comparison of two databases' designs for shells, scripts and CI.
//
//     dualyn-compare [--no-tables] [--no-relations] [--no-queries] [--format log|json]
//                    [--log FILE] [--] DB1 DB2
//
// Runs the same comparison as the window and prints, with --format log (the default), the bytes
// of its comparison log; --log FILE also writes them to FILE (created or replaced). The log is
// written to a folder of this run's own under $TMPDIR (when it is not set, in memory:
// $XDG_RUNTIME_DIR or /dev/shm, else /tmp) and removed at the end: nothing is written beside the
// program and no file is shared with another run, so runs started at once each print their own
// whole output.
//
// Exit status, as diff and cmp have it: 0 the designs are the same (the log has no line of
// difference), 1 they differ, 2 trouble: a database that cannot be opened (standard error names
// each, "DB: reason", one a line), a bad option or argument (with the usage), or any other error.
// --help and --version print to standard output and exit 0. -- ends the options, so that a file
// named -h can be compared. Passwords of protected databases come from the environment,
// DUALYN_PASSWORD1 and DUALYN_PASSWORD2, never from the command line. --report-memory adds "peak
// memory: N KiB" on standard error at the end: the most memory this process held, without the
// reader processes (for benchmarks).
#include "comparison_log.h"
#include "comparison_run.h"
#include "difference_report.h"
#include "headless_window.h"
#include "process_memory.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSame = 0, kDifferent = 1, kTrouble = 2;

const char kUsage[] =
    "usage: dualyn-compare [--no-tables] [--no-relations] [--no-queries] [--format log|json] [--log FILE] [--] DB1 DB2\n";

const char kHelp[] =
    "Compares the design of two Access databases (tables, fields, keys and indexes, relations,\n"
    "queries) and prints the comparison log.\n"
    "\n"
    "  --no-tables, --no-relations, --no-queries   leave that section out\n"
    "  --format log|json   the comparison log as written (default), or the differences with\n"
    "                      their values as one JSON document\n"
    "  --log FILE          also write the comparison log to FILE\n"
    "  --                  ends the options\n"
    "  --help, --version   this text, or the version\n"
    "\n"
    "Exit status: 0 the designs are the same, 1 they differ, 2 trouble.\n"
    "Passwords: DUALYN_PASSWORD1 and DUALYN_PASSWORD2.\n";

// What the command line asks for.
struct Request {
    bool tables = true, relations = true, queries = true;
    bool json = false;
    bool reportMemory = false;
    std::string logCopy;             // --log FILE; empty: none
    std::vector<std::string> paths;  // the databases, as given
};

// Reads the arguments into request. Returns -1 to go on, or the exit status to end with at once
// (after --help or --version, or a bad argument, which is reported on standard error).
//     {"--no-queries", "--", "-h", "b.mdb"}  ->  queries off, paths {"-h", "b.mdb"}
int parseArguments(int argc, char* argv[], Request& request)
{
    auto bad = [](const std::string& why) {
        std::cerr << "dualyn-compare: " << why << "\n" << kUsage;
        return kTrouble;
    };
    bool options = true;  // until --
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // The value of an option given as "--name=value" or "--name value"; false when missing.
        auto value = [&](const std::string& name, std::string& into) {
            if (arg.rfind(name + "=", 0) == 0) {
                into = arg.substr(name.size() + 1);
                return true;
            }
            if (arg != name || i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        std::string given;  // an option's value
        if (!options || arg == "-" || arg.empty() || arg[0] != '-') {
            request.paths.push_back(arg);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "--help") {
            std::cout << kUsage << kHelp;
            return kSame;
        } else if (arg == "--version") {
            std::cout << "dualyn-compare " DUALYN_VERSION "\n";
            return kSame;
        } else if (arg == "--no-tables") {
            request.tables = false;
        } else if (arg == "--no-relations") {
            request.relations = false;
        } else if (arg == "--no-queries") {
            request.queries = false;
        } else if (arg == "--report-memory") {
            request.reportMemory = true;
        } else if (arg.rfind("--format", 0) == 0 && value("--format", given)) {
            if (given != "log" && given != "json") return bad("--format takes log or json, not \"" + given + "\"");
            request.json = given == "json";
        } else if (arg.rfind("--log", 0) == 0 && value("--log", given)) {
            if (given.empty()) return bad("--log needs a file name");
            request.logCopy = given;
        } else if (arg == "--format" || arg == "--log") {
            return bad(arg + " needs a value");
        } else {
            return bad("unknown option " + arg);
        }
    }
    if (request.paths.size() != 2)
        return bad(request.paths.empty() ? std::string("no databases given") : "two databases are compared, not " +
                                                                                   std::to_string(request.paths.size()));
    return -1;
}

// The folder this run writes its log in, removed with the log when the run ends, also when the
// process is interrupted or terminated, or what reads its output goes away (`| head`): its paths
// are kept where the signal handler can reach them without allocating.
class PrivateLog {
public:
    PrivateLog()
    {
        std::string folder = temporaryFolder() + "/dualyn-compare.XXXXXX";
        if (folder.size() + sizeof "/ComparisonLog.txt.lock" > sizeof folder_)
            throw std::runtime_error("the temporary folder's name is too long: " + folder);
        std::memcpy(folder_, folder.c_str(), folder.size() + 1);
        if (!::mkdtemp(folder_)) throw std::runtime_error(std::string("cannot make a folder in ") + folder + ": " + std::strerror(errno));
        const std::string log = std::string(folder_) + "/ComparisonLog.txt", lock = log + ".lock";
        std::memcpy(log_, log.c_str(), log.size() + 1);  // both fit: checked with the folder's name
        std::memcpy(lock_, lock.c_str(), lock.size() + 1);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(signal, removeAndDie);
    }
    ~PrivateLog() { remove(); }
    PrivateLog(const PrivateLog&) = delete;
    PrivateLog& operator=(const PrivateLog&) = delete;

    std::string log() const { return log_; }

private:
    // $TMPDIR when it is set; otherwise a folder in memory, where writing and removing the log
    // costs no file system journal: $XDG_RUNTIME_DIR (the user's own), /dev/shm; /tmp when
    // neither is a folder this process may write to.
    static std::string temporaryFolder()
    {
        if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp) return tmp;
        auto writable = [](const char* folder) {
            struct stat st {};
            return folder && *folder && ::stat(folder, &st) == 0 && S_ISDIR(st.st_mode) && ::access(folder, W_OK | X_OK) == 0;
        };
        for (const char* folder : {static_cast<const char*>(std::getenv("XDG_RUNTIME_DIR")), "/dev/shm"})
            if (writable(folder)) return folder;
        return "/tmp";
    }

    static void remove()
    {
        ::unlink(log_);
        ::unlink(lock_);
        ::rmdir(folder_);
    }
    // Removes the folder, then ends the process by the same signal (async-signal-safe calls only).
    static void removeAndDie(int signal)
    {
        remove();
        std::signal(signal, SIG_DFL);
        ::raise(signal);
    }

    static inline char folder_[4096];
    static inline char log_[4096];
    static inline char lock_[4096];
};

// Copies the log open at fd to standard output in the kernel, as far as it can: a large log is
// not copied through this process. False when the kernel does not copy between these two (a
// file appended to), with the rest of the log still to be copied. Throws saying why not.
bool sentToStandardOutput(int fd)
{
    for (;;) {
        ssize_t n = ::sendfile(1, fd, nullptr, std::size_t{1} << 30);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EINVAL || errno == ENOSYS)) return false;
        if (n < 0) throw std::runtime_error(std::string("cannot write to standard output: ") + std::strerror(errno));
        if (n == 0) return true;
    }
}

// Writes bytes to path, replacing what is there: written beside it first, then renamed over it,
// so that a reader of path never sees half of it. Throws saying why not.
void replaceFile(const std::string& path, const std::string& bytes)
{
    const std::string part = path + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << bytes;
        out.close();
        if (!out) {
            ::unlink(part.c_str());
            throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
        }
    }
    if (::rename(part.c_str(), path.c_str()) != 0) {
        int error = errno;
        ::unlink(part.c_str());
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(error));
    }
}

// The value of the environment variable name, removed from the environment so that no program
// started later sees it; empty when it is not set.
std::string takeSecret(const char* name)
{
    const char* set = std::getenv(name);
    std::string value = set ? set : "";
    if (set) ::explicit_bzero(const_cast<char*>(set), std::strlen(set));
    ::unsetenv(name);
    return value;
}

}  // namespace

int main(int argc, char* argv[])
{
    Request request;
    if (int status = parseArguments(argc, argv, request); status >= 0) return status;

    dualyn::HeadlessWindow window;
    window.recordCalls = false;
    window.tables = request.tables;
    window.relations = request.relations;
    window.queries = request.queries;
    window.paths[0] = request.paths[0];
    window.paths[1] = request.paths[1];
    try {
        PrivateLog privateLog;
        dualyn::ComparisonRun run(window, privateLog.log());
        window.run = &run;
        // The run "shows" its log here, as the window would open it, while it still holds the log:
        // it is opened, and read once the run is over (no other run writes in its folder).
        int shown = -1;
        struct Closing {  // closes shown however the run ends
            int& fd;
            ~Closing()
            {
                if (fd >= 0) ::close(fd);
            }
        } closing{shown};
        window.openLogOn = &shown;
        run.strPassword1 = takeSecret("DUALYN_PASSWORD1");
        run.strPassword2 = takeSecret("DUALYN_PASSWORD2");
        run.blnReportEveryFailedOpen = true;
        run.cmdCompare_Click();
        ::explicit_bzero(run.strPassword1.data(), run.strPassword1.size());
        ::explicit_bzero(run.strPassword2.data(), run.strPassword2.size());
        if (!run.openFailures.empty()) {
            // One line a database, "PATH: reason"; an empty path is said once, not once a database.
            std::string previous;
            for (const dualyn::ComparisonRun::OpenFailure& failure : run.openFailures) {
                if (failure.reason == previous) continue;
                std::cerr << (failure.reason.rfind(": ", 0) == 0 ? "dualyn-compare" : "") << failure.reason << "\n";
                previous = failure.reason;
            }
            return kTrouble;
        }
        if (!request.logCopy.empty()) {
            std::ostringstream log;
            if (shown >= 0) dualyn::CopyLog(shown, privateLog.log(), log);
            replaceFile(request.logCopy, log.str());
            if (!request.json) std::cout << log.str();
        }
        if (request.json) std::cout << dualyn::DifferenceReportJson(run) << "\n";
        std::cout.flush();
        if (!request.json && request.logCopy.empty() && shown >= 0 && !sentToStandardOutput(shown))
            dualyn::CopyLog(shown, privateLog.log(), std::cout);  // by hand, from where the kernel stopped
        std::cout.flush();
        if (request.reportMemory) std::cerr << "peak memory: " << dualyn::peakMemoryKiB() << " KiB\n";
        if (!std::cout) throw std::runtime_error("cannot write to standard output");
        return run.differences.empty() ? kSame : kDifferent;
    } catch (const std::exception& e) {
        std::cerr << "dualyn-compare: " << e.what() << "\n";
        return kTrouble;
    }
}
