// Writes the lines of a comparison run's log on a thread of its own, so that the comparison does
// not wait for the file system: the file is opened, appended to and closed for the lines handed
// over together, in the order given (AppendLogLine and AppendToLog, comparison_log.h). Lines that come quickly
// are gathered for at most five milliseconds, up to 1,024, so that a large log is not opened once
// for every line.
//
//     LogWriter log("/path/ComparisonLog.txt");
//     log.Write("\r\nTABLE COMPARISONS");
//     log.Finish();  // every line is in the file, or the LogError of the one that is not
//
// When a line cannot be written, no later line is: the next Write or Finish throws that line's
// LogError, so the file holds exactly the lines before it, as writing line by line would leave it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

namespace dualyn {

class LogWriter {
public:
    explicit LogWriter(std::string logFile);
    // Writes what is still waiting (unless a line failed), then ends the thread. Throws nothing.
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // Hands line over to be written, as the file will hold it. Waits while many lines are waiting
    // already, so that a long log never piles up in memory. Throws the LogError of a line that
    // could not be written.
    void Write(const std::string& line);

    // Waits until every line handed over is written. Throws the LogError of one that could not be.
    void Finish();

private:
    void WriteWaitingLines();  // the thread

    static constexpr std::size_t kMostWaiting = 4096;  // lines
    static constexpr std::size_t kBatchLines = 1024;   // lines worth one opening of the file at once
    static constexpr std::chrono::milliseconds kGathering{5};  // the longest a line waits for others

    const std::string logFile_;
    std::mutex mutex_;
    std::condition_variable changed_;  // a line came, lines were taken or written, or the end came
    std::string waiting_;              // lines handed over and not yet taken by the thread, as the file holds them
    std::size_t waitingLines_ = 0;     // how many
    bool writing_ = false;             // the thread is writing lines it took
    bool ending_ = false;              // the destructor asks the thread to end
    bool finishing_ = false;           // Finish waits: lines are written as they come
    std::exception_ptr failure_;       // the LogError of the line that could not be written
    std::thread thread_;               // started last, when the rest is ready
};

}  // namespace dualyn
