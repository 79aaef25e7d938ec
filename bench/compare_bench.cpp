// How long Dualyn's whole job takes on database pairs of growing size, against mdbtools reading
// the same two files in the same run: dualyn-compare (both designs read through the reader
// processes, all three sections compared, the log written) against mdb-schema on each file.
//
//     compare-bench [--runs N] [--shapes current,plain,properties] [--sizes 250,1000,4000,16000]
//                   [--wide 1000] [--results FILE] [--keep FOLDER]
//
// For each shape (synthetic.h) and size it writes a pair with the generator (a share of
// differences between the two), then alternates the two commands N times and prints the median
// wall time of each, their ratio, the growth of Dualyn's time from one size to the next, and the
// peak memory of each process against its part of the designs as the readers send them: the
// largest reader's against its own design, dualyn-compare's and the window process's (over one
// run of the window, `window-peak`) against both. --wide adds a size of the current shape whose
// tables have 255 fields. --results writes the tables with a description of the machine to FILE
// (Markdown); --keep writes the pairs into FOLDER as <shape>-<tables>x<fields>-a.mdb and -b.mdb and
// leaves them there, for profiling.
//
// The readers' peaks are measured in one more run of dualyn-compare and in the window's run, by
// starting compare-bench itself as the reader (DUALYN_READER), which runs the real one, waits for
// it and adds its peak resident memory (the kernel's VmHWM, as wait4 reports it) to a file. The
// timed runs start the real reader.
#include "jet4_writer.h"
#include "schema_text.h"
#include "synthetic.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Timing {
    double seconds = 0;
    std::string err;  // what the program wrote on standard error
};

// Runs program with args, standard output to outputFile (/dev/null when empty); its wall time
// and what it wrote on standard error. Started with posix_spawn, which does not copy this
// process's page tables as fork does: after the larger sizes this process is large, and a fork
// would add its copying to every timed command.
Timing run(const std::string& program, const std::vector<std::string>& args, const std::string& outputFile = "")
{
    char errName[] = "/tmp/compare-bench-err-XXXXXX";
    int errFile = ::mkstemp(errName);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 1, outputFile.empty() ? "/dev/null" : outputFile.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::posix_spawn_file_actions_adddup2(&actions, errFile, 2);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int error = ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::fprintf(stderr, "%s cannot be started: %s\n", program.c_str(), std::strerror(error));
        ::unlink(errName);
        std::exit(1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    Timing t;
    t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::ifstream in(errName);
    t.err.assign(std::istreambuf_iterator<char>(in), {});
    ::close(errFile);
    ::unlink(errName);
    // dualyn-compare ends with 1 when the designs differ, as diff does: a finished run too.
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
        std::fprintf(stderr, "%s failed: %s\n", program.c_str(), t.err.c_str());
        std::exit(1);
    }
    return t;
}

// The first line of a file that starts with key, without the key; "" when there is none.
std::string lineAfter(const std::string& file, const std::string& key)
{
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0) return line.substr(key.size());
    return "";
}

