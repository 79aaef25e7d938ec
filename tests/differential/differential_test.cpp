// The differential test of the engine against the generator. For each seed: a random design
// description and a few random edits of it (some edits of edits), each written by the generator,
// opened by the engine and compared, collection by collection and value by value, with what the
// description says (expected_design.h); then the comparison run on the design against itself
// (only OK lines) and on the design and each edit both ways (every object that differs is named
// in a line of difference, and only those: log_check.h).
//
// A fixed slice of seeds runs with the other tests (fewer in a build without optimisation, such
// as the sanitizer build). By hand:
//
//     build/tests/differential_tests                                   # the slice
//     DUALYN_DIFF_SEEDS=1000:2500 build/tests/differential_tests       # 2,500 seeds from 1000 on
//     DUALYN_DIFF_EDITS=6                                              # edits per seed (4)
//     DUALYN_DIFF_REPORT=/tmp/mismatches.txt                           # every mismatch, one a line
//     DUALYN_DIFF_KEEP=/tmp/designs                                    # each seed's descriptions
//
// Every mismatch names the seed, the file (design.mdb or editN.mdb, with the edit that made it),
// the object, the position and both values, so that DUALYN_DIFF_SEEDS=SEED:1 with
// DUALYN_DIFF_KEEP reproduces it; the test ends with its figures and the mismatches by category.
#include "comparison_run.h"
#include "design_check.h"
#include "expected_design.h"
#include "headless_window.h"
#include "jet4_writer.h"
#include "log_check.h"
#include "random_design.h"
#include "run_command.h"
#include "schema_text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>

using namespace difftest;

namespace {

// Seeds and edits of the slice that runs with the other tests.
#ifdef __OPTIMIZE__
constexpr std::uint32_t kSliceSeeds = 24;
#else
constexpr std::uint32_t kSliceSeeds = 3;
#endif
constexpr int kEditsPerSeed = 4;
constexpr std::size_t kMismatchesShown = 200;  // in the failure message; the report file has all

struct Settings {
    std::uint32_t first = 1, count = kSliceSeeds;
    int edits = kEditsPerSeed;
    std::string report, keep;
};

// The seeds, edits, report file and folder to keep designs in, from DUALYN_DIFF_*.
Settings settingsFromEnvironment()
{
    Settings s;
    if (const char* seeds = std::getenv("DUALYN_DIFF_SEEDS"); seeds && *seeds) {
        std::string text = seeds;
        std::size_t colon = text.find(':');
        s.first = static_cast<std::uint32_t>(std::stoul(text.substr(0, colon)));
        s.count = colon == std::string::npos ? 1 : static_cast<std::uint32_t>(std::stoul(text.substr(colon + 1)));
    }
    if (const char* edits = std::getenv("DUALYN_DIFF_EDITS"); edits && *edits) s.edits = std::max(0, std::atoi(edits));
    if (const char* report = std::getenv("DUALYN_DIFF_REPORT")) s.report = report;
    if (const char* keep = std::getenv("DUALYN_DIFF_KEEP")) s.keep = keep;
    return s;
}

// A mismatch with where it was found.
struct Finding {
    std::uint32_t seed;
    std::string file;  // "edit2.mdb (rename field T.A to T.a)"
    Mismatch mismatch;

