// frmMain, Dualyn's one window: two path boxes with their database buttons, the three comparison
// check boxes, the status line, the progress bar and the Compare, Cancel and Exit buttons. It
// realises the window operations of the comparison run and owns the run; the run itself, with
// the comparisons, lives in ComparisonRun and knows no Qt.
//
//     QApplication app(argc, argv);
//     dualyn::frmMain window;      // log beside the program, or in ~/.local/state/dualyn/
//     window.show();
//     return app.exec();
#pragma once

#include "comparison_run.h"
#include "run_window.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QCloseEvent;
class QFileDialog;
class QInputDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace dualyn {

class LogViewer;

// The settings the file-open dialog keeps between uses; both database buttons share them.
struct CommonDialog {
    QString FileName;    // full path of the file last chosen; empty before the first choice
    QString Filter;      // the dialog's name filters, ";;" between them, each a description with its
                         // patterns in brackets; the first is chosen when the dialog opens
    QString DefaultExt;  // added to a typed name that has no extension
    QString InitDir;     // the folder the dialog opens in; empty: the dialog's own default
};

class frmMain : public QWidget, public RunWindow {
    Q_OBJECT

public:
    // Builds the window and runs Form_Load. programFolder is the folder the program lives in
    // (the running program's own by default); the log goes there, and the file dialog first opens
    // there, when it is writable.
    explicit frmMain(const QString& programFolder = QString(), QWidget* parent = nullptr);
    ~frmMain() override;

    // RunWindow.
    void SetStatus(const std::string& text) override;
    std::string GetStatus() override;
    float GetProgressMax() override { return sngProgressMax; }
    void SetProgressMax(float maximum) override;
    float GetProgressValue() override { return sngProgressValue; }
    void SetProgressValue(float value) override;
    void ProcessPendingEvents() override;
    void SetBusyPointer(bool busy) override;
    std::string GetDatabasePath(int database) override;
    void SetDatabasePath(int database, const std::string& path) override;
    bool IsTicked(CheckBox box) override;
    void ShowMessageBox(const std::string& text, const std::string& title, const std::string& details,
                        const std::string& informative) override;
    void OpenLogViewer(const std::string& logFile) override;
    // A modal dialog: "Database N needs a password: PATH", the password typed unseen, OK and
    // Cancel; after a wrong one it says "Wrong password." first.
    std::optional<std::string> AskPassword(int database, const std::string& path, bool wrong) override;

    // Event handlers, as the buttons call them.
    void cmdDB1_Click();
    void cmdDB2_Click();
    void cmdCompare_Click();
    void cmdCancel_Click();
    void cmdExit_Click();

    // The comparison run with the state it shares with the comparisons.
    ComparisonRun& Run() { return *run; }
    const CommonDialog& CommonDialog1() const { return dlgState; }

    // Shows the configured file-open dialog and returns its result (QDialog::Accepted when a file
    // was chosen). Tests put in their own to answer the real dialog without showing it.
    std::function<int(QFileDialog&)> execFileDialog;
    // Shows the password dialog and returns its result; tests answer it without showing it.
    std::function<int(QInputDialog&)> execPasswordDialog;

    // Dualyn's own log viewer, once a run has shown a log in it; it lives as long as the window.
    LogViewer* Viewer() const { return viewer; }

    // The folder of the log: programFolder when this program may write there, otherwise the
    // user's state folder ($XDG_STATE_HOME/dualyn, by default ~/.local/state/dualyn), created
    // when missing.
    static QString LogFolder(const QString& programFolder);

protected:
    // Closing the window by its title bar acts as Exit.
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load(const QString& programFolder);
    // Shows the file-open dialog; true when a file was chosen, which is then in FileName.
    bool ShowOpen();
    // Shows the bar for sngProgressValue out of sngProgressMax.
    void ShowProgress();
    // After an error that left the run: tells the user, puts the pointer back, releases both
    // databases.
    void ReportStoppedRun(const QString& why);
    // A position or size in twips as pixels at the screen's logical resolution.
    QRect TwipsRect(int left, int top, int width, int height) const;

    QPushButton* cmdDB1;
    QLineEdit* txtDB1;
    QPushButton* cmdDB2;
    QLineEdit* txtDB2;
    QCheckBox* chkTables;
    QCheckBox* chkRelations;
    QCheckBox* chkQueries;
    QLabel* lblInfo;
    QProgressBar* ProgressBar1;
    QPushButton* cmdCompare;
    QPushButton* cmdCancel;
    QPushButton* cmdExit;

    CommonDialog dlgState;
    LogViewer* viewer = nullptr;  // made at the first log shown; a child of this window
    std::unique_ptr<ComparisonRun> run;
    float sngProgressMax = 100;    // the bar's maximum as the run set it; 0 shows an empty bar
    float sngProgressValue = 0;    // the bar's position as the run set it
    bool blnBusyPointer = false;   // the wait cursor is on, so it is taken off exactly once
    bool blnRunning = false;       // a run is going on: inside cmdCompare_Click
    bool blnExitPending = false;   // Exit was asked for during a run: close when it has unwound
};

}  // namespace dualyn
