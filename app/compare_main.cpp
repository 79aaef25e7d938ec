// dualyn-compare: the comparison run without a window, for scripts, tests and benchmarks.
//
//     dualyn-compare [--no-tables] [--no-relations] [--no-queries] [--report-memory] DB1 DB2
//
// Runs the same comparison as the window with the paths as typed into its path boxes, writes the
// log beside this program as the window does, and prints the log as this run wrote it: where the
// window would show it, so before the run lets go of the log's lock, and another run waiting for
// the log cannot have emptied it first. Exit status 0 when the run completed, 2 when
// the databases failed to open (the reason on standard error), 1 on any other error.
// --report-memory adds "peak memory: N KiB" on standard error at the end: the most memory this
// process held, without the reader processes (for benchmarks).
#include "comparison_run.h"
#include "headless_window.h"
#include "process_memory.h"

#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

const char kUsage[] = "usage: dualyn-compare [--no-tables] [--no-relations] [--no-queries] [--report-memory] DB1 DB2\n";

// The folder this program lives in.
std::filesystem::path programFolder(const char* argv0)
{
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) self = std::filesystem::absolute(argv0);
    return self.parent_path();
}

}  // namespace

int main(int argc, char* argv[])
{
    dualyn::HeadlessWindow window;
    std::vector<std::string> paths;
    bool reportMemory = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage
                      << "Compares the design of two Access databases and prints the comparison log.\n";
            return 0;
        } else if (arg == "--no-tables") {
            window.tables = false;
        } else if (arg == "--no-relations") {
            window.relations = false;
        } else if (arg == "--no-queries") {
            window.queries = false;
        } else if (arg == "--report-memory") {
            reportMemory = true;
        } else if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            std::cerr << "dualyn-compare: unknown option " << arg << "\n" << kUsage;
            return 1;
        } else {
            paths.push_back(arg);
        }
    }
    if (paths.size() != 2) {
        std::cerr << kUsage;
        return 1;
    }
    window.paths[0] = paths[0];
    window.paths[1] = paths[1];
    std::string logFile = (programFolder(argv[0]) / "ComparisonLog.txt").string();
    dualyn::ComparisonRun run(window, logFile);
    window.run = &run;
    window.showLogOn = &std::cout;
    try {
        run.cmdCompare_Click();
    } catch (const std::exception& e) {
        std::cerr << "dualyn-compare: the comparison stopped: " << e.what() << "\n";
        return 1;
    }
    if (!window.messageDetails.empty()) {
        std::cerr << "Databases failed to open: " << window.messageDetails.front() << "\n";
        return 2;
    }
    std::cout.flush();
    if (reportMemory) std::cerr << "peak memory: " << dualyn::peakMemoryKiB() << " KiB\n";
    return std::cout ? 0 : 1;
}
