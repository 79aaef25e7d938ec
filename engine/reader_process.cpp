#include "reader_process.h"

#include "database_file.h"
#include "encoded_design.h"
#include "format_error.h"
#include "printable_path.h"
#include "sanitizers.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string_view>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace engine {

namespace {

constexpr std::size_t kMiB = 1u << 20;
constexpr std::size_t kMostReasonBytes = 4096;  // of what the reader says on standard error
constexpr std::size_t kMostPasswordBytes = 1024;  // far more than any Access password, far less than a pipe holds

// The reason the reader gave: its first line, without the line end.
std::string firstLine(const std::string& text)
{
    std::string line = text.substr(0, text.find('\n'));
    return line.empty() ? std::string("no reason given") : line;
}

// Whether signal is one a process gets from a fault of its own code (a bad address, an abort),
// which in the reader means that what it read made it fail.
bool isFault(int signal)
{
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE || signal == SIGABRT ||
           signal == SIGTRAP || signal == SIGSYS;
}

// The name of a signal: "SIGTERM", "SIGRTMIN+2".
std::string signalName(int signal)
{
    if (const char* name = ::sigabbrev_np(signal)) return std::string("SIG") + name;
    if (signal >= SIGRTMIN && signal <= SIGRTMAX) return "SIGRTMIN+" + std::to_string(signal - SIGRTMIN);
    return "an unknown signal";
}

// Room the reader keeps before the design's body for what goes before it (reader_main.cpp).
constexpr std::size_t kMostHeadRoom = std::size_t{64} << 10;

// Ends process pid (killed first when kill is set) and waits for it: its exit status.
int endProcess(pid_t pid, bool kill)
{
    if (kill) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// The line that says where the reader's design starts ("design at N"), the last it writes: where
// the last such line starts in what the reader said, or std::string::npos.
constexpr std::string_view kDesignAt = "design at ";
std::size_t designAtLine(const std::string& said)
{
    const std::size_t line = said.rfind(kDesignAt);
    return line != std::string::npos && (line == 0 || said[line - 1] == '\n') ? line : std::string::npos;
}

// Closes both ends of a pipe that is no longer needed.
void closePipe(int fds[2])
{
    for (int i = 0; i < 2; ++i)
        if (fds[i] >= 0) ::close(fds[i]);
}

}  // namespace

ReaderLimits ReaderLimits::forFileSize(std::size_t fileBytes)
{
    // A larger file is refused before it is read.
    fileBytes = static_cast<std::size_t>(std::min<std::uint64_t>(fileBytes, kLargestDatabaseFile));
    // What reading a file needs, measured (/usr/bin/time -v, and the least `ulimit -v` that lets it
    // through) on the largest generated files, which hold nothing but design: 16,000 tables of 50
    // fields (129 MiB, a 53 MiB answer) took 3.5 s and 298 MiB of address space on a busy two-core
    // machine; 1,000 tables of 255 fields (29 MiB, a 16 MiB answer) 0.8 s and 119 MiB. That is
    // 40 MiB for the reader itself (its libraries, ICU's data among them), the file's bytes once,
    // and about three times the answer (the answer while it grows, and its final copy).
    ReaderLimits limits;
    // 30 seconds, and 1 more for every 10 MiB: the reading goes at some 40 MiB a second, and a
    // file on a slow disk or network share (10 MiB a second) is read within that time too.
    limits.seconds = 30.0 + static_cast<double>(fileBytes) / (10.0 * kMiB);
    // The file's bytes once, and 1 GiB for the reader, libmdb's pages and the design: room for a
    // design of 300 MiB, six times that of the 16,000 tables; real designs take a few MiB.
    limits.memoryBytes = fileBytes + 1024 * kMiB;
    // A design is smaller than its file (0.4 to 0.6 of the generated files): the answer is held to
    // the file's size, with 16 MiB for small files, since decoding it here may take 75 times what
    // it decodes.
    limits.answerBytes = 16 * kMiB + fileBytes;
    // Tests that make the reader hang set a shorter time.
    if (const char* seconds = std::getenv("DUALYN_READER_SECONDS"); seconds && std::atof(seconds) > 0)
        limits.seconds = std::atof(seconds);
    return limits;
}

std::string readerProgram()
{
    if (const char* set = std::getenv("DUALYN_READER"); set && *set) return set;
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (self.parent_path() / "dualyn-reader").string();
}

StartedReader startReader(const std::string& givenPath, const std::string& password)
{
    if (givenPath.empty()) throw OpenError(givenPath, "no file name was given");
    const std::string path = absolutePathOf(givenPath);
    struct stat st {};
    // The file's size, as far as the reader will read it: a larger file is refused at once.
    const auto size = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)
                          ? static_cast<std::size_t>(std::min<std::uint64_t>(st.st_size, kLargestDatabaseFile))
                          : std::size_t{0};
    const ReaderLimits limits = ReaderLimits::forFileSize(size);
    const std::string program = readerProgram();
    auto cannotStart = [&path](int error) {
        return OpenError(path, std::string("the reader cannot be started: ") + std::strerror(error));
    };

