// Running a program of the machine (the mdbtools commands, the project's own tools) and
// capturing what it prints, for tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct CommandResult {
    int exitCode = -1;   // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs program with args (no shell involved), feeding input on standard input. The mdbtools
// variables that change what libmdb does are removed from its environment, then the variables
// of environment are set.
using Environment = std::vector<std::pair<std::string, std::string>>;
CommandResult runCommand(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = {}, const Environment& environment = {});

// A folder under $TMPDIR (or /tmp) removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);

// The rows of a CSV text as mdb-export writes it (quotes doubled inside quoted fields).
std::vector<std::vector<std::string>> parseCsv(const std::string& text);

}  // namespace testsupport