    // "seed 7, edit2.mdb (...): table "T" field "F": property 12 DefaultValue: expected "", got Null [...]"
    std::string line() const
    {
        return "seed " + std::to_string(seed) + ", " + file + ": " + mismatch.object + ": " + mismatch.what +
               ": expected " + mismatch.expected + ", got " + mismatch.actual + " [" + mismatch.category + "]";
    }
};

struct DiffRun {
    Settings settings;
    Counts counts;
    std::vector<Finding> findings;
};

// The log of the comparison run (the one dualyn-compare and the window make) of db1 with db2,
// written into dir; the message box's details when the databases did not open.
std::string comparisonLog(const testsupport::TempDir& dir, const std::string& db1, const std::string& db2)
{
    dualyn::HeadlessWindow window;
    window.paths[0] = db1;
    window.paths[1] = db2;
    const std::string logFile = dir.file("ComparisonLog.txt");
    dualyn::ComparisonRun run(window, logFile);
    window.run = &run;
    run.cmdCompare_Click();
    if (!window.messageDetails.empty())
        throw std::runtime_error("the comparison did not open the files: " + window.messageDetails[0]);
    return testsupport::readFile(logFile);
}

// One design of a seed: its file, the edit that made it, and what it must read as.
struct Written {
    std::string file;   // "design.mdb", "edit1.mdb", ...
    std::string label;  // the file and its edit, for messages
    std::string path;
    DesignModel expected;
    bool ok = false;  // written and opened
};

// Draws the seed's design and edits, writes, reads and checks each, then checks the comparison
// logs; every mismatch goes to run.findings.
void runSeed(std::uint32_t seed, DiffRun& run)
{
    Random random(seed);
    std::vector<std::pair<DesignSpec, std::string>> designs = {{randomDesign(random), ""}};  // with their edits
    for (int k = 1; k <= run.settings.edits; ++k) {
        // Each edit changes the design or, half the time, the edit before it.
        const DesignSpec& base = k > 1 && random.chance(50) ? designs.back().first : designs.front().first;
        Edit edit = randomEdit(random, base);
        std::string what =
            (k > 1 && &base != &designs.front().first ? "edit" + std::to_string(k - 1) + ".mdb, then " : "") +
            edit.what;
        if (random.chance(30)) {
            Edit second = randomEdit(random, edit.design);
            edit.design = second.design;
            what += ", then " + second.what;
        }
        designs.emplace_back(edit.design, what);
    }
    ++run.counts["seeds"];

    testsupport::TempDir dir;
    std::vector<Written> written;
    auto add = [&](const Written& w, Mismatch m) { run.findings.push_back({seed, w.label, std::move(m)}); };
    for (std::size_t i = 0; i < designs.size(); ++i) {
        Written w;
        w.file = i == 0 ? "design.mdb" : "edit" + std::to_string(i) + ".mdb";
        w.label = w.file + (designs[i].second.empty() ? "" : " (" + designs[i].second + ")");
        w.path = dir.file(w.file);
        const std::string description = describe(designs[i].first);
        if (!run.settings.keep.empty()) {
            std::filesystem::create_directories(run.settings.keep);
            std::ofstream(run.settings.keep + "/seed" + std::to_string(seed) + "-" +
                          w.file.substr(0, w.file.size() - 4) + ".txt")
                << "# seed " << seed << ", " << w.label << "\n"
                << description;
        }
        ++run.counts[i == 0 ? "designs" : "edits"];
        try {
            const mdbgen::Database db = mdbgen::parseDescription(description);
            mdbgen::writeJet4File(db, w.path);
            w.expected = expectedDesign(db);
        } catch (const std::exception& e) {
            add(w, {"generator refused a random design", "description", "writing", "a file", e.what()});
            written.push_back(w);
            continue;
        }
        try {
            auto database = engine::DBEngine::instance().OpenDatabase(w.path);
            std::vector<Mismatch> found = compareDesigns(w.expected, servedDesign(*database), run.counts);
            for (auto& m : found) add(w, std::move(m));
            w.ok = true;
        } catch (const std::exception& e) {
            add(w, {"engine refused a generated file", "database", "opening", "a design", e.what()});
        }
        written.push_back(w);
    }

    // The comparison run: the design against itself, then against each edit both ways.
    const Written& original = written.front();
    if (!original.ok) return;
    try {
        ++run.counts["comparison logs"];
        for (auto& m :
             checkSameFileLog(comparisonLog(dir, original.path, original.path), original.expected, original.file))
            add(original, std::move(m));
        for (std::size_t i = 1; i < written.size(); ++i) {
            const Written& edit = written[i];
            if (!edit.ok) continue;
            run.counts["comparison logs"] += 2;
            const std::string forward = comparisonLog(dir, original.path, edit.path);
            const std::string backward = comparisonLog(dir, edit.path, original.path);
            for (auto& m : checkPairLogs(forward, backward, original.expected, edit.expected, original.file, edit.file,
                                         run.counts))
                add(edit, std::move(m));
        }
    } catch (const std::exception& e) {
        add(original, {"comparison failed", "comparison run", "running", "a log", e.what()});
    }
}

// What the run looked at, and its mismatches by category with the first of each.
std::string figures(const DiffRun& run, double seconds)
{
    const Settings& s = run.settings;
    auto count = [&](const char* kind) {
        auto it = run.counts.find(kind);
        return std::to_string(it == run.counts.end() ? 0 : it->second);
    };
    std::string out = "Differential test: seeds " + std::to_string(s.first) + " to " +
                      std::to_string(s.first + s.count - 1) + " (" + count("seeds") + "), " + count("designs") +
                      " designs and " + count("edits") + " edits written and read, " +
                      std::to_string(static_cast<long>(seconds)) + " s\n";
    out += "  checked: " + count("tables") + " tables, " + count("fields") + " fields, " + count("indexes") +
           " indexes, " + count("relations") + " relations, " + count("queries") + " queries, " + count("properties") +
           " property names, " + count("values") + " values; " + count("comparison logs") + " comparison logs with " +
           count("log differences") + " differences to report\n";
    std::map<std::string, std::pair<long, const Finding*>> byCategory;  // count, first
    std::map<std::string, std::set<std::uint32_t>> seeds;
    for (const Finding& f : run.findings) {
        auto& entry = byCategory[f.mismatch.category];
        if (entry.first++ == 0) entry.second = &f;
        seeds[f.mismatch.category].insert(f.seed);
    }
    out += "  mismatches: " + std::to_string(run.findings.size()) + "\n";
    for (const auto& [category, entry] : byCategory)
        out += "    " + category + ": " + std::to_string(entry.first) + " in " +
               std::to_string(seeds[category].size()) + " seeds; first: " + entry.second->line() + "\n";
    return out;
}

TEST(Differential, EngineAndComparisonAgreeWithRandomDescriptions)
{
    DiffRun run;
    run.settings = settingsFromEnvironment();
    const auto start = std::chrono::steady_clock::now();
    for (std::uint32_t i = 0; i < run.settings.count; ++i) {
        runSeed(run.settings.first + i, run);
        if ((i + 1) % 250 == 0)  // for long runs by hand
            std::cerr << (i + 1) << " seeds, " << run.findings.size() << " mismatches so far\n";
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::cout << figures(run, seconds);
    if (!run.settings.report.empty()) {
        std::ofstream report(run.settings.report);
        for (const Finding& f : run.findings) report << f.line() << "\n";
    }
    std::string shown;
    for (std::size_t i = 0; i < run.findings.size() && i < kMismatchesShown; ++i)
        shown += run.findings[i].line() + "\n";
    if (run.findings.size() > kMismatchesShown)
        shown += "... and " + std::to_string(run.findings.size() - kMismatchesShown) +
                 " more (DUALYN_DIFF_REPORT=FILE lists them all)\n";
    EXPECT_TRUE(run.findings.empty()) << run.findings.size() << " mismatches:\n" << shown;
}

}  // namespace

// The reader program beside the other programs of the build, unless DUALYN_READER names one.
int main(int argc, char** argv)
{
    ::setenv("DUALYN_READER", READER_PROGRAM, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
