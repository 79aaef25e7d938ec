// The window operations that the comparison run and the comparisons use: status line, progress
// bar, event processing, pointer, path boxes, check boxes, message box and the log viewer. The
// main window realises them; HeadlessWindow stands in for it in tests and scripted runs. Nothing
// here knows Qt.
#pragma once

#include <optional>
#include <string>

namespace dualyn {

enum class CheckBox { chkTables, chkRelations, chkQueries };

class RunWindow {
public:
    virtual ~RunWindow() = default;

    virtual void SetStatus(const std::string& text) = 0;
    // The text the status line shows.
    virtual std::string GetStatus() = 0;
    virtual float GetProgressMax() = 0;
    virtual void SetProgressMax(float maximum) = 0;
    virtual float GetProgressValue() = 0;
    virtual void SetProgressValue(float value) = 0;
    // Handles every waiting window event (a click on Cancel among them), then returns.
    virtual void ProcessPendingEvents() = 0;
    virtual void SetBusyPointer(bool busy) = 0;
    // The text of the path box of database 1 or 2.
    virtual std::string GetDatabasePath(int database) = 0;
    virtual void SetDatabasePath(int database, const std::string& path) = 0;
    virtual bool IsTicked(CheckBox box) = 0;
    // A modal box with the text, the title and one OK button; informative, when not empty, is shown
    // under the text as it is (lines separated by '\n'); details, when not empty, say more for whoever
    // opens them.
    virtual void ShowMessageBox(const std::string& text, const std::string& title, const std::string& details,
                                const std::string& informative) = 0;
    // Asks the user for the password of database 1 or 2 at path (as the path box gives it), saying
    // first that the last one given was wrong when wrong is set. None when the user cancels; a
    // window that cannot ask gives none.
    virtual std::optional<std::string> AskPassword(int database, const std::string& path, bool wrong)
    {
        (void)database, (void)path, (void)wrong;
        return std::nullopt;
    }
    // Opens the log in the desktop's text viewer without waiting for it.
    virtual void OpenLogViewer(const std::string& logFile) = 0;
};

}  // namespace dualyn