    if (password.size() > kMostPasswordBytes)
        throw OpenError(path, "the password is longer than " + std::to_string(kMostPasswordBytes) + " bytes");
    // The reader puts the design into a file in memory, which this process then maps: the design
    // is neither copied through a pipe nor held twice. The file may take the answer twice (a head
    // too long for its room has the body copied after it).
    Descriptor answer(::memfd_create("dualyn-design", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (answer.fd < 0) throw cannotStart(errno);
    const pid_t self = ::getpid();  // the reader's parent, checked by the reader

    int in[2] = {-1, -1}, err[2] = {-1, -1};
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        const int error = errno;
        closePipe(in);
        throw cannotStart(error);
    }
    // The password goes into its pipe before the reader starts: it fits in the pipe's buffer
    // (kMostPasswordBytes), and a reader that ends early cannot make the write fail.
    for (std::size_t done = 0; done < password.size();) {
        ssize_t n = ::write(in[1], password.data() + done, password.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = errno;
            closePipe(in);
            closePipe(err);
            throw cannotStart(error);
        }
        done += static_cast<std::size_t>(n);
    }
    // The reader's environment: this one, with the C library's allocator asked to back large
    // blocks with huge pages where the system offers them on request, which spares the reader a
    // page fault for every 4 KiB of the design it builds. Made before the fork.
    std::vector<std::string> environment;
    bool tunablesSet = false;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("GLIBC_TUNABLES=", 0) == 0) {
            tunablesSet = true;
            if (entry.find("glibc.malloc.hugetlb=") == std::string::npos)
                entry += (entry.size() > 15 ? ":" : "") + std::string("glibc.malloc.hugetlb=1");
        }
        environment.push_back(std::move(entry));
    }
    if (!tunablesSet) environment.push_back("GLIBC_TUNABLES=glibc.malloc.hugetlb=1");
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    const rlim_t mostAnswerFile = 2 * (limits.answerBytes + kMostHeadRoom);

    pid_t pid = ::vfork();
    if (pid < 0) {
        const int error = errno;
        closePipe(in);
        closePipe(err);
        throw cannotStart(error);
    }
    if (pid == 0) {
        // The reader ends with this process, also when it is killed: the kernel kills the reader
        // when the thread that started it ends, and every thread that starts a reader waits for
        // it to end (below). A parent that ended before this line is no longer the parent.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != self) _exit(1);
        ::dup2(in[0], 0);  // the password, then the end
        ::dup2(answer.fd, 1);
        ::dup2(err[1], 2);
#if !defined(DUALYN_ADDRESS_SANITIZER)  // AddressSanitizer reserves far more address space than it uses
        struct rlimit memory {limits.memoryBytes, limits.memoryBytes};
        ::setrlimit(RLIMIT_AS, &memory);
#endif
        auto cpu = static_cast<rlim_t>(limits.seconds) + 1;
        struct rlimit time {cpu, cpu + 1};
        ::setrlimit(RLIMIT_CPU, &time);
        // A reader that writes on and on is stopped (SIGXFSZ) once its answer is far too long.
        struct rlimit answerFile {mostAnswerFile, mostAnswerFile};
        ::setrlimit(RLIMIT_FSIZE, &answerFile);
        const char* argv[] = {program.c_str(), "--password-on-stdin", "--answer-in-file", "--", path.c_str(), nullptr};
        ::execve(program.c_str(), const_cast<char* const*>(argv), envp.data());
        _exit(127);
    }
    // The reader has its own copy of the password's pipe, which ends with the password.
    ::close(in[0]);
    ::close(in[1]);
    ::close(err[1]);
    StartedReader reader;
    reader.path_ = path;
    reader.program_ = program;
    reader.limits_ = limits;
    reader.pid_ = pid;
    reader.answer_ = std::move(answer);
    reader.errors_ = Descriptor(err[0]);
    // The reader's end is watched through a descriptor of its own where the system has them,
    // and otherwise by polling for it.
    reader.ended_ = Descriptor(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    return reader;
}

