// The comparison log: 8-bit text (Windows-1252), each line ended with CR LF, the file opened,
// appended to and closed for every line. Every open refuses a symbolic link at the log's path and
// anything there that is not a regular file of this process's user, so a link put in the log's
// place never sends a line to another file.
#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>

namespace dualyn {

// A log line that could not be written, or a log or lock file that could not be opened, read or
// locked. what() says which file and why: "the comparison log
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

// Appends line to bytes as the file holds it: Windows-1252, ended by CR LF.
//     AppendLogLine(bytes, "Größe")  appends  "Gr\xF6\xDF" "e\r\n"
void AppendLogLine(std::string& bytes, std::string_view line);

// Appends bytes, lines already as the file holds them (AppendLogLine), in one opening of the
// file. Throws LogError; then the lines before the one the error came at are whole in the file.
void AppendToLog(const std::string& logFile, std::string_view bytes);

// Replaces the file at logFile by an empty one: whatever is there (a symbolic link too) is
// removed, and a new file is created. Throws LogError.
void EmptyLog(const std::string& logFile);

// A descriptor of the log at logFile open for reading, opened under the same checks as a line is
// written; the caller closes it. Throws LogError.
int OpenLogForReading(const std::string& logFile);

// Copies the bytes of the log at logFile to out, read under the same checks as a line is
// written. Throws LogError when the log cannot be read; a failure of out shows in its state.
void CopyLog(const std::string& logFile, std::ostream& out);
// The same from the log at logFile open at fd (OpenLogForReading), from where it is read on.
void CopyLog(int fd, const std::string& logFile, std::ostream& out);

// The advisory lock that keeps two runs of one installation off one log: an exclusive flock on
// the file beside the log named like it with ".lock" added, opened (and created when missing)
// without following a symbolic link, and never deleted. Runs in other processes and other
// LogLock objects of this process count alike. The lock, once taken, is held until the object
// goes, whichever way its scope is left.
//
//     LogLock lock("/path/ComparisonLog.txt");  // opens /path/ComparisonLog.txt.lock
//     while (!lock.TryTake()) wait();            // another run is writing the log
class LogLock {
public:
    // Opens the lock file of logFile for reading and writing, as a lock on a network file system
    // needs, though nothing is ever written to it; it may belong to another user who shares the
    // log's folder. Throws LogError when it cannot be opened or created, or when it is a symbolic
    // link or anything else than a regular file.
    explicit LogLock(const std::string& logFile);
    ~LogLock();  // releases the lock when held
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;

    // Takes the lock without waiting: true when this object holds it (also when it held it
    // already), false when someone else holds it. Throws LogError.
    bool TryTake();

private:
    const std::string lockFile_;
    int fd_;  // the open lock file
};

// The Windows-1252 bytes of a UTF-8 text; "?" for each character the code page lacks and for
// each byte that is not UTF-8.
std::string toWindows1252(std::string_view utf8);
// The same appended to out.
void appendWindows1252(std::string& out, std::string_view utf8);

}  // namespace dualyn
