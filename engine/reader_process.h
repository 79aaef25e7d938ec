// Reading a design in a separate reader process (dualyn-reader), so that whatever a damaged or
// hostile file does to the code that reads it — a crash, a loop, memory without end — happens
// there and reaches the window process only as a reason why the file cannot be opened.
#pragma once

#include "descriptor.h"
#include "encoded_design.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>

namespace engine {

// Limits of one reader run: what reading a file of a given size needs, its bytes once and a fixed
// budget for the rest.
struct ReaderLimits {
    double seconds = 0;         // wall-clock time before the reader is stopped
    std::size_t memoryBytes = 0;  // address space the reader may use
    std::size_t answerBytes = 0;  // the most the reader may send back

    // The limits for a file of fileBytes (those of a 2 GiB file for a larger one, which the reader
    // refuses before reading it).
    static ReaderLimits forFileSize(std::size_t fileBytes);
};

// A reader process started on a file (startReader) whose answer readAnswer waits for. One never
// read is killed and waited for when it goes. Move-only.
class StartedReader {
public:
    StartedReader(StartedReader&& other) noexcept;
    StartedReader& operator=(StartedReader&&) = delete;
    ~StartedReader();

private:
    StartedReader() = default;
    friend StartedReader startReader(const std::string& path, const std::string& password);
    friend std::unique_ptr<const EncodedDesign> readAnswer(StartedReader& reader, const std::atomic<bool>* stop);
    std::string path_, program_;  // the file (absolute), and the reader
    ReaderLimits limits_;
    pid_t pid_ = -1;              // the reader, until it is waited for
    Descriptor answer_;           // the memory file it puts the design into
    Descriptor errors_;           // its standard error
    Descriptor ended_;            // readable once it has ended, where the system has such descriptors
};

// Starts a reader process on the database at path (readDesignInReader), without waiting for it.
// The reader ends when the thread that called this ends. Throws OpenError when the reader cannot
// be started.
StartedReader startReader(const std::string& path, const std::string& password = {});

// Waits for the reader's answer and decodes it, as readDesignInReader. Called once.
std::unique_ptr<const EncodedDesign> readAnswer(StartedReader& reader, const std::atomic<bool>* stop = nullptr);

// Reads the design of the database at path in a reader process and decodes what it sends back,
// trusting it no more than the file. Throws OpenError (database_file.h) with the reason: the
// reader's own (missing file, not an Access database, damaged ...), or that the reader crashed,
// took too long, ran out of memory, answered with something malformed, or was stopped by a signal
// from outside ("the reader was stopped by signal 15 (SIGTERM)"). When stop is given and becomes
// true, the reader is stopped and the OpenError says so. The reader ends with this process.
// A password for the database goes to the reader through a pipe, never on its command line.
std::unique_ptr<const EncodedDesign> readDesignInReader(const std::string& path, const std::atomic<bool>* stop = nullptr,
                                                        const std::string& password = {});

// The reader program: $DUALYN_READER when set, otherwise dualyn-reader beside this program.
std::string readerProgram();

}  // namespace engine
