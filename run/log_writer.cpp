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

void LogWriter::Write(std::string line)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.size() < kMostWaiting || failure_; });
    if (failure_) std::rethrow_exception(failure_);
    // The writer waits only for an empty queue to fill: waking it for every line would cost a
    // system call each.
    const bool wasEmpty = waiting_.empty();
    waiting_.push_back(std::move(line));
    const bool batchReady = waiting_.size() == kBatchLines;
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
    changed_.wait(lock, [this] { return (waiting_.empty() && !writing_) || failure_; });
    if (failure_) std::rethrow_exception(failure_);
}

void LogWriter::WriteWaitingLines()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !waiting_.empty() || ending_; });
        if (waiting_.empty()) return;  // ending, and everything is written
        // Lines that come quickly are gathered for a moment, to go in one opening of the file.
        changed_.wait_for(lock, kGathering, [this] { return waiting_.size() >= kBatchLines || ending_ || finishing_; });
        std::deque<std::string> lines;
        lines.swap(waiting_);
        writing_ = true;
        lock.unlock();
        changed_.notify_all();  // room for more lines
        std::exception_ptr failure;
        try {
            WriteLogLines(logFile_, lines);
        } catch (const LogError&) {
            failure = std::current_exception();
        }
        lock.lock();
        writing_ = false;
        if (failure) {
            failure_ = failure;
            waiting_.clear();  // nothing after the line that failed
        }
        changed_.notify_all();  // after a failure Write takes no more lines: the next wake-up is the end
    }
}

}  // namespace dualyn
