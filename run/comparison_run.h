// The comparison run that the Compare button starts, with the state it shares with the
// comparisons: the two open databases, their file names, the log's path and the cancel flag.
//
//     HeadlessWindow window;                 // or the main window
//     ComparisonRun run(window, "/path/ComparisonLog.txt");
//     run.cmdCompare_Click();                 // empties the log, opens both databases, compares
//
// A run holds the log's lock (LogLock, comparison_log.h) from before the log is emptied to its
// end, so that the log never holds lines of two runs, also of two windows of one installation.
#pragma once

#include "comparison_context.h"
#include "database_engine.h"
#include "log_writer.h"
#include "run_window.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dualyn {

class LogLock;

class ComparisonRun : public ComparisonContext {
public:
    ComparisonRun(RunWindow& window, std::string logFile);

    // The run: forget the last run's differences and OK counts (ComparisonContext) and databases
    // (opened), take the log's lock (waiting while another run holds it), empty the log, open both
    // databases, write the first line, run each ticked section unless a cancel is pending, open
    // the log unless cancelled, release both databases and the lock. A cancel while waiting for
    // the lock leaves the log and the databases alone and goes on with the closing steps. An
    // error that no step handles leaves as an exception; the lines written before stay in the log.
    void cmdCompare_Click();

    // Asks the run to stop at its next test of blnCancel.
    void cmdCancel_Click();

    // Opens database 1, then database 2, from the path boxes, and sets their file names. On
    // failure tells the user, empties both path boxes and returns false. The box's informative
    // text has a line for each failure, "Database 1: /a/x.mdb: the file does not exist"; its
    // details give the first failure's reason alone.
    bool OpenDatabases();

    // Appends one line to the log (comparison_log.h). During cmdCompare_Click the line goes through
    // the run's LogWriter, which writes it on its own thread; otherwise it is written at once.
    void WriteLog(const std::string& line) const override;

    // The file name of a database: its Name after the last '/' or '\'.
    static std::string FileNameOf(const std::string& name);

    // Shared state, besides what the comparisons share (ComparisonContext).
    std::shared_ptr<engine::Database> db1;
    std::shared_ptr<engine::Database> db2;
    const std::string strLogFile;

    // For the command line: the databases' passwords (empty: none), which it clears after the
    // run. Whether a failed opening of database 1 still waits for database 2's, so that
    // openFailures names both when both fail (the command line and the window set it); when not
    // set, database 2's reading is stopped once database 1 has failed.
    std::string strPassword1, strPassword2;
    // For the window: a database that needs a password the run was not given (or a wrong one)
    // makes the run ask the window for it (RunWindow::AskPassword), at most kPasswordTries times.
    bool blnAskForPasswords = false;
    static constexpr int kPasswordTries = 3;
    bool blnReportEveryFailedOpen = false;
    // A database that failed to open: which one (1 or 2) and why, as the engine says it
    // ("PATH: reason").
    struct OpenFailure {
        int database;
        std::string reason;
    };
    // The failures of the last OpenDatabases, database 1's first.
    std::vector<OpenFailure> openFailures;
    // Each database of the last run as it was opened, for reports after the run: the path as the
    // path box gave it, and the file's format once it opened. Empty before OpenDatabases.
    struct OpenedDatabase {
        std::string path;
        std::optional<engine::FileFormat> format;
    };
    OpenedDatabase opened[2];

private:
    // Opens database (1 or 2) at path, the first attempt being firstTry: when that fails for want
    // of a password, or a wrong one, and the run may ask, asks the window and tries what it gives,
    // up to kPasswordTries times, saying so when one was wrong. Cancel fails with "no password
    // given", the last wrong one with "wrong password". Every password is cleared once tried.
    // Throws what the last attempt threw.
    std::shared_ptr<engine::Database> OpenAsking(int database, const std::string& path,
                                                 const std::function<std::shared_ptr<engine::Database>()>& firstTry);

    // Takes lock, waiting while another run holds it: the status line then says so and window
    // events are handled about every 50 ms, so that Cancel works; once the lock is taken the
    // status line shows again what it showed before. False when a cancel came first.
    bool TakeLogLock(LogLock& lock);

    LogWriter* log_ = nullptr;  // the writer of the run under way
};

}  // namespace dualyn