// The machine the figures were measured on.
std::string machine()
{
    std::string cpu = lineAfter("/proc/cpuinfo", "model name\t: ");
    long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    double memory = std::atof(lineAfter("/proc/meminfo", "MemTotal:").c_str()) / (1 << 20);
    std::ifstream version("/proc/sys/kernel/osrelease");
    std::string kernel;
    std::getline(version, kernel);
    std::string system = lineAfter("/etc/os-release", "PRETTY_NAME=");
    char text[512];
    std::snprintf(text, sizeof text, "%s, %ld cores, %.0f GiB memory, %s (Linux %s)", cpu.c_str(), cores, memory,
                  system.c_str(), kernel.c_str());
    return text;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Database 2 of a pair: database 1 with every 10th table's F2 a text field, every 50th table
// gone, some new tables, every 20th query with another criterion; in the Properties shape, every
// 10th table's F5 with another default value.
std::string changed(const std::string& description, int tables)
{
    std::istringstream in(description);
    std::ostringstream out;
    std::string line, table;
    bool skip = false;
    int number = -1;
    for (; std::getline(in, line);) {
        if (line.rfind("table T", 0) == 0) {
            number = std::stoi(line.substr(7));
            skip = number % 50 == 49;
        } else if (line.rfind("relationship", 0) == 0 || line.rfind("query", 0) == 0) {
            skip = false;
            // The relationships from and to a table that is gone go with it.
            if (line.rfind("relationship", 0) == 0 && (number % 50 == 49 || (number % 50 == 0 && number > 0))) continue;
        }
        if (skip) continue;
        if (number % 10 == 0 && line.rfind("  field F2 datetime", 0) == 0) line = "  field F2 text(20)";
        if (number % 10 == 0 && line.rfind("  field F5 long", 0) == 0)
            if (std::size_t at = line.find("DefaultValue=\"0\""); at != std::string::npos) line.replace(at, 16, "DefaultValue=\"1\"");
        if (line.rfind("  column ", 0) == 0 && number % 20 == 0) line += " as Renamed";
        out << line << "\n";
    }
    for (int t = 0; t < tables / 100 + 1; ++t) out << "table New" << t << "\n  field ID long\n";
    return out.str();
}

// As the reader: runs the real reader (COMPARE_BENCH_READER) with the same arguments and
// standard streams, then adds its peak resident memory in KiB as a line to COMPARE_BENCH_PEAKS.
// Ends as the reader ended.
int measureReader(const char* reader, char* argv[])
{
    pid_t pid = ::fork();
    if (pid == 0) {
        argv[0] = const_cast<char*>(reader);
        ::execv(reader, argv);
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {}
    if (const char* peaks = std::getenv("COMPARE_BENCH_PEAKS"))
        std::ofstream(peaks, std::ios::app) << usage.ru_maxrss << "\n";
    if (WIFSIGNALED(status)) ::raise(WTERMSIG(status));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (const char* reader = std::getenv("COMPARE_BENCH_READER")) return measureReader(reader, argv);
    int runs = 5;
    std::vector<int> sizes = {250, 1000, 4000, 16000};
    std::vector<std::string> shapes = {"current", "plain", "properties"};
    int wide = 1000;
    std::string results;
    std::string keep;
    auto list = [](const char* text) {
        std::vector<std::string> items;
        std::stringstream in(text);
        for (std::string item; std::getline(in, item, ',');) items.push_back(item);
        return items;
    };
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
        else if (a == "--wide" && i + 1 < argc) wide = std::atoi(argv[++i]);
        else if (a == "--results" && i + 1 < argc) results = argv[++i];
        else if (a == "--keep" && i + 1 < argc) keep = argv[++i];
        else if (a == "--shapes" && i + 1 < argc) shapes = list(argv[++i]);
        else if (a == "--sizes" && i + 1 < argc) {
            sizes.clear();
            for (const std::string& n : list(argv[++i])) sizes.push_back(std::stoi(n));
        } else {
            std::fprintf(stderr, "usage: compare-bench [--runs N] [--shapes current,plain,properties] "
                                 "[--sizes 250,1000,...] [--wide N] [--results FILE] [--keep FOLDER]\n");
            return 2;
        }
    }
    for (const std::string& shape : shapes)
        if (shape != "current" && shape != "plain" && shape != "properties") {
            std::fprintf(stderr, "compare-bench: no shape %s (current, plain, properties)\n", shape.c_str());
            return 2;
        }
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::filesystem::path build = std::filesystem::path(self).parent_path().parent_path();
    const std::string compare = (build / "app" / "dualyn-compare").string();
    const std::string reader = (build / "app" / "dualyn-reader").string();
    const std::string windowPeak = (build / "bench" / "window-peak").string();
    const std::string folder = !keep.empty() ? keep
                                             : (std::filesystem::temp_directory_path() /
                                                ("compare-bench-" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(folder);
    // Outside the timed runs, the readers dualyn-compare and window-peak start are this program,
    // measuring the real one; the timed runs start the real one, with nothing in between.
    const std::string peaksFile = folder + "/reader-peaks";
    auto measureReaders = [&](bool measure) { ::setenv("DUALYN_READER", measure ? self.c_str() : reader.c_str(), 1); };
    ::setenv("COMPARE_BENCH_READER", reader.c_str(), 1);
    ::setenv("COMPARE_BENCH_PEAKS", peaksFile.c_str(), 1);
    // The largest reader peak written to the file since it was last read, in MiB.
    auto readerPeak = [&peaksFile] {
        double largest = 0;
        std::ifstream in(peaksFile);
        for (std::string line; std::getline(in, line);) largest = std::max(largest, std::atof(line.c_str()) / 1024);
        std::filesystem::remove(peaksFile);
        return largest;
    };

    std::ostringstream tables;  // the results, a table per shape
    for (const std::string& shape : shapes) {
        std::ostringstream table;
        table << "\n### Shape " << shape << "\n\n"
              << "| tables | fields | file MiB | Dualyn s | mdb-schema ×2 s | ratio | growth | designs MiB "
                 "| largest reader MiB (limit) | dualyn-compare MiB (limit) | window MiB (idle) |\n"
              << "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
        std::fputs(table.str().c_str(), stdout);
        double previous = 0;
        std::vector<std::pair<int, int>> cases;
        for (int n : sizes) cases.emplace_back(n, shape == "current" ? 50 : 30);
        if (wide > 0 && shape == "current") cases.emplace_back(wide, 255);
        for (auto [tableCount, fields] : cases) {
            mdbgen::SyntheticDesign design;
            design.shape = shape == "plain"        ? mdbgen::SyntheticShape::Plain
                           : shape == "properties" ? mdbgen::SyntheticShape::Properties
                                                   : mdbgen::SyntheticShape::Current;
            design.tables = tableCount;
            design.fieldsPerTable = fields;
            std::string one = mdbgen::syntheticDescription(design);
            const std::string stem = folder + "/" + shape + "-" + std::to_string(tableCount) + "x" + std::to_string(fields);
            std::string a = stem + "-a.mdb", b = stem + "-b.mdb";
            mdbgen::writeJet4File(mdbgen::parseDescription(one), a);
            mdbgen::writeJet4File(mdbgen::parseDescription(changed(one, tableCount)), b);
            // The two designs as the readers send them to the comparing process.
            double designs = 0, largestDesign = 0;  // MiB
            for (const std::string& file : {a, b}) {
                run(reader, {file}, stem + ".design");
                double mib = static_cast<double>(std::filesystem::file_size(stem + ".design")) / (1 << 20);
                designs += mib;
                largestDesign = std::max(largestDesign, mib);
                std::filesystem::remove(stem + ".design");
            }
            readerPeak();
            std::vector<double> dualyn, schema;
            double peak = 0;  // dualyn-compare's, MiB
            measureReaders(false);
            for (int r = 0; r < runs; ++r) {
                Timing d = run(compare, {"--report-memory", a, b});
                dualyn.push_back(d.seconds);
                std::size_t at = d.err.find("peak memory: ");
                if (at != std::string::npos) peak = std::max(peak, std::atof(d.err.c_str() + at + 13) / 1024);
                schema.push_back(run("mdb-schema", {a}).seconds + run("mdb-schema", {b}).seconds);
            }
            // The readers' peaks over one more run, and the window process over one run: its peak
            // before the run (Qt and the window) and after.
            measureReaders(true);
            run(compare, {a, b});
            run(windowPeak, {a, b}, stem + ".window");
            double idle = std::atof(lineAfter(stem + ".window", "before: ").c_str()) / 1024;
            double window = std::atof(lineAfter(stem + ".window", "after: ").c_str()) / 1024;
            std::filesystem::remove(stem + ".window");
            double readers = readerPeak();
            if (idle <= 0 || window <= 0 || peak <= 0 || readers <= 0) {
                std::fprintf(stderr, "compare-bench: no peak memory was reported\n");
                return 1;
            }
            double d = median(dualyn), s = median(schema);
            double mib = static_cast<double>(std::filesystem::file_size(a)) / (1 << 20);
            char line[320];
            std::snprintf(line, sizeof line,
                          "| %d | %d | %.1f | %.3f | %.3f | %.2f | %s | %.1f | %.0f (%.0f) | %.0f (%.0f) | %.0f (%.0f) |\n",
                          tableCount, fields, mib, d, s, d / s,
                          previous > 0 && fields != 255 ? (std::to_string(d / previous).substr(0, 4) + "×").c_str() : "",
                          designs, readers, 64 + 2 * largestDesign, peak, 64 + 2 * designs, window, idle);
            table << line;
            std::fputs(line, stdout);
            std::fflush(stdout);
            if (fields != 255) previous = d;
            if (keep.empty()) {
                std::filesystem::remove(a);
                std::filesystem::remove(b);
            }
        }
        tables << table.str();
    }
    if (keep.empty()) std::filesystem::remove_all(folder);
    if (!results.empty()) {
        std::string command = "build/bench/compare-bench";
        for (int i = 1; i < argc; ++i) command += std::string(" ") + argv[i];
        std::ofstream(results)
            << "# Comparison benchmark\n\n"
            << "Measured with `" << command << "` (" << runs << " runs a size, medians).\n\n"
            << "Machine: " << machine() << ".\n\n"
            << "Dualyn: `dualyn-compare` on the pair (both designs read in reader processes, all three sections "
               "compared, the log written). mdb-schema ×2: `mdb-schema` on each file, one after the other. "
               "Growth: Dualyn's time over the previous size's. Designs: the two designs as the readers send "
               "them. Peaks are peak resident memory (VmHWM): the largest of the readers' (each reads one file; "
               "measured in one more run, with compare-bench between dualyn-compare and each reader, which the "
               "timed runs do without), with its limit, 64 MiB plus twice the larger design; `dualyn-compare`'s, "
               "with its limit, 64 MiB "
               "plus twice both designs; and the window process's over one run of the same comparison "
               "(`window-peak`, offscreen), with its peak before the run (Qt and the window alone) in brackets.\n\n"
            << "Shapes (`tools/mdbgen/synthetic.h`): current, 50 fields a table with the properties Access keeps "
               "and a select query every fifth table; plain, 30 fields of four types with no properties, a "
               "relationship every tenth table, no queries, and free pages after each table's definition; "
               "properties, plain with eight properties on every field.\n"
            << tables.str();
    }
    return 0;
}
