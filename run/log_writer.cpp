#include "log_writer.h"

#include "comparison_log.h"

namespace dualyn {

LogWriter::LogWriter(std::string logFile) : logFile_(std::move(logFile)), thread_([this] { WriteWaitingLines(); }) {}

LogWriter::~LogWriter()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void LogWriter::Write(const std::string& line)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return waitingLines_ < kMostWaiting || failure_; });
    if (failure_) std::rethrow_exception(failure_);
    // The writer waits only for an empty queue to fill: waking it for every line would cost a
    // system call each.
    const bool wasEmpty = waitingLines_ == 0;
    AppendLogLine(waiting_, line);  // here, so that the writer has the least to do
    const bool batchReady = ++waitingLines_ == kBatchLines;
    lock.unlock();
    if (wasEmpty || batchReady) changed_.notify_all();
}

void LogWriter::Finish()
{
    std::unique_lock<std::mutex> lock(mutex_);
    finishing_ = true;  // no more gathering: what is waiting goes now
    lock.unlock();
    changed_.notify_all();
    lock.lock();
    changed_.wait(lock, [this] { return (waitingLines_ == 0 && !writing_) || failure_; });
    if (failure_) std::rethrow_exception(failure_);
}

void LogWriter::WriteWaitingLines()
{
    std::unique_lock<std::mutex> lock(mutex_);
    std::string lines;  // the bytes of the lines taken
    for (;;) {
        changed_.wait(lock, [this] { return waitingLines_ > 0 || ending_; });
        if (waitingLines_ == 0) return;  // ending, and everything is written
        // Lines that come quickly are gathered for a moment, to go in one opening of the file.
        changed_.wait_for(lock, kGathering, [this] { return waitingLines_ >= kBatchLines || ending_ || finishing_; });
        lines.clear();
        lines.swap(waiting_);  // the room of the lines written last goes on being used
        waitingLines_ = 0;
        writing_ = true;
        lock.unlock();
        changed_.notify_all();  // room for more lines
        std::exception_ptr failure;
        try {
            AppendToLog(logFile_, lines);
        } catch (const LogError&) {
            failure = std::current_exception();
        }
        lock.lock();
        writing_ = false;
        if (failure) {
            failure_ = failure;
            waiting_.clear();  // nothing after the line that failed
            waitingLines_ = 0;
        }
        changed_.notify_all();  // after a failure Write takes no more lines: the next wake-up is the end
    }
}

}  // namespace dualyn
