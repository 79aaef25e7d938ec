#include "comparison_run.h"

#include "cleared_secret.h"
#include "comparison_log.h"
#include "database_file.h"
#include "printable_path.h"
#include "query_comparison.h"
#include "relation_comparison.h"
#include "table_comparison.h"

#include <chrono>
#include <optional>
#include <system_error>
#include <thread>

namespace dualyn {

ComparisonRun::ComparisonRun(RunWindow& window, std::string logFile)
    : ComparisonContext(window), strLogFile(std::move(logFile))
{
}

void ComparisonRun::WriteLog(const std::string& line) const
{
    if (log_)
        log_->Write(line);
    else
        dualyn::WriteLog(strLogFile, line);
    CountLogLines(line);
}

std::string ComparisonRun::FileNameOf(const std::string& name)
{
    std::size_t slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool ComparisonRun::TakeLogLock(LogLock& lock)
{
    if (lock.TryTake()) return true;
    const std::string shown = window.GetStatus();  // the status line before the wait
    window.SetStatus("Waiting for another comparison to finish");
    for (;;) {
        window.ProcessPendingEvents();
        if (blnCancel) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (lock.TryTake()) break;
    }
    window.SetStatus(shown);
    return true;
}

void ComparisonRun::cmdCompare_Click()
{
    window.SetBusyPointer(true);
    blnCancel = false;
    differences.clear();
    okCounts.clear();
    opened[0] = opened[1] = {};
    // Giving back a large design's pages takes milliseconds: once the log is written (before,
    // it would slow the log writer down), each design goes back to the system on a thread of its
    // own while the log is shown. A design whose thread could not start goes at the end; the
    // threads are waited for however the run ends.
    std::jthread releasing[2];
    auto startReleasing = [this, &releasing] {
        std::shared_ptr<engine::Database>* designs[2] = {&db1, &db2};
        for (int k = 0; k < 2; ++k) {
            if (!*designs[k]) continue;
            try {
                releasing[k] = std::jthread([db = std::move(*designs[k])]() mutable { db.reset(); });
            } catch (const std::system_error&) {
            }
        }
    };
    // Held to the end of the run, however it ends; a run cancelled while waiting for it has
    // touched neither the log nor a database.
    LogLock logLock(strLogFile);
    if (TakeLogLock(logLock)) {
        EmptyLog(strLogFile);
        ForgetLogLines();
        // The run's lines are written on the writer's thread while the comparison goes on; all of
        // them are in the file before the run goes further, also when an error ends it early.
        LogWriter log(strLogFile);
        struct WritingThrough {  // WriteLog goes through log while this lives
            ComparisonRun& run;
            WritingThrough(ComparisonRun& run, LogWriter& log) : run(run) { run.log_ = &log; }
            ~WritingThrough() { run.log_ = nullptr; }
        } writingThrough(*this, log);
        if (OpenDatabases()) {
            // A path that is not UTF-8 is shown with its other bytes as \xHH, plain ASCII in the log.
            WriteLog("Comparison Log for " + engine::printablePath(db1->Name()) + " and " +
                     engine::printablePath(db2->Name()));
            // Each section is tested just before it runs, so a cancel keeps every later one away.
            if (window.IsTicked(CheckBox::chkTables) && !blnCancel) CompareTables(*this, *db1, *db2);
            if (window.IsTicked(CheckBox::chkRelations) && !blnCancel) CompareRelations(*this, *db1, *db2);
            if (window.IsTicked(CheckBox::chkQueries) && !blnCancel) CompareQueries(*this, *db1, *db2);
        }
        log.Finish();
        startReleasing();
    }
    window.SetBusyPointer(false);
    window.SetStatus("Comparison complete");
    if (!blnCancel) window.OpenLogViewer(strLogFile);
    window.ProcessPendingEvents();
    window.SetStatus("Releaseing resources");
    window.ProcessPendingEvents();
    db1.reset();
    db2.reset();
    for (std::jthread& thread : releasing)
        if (thread.joinable()) thread.join();
}

std::shared_ptr<engine::Database> ComparisonRun::OpenAsking(
    int database, const std::string& path, const std::function<std::shared_ptr<engine::Database>()>& firstTry)
{
    try {
        return firstTry();
    } catch (const engine::OpenError& e) {
        if (!blnAskForPasswords || e.problem() == engine::OpenProblem::Other) throw;
        bool wrong = e.problem() == engine::OpenProblem::WrongPassword;  // the last one given was wrong
        for (int tries = 1;; ++tries) {
            std::optional<std::string> given = window.AskPassword(database, path, wrong);
            if (!given) throw engine::OpenError(e.path(), "no password given", engine::OpenProblem::PasswordNeeded);
            engine::ClearedSecret clearing(*given);  // however the attempt ends
            try {
                return engine::DBEngine::instance().OpenDatabase(path, *given);
            } catch (const engine::OpenError& again) {
                if (again.problem() != engine::OpenProblem::WrongPassword || tries == kPasswordTries) throw;
                wrong = true;
            }
        }
    }
}

void ComparisonRun::cmdCancel_Click()
{
    blnCancel = true;
    window.SetStatus("Comparison cancelled");
}

bool ComparisonRun::OpenDatabases()
{
    openFailures.clear();
    const std::string path1 = window.GetDatabasePath(1), path2 = window.GetDatabasePath(2);
    opened[0] = OpenedDatabase{path1, std::nullopt};
    opened[1] = OpenedDatabase{path2, std::nullopt};
    // Database 2 is read at the same time as database 1; when database 1 cannot be opened, its
    // reason is the one shown and the reading of database 2 is stopped (unless every failure is
    // to be reported).
    std::optional<engine::OpeningDatabase> second;
    try {
        second.emplace(engine::DBEngine::instance().StartOpening(path2, strPassword2));
        db1 = OpenAsking(1, path1, [&] { return engine::DBEngine::instance().OpenDatabase(path1, strPassword1); });
        opened[0].format = db1->Format();
    } catch (const std::exception& e) {
        openFailures.push_back({1, e.what()});
    }
    if (second && (openFailures.empty() || blnReportEveryFailedOpen)) {
        try {
            db2 = OpenAsking(2, path2, [&] { return second->get(); });
            opened[1].format = db2->Format();
        } catch (const std::exception& e) {
            openFailures.push_back({2, e.what()});
        }
    }
    second.reset();
    if (openFailures.empty()) {
        strDB1Name = engine::printablePath(FileNameOf(db1->Name()));
        strDB2Name = engine::printablePath(FileNameOf(db2->Name()));
        return true;
    }
    db1.reset();
    db2.reset();
    // Which database failed and why, one a line, under the box's text; the first reason also in
    // its details. The engine's reason starts with the path, which is empty (": reason") when no
    // path was given.
    std::string lines;
    for (const OpenFailure& failure : openFailures) {
        const bool noPath = failure.reason.rfind(": ", 0) == 0;
        lines += "Database " + std::to_string(failure.database) + ": " + failure.reason.substr(noPath ? 2 : 0) + "\n";
    }
    lines.pop_back();
    window.ShowMessageBox("Databases failed to open", "Database Error", openFailures.front().reason, lines);
    window.SetDatabasePath(1, "");
    window.SetDatabasePath(2, "");
    return false;
}

}  // namespace dualyn
