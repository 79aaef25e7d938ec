#include "main_window.h"

#include "comparison_log.h"
#include "log_viewer.h"
#include "printable_path.h"
#include "run_report.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QProxyStyle>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace dualyn {

namespace {

// The bar counts in whole steps; the run's float position is shown in this many steps of its
// maximum.
constexpr int kProgressSteps = 10000;

// A path as the engine and the log writer take it, and back.
std::string toPath(const QString& text) { return QFile::encodeName(text).toStdString(); }
QString fromPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// True when path is a folder this process may create files in.
bool isWritableFolder(const QString& path)
{
    return QFileInfo(path).isDir() && ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

// A push button with its caption, never the default button, so Enter and Escape do nothing.
QPushButton* makeButton(QWidget* parent, const char* name, const char* caption)
{
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// A ticked check box with its caption.
QCheckBox* makeCheckBox(QWidget* parent, const char* name, const char* caption)
{
    auto* box = new QCheckBox(QString::fromLatin1(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(true);
    return box;
}

// The window's style for the check boxes, whose 195 twips are less than the style's indicator
// (13 pixels for Fusion's 14 at 96 dots per inch, at every scale factor): the indicator is made
// no higher than its box, so that it is drawn whole rather than cut at the bottom.
class WholeIndicatorStyle : public QProxyStyle {
public:
    // A proxy for the style named key ("Fusion"); the application's style when there is none.
    explicit WholeIndicatorStyle(const QString& key) : QProxyStyle(key) {}

    // The base style's metric, but the check box indicator's width and height no larger than the
    // widget's height: 13 for a box 13 pixels high where Fusion says 14.
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        int value = QProxyStyle::pixelMetric(metric, option, widget);
        if ((metric == PM_IndicatorWidth || metric == PM_IndicatorHeight) && widget && widget->height() > 0)
            value = std::min(value, widget->height());
        return value;
    }
};

}  // namespace

// Builds the controls at their places and sizes, in their tab order, with the focus on cmdDB1,
// then loads the window's state.
frmMain::frmMain(const QString& programFolder, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Dualyn"));
    // DejaVu Sans at 7.5 points (10 pixels at 96 dots per inch) shows every caption whole in
    // its control; a larger size cuts "Compare Relations" short.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(7.5);
    setFont(font);

    cmdDB1 = makeButton(this, "cmdDB1", "Set Database 1");
    txtDB1 = new QLineEdit(this);
    txtDB1->setObjectName(QStringLiteral("txtDB1"));
    cmdDB2 = makeButton(this, "cmdDB2", "Set Database 2");
    txtDB2 = new QLineEdit(this);
    txtDB2->setObjectName(QStringLiteral("txtDB2"));
    chkTables = makeCheckBox(this, "chkTables", "Compare Tables");
    chkRelations = makeCheckBox(this, "chkRelations", "Compare Relations");
    chkQueries = makeCheckBox(this, "chkQueries", "Compare Queries");
    lblInfo = new QLabel(QStringLiteral("Press Compare to compare databases"), this);
    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    lblInfo->setTextFormat(Qt::PlainText);  // a table name with "<" is shown as it is
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    cmdCompare = makeButton(this, "cmdCompare", "Compare");
    cmdCancel = makeButton(this, "cmdCancel", "Cancel");
    cmdExit = makeButton(this, "cmdExit", "Exit");
    ShowProgress();

    // Places and sizes in twips: left, top, width, height.
    cmdDB1->setGeometry(TwipsRect(255, 120, 1410, 405));
    txtDB1->setGeometry(TwipsRect(255, 600, 5880, 285));
    cmdDB2->setGeometry(TwipsRect(240, 1020, 1410, 405));
    txtDB2->setGeometry(TwipsRect(255, 1485, 5880, 285));
    chkTables->setGeometry(TwipsRect(255, 1950, 1845, 195));
    chkRelations->setGeometry(TwipsRect(255, 2220, 1845, 195));
    chkQueries->setGeometry(TwipsRect(255, 2490, 1845, 195));
    lblInfo->setGeometry(TwipsRect(255, 2910, 5880, 225));
    ProgressBar1->setGeometry(TwipsRect(255, 3195, 5880, 165));
    cmdCompare->setGeometry(TwipsRect(210, 3465, 1410, 405));
    cmdCancel->setGeometry(TwipsRect(2467, 3465, 1410, 405));
    cmdExit->setGeometry(TwipsRect(4725, 3465, 1410, 405));
    // The controls do not move, so neither does the window's size.
    setFixedSize(TwipsRect(0, 0, 6345, 4065).size());
    // A child of the window made after the check boxes, so it outlives them.
    auto* checkBoxStyle = new WholeIndicatorStyle(style()->name());
    checkBoxStyle->setParent(this);
    for (QCheckBox* box : {chkTables, chkRelations, chkQueries}) box->setStyle(checkBoxStyle);

    // The status line and the bar take no focus; the rest follow in this order.
    QWidget* tabOrder[] = {cmdDB1, cmdDB2, txtDB1, txtDB2, cmdCompare, cmdExit,
                           chkTables, chkRelations, chkQueries, cmdCancel};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
    cmdDB1->setFocus();

    connect(cmdDB1, &QPushButton::clicked, this, &frmMain::cmdDB1_Click);
    connect(cmdDB2, &QPushButton::clicked, this, &frmMain::cmdDB2_Click);
    connect(cmdCompare, &QPushButton::clicked, this, &frmMain::cmdCompare_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmMain::cmdCancel_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);

    execFileDialog = [](QFileDialog& dialog) { return dialog.exec(); };
    execPasswordDialog = [](QInputDialog& dialog) { return dialog.exec(); };
    Form_Load(programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder);
}

// Gives the wait cursor back should the window go while it is on.
frmMain::~frmMain()
{
    SetBusyPointer(false);
}

// Sets the dialog's first settings and the log's path: the dialog opens in the program's folder,
// or in the user's home folder when the program is installed where the user cannot write, and
// lists Access files, *.mdb first; the log goes to LogFolder.
void frmMain::Form_Load(const QString& programFolder)
{
    dlgState.FileName.clear();
    dlgState.DefaultExt = QStringLiteral(".mdb");
    dlgState.Filter = QStringLiteral("Access (*.mdb);;Access 2007 and later (*.accdb);;All files (*)");
    dlgState.InitDir = isWritableFolder(programFolder) ? programFolder : QDir::homePath();
    QString strLogFile = LogFolder(programFolder) + QStringLiteral("/ComparisonLog.txt");
    run = std::make_unique<ComparisonRun>(*this, toPath(strLogFile));
    run->blnReportEveryFailedOpen = true;  // the failure box names each database that failed
    run->blnAskForPasswords = true;
}

// programFolder when it is a folder this process may create files in, otherwise the user's
// state folder for Dualyn, made when missing (a failure to make it shows at the first run, when
// the log cannot be created there).
QString frmMain::LogFolder(const QString& programFolder)
{
    if (isWritableFolder(programFolder)) return programFolder;
    // $XDG_STATE_HOME counts only when it is an absolute path.
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (stateHome.isEmpty() || QDir::isRelativePath(stateHome)) stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    QString folder = QDir::cleanPath(stateHome + QStringLiteral("/dualyn"));
    QDir().mkpath(folder);
    return folder;
}

// The rectangle in pixels at the screen's logical resolution: 1440 twips make an inch, so 15
// twips make a pixel at 96 dots per inch.
QRect frmMain::TwipsRect(int left, int top, int width, int height) const
{
    auto x = [this](int twips) { return qRound(twips * logicalDpiX() / 1440.0); };
    auto y = [this](int twips) { return qRound(twips * logicalDpiY() / 1440.0); };
    return QRect(x(left), y(top), x(width), y(height));
}

// The status line shows text (UTF-8), as it is.
void frmMain::SetStatus(const std::string& text)
{
    lblInfo->setText(QString::fromStdString(text));
}

// The status line's text (UTF-8).
std::string frmMain::GetStatus()
{
    return lblInfo->text().toStdString();
}

// Keeps the maximum as given; 0 (or less) shows an empty bar.
void frmMain::SetProgressMax(float maximum)
{
    sngProgressMax = maximum;
    ShowProgress();
}

// Keeps the position as given; the bar shows it between empty and full.
void frmMain::SetProgressValue(float value)
{
    sngProgressValue = value;
    ShowProgress();
}

// Fills the bar by the share of the maximum that the position has reached.
void frmMain::ShowProgress()
{
    // The share of the bar that is filled, kept between 0 and 1; 0 when there is no maximum.
    float share = sngProgressMax > 0 ? sngProgressValue / sngProgressMax : 0.0f;
    if (!(share > 0)) share = 0;  // also a position that is not a number
    share = std::min(share, 1.0f);
    // A range of 0 to 0 would make the bar a busy animation, so it always runs to kProgressSteps.
    ProgressBar1->setRange(0, kProgressSteps);
    ProgressBar1->setValue(static_cast<int>(std::lround(share * kProgressSteps)));
}

// Dispatches every waiting event (clicks, key strokes, repainting), then returns.
void frmMain::ProcessPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// The wait cursor over all of the program's windows, or the normal pointer.
void frmMain::SetBusyPointer(bool busy)
{
    if (busy == blnBusyPointer) return;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
    blnBusyPointer = busy;
}

// The text of txtDB2 for database 2, of txtDB1 otherwise, as a file path.
std::string frmMain::GetDatabasePath(int database)
{
    return toPath((database == 2 ? txtDB2 : txtDB1)->text());
}

// Replaces the text of txtDB2 for database 2, of txtDB1 otherwise.
void frmMain::SetDatabasePath(int database, const std::string& path)
{
    (database == 2 ? txtDB2 : txtDB1)->setText(fromPath(path));
}

// A box counts as ticked unless it is clear.
bool frmMain::IsTicked(CheckBox box)
{
    QCheckBox* control = box == CheckBox::chkTables ? chkTables : box == CheckBox::chkRelations ? chkRelations : chkQueries;
    return control->checkState() != Qt::Unchecked;
}

// A modal box with the title, the text and one OK button, no icon; the informative text, when
// there is any, under the text; the details, when there are any, behind its details button. Every
// text shows as it is, also one with "<b>" in a path.
void frmMain::ShowMessageBox(const std::string& text, const std::string& title, const std::string& details,
                             const std::string& informative)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);  // the main text only
    if (!informative.empty()) {
        box.setInformativeText(QString::fromStdString(informative));
        // The box makes this label for the informative text and lets it guess rich text; Qt names
        // it so.
        if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
            label->setTextFormat(Qt::PlainText);
    }
    if (!details.empty()) box.setDetailedText(QString::fromStdString(details));
    box.exec();
}

// Shows the log and returns at once: $DUALYN_VIEWER when set (a command line, split as a shell
// would, the log's path added last) is started on it; otherwise Dualyn's own viewer shows it with
// what the run found, replacing what it showed before. Throws when the log cannot be shown.
void frmMain::OpenLogViewer(const std::string& logFile)
{
    QStringList command = QProcess::splitCommand(qEnvironmentVariable("DUALYN_VIEWER"));
    if (command.isEmpty()) {
        std::ostringstream bytes;  // the log as the run left it; the run still holds its lock
        CopyLog(logFile, bytes);
        if (!viewer) viewer = new LogViewer(this);
        viewer->ShowRun(ReportOf(*run), bytes.str());
        return;
    }
    QString program = command.takeFirst();
    command.append(fromPath(logFile));
    if (!QProcess::startDetached(program, command))
        throw std::runtime_error("the log " + logFile + " cannot be shown: the viewer " + program.toStdString() +
                                 " cannot be started");
}

std::optional<std::string> frmMain::AskPassword(int database, const std::string& path, bool wrong)
{
    QInputDialog dialog(this);
    dialog.setObjectName(QStringLiteral("PasswordDialog"));
    dialog.setWindowTitle(QStringLiteral("Database Password"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Password);
    QString label = QStringLiteral("Database %1 needs a password: %2").arg(database).arg(fromPath(engine::printablePath(path)));
    if (wrong) label = QStringLiteral("Wrong password.\n") + label;
    dialog.setLabelText(label);
    // The path is the user's own text: shown as it is, never as markup.
    for (QLabel* shown : dialog.findChildren<QLabel*>()) shown->setTextFormat(Qt::PlainText);
    const bool wasBusy = blnBusyPointer;  // the run's wait cursor, off while the user types
    SetBusyPointer(false);
    const bool given = execPasswordDialog(dialog) == QDialog::Accepted;
    SetBusyPointer(wasBusy);
    QString typed = dialog.textValue();
    std::string password = typed.toStdString();
    // What the dialog held goes as soon as it is copied (Qt may still have copies of its own).
    typed.fill(QChar(0));
    dialog.setTextValue(QString());
    if (!given) {
        ::explicit_bzero(password.data(), password.size());
        return std::nullopt;
    }
    return password;
}

// Shows the shared dialog in InitDir, listing the files the first of the filters names (in upper
// or lower case; the user may choose another of them), with the last chosen file's name filled in
// when it lies there. A file must exist to be chosen; a name typed without an extension gets
// DefaultExt.
bool frmMain::ShowOpen()
{
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    // Qt's own dialog everywhere: it matches the filter regardless of case.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(dlgState.Filter);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    dialog.setDefaultSuffix(dlgState.DefaultExt);
    if (!dlgState.InitDir.isEmpty()) dialog.setDirectory(dlgState.InitDir);
    QFileInfo last(dlgState.FileName);
    if (!dlgState.FileName.isEmpty() && !dlgState.InitDir.isEmpty() &&
        QDir(last.absolutePath()) == QDir(dlgState.InitDir))
        dialog.selectFile(last.fileName());
    if (execFileDialog(dialog) != QDialog::Accepted) return false;
    QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return false;
    dlgState.FileName = chosen.first();
    return true;
}

// Database 1 from the dialog; the dialog then opens in its folder. A cancelled dialog changes
// nothing.
void frmMain::cmdDB1_Click()
{
    if (!ShowOpen()) return;
    txtDB1->setText(dlgState.FileName);
    QString path = txtDB1->text();
    dlgState.InitDir = path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Database 2 from the dialog; the dialog's folder stays. A cancelled dialog changes nothing.
void frmMain::cmdDB2_Click()
{
    if (!ShowOpen()) return;
    txtDB2->setText(dlgState.FileName);
}

// The run. A second click while it goes on is ignored; an error that leaves it is reported; an
// Exit asked for during it closes the window once it is over. After a run that was not cancelled,
// and so opened the log, the status line's tooltip names the log: "Comparison log: /path/
// ComparisonLog.txt"; until then, and after any other run, it has none.
void frmMain::cmdCompare_Click()
{
    if (blnRunning) return;
    blnRunning = true;
    lblInfo->setToolTip(QString());
    try {
        run->cmdCompare_Click();
        if (!run->blnCancel) {
            // Tooltips take this as rich text: the path is escaped so that it shows as it is,
            // its spaces kept.
            const QString named = QStringLiteral("Comparison log: ") + fromPath(run->strLogFile);
            lblInfo->setToolTip(QStringLiteral("<qt><p style=\"white-space:pre-wrap\">%1</p></qt>").arg(named.toHtmlEscaped()));
        }
    } catch (const std::exception& e) {
        ReportStoppedRun(QString::fromStdString(e.what()));
    } catch (...) {
        ReportStoppedRun(QStringLiteral("an unknown error"));
    }
    blnRunning = false;
    if (blnExitPending) {
        blnExitPending = false;
        close();
    }
}

// Asks the run to stop; while idle it only shows that on the status line.
void frmMain::cmdCancel_Click()
{
    run->cmdCancel_Click();
}

// Closes the window, and with it the program (see closeEvent for a run going on).
void frmMain::cmdExit_Click()
{
    close();
}

// At once when idle. During a run the window must outlive it: the run is asked to cancel and
// cmdCompare_Click closes the window when the run has unwound.
void frmMain::closeEvent(QCloseEvent* event)
{
    if (!blnRunning) {
        event->accept();
        return;
    }
    event->ignore();
    if (!blnExitPending) {
        blnExitPending = true;
        run->cmdCancel_Click();
    }
}

// The pointer back to normal, both databases released, the status and a box saying why the
// run stopped. The window is then ready for the next run.
void frmMain::ReportStoppedRun(const QString& why)
{
    SetBusyPointer(false);
    run->db1.reset();
    run->db2.reset();
    SetStatus("Comparison stopped");
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Comparison Error"),
                    QStringLiteral("The comparison stopped: %1").arg(why), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace dualyn
