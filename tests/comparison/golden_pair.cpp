#include "golden_pair.h"

#include "comparison_log.h"
#include "jet4_writer.h"
#include "schema_text.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;
using testsupport::readFile;

namespace goldenpair {

namespace {

// text with every from replaced by to: replaceAll("a/b/c", "/", "{DIR}") == "a{DIR}b{DIR}c".
std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// True when text begins with prefix.
bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

std::vector<std::string> cases()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(GOLDEN_DIR))
        if (entry.is_directory()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::unique_ptr<GoldenRun> runCase(const std::string& name)
{
    const fs::path folder = fs::path(GOLDEN_DIR) / name;
    auto golden = std::make_unique<GoldenRun>();
    dualyn::HeadlessWindow& window = golden->window;
    const testsupport::TempDir& dir = golden->dir;
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
            else if (!word.empty()) throw std::runtime_error("unknown setting in run.txt of " + name + ": " + line);
        }
    }
    for (const std::string side : {"db1", "db2"}) {
        if (std::find(missing.begin(), missing.end(), side) != missing.end()) continue;
        if (side == "db2" && sameFile) continue;
        mdbgen::writeJet4File(mdbgen::parseDescription(readFile((folder / (side + ".txt")).string())),
                              dir.file(side + ".mdb"));
    }
    window.paths[0] = dir.file("db1.mdb");
    window.paths[1] = dir.file(sameFile ? "db1.mdb" : "db2.mdb");
    const std::string logFile = dir.file("ComparisonLog.txt");
    if (oldLog) testsupport::writeFile(logFile, "a log of an earlier run\r\nwith two lines\r\n");
    golden->run = std::make_unique<dualyn::ComparisonRun>(window, logFile);
    window.run = golden->run.get();
    golden->run->cmdCompare_Click();
    golden->log = replaceAll(readFile(logFile), dir.path(), "{DIR}");
    return golden;
}

std::vector<std::string> writtenTexts(const std::string& log)
{
    std::vector<std::string> texts;
    std::string before;  // the "\r\n" of the empty lines since the last text
    for (std::size_t at = 0; at < log.size();) {
        std::size_t end = log.find("\r\n", at);
        if (end == std::string::npos) end = log.size();  // a last line without its line end
        const std::string line = log.substr(at, end - at);
        if (line.empty()) {
            before += "\r\n";
        } else {
            texts.push_back(before + line);
            before.clear();
        }
        at = end + 2;
    }
    return texts;
}

LogFindings findingsOf(const std::string& log)
{
    LogFindings findings;
    std::string table;            // the table whose block the lines are in, as the log shows it
    bool inFieldBlock = false;    // between "FIELDS COMPARISON" and the next heading
    const std::vector<std::string> texts = writtenTexts(log);
    for (std::size_t i = 1; i < texts.size(); ++i) {  // the first is the log's first line
        const std::string& text = texts[i];
        if (text == "\r\nTABLE COMPARISONS" || text == "\r\n\r\nRELATION COMPARISONS" ||
            text == "\r\n\r\nQUERIES COMPARISONS" || text == "\r\n      PRIMARY KEY AND INDEX COMPARISON") {
            inFieldBlock = false;
        } else if (startsWith(text, "\r\n   COMPARISON LOG FOR ")) {
            table = text.substr(std::string("\r\n   COMPARISON LOG FOR ").size());
            inFieldBlock = false;
        } else if (text == "\r\n      FIELDS COMPARISON") {
            inFieldBlock = true;
        } else if (inFieldBlock && text == "         " + table + " OK") {
            ++findings.ok[dualyn::OkKind::Fields];
        } else if (text == "         Primary keys and indexes OK") {
            ++findings.ok[dualyn::OkKind::PrimaryKeysAndIndexes];
        } else if (text == "   Relations OK") {
            ++findings.ok[dualyn::OkKind::Relations];
        } else if (text == "   Queries OK") {
            ++findings.ok[dualyn::OkKind::Queries];
        } else {
            findings.differences.push_back(text);
        }
    }
    return findings;
}

std::vector<std::string> logLinesOf(const std::vector<dualyn::Difference>& twins)
{
    std::vector<std::string> lines;
    for (const dualyn::Difference& twin : twins) lines.push_back(dualyn::toWindows1252(twin.line));
    return lines;
}

std::string schemaProblems(const std::string& json)
{
    static const char kValidate[] = R"(
import json, sys, jsonschema
schema = json.load(open(sys.argv[1], encoding="utf-8"))
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
errors = list(validator.iter_errors(json.load(open(sys.argv[2], encoding="utf-8"))))
for error in errors:
    print("/".join(map(str, error.absolute_path)) + ": " + error.message)
sys.exit(1 if errors else 0)
)";
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("report.json"), json);
    testsupport::CommandResult result =
        testsupport::runCommand(PYTHON_PROGRAM, {"-c", kValidate, SCHEMA_FILE, dir.file("report.json")});
    if (result.exitCode == 0) return "";
    return "validation failed (exit " + std::to_string(result.exitCode) + "): " + result.out + result.err;
}

}  // namespace goldenpair
