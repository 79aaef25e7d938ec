#include "comparison_log.h"

#include "text_codec.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dualyn {

namespace {

// The byte Windows-1252 gives a code point, or 0 when it has none.
unsigned char windows1252(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
    static constexpr char16_t high[32] = {
        0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
        0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
    for (int i = 0; i < 32; ++i)
        if (high[i] && high[i] == cp) return static_cast<unsigned char>(0x80 + i);
    return 0;
}

[[noreturn]] void fail(const std::string& what, const std::string& logFile, int error)
{
    throw LogError("the comparison log " + logFile + " cannot be " + what + ": " + std::strerror(error));
}

// Opens path with flags, adding O_NOFOLLOW (a symbolic link at path is refused, never followed),
// O_CLOEXEC, O_NOCTTY and O_NONBLOCK (a FIFO put at path cannot hold the open up; on a regular
// file the flag changes nothing), with mode 0644 for a file it creates. Then checks the file it
// opened: a regular file and, when mineOnly, one that belongs to this process's effective user.
// Returns the descriptor. Otherwise throws LogError naming the file as named says ("the
// comparison log /p/ComparisonLog.txt"): "... is a symbolic link", "... is not a regular
// file", "... belongs to another user", or for any other failure "... cannot be <doing>: <why>".
int openRegularFile(const std::string& named, const std::string& path, int flags, bool mineOnly, const char* doing)
{
    int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        const int error = errno;
        struct stat there {};  // what is at path, as the reason the open failed may lie in it
        if (::lstat(path.c_str(), &there) == 0) {
            if (S_ISLNK(there.st_mode)) throw LogError(named + " is a symbolic link");
            if (!S_ISREG(there.st_mode)) throw LogError(named + " is not a regular file");
        }
        throw LogError(named + " cannot be " + doing + ": " + std::strerror(error));
    }
    struct stat opened {};  // the file the descriptor holds: what is written is what is checked
    std::string wrong;      // what is wrong with it, empty when nothing is
    if (::fstat(fd, &opened) != 0) {
        const int error = errno;
        wrong = std::string("cannot be ") + doing + ": " + std::strerror(error);
    } else if (!S_ISREG(opened.st_mode)) {
        wrong = "is not a regular file";
    } else if (mineOnly && opened.st_uid != ::geteuid()) {
        wrong = "belongs to another user";
    }
    if (!wrong.empty()) {
        ::close(fd);
        throw LogError(named + " " + wrong);
    }
    return fd;
}

// The log as its errors name it.
std::string logNamed(const std::string& logFile) { return "the comparison log " + logFile; }

// Writes all of data to fd; false with errno set when it cannot.
bool writeAll(int fd, std::string_view data)
{
    for (std::size_t done = 0; done < data.size();) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string toWindows1252(std::string_view s)
{
    std::string out;
    appendWindows1252(out, s);
    return out;
}

void appendWindows1252(std::string& out, std::string_view s)
{
    if (engine::isAscii(s)) {  // as nearly every line is: it stays as it is
        out += s;
        return;
    }
    out.reserve(out.size() + s.size());
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        std::size_t extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 4;
        char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        bool valid = extra < 4;  // checked byte by byte below
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                valid = false;
            else
                cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        if (!valid) {
            out += '?';
            ++i;
            continue;
        }
        unsigned char c = windows1252(cp);
        out += c ? static_cast<char>(c) : '?';
        i += extra + 1;
    }
}

void EmptyLog(const std::string& logFile)
{
    // Removing a symbolic link removes the link alone; the file it points to stays as it is.
    if (::unlink(logFile.c_str()) != 0 && errno != ENOENT) fail("replaced", logFile, errno);
    int fd = openRegularFile(logNamed(logFile), logFile, O_WRONLY | O_CREAT, true, "created");
    // Cut to length 0 only once checked: a file put there since the unlink is not cut unseen.
    if (::ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        fail("emptied", logFile, error);
    }
    if (::close(fd) != 0) fail("created", logFile, errno);
}

int OpenLogForReading(const std::string& logFile)
{
    return openRegularFile(logNamed(logFile), logFile, O_RDONLY, true, "opened");
}

void CopyLog(int fd, const std::string& logFile, std::ostream& out)
{
    char buffer[65536];  // one read's bytes
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("read", logFile, errno);
        if (n == 0) break;
        out.write(buffer, n);
    }
}

void CopyLog(const std::string& logFile, std::ostream& out)
{
    int fd = OpenLogForReading(logFile);
    try {
        CopyLog(fd, logFile, out);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
}

void AppendLogLine(std::string& bytes, std::string_view line)
{
    appendWindows1252(bytes, line);
    bytes += "\r\n";
}

void WriteLog(const std::string& logFile, const std::string& line)
{
    std::string bytes;  // the line as the file holds it
    AppendLogLine(bytes, line);
    AppendToLog(logFile, bytes);
}

void AppendToLog(const std::string& logFile, std::string_view bytes)
{
    // Opened, appended to and closed for these lines: no handle stays open between two writes.
    // Each open is checked afresh, so a link put in the log's place since the last lines is
    // refused too.
    int fd = openRegularFile(logNamed(logFile), logFile, O_WRONLY | O_APPEND | O_CREAT, true, "opened");
    bool written = writeAll(fd, bytes);
    int error = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) fail("written", logFile, error);
}

LogLock::LogLock(const std::string& logFile)
    : lockFile_(logFile + ".lock"),
      // Read and write: a lock on a network file system needs a file open for writing.
      fd_(openRegularFile("the comparison log's lock file " + lockFile_, lockFile_, O_RDWR | O_CREAT, false, "opened"))
{
}

LogLock::~LogLock()
{
    // The descriptor is the only one of its open file (O_CLOEXEC keeps it out of started
    // programs), so closing it releases the lock.
    ::close(fd_);
}

bool LogLock::TryTake()
{
    for (;;) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno == EWOULDBLOCK) return false;
        if (errno != EINTR)
            throw LogError("the comparison log's lock file " + lockFile_ + " cannot be locked: " + std::strerror(errno));
    }
}

}  // namespace dualyn