StartedReader::StartedReader(StartedReader&& other) noexcept
    : path_(std::move(other.path_)), program_(std::move(other.program_)), limits_(other.limits_),
      pid_(std::exchange(other.pid_, -1)), answer_(std::move(other.answer_)), errors_(std::move(other.errors_)),
      ended_(std::move(other.ended_))
{
}

StartedReader::~StartedReader()
{
    if (pid_ <= 0) return;
    // Never read: it goes with this.
    endProcess(pid_, true);
}

std::unique_ptr<const EncodedDesign> readAnswer(StartedReader& reader, const std::atomic<bool>* stop)
{
    const std::string& path = reader.path_;
    const std::string& program = reader.program_;
    const ReaderLimits& limits = reader.limits_;
    const pid_t pid = std::exchange(reader.pid_, -1);  // waited for here, however it ends
    const Descriptor& answer = reader.answer_;
    const Descriptor& errors = reader.errors_;
    const Descriptor& ended = reader.ended_;
    std::string reason;
    reason.reserve(kMostReasonBytes);
    std::vector<char> buffer(1 << 16);  // one read from the reader's standard error
    // Keeps the n bytes of buffer just read from the reader's standard error, as far as there is room.
    auto keep = [&](ssize_t n) {
        reason.append(buffer.data(),
                      std::min(static_cast<std::size_t>(n), kMostReasonBytes - std::min(kMostReasonBytes, reason.size())));
    };

    // The reader is waited for however this ends; killed first when it has not ended by then.
    struct Reaping {
        pid_t pid;
        bool waited = false;  // it has ended and its exit status is in status
        int status = 0;
        // Ends it (killed first when kill is set) and waits for it.
        void end(bool kill)
        {
            status = endProcess(pid, kill);
            waited = true;
        }
        ~Reaping()
        {
            if (!waited) end(true);
        }
    } reaping{pid};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(limits.seconds);
    bool timedOut = false, stopped = false;
    bool errOpen = true;
    // Whether the reader said where its design starts and then closed its standard error, as it
    // does once the design is written: it is decoded while the reader ends.
    bool answered = false;
    // Waits for the reader to end, or to be done with its design when done is set, or for the
    // deadline or a stop.
    auto waitForReader = [&](bool done) {
        for (;;) {
            // Without a descriptor for its end, the reader is asked whether it has ended.
            if (ended.fd < 0 && ::waitpid(pid, &reaping.status, WNOHANG) == pid) {
                reaping.waited = true;
                return;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                timedOut = true;
                return;
            }
            pollfd fds[2] = {{errOpen ? errors.fd : -1, POLLIN, 0}, {ended.fd, POLLIN, 0}};
            // Whoever may stop the read is answered within a twentieth of a second.
            const long long wait = stop || ended.fd < 0 ? 50 : 1000;
            int ready = ::poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), wait)));
            if (stop && stop->load()) {
                stopped = true;
                return;
            }
            if (ready < 0 && errno != EINTR) return;
            if (errOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
                ssize_t n = ::read(errors.fd, buffer.data(), buffer.size());
                if (n <= 0) {
                    errOpen = false;
                    const std::size_t line = designAtLine(reason);
                    if (done && line != std::string::npos && reason.find('\n', line) == reason.size() - 1) {
                        answered = true;
                        return;
                    }
                } else {
                    keep(n);
                }
                continue;  // what it said first, then whether it ended
            }
            if (ended.fd >= 0 && (fds[1].revents & POLLIN)) {
                reaping.end(false);
                // What it said last, still in the pipe unless another process holds it open.
                ::fcntl(errors.fd, F_SETFL, O_NONBLOCK);
                for (ssize_t n; errOpen && (n = ::read(errors.fd, buffer.data(), buffer.size())) > 0;) keep(n);
                return;
            }
        }
    };
    waitForReader(true);
    if (!reaping.waited && !answered) reaping.end(timedOut || stopped);

    auto fail = [&path](const std::string& why) -> std::unique_ptr<const EncodedDesign> { throw OpenError(path, why); };
    const std::string tooLong = "damaged: reading it gave more than " + std::to_string(limits.answerBytes / kMiB) + " MiB";
    const std::string tooSlow =
        "damaged: reading it took longer than " + std::to_string(static_cast<long>(limits.seconds)) + " seconds";
    // Throws what the reader's end says went wrong, if anything.
    auto checkEnd = [&] {
        const int status = reaping.status;
        if (stopped) fail("reading it was stopped");
        if (timedOut) fail(tooSlow);
        if (WIFSIGNALED(status)) {
            int signal = WTERMSIG(status);
            if (signal == SIGXCPU) fail(tooSlow);
            if (signal == SIGXFSZ) fail(tooLong);
            if (isFault(signal))
                fail("damaged: reading it failed (the reader stopped with signal " + std::to_string(signal) + ", " +
                     strsignal(signal) + ")");
            // Stopped from outside: this process kills a reader only where it says so above.
            if (signal == SIGKILL) fail("the reader was stopped by signal 9 — out of memory?");
            fail("the reader was stopped by signal " + std::to_string(signal) + " (" + signalName(signal) + ")");
        }
        int code = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
        if (code == 2) fail(firstLine(reason));
        if (code == 4) throw OpenError(path, firstLine(reason), OpenProblem::PasswordNeeded);
        if (code == 5) throw OpenError(path, firstLine(reason), OpenProblem::WrongPassword);
        if (code == 3) fail("damaged: reading it needs more than " + std::to_string(limits.memoryBytes / kMiB) + " MiB of memory");
        if (code == 127) fail("the reader program " + printablePath(program) + " cannot be started");
        if (code != 0) fail("damaged: reading it failed: " + firstLine(reason));
    };
    if (!answered) checkEnd();
    // For a reader done with its design: waits for it to end (killed at the deadline), and throws
    // what its end says went wrong, if anything.
    auto awaitEnd = [&] {
        waitForReader(false);
        if (!reaping.waited) reaping.end(true);
        checkEnd();
    };

    // The answer is the file from where the reader says it starts ("design at N"; 0 when it says
    // nothing) to its end. Sealed first, so that nothing can change it any more, nor cut it short
    // under the mapping, the reader neither while it ends.
    if (::fcntl(answer.fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
        return fail("damaged: the reader's answer could still be changed (" + std::string(std::strerror(errno)) + ")");
    struct stat answerFile {};
    if (::fstat(answer.fd, &answerFile) != 0) return fail("the reader's answer cannot be read: " + std::string(std::strerror(errno)));
    const auto fileBytes = static_cast<std::size_t>(answerFile.st_size);
    std::size_t start = 0;
    if (std::size_t line = designAtLine(reason); line != std::string::npos)
        start = static_cast<std::size_t>(std::strtoull(reason.c_str() + line + kDesignAt.size(), nullptr, 10));
    start = std::min(start, fileBytes);
    if (fileBytes - start > limits.answerBytes) return fail(tooLong);
    std::unique_ptr<const EncodedDesign> design;
    try {
        if (fileBytes == start) {
            design = EncodedDesign::decode(std::string());
        } else {
            // Mapped whole at once: the decoder reads every page, and a fault for each would cost more.
            void* mapped = ::mmap(nullptr, fileBytes, PROT_READ, MAP_SHARED | MAP_POPULATE, answer.fd, 0);
            if (mapped == MAP_FAILED) throw std::bad_alloc();
            design = EncodedDesign::decodeMapped(mapped, fileBytes, start);
        }
    } catch (const FormatError& e) {
        // A reader that ended badly says why, rather than what it left.
        if (answered) awaitEnd();
        return fail(std::string("damaged: the reader's answer is malformed: ") + e.what());
    }
    if (answered) awaitEnd();
    return design;
}

std::unique_ptr<const EncodedDesign> readDesignInReader(const std::string& path, const std::atomic<bool>* stop,
                                                        const std::string& password)
{
    StartedReader reader = startReader(path, password);
    return readAnswer(reader, stop);
}

}  // namespace engine
