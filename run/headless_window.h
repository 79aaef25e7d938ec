// A window without a screen, for tests and scripted runs: it answers the check boxes and path
// boxes as told, records every operation the run calls in order, can press Cancel during a
// chosen call of ProcessPendingEvents, and "shows" the log by copying it to a stream.
#pragma once

#include "run_window.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace dualyn {

class ComparisonRun;

class HeadlessWindow : public RunWindow {
public:
    // What the window shows before the run.
    std::string paths[2];
    bool tables = true, relations = true, queries = true;
    // Cancel is pressed during this call of ProcessPendingEvents (1 for the first); 0: never.
    int cancelAtEvent = 0;
    ComparisonRun* run = nullptr;  // whose cmdCancel_Click Cancel calls
    // The answers AskPassword gives, first first; once they are used up it cancels.
    std::vector<std::string> passwordAnswers;
    // Where OpenLogViewer copies the log, as the run holds the log's lock; nowhere when null.
    std::ostream* showLogOn = nullptr;
    // Where OpenLogViewer puts a descriptor of the log open for reading (OpenLogForReading), for
    // a caller that reads the log after the run; none when null. The caller closes it.
    int* openLogOn = nullptr;

    // What the run did, one entry a call: "SetStatus Comparing table T", "SetProgressMax 4",
    // "SetProgressValue 1", "ProcessPendingEvents", "SetBusyPointer on", "MessageBox Database
    // Error: Databases failed to open", "OpenLogViewer /path/ComparisonLog.txt", ...
    std::vector<std::string> calls;
    bool recordCalls = true;  // false: calls stays empty (a scripted run has no use for it)
    std::vector<std::string> messageDetails;      // the details of each message box
    std::vector<std::string> messageInformative;  // the informative text of each message box
    std::string status;
    float progressMax = 100, progressValue = 0;
    int eventsProcessed = 0;

    void SetStatus(const std::string& text) override;
    std::string GetStatus() override { return status; }
    float GetProgressMax() override { return progressMax; }
    void SetProgressMax(float maximum) override;
    float GetProgressValue() override { return progressValue; }
    void SetProgressValue(float value) override;
    void ProcessPendingEvents() override;
    void SetBusyPointer(bool busy) override;
    std::string GetDatabasePath(int database) override { return paths[database == 2 ? 1 : 0]; }
    void SetDatabasePath(int database, const std::string& path) override;
    bool IsTicked(CheckBox box) override;
    void ShowMessageBox(const std::string& text, const std::string& title, const std::string& details,
                        const std::string& informative) override;
    void OpenLogViewer(const std::string& logFile) override;
    // Notes "AskPassword 1 /path" (with " wrong" when the last was wrong) and gives the next answer.
    std::optional<std::string> AskPassword(int database, const std::string& path, bool wrong) override;
};

}  // namespace dualyn
