// The comparison log: 8-bit text (Windows-1252), each line ended with CR LF, the file opened,
// appended to and closed for every line. Every open refuses a symbolic link at the log's path and
// anything there that is not a regular file of this process's user, so a link put in the log's
// place never sends a line to another file.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace dualyn {

// A log line that could not be written. what() says which file and why: "the comparison log
// /path/ComparisonLog.txt is a symbolic link", "... is not a regular file", "... belongs to
// another user", "... cannot be opened: No such file or directory".
class LogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Appends line and CR LF to the file at logFile, creating the file when it is missing. A line may
// start with CR LF pairs: each shows as an empty line before the text. Characters that
// Windows-1252 cannot hold are written as "?". Throws LogError.
//
//     WriteLog(path, "\r\nTABLE COMPARISONS")  appends  "\r\nTABLE COMPARISONS\r\n"
void WriteLog(const std::string& logFile, const std::string& line);

// Replaces the file at logFile by an empty one: whatever is there (a symbolic link too) is
// removed, and a new file is created. Throws LogError.
void EmptyLog(const std::string& logFile);

// The Windows-1252 bytes of a UTF-8 text; "?" for each character the code page lacks and for
// each byte that is not UTF-8.
std::string toWindows1252(std::string_view utf8);

}  // namespace dualyn
