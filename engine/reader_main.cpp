// dualyn-reader: reads the design of one database for the window process, alone in its process.
//
//     dualyn-reader FILE          the design, serialized, on standard output
//     dualyn-reader --text FILE   the design as text, for a person to read
//     --password-on-stdin         first read the database's password from standard input, to its end
//     --answer-in-file            standard output is a file open for reading and writing (the
//                                 window process's memory file): the design goes into it as it
//                                 is made, and ends it; "design at N" on standard error tells
//                                 the offset it starts at, and standard output and error are
//                                 closed then, before the reader ends
//
// Exit status 0; 2 when the file cannot be opened, with the reason alone on standard error (4 when
// it needs a password and none was given, 5 when the one given is wrong); 3 when reading needs
// more memory than the reader may use; 1 on anything else. The file's size and header
// page are checked before the rest of it is read; then only the pages the design needs are read,
// through the descriptor opened first. Once libmdb has opened the file, the reader gives up all
// other access to the file system.
//
// For tests only, DUALYN_READER_TEST makes the reader misbehave after loading the file: "crash",
// "hang", "garbage" (bytes that are no design), "cut" (half a design), "flood" (bytes without
// end), or "escape" (try to open another file after giving up the file system, and say whether
// that worked); "password" refuses the file saying which password arrived; "password-is:SECRET"
// takes the file as protected by the password SECRET; "done-then-crash" and "done-then-hang"
// crash or hang once the design is out and standard error closed.
#include "cleared_secret.h"
#include "database_file.h"
#include "design_codec.h"
#include "design_reader.h"
#include "sanitizers.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <linux/landlock.h>
#include <new>
#include <string>
#include <string_view>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// No new files from here on: Landlock refuses every access to the file system where the kernel
// has it; elsewhere hardly more file descriptors than those open now.
void confine()
{
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    landlock_ruleset_attr attr{};
    attr.handled_access_fs = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_READ_FILE |
                             LANDLOCK_ACCESS_FS_READ_DIR | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                             LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
                             LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                             LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
                             LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
    long ruleset = ::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0);
#if defined(DUALYN_ADDRESS_SANITIZER)
    // The leak checker reads /proc when the process ends; a sanitizer build lets it.
    if (ruleset >= 0) {
        landlock_path_beneath_attr proc{};
        proc.allowed_access = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
        proc.parent_fd = ::open("/proc", O_PATH | O_CLOEXEC);
        ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &proc, 0);
        ::close(proc.parent_fd);
    }
#endif
    if (ruleset >= 0 && ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0) {
        ::close(static_cast<int>(ruleset));
        return;
    }
    if (ruleset >= 0) ::close(static_cast<int>(ruleset));
    // Standard input, output and error, the database file, /dev/null, and the two copies that
    // keeping libmdb quiet makes for the time it prints: no room to open anything else for long.
    struct rlimit fewFiles {7, 7};
    ::setrlimit(RLIMIT_NOFILE, &fewFiles);
}

// The password on standard input, up to its end (at most 1024 bytes; more is not a password).
std::string readPassword()
{
    std::string password;
    char buffer[1025];
    // Room for all that is read, so that no copy of the password is left behind by growing it.
    password.reserve(2 * sizeof buffer);
    for (;;) {
        ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        password.append(buffer, static_cast<std::size_t>(n));
        if (password.size() > 1024) throw engine::OpenError("", "the password sent to the reader is too long");
    }
    ::explicit_bzero(buffer, sizeof buffer);
    return password;
}

