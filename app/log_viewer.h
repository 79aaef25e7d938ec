// Dualyn's log viewer: the comparison log as the file holds it, decoded, one line a row, its
// sections and table blocks foldable, each line of difference marked; a header with both
// databases, when the run ended, the counts and the log's path; beside the log, the selected
// difference's twin: the objects it names, the property and both databases' values side by side,
// long texts line by line with the changed words marked. F8 and Shift+F8 go to the next and
// previous difference; a filter box and two lists narrow the log by text, section and kind.
// "Save as…" writes the log, the JSON report or an HTML report.
//
//     LogViewer viewer;
//     viewer.ShowRun(ReportOf(run), logBytes);   // a later call replaces what it shows
#pragma once

#include "run_report.h"
#include "log_view.h"

#include <QMainWindow>
#include <QUrl>

#include <functional>
#include <string>

class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStandardItemModel;
class QTreeView;

namespace dualyn {

class LogFilterModel;

class LogViewer : public QMainWindow {
    Q_OBJECT

public:
    explicit LogViewer(QWidget* parent = nullptr);
    ~LogViewer() override;

    // Shows report with the log's bytes (as the file held them when the run ended), replacing
    // what the viewer showed, and brings the viewer to the front.
    void ShowRun(RunReport report, std::string logBytes);

    // Selects the next (or previous) line of difference that the filters leave, after (before)
    // the selected line, unfolding what hides it. False when there is none.
    bool GoToDifference(bool next);

    // Selects the line of the report's difference at index, unfolding what hides it. False when
    // the log does not hold that line or the filters hide it.
    bool SelectDifference(std::size_t index);

    // What the viewer shows, for tests and for whoever reads it back.
    const RunReport& Report() const { return report_; }
    const LogView& View() const { return view_; }
    QTreeView* LogTree() const { return tree_; }

    // Shows the save dialog and returns its result; tests answer it without showing it.
    std::function<int(QFileDialog&)> execSaveDialog;
    // Hands a file or folder to the desktop (xdg-open); tests note the address instead.
    std::function<bool(const QUrl&)> openUrl;

    // Writes what format names to path: "log" the log's bytes, "json" the JSON report, "html" the
    // HTML report. False, with why, when the file cannot be written.
    bool SaveTo(const QString& path, const QString& format, QString* why = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildHeader(QWidget* parent);
    void FillHeader();
    void FillLog();
    void ShowDetails(const QModelIndex& current);
    void ApplyFilters();
    void SaveAs();
    void SaveSettings() const;
    // The line of the log that a row of the (filtered) tree shows, or -1.
    int LineOf(const QModelIndex& index) const;

    RunReport report_;
    std::string logBytes_;  // the log as the file held it
    LogView view_;

    QLabel* lblDatabases_;
    QLabel* lblEnded_;
    QLabel* lblCounts_;
    QLineEdit* txtLogPath_;
    QLineEdit* txtFilter_;
    QComboBox* cboSection_;
    QComboBox* cboKind_;
    QSplitter* splitter_;
    QSplitter* valueSplitter_;
    QTreeView* tree_;
    QStandardItemModel* model_;
    LogFilterModel* filter_;
    QLabel* lblSummary_;
    QLabel* lblObjects_;
    QLabel* lblValue1_;
    QLabel* lblValue2_;
    QPlainTextEdit* txtValue1_;
    QPlainTextEdit* txtValue2_;
};

}  // namespace dualyn