// Writes bytes to standard output, a file, at offset at; whether all were written.
bool writeAllAt(std::string_view bytes, std::size_t at)
{
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::pwrite(1, bytes.data() + done, bytes.size() - done, static_cast<off_t>(at + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Room kept in the answer file before the body for what goes before it (the signature, the
// format and the pool of property names, some hundred bytes in real designs).
constexpr std::size_t kHeadRoom = std::size_t{64} << 10;

// Puts head before the body already written at kHeadRoom (bodyBytes long), so that the two are
// one design in the file, and says where it starts: "design at 65000". A head too long for its
// room goes after the body, which is copied after it. Whether all was written.
bool placeHead(const std::string& head, std::size_t bodyBytes)
{
    std::size_t start = kHeadRoom - std::min(head.size(), kHeadRoom);
    if (head.size() <= kHeadRoom) {
        if (!writeAllAt(head, start)) return false;
    } else {
        start = kHeadRoom + bodyBytes;
        if (!writeAllAt(head, start)) return false;
        std::string piece(std::size_t{1} << 20, '\0');
        for (std::size_t done = 0; done < bodyBytes;) {
            ssize_t n = ::pread(1, piece.data(), std::min(piece.size(), bodyBytes - done), static_cast<off_t>(kHeadRoom + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                std::cerr << "the design's body cannot be read back from standard output: "
                          << (n < 0 ? std::strerror(errno) : "it is shorter than written") << "\n";
                return false;
            }
            if (!writeAllAt(std::string_view(piece.data(), static_cast<std::size_t>(n)), start + head.size() + done)) return false;
            done += static_cast<std::size_t>(n);
        }
    }
    std::cerr << "design at " << start << "\n";
    return true;
}

constexpr const char* kUsage = "usage: dualyn-reader [--text] [--password-on-stdin] [--answer-in-file] FILE\n";

bool writeAll(std::string_view bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(1, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[])
{
    bool text = false;
    bool passwordOnStdin = false;  // the window process sends a password (or nothing) first
    bool answerInFile = false;     // standard output is a file the design is put into as it is made
    std::string path;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--text")
            text = true;
        else if (arg == "--password-on-stdin")
            passwordOnStdin = true;
        else if (arg == "--answer-in-file")
            answerInFile = true;
        else if (arg == "--" && i + 1 < argc)
            path = argv[++i];
        else if (!arg.empty() && arg[0] != '-')
            path = arg;
        else {
            std::cerr << kUsage;
            return 1;
        }
    }
    if (path.empty()) {
        std::cerr << kUsage;
        return 1;
    }
    const char* test = std::getenv("DUALYN_READER_TEST");
    std::string misbehave = test ? test : "";
    try {
        // Read before anything else, and cleared once the file is open, however opening ends.
        std::string password = passwordOnStdin ? readPassword() : std::string();
        engine::ClearedSecret clearing(password);
        if (misbehave == "password") throw engine::OpenError(path, "the reader was given the password \"" + password + "\"");
        if (misbehave.rfind("password-is:", 0) == 0) {  // the file counts as protected by this password
            if (password.empty()) throw engine::OpenError(path, "no password given", engine::OpenProblem::PasswordNeeded);
            if (password != misbehave.substr(12)) throw engine::OpenError(path, "wrong password", engine::OpenProblem::WrongPassword);
        }
        engine::DatabaseFile file = engine::loadDatabaseFile(path, password);
        ::explicit_bzero(password.data(), password.size());
        // The serialized form is made table by table as the design is read, and written out in
        // the pieces it was made in; the text is made from the whole design.
        std::string answer;
        engine::DesignEncoder encoder;
        // Into the answer file, the body goes as it is made, after room for the head; the tests'
        // misbehaviours need the whole design at hand.
        // ("done-then-" misbehaviours misbehave once the design is out.)
        const bool doneThen = misbehave.rfind("done-then-", 0) == 0;
        const bool spilling = answerInFile && !text && (misbehave.empty() || doneThen);
        if (spilling)
            encoder.spillTo([](std::string_view piece, std::size_t at) { return writeAllAt(piece, kHeadRoom + at); });
        if (text)
            answer = engine::designText(engine::readDesign(file, confine));
        else
            engine::readDesign(file, encoder, confine);
        if (misbehave == "crash") std::raise(SIGSEGV);
        if (misbehave == "hang")
            for (;;) ::pause();
        if (misbehave == "escape") {
            bool opened = ::open("/etc/hostname", O_RDONLY) >= 0 ||
                          ::open("/tmp/dualyn-reader-escape", O_WRONLY | O_CREAT, 0600) >= 0;
            std::cerr << (opened ? "another file could be opened" : "no other file can be opened") << "\n";
            return 2;
        }
        if (misbehave == "garbage") return writeAll("this is no design") ? 0 : 1;
        if (misbehave == "flood")
            for (const std::string block(std::size_t{1} << 20, 'x');;)
                if (!writeAll(block)) return 1;
        if (misbehave == "cut") {
            const std::string whole = text ? answer : encoder.bytes();
            return writeAll(std::string_view(whole).substr(0, whole.size() / 2)) ? 0 : 1;
        }
        if (spilling) {
            std::size_t bodyBytes = 0;
            const std::string head = encoder.finishSpill(bodyBytes);
            if (!placeHead(head, bodyBytes)) return 1;
            // Done: the window process, which takes the closed standard error after "design at N"
            // for it, decodes the design while this process ends.
            ::close(1);
            ::close(2);
            if (misbehave == "done-then-crash") std::raise(SIGSEGV);
            if (misbehave == "done-then-hang")
                for (;;) ::pause();
            return 0;
        }
        return (text ? writeAll(answer) : encoder.write(writeAll)) ? 0 : 1;
    } catch (const engine::OpenError& e) {
        std::cerr << e.reason() << "\n";
        // The exit status says what the window can do about it (reader_process.cpp).
        if (e.problem() == engine::OpenProblem::PasswordNeeded) return 4;
        if (e.problem() == engine::OpenProblem::WrongPassword) return 5;
        return 2;
    } catch (const std::bad_alloc&) {
        return 3;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
