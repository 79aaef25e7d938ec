// The main window driven as a user drives it, under QT_QPA_PLATFORM=offscreen: its controls and
// keyboard, the file-open dialog, runs started with Compare on the golden databases of ../golden,
// clicks during a run, errors, and where the log goes. DUALYN_VIEWER names record_viewer.sh,
// which appends each start of the log viewer to the file $DUALYN_VIEWER_RECORD.
#include "command_line.h"
#include "jet4_writer.h"
#include "main_window.h"
#include "run_command.h"
#include "schema_text.h"

#include <QCheckBox>
#include <QCommandLineParser>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

using dualyn::frmMain;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

// What one message box showed.
struct SeenBox {
    QString title, text, details;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QString informativeText;
    Qt::TextFormat informativeFormat = Qt::AutoText;  // of the label that shows it, when there is one
};

// While it lives, answers every message box that opens by clicking its OK button, and keeps what
// each showed.
class BoxAnswerer : public QObject {
public:
    BoxAnswerer()
    {
        connect(&poll, &QTimer::timeout, this, &BoxAnswerer::answer);
        poll.start(10);
    }
    QList<SeenBox> seen;

private:
    void answer()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible()) continue;
            auto* informative = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
            seen.append({box->windowTitle(), box->text(), box->detailedText(), box->icon(), box->standardButtons(),
                         box->informativeText(), informative ? informative->textFormat() : Qt::AutoText});
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->done(0);
        }
    }
    QTimer poll;
};

// The starts of the recording viewer noted in record, one line each: waits until `expected` are
// there (at most 10 s), then a little longer, so that a start too many shows as well.
QStringList viewerStarts(const QString& record, int expected)
{
    auto lines = [&record] {
        QFile file(record);
        if (!file.open(QIODevice::ReadOnly)) return QStringList();
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    QElapsedTimer waited;
    waited.start();
    while (lines().size() < expected && waited.elapsed() < 10000) QTest::qWait(20);
    QTest::qWait(300);
    return lines();
}

// One window in a folder of its own, which is also the program's folder and so the log's; the
// viewer's starts go to viewer.txt there.
struct Fixture {
    TempDir dir;
    QString folder = qs(dir.path());
    QString record = folder + "/viewer.txt";
    QString log = folder + "/ComparisonLog.txt";
    std::unique_ptr<frmMain> window;

    Fixture()
    {
        qputenv("DUALYN_VIEWER_RECORD", QFile::encodeName(record));
        window = std::make_unique<frmMain>(folder);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    template <class T> T* control(const char* name) { return window->findChild<T*>(QString::fromLatin1(name)); }
    void click(const char* name) { QTest::mouseClick(control<QAbstractButton>(name), Qt::LeftButton); }
    void type(const char* box, const QString& text) { QTest::keyClicks(control<QLineEdit>(box), text); }

    // Writes the golden case's databases here as db1.mdb and db2.mdb, types their paths, clears
    // the check boxes its run.txt clears, and returns its expected log.
    QString golden(const std::string& name)
    {
        std::filesystem::path folderOfCase = std::filesystem::path(GOLDEN_DIR) / name;
        for (const char* side : {"db1", "db2"})
            mdbgen::writeJet4File(mdbgen::parseDescription(readFile((folderOfCase / (std::string(side) + ".txt")).string())),
                                  dir.file(std::string(side) + ".mdb"));
        type("txtDB1", folder + "/db1.mdb");
        type("txtDB2", folder + "/db2.mdb");
        QString settings = std::filesystem::exists(folderOfCase / "run.txt") ? qs(readFile((folderOfCase / "run.txt").string())) : "";
        for (const char* what : {"tables", "relations", "queries"})
            if (settings.contains(QStringLiteral("uncheck ") + what))
                click(qPrintable(QStringLiteral("chk") + QChar(what[0]).toUpper() + (what + 1)));
        return qs(readFile((folderOfCase / "expected.log").string())).replace("{DIR}", folder);
    }
    QString logText() { return qs(readFile(log.toStdString())); }
};

// Runs action during the next event processing, which for a click on Compare is the run's first.
void duringRun(std::function<void()> action)
{
    QTimer::singleShot(0, std::move(action));
}

// Clicks the dialog's Open button (Cancel when open is false) and returns the dialog's result.
int pressDialogButton(QFileDialog& dialog, bool open)
{
    auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    QAbstractButton* button = buttons ? buttons->button(open ? QDialogButtonBox::Open : QDialogButtonBox::Cancel) : nullptr;
    if (button) button->click();
    return dialog.result();
}

// The file-open dialog answered by choosing path, or cancelled when path is empty.
int answerDialog(QFileDialog& dialog, const QString& path)
{
    if (!path.isEmpty()) dialog.selectFile(path);
    return pressDialogButton(dialog, !path.isEmpty());
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void controlsAtStart();
    void keyboard();
    void captionsFit();
    void checkBoxesDrawnWhole();
    void runWindowOperations();
    void fileDialogSettings();
    void fileDialogStartsInHomeWhenInstalled();
    void fileDialogCancelChangesNothing();
    void fileDialogOpensInDatabase1Folder();
    void compareWritesLogAndStartsViewer_data();
    void compareWritesLogAndStartsViewer();
    void statusTooltipNamesLog();
    void cancelDuringRun();
    void waitForAnotherRun_data();
    void waitForAnotherRun();
    void failingOpen();
    void failingOpenOfBoth();
    void passwordDialog_data();
    void passwordDialog();
    void exitWhenIdle();
    void exitDuringRun_data();
    void exitDuringRun();
    void clicksDuringRun();
    void uncaughtError_data();
    void uncaughtError();
    void logFolder();
    void commandLineFillsPathBoxes_data();
    void commandLineFillsPathBoxes();
};

void MainWindowTest::initTestCase()
{
    // As main() does.
    QApplication::setStyle(QStringLiteral("Fusion"));
    // Closing the window under test must not end the test's event processing.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QVERIFY2(!qEnvironmentVariableIsEmpty("DUALYN_VIEWER"), "DUALYN_VIEWER names the recording viewer");
}

// Names, kinds, captions, places and sizes, and what each control shows at start.
void MainWindowTest::controlsAtStart()
{
    Fixture f;
    struct Control {
        const char* name;
        const char* kind;
        const char* text;
        int left, top, width, height;  // twips
    };
    const Control controls[] = {
        {"cmdDB1", "QPushButton", "Set Database 1", 255, 120, 1410, 405},
        {"txtDB1", "QLineEdit", "", 255, 600, 5880, 285},
        {"cmdDB2", "QPushButton", "Set Database 2", 240, 1020, 1410, 405},
        {"txtDB2", "QLineEdit", "", 255, 1485, 5880, 285},
        {"chkTables", "QCheckBox", "Compare Tables", 255, 1950, 1845, 195},
        {"chkRelations", "QCheckBox", "Compare Relations", 255, 2220, 1845, 195},
        {"chkQueries", "QCheckBox", "Compare Queries", 255, 2490, 1845, 195},
        {"lblInfo", "QLabel", "Press Compare to compare databases", 255, 2910, 5880, 225},
        {"ProgressBar1", "QProgressBar", "", 255, 3195, 5880, 165},
        {"cmdCompare", "QPushButton", "Compare", 210, 3465, 1410, 405},
        {"cmdCancel", "QPushButton", "Cancel", 2467, 3465, 1410, 405},
        {"cmdExit", "QPushButton", "Exit", 4725, 3465, 1410, 405},
    };
    QScreen* screen = f.window->screen();
    auto px = [](int twips, qreal dpi) { return qRound(twips * dpi / 1440); };
    auto pixels = [&](int l, int t, int w, int h) {
        qreal dx = screen->logicalDotsPerInchX(), dy = screen->logicalDotsPerInchY();
        return QRect(px(l, dx), px(t, dy), px(w, dx), px(h, dy));
    };
    for (const Control& c : controls) {
        QWidget* w = f.control<QWidget>(c.name);
        QVERIFY2(w, c.name);
        QCOMPARE(w->metaObject()->className(), c.kind);
        QCOMPARE(w->geometry(), pixels(c.left, c.top, c.width, c.height));
        QVERIFY2(w->isVisible() && w->isEnabled(), c.name);
        if (!qobject_cast<QProgressBar*>(w)) QCOMPARE(w->property("text").toString(), QString::fromLatin1(c.text));
        if (auto* box = qobject_cast<QCheckBox*>(w)) QCOMPARE(box->checkState(), Qt::Checked);
    }
    QCOMPARE(f.window->findChildren<QWidget*>().size(), std::size(controls));
    QCOMPARE(f.window->windowTitle(), QStringLiteral("Dualyn"));
    QCOMPARE(f.window->size(), pixels(0, 0, 6345, 4065).size());
    QCOMPARE(f.window->minimumSize(), f.window->maximumSize());
    auto* bar = f.control<QProgressBar>("ProgressBar1");
    QCOMPARE(f.window->GetProgressMax(), 100.0f);
    QCOMPARE(f.window->GetProgressValue(), 0.0f);
    QCOMPARE(bar->value(), bar->minimum());
    QVERIFY(!bar->isTextVisible());
}

// Focus on cmdDB1 at start, the tab order, no default or cancel button, no accelerators.
void MainWindowTest::keyboard()
{
    Fixture f;
    int dialogs = 0;
    f.window->execFileDialog = [&dialogs](QFileDialog& dialog) { ++dialogs; return answerDialog(dialog, {}); };
    QApplication::setActiveWindow(f.window.get());
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    QCOMPARE(QApplication::focusWidget(), f.control<QWidget>("cmdDB1"));

    QStringList order;
    for (int i = 0; i < 11; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order.join(' '), QStringLiteral("cmdDB1 cmdDB2 txtDB1 txtDB2 cmdCompare cmdExit chkTables chkRelations "
                                             "chkQueries cmdCancel cmdDB1"));

    // Enter and Escape in a path box neither start a run nor open the dialog nor close the window.
    f.control<QLineEdit>("txtDB1")->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(f.control<QLineEdit>("txtDB1"), key);
    QCOMPARE(dialogs, 0);
    QVERIFY(!QFile::exists(f.log));
    QVERIFY(f.window->isVisible());
    for (QAbstractButton* button : f.window->findChildren<QAbstractButton*>()) {
        QVERIFY2(QKeySequence::mnemonic(button->text()).isEmpty(), qPrintable(button->text()));
        if (auto* push = qobject_cast<QPushButton*>(button)) QVERIFY(!push->isDefault() && !push->autoDefault());
    }
}

// Each caption shows whole: its text's width and height within the part of the control that
// holds text.
void MainWindowTest::captionsFit()
{
    Fixture f;
    qInfo("font: %s", qPrintable(QFontInfo(f.window->font()).family()));
    for (QAbstractButton* button : f.window->findChildren<QAbstractButton*>()) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        bool isCheckBox = qobject_cast<QCheckBox*>(button);
        QRect room = button->style()->subElementRect(isCheckBox ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents,
                                                     &option, button);
        QFontMetrics metrics(button->font());
        QSize text(metrics.horizontalAdvance(button->text()), metrics.height());
        qInfo("%-13s text %3dx%2d in %3dx%2d", qPrintable(button->objectName()), text.width(), text.height(), room.width(),
              room.height());
        QVERIFY2(text.width() <= room.width() && text.height() <= room.height(), qPrintable(button->objectName()));
    }
    auto* label = f.control<QLabel>("lblInfo");
    QFontMetrics metrics(label->font());
    QVERIFY(metrics.horizontalAdvance(label->text()) <= label->contentsRect().width());
    QVERIFY(metrics.height() <= label->contentsRect().height());
}

// Each check box's indicator lies within the box, at the screen's scale (2 under QT_SCALE_FACTOR=2,
// as the test's second run has it) and drawn at twice that: its frame's bottom edge is drawn as
// its top edge is, in the last rows the indicator covers.
void MainWindowTest::checkBoxesDrawnWhole()
{
    Fixture f;
    for (QCheckBox* box : f.window->findChildren<QCheckBox*>()) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        qInfo("%-13s box %dx%d, indicator %dx%d at %d,%d, scale %g", qPrintable(box->objectName()), box->width(),
              box->height(), indicator.width(), indicator.height(), indicator.x(), indicator.y(), box->devicePixelRatioF());
        QVERIFY2(box->rect().contains(indicator), qPrintable(box->objectName()));
        QVERIFY2(indicator.width() >= 10 && indicator.height() >= 10, qPrintable(box->objectName()));  // still a box

        for (qreal scale : {box->devicePixelRatioF(), 2 * box->devicePixelRatioF()}) {
            QImage image(box->size() * scale, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(scale);
            image.fill(Qt::transparent);
            box->render(&image);
            // Device rows of the frame's top and bottom edge, and the row inside above the bottom.
            const int x = qFloor((indicator.center().x() + 0.5) * scale), top = qFloor(indicator.top() * scale);
            const int bottom = qCeil((indicator.bottom() + 1) * scale) - 1, inside = bottom - qCeil(scale);
            QVERIFY(bottom < image.height());
            const int topGrey = qGray(image.pixel(x, top)), bottomGrey = qGray(image.pixel(x, bottom)),
                      insideGrey = qGray(image.pixel(x, inside));
            qInfo("  drawn at %g: grey %d at the top, %d at the bottom, %d inside", scale, topGrey, bottomGrey, insideGrey);
            QVERIFY2(qAbs(bottomGrey - topGrey) <= 16 && qAbs(insideGrey - bottomGrey) > 16, qPrintable(box->objectName()));
        }
    }
}

// The progress bar keeps the run's float numbers and shows an empty bar for a maximum of 0; a
// greyed check box counts as ticked; the busy pointer does not pile up; events are dispatched;
// a path that is not ASCII comes back as it went in.
void MainWindowTest::runWindowOperations()
{
    Fixture f;
    frmMain& w = *f.window;
    auto* bar = f.control<QProgressBar>("ProgressBar1");
    auto filled = [bar] { return double(bar->value() - bar->minimum()) / (bar->maximum() - bar->minimum()); };
    w.SetProgressMax(0);
    QCOMPARE(w.GetProgressMax(), 0.0f);
    QVERIFY2(bar->maximum() > bar->minimum(), "a maximum of 0 is no busy animation");
    QCOMPARE(filled(), 0.0);
    w.SetProgressMax(3);
    w.SetProgressValue(1.5f);
    QCOMPARE(w.GetProgressValue(), 1.5f);
    QCOMPARE(filled(), 0.5);
    w.SetProgressMax(0.1f);
    QCOMPARE(w.GetProgressMax(), 0.1f);
    QCOMPARE(filled(), 1.0);  // 1.5 of 0.1: full, not beyond

    auto* tables = f.control<QCheckBox>("chkTables");
    tables->setCheckState(Qt::PartiallyChecked);
    QVERIFY(w.IsTicked(dualyn::CheckBox::chkTables));
    f.click("chkRelations");
    QVERIFY(!w.IsTicked(dualyn::CheckBox::chkRelations));
    QVERIFY(w.IsTicked(dualyn::CheckBox::chkQueries));

    w.SetBusyPointer(true);
    w.SetBusyPointer(true);
    QVERIFY(QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor);
    w.SetBusyPointer(false);
    QVERIFY(!QGuiApplication::overrideCursor());

    bool dispatched = false;
    QTimer::singleShot(0, [&dispatched] { dispatched = true; });
    w.ProcessPendingEvents();
    QVERIFY(dispatched);

    const std::string path = "/tmp/Größe – 顧客.mdb";
    w.SetDatabasePath(2, path);
    QCOMPARE(f.control<QLineEdit>("txtDB2")->text(), qs(path));
    QCOMPARE(w.GetDatabasePath(2), path);
    QCOMPARE(w.GetDatabasePath(1), std::string());
}

// The real dialog as the first click shows it: open mode, an existing file, in the program's
// folder, listing the Access files in either case and folders, with the filters for newer Access
// files and for all files to choose; a name typed without an extension gets ".mdb".
void MainWindowTest::fileDialogSettings()
{
    Fixture f;
    for (const char* name : {"a.mdb", "B.MDB", "notes.txt", "c.mdb.bak", "D.ACCDB", "e.accdb"})
        testsupport::writeFile(f.dir.file(name), "");
    QDir(f.folder).mkdir("sub");
    bool listedEach = false;  // the dialog listed the files of each filter
    f.window->execFileDialog = [&](QFileDialog& dialog) {
        [&] {
            QCOMPARE(dialog.objectName(), QStringLiteral("CommonDialog1"));
            QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptOpen);
            QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFile);
            QCOMPARE(dialog.nameFilters(),
                     (QStringList{"Access (*.mdb)", "Access 2007 and later (*.accdb)", "All files (*)"}));
            QCOMPARE(dialog.selectedNameFilter(), QStringLiteral("Access (*.mdb)"));
            QCOMPARE(dialog.defaultSuffix(), QStringLiteral("mdb"));
            QCOMPARE(dialog.directory(), QDir(f.folder));
            auto* model = dialog.findChild<QFileSystemModel*>();
            QVERIFY(model);
            QModelIndex root = model->index(f.folder);
            auto listed = [&] {  // what the dialog lists, sorted
                QStringList names;
                for (int row = 0; row < model->rowCount(root); ++row) names << model->index(row, 0, root).data().toString();
                names.sort();
                return names;
            };
            const QStringList mdb{"B.MDB", "a.mdb", "sub"};
            QTRY_COMPARE(listed(), mdb);
            dialog.selectNameFilter(QStringLiteral("Access 2007 and later (*.accdb)"));
            QTRY_COMPARE(listed(), (QStringList{"D.ACCDB", "e.accdb", "sub"}));
            dialog.selectNameFilter(QStringLiteral("All files (*)"));
            QTRY_COMPARE(listed(), (QStringList{"B.MDB", "D.ACCDB", "a.mdb", "c.mdb.bak", "e.accdb", "notes.txt", "sub"}));
            dialog.selectNameFilter(QStringLiteral("Access (*.mdb)"));
            QTRY_COMPARE(listed(), mdb);
            listedEach = true;
        }();
        QTest::keyClicks(dialog.findChild<QLineEdit*>("fileNameEdit"), "a");
        return pressDialogButton(dialog, true);
    };
    f.click("cmdDB1");
    QVERIFY(listedEach);
    QCOMPARE(f.control<QLineEdit>("txtDB1")->text(), f.folder + "/a.mdb");
    QCOMPARE(f.window->CommonDialog1().InitDir, f.folder + "/");
}

// An installed program, in a folder the user cannot create files in, opens the first dialog in the
// user's home folder; the log goes elsewhere too (see logFolder). A path under a file is such a
// folder also for root; a read-only folder is one for anyone else.
void MainWindowTest::fileDialogStartsInHomeWhenInstalled()
{
    TempDir dir;
    const QString folder = qs(dir.path()), home = folder + "/home";
    const QByteArray savedHome = qgetenv("HOME");
    auto restore = qScopeGuard([&] { qputenv("HOME", savedHome); });
    qputenv("HOME", QFile::encodeName(home));
    QDir().mkpath(home);
    testsupport::writeFile(dir.file("installed"), "");
    QDir().mkpath(folder + "/read-only");
    QFile::setPermissions(folder + "/read-only", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    auto writable = qScopeGuard([&] { QFile::setPermissions(folder + "/read-only", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner); });

    QStringList programFolders{folder + "/installed/bin"};
    if (::geteuid() != 0)
        programFolders << folder + "/read-only";
    else
        qInfo("run as root, who may write in a read-only folder: only the folder under a file is tried");
    for (const QString& programFolder : programFolders) {
        frmMain window(programFolder);
        QCOMPARE(window.CommonDialog1().InitDir, home);
        QString openedIn;
        window.execFileDialog = [&openedIn](QFileDialog& dialog) {
            openedIn = dialog.directory().absolutePath();
            return answerDialog(dialog, {});
        };
        window.cmdDB2_Click();
        QCOMPARE(openedIn, home);
    }
}

// A cancelled dialog changes nothing: not the path box, with a typed path or with another
// database's path in the dialog, and not the dialog's folder.
void MainWindowTest::fileDialogCancelChangesNothing()
{
    Fixture f;
    testsupport::writeFile(f.dir.file("two.mdb"), "");
    QString answer;
    f.window->execFileDialog = [&answer](QFileDialog& dialog) { return answerDialog(dialog, answer); };
    f.type("txtDB1", "typed/by hand.mdb");
    f.click("cmdDB1");
    QCOMPARE(f.control<QLineEdit>("txtDB1")->text(), QStringLiteral("typed/by hand.mdb"));
    QCOMPARE(f.window->CommonDialog1().InitDir, f.folder);

    answer = f.folder + "/two.mdb";
    f.click("cmdDB2");
    QCOMPARE(f.control<QLineEdit>("txtDB2")->text(), answer);
    answer.clear();
    f.click("cmdDB1");
    QCOMPARE(f.control<QLineEdit>("txtDB1")->text(), QStringLiteral("typed/by hand.mdb"));
    f.click("cmdDB2");
    QCOMPARE(f.control<QLineEdit>("txtDB2")->text(), f.folder + "/two.mdb");
    QCOMPARE(f.window->CommonDialog1().InitDir, f.folder);
}

// After database 1 is chosen in one folder and database 2 in another, the dialog of either button
// opens in database 1's folder, with database 1's file filled in; a typed path moves nothing.
void MainWindowTest::fileDialogOpensInDatabase1Folder()
{
    Fixture f;
    QDir(f.folder).mkpath("one");
    QDir(f.folder).mkpath("two");
    testsupport::writeFile(f.dir.file("one/a.mdb"), "");
    testsupport::writeFile(f.dir.file("two/b.mdb"), "");
    QString answer, openedIn, filledIn;
    f.window->execFileDialog = [&](QFileDialog& dialog) {
        openedIn = dialog.directory().absolutePath();
        filledIn = dialog.selectedFiles().value(0);
        return answerDialog(dialog, answer);
    };
    answer = f.folder + "/one/a.mdb";
    f.click("cmdDB1");
    answer = f.folder + "/two/b.mdb";
    f.click("cmdDB2");
    QCOMPARE(openedIn, f.folder + "/one");
    answer.clear();
    f.click("cmdDB2");
    QCOMPARE(openedIn, f.folder + "/one");
    f.control<QLineEdit>("txtDB1")->clear();
    f.type("txtDB1", f.folder + "/two/b.mdb");
    answer = f.folder + "/one/a.mdb";
    f.click("cmdDB1");
    QCOMPARE(openedIn, f.folder + "/one");
    answer.clear();
    f.click("cmdDB1");
    QCOMPARE(openedIn, f.folder + "/one");
    QCOMPARE(filledIn, f.folder + "/one/a.mdb");
    QCOMPARE(f.control<QLineEdit>("txtDB1")->text(), f.folder + "/one/a.mdb");
}

void MainWindowTest::compareWritesLogAndStartsViewer_data()
{
    QTest::addColumn<QString>("golden");
    QTest::addColumn<bool>("busyAtFirstEvent");
    QTest::newRow("every section") << "run-all-sections" << true;
    QTest::newRow("no section, over an old log") << "run-no-sections" << false;
}

// A run from the window writes the golden log and starts the viewer once, on the log; the pointer
// is busy while the sections run and normal after.
void MainWindowTest::compareWritesLogAndStartsViewer()
{
    QFETCH(QString, golden);
    QFETCH(bool, busyAtFirstEvent);
    Fixture f;
    QString expected = f.golden(golden.toStdString());
    testsupport::writeFile(f.log.toStdString(), "an old log\r\n");
    bool busy = !busyAtFirstEvent;
    duringRun([&busy] { busy = QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor; });
    f.click("cmdCompare");
    QCOMPARE(f.logText(), expected);
    QCOMPARE(busy, busyAtFirstEvent);
    QCOMPARE(viewerStarts(f.record, 1), QStringList{f.log});
    QVERIFY(!QGuiApplication::overrideCursor());
    QCOMPARE(f.control<QLabel>("lblInfo")->text(), QStringLiteral("Releaseing resources"));
    QVERIFY(!f.window->Run().db1 && !f.window->Run().db2);
}

// After a run that opened the log, the status line keeps its last words and its tooltip names the
// log, as it is also when the path looks like markup; a cancelled run leaves no tooltip.
void MainWindowTest::statusTooltipNamesLog()
{
    TempDir dir;
    const QString folder = qs(dir.path()) + "/a <b>bold</b>  & b";  // the program's, and the log's
    QVERIFY(QDir().mkpath(folder));
    const QString db = folder + "/t.mdb", log = folder + "/ComparisonLog.txt";
    mdbgen::writeJet4File(mdbgen::parseDescription("table T\n field F long\n"), db.toStdString());
    qputenv("DUALYN_VIEWER_RECORD", QFile::encodeName(qs(dir.path()) + "/viewer.txt"));
    frmMain window(folder);
    auto* status = window.findChild<QLabel*>(QStringLiteral("lblInfo"));
    QCOMPARE(status->toolTip(), QString());
    auto compare = [&] {
        window.SetDatabasePath(1, db.toStdString());
        window.SetDatabasePath(2, db.toStdString());
        window.cmdCompare_Click();
    };
    compare();
    QCOMPARE(viewerStarts(qs(dir.path()) + "/viewer.txt", 1), QStringList{log});
    QCOMPARE(status->text(), QStringLiteral("Releaseing resources"));
    const QString tip = status->toolTip();
    QVERIFY2(Qt::mightBeRichText(tip), qPrintable(tip));  // so shown as the document it makes
    QTextDocument shown;
    shown.setHtml(tip);
    QCOMPARE(shown.toPlainText(), "Comparison log: " + log);

    duringRun([&window] { window.cmdCancel_Click(); });
    compare();
    QCOMPARE(status->toolTip(), QString());
}

// Cancel clicked while the first table is compared: the log stops there and no viewer starts.
void MainWindowTest::cancelDuringRun()
{
    Fixture f;
    QString expected = f.golden("tables-cancel-at-first-table");
    QString statusAfterCancel;
    duringRun([&] {
        f.click("cmdCancel");
        statusAfterCancel = f.control<QLabel>("lblInfo")->text();
    });
    f.click("cmdCompare");
    QCOMPARE(statusAfterCancel, QStringLiteral("Comparison cancelled"));
    QCOMPARE(f.logText(), expected);
    QCOMPARE(viewerStarts(f.record, 0), QStringList());
    QCOMPARE(f.control<QLabel>("lblInfo")->text(), QStringLiteral("Releaseing resources"));
}

void MainWindowTest::waitForAnotherRun_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("the other run ends") << false;
    QTest::newRow("Cancel while waiting") << true;
}

// While another window's run holds the log, a run waits and says so, leaving that run's log
// alone; Cancel ends the wait as it ends a run, without touching the log; otherwise the run
// writes its whole log once the other is done.
void MainWindowTest::waitForAnotherRun()
{
    QFETCH(bool, cancel);
    Fixture f;
    QString expected = f.golden("run-all-sections");
    testsupport::writeFile(f.log.toStdString(), "the other window's log\r\n");
    int other = ::open(QFile::encodeName(f.log + ".lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);  // its lock
    QVERIFY(other >= 0 && ::flock(other, LOCK_EX | LOCK_NB) == 0);
    auto otherEnds = [&other] {
        if (other >= 0) ::close(other);
        other = -1;
    };
    QString statusWhileWaiting, logWhileWaiting;
    duringRun([&] {
        statusWhileWaiting = f.control<QLabel>("lblInfo")->text();
        logWhileWaiting = f.logText();
        if (cancel)
            f.click("cmdCancel");
        else
            QTimer::singleShot(200, otherEnds);
    });
    f.click("cmdCompare");
    otherEnds();
    QCOMPARE(statusWhileWaiting, QStringLiteral("Waiting for another comparison to finish"));
    QCOMPARE(logWhileWaiting, QStringLiteral("the other window's log\r\n"));
    QCOMPARE(f.logText(), cancel ? QStringLiteral("the other window's log\r\n") : expected);
    QCOMPARE(viewerStarts(f.record, cancel ? 0 : 1), cancel ? QStringList() : QStringList{f.log});
    QCOMPARE(f.control<QLabel>("lblInfo")->text(), QStringLiteral("Releaseing resources"));
    QVERIFY(!QGuiApplication::overrideCursor());
}

// Database 1 is missing: the box with its title and text, no icon, OK only, under the text which
// database failed and why, and the reason in its details; both path boxes empty, the log empty and
// shown.
void MainWindowTest::failingOpen()
{
    Fixture f;
    f.golden("run-db1-missing");
    QFile::remove(f.folder + "/db1.mdb");
    BoxAnswerer answerer;
    f.click("cmdCompare");
    QCOMPARE(answerer.seen.size(), 1);
    const SeenBox& box = answerer.seen.first();
    QCOMPARE(box.title, QStringLiteral("Database Error"));
    QCOMPARE(box.text, QStringLiteral("Databases failed to open"));
    QCOMPARE(box.details, f.folder + "/db1.mdb: the file does not exist");
    QCOMPARE(box.informativeText, "Database 1: " + f.folder + "/db1.mdb: the file does not exist");
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(f.control<QLineEdit>("txtDB1")->text(), QString());
    QCOMPARE(f.control<QLineEdit>("txtDB2")->text(), QString());
    QVERIFY(QFile::exists(f.log));
    QCOMPARE(f.logText(), QString());
    QCOMPARE(viewerStarts(f.record, 1), QStringList{f.log});
    QVERIFY(!QGuiApplication::overrideCursor());
}

// Both databases are missing: the box names both, each with its reason, in plain text, so that a
// path with "<b>" in it shows as it is; the details keep database 1's reason.
void MainWindowTest::failingOpenOfBoth()
{
    Fixture f;
    const QString db1 = f.folder + "/<b>one</b>.mdb", db2 = f.folder + "/two & <i>three</i>.mdb";
    f.type("txtDB1", db1);
    f.type("txtDB2", db2);
    BoxAnswerer answerer;
    f.click("cmdCompare");
    QCOMPARE(answerer.seen.size(), 1);
    const SeenBox& box = answerer.seen.first();
    QCOMPARE(box.title, QStringLiteral("Database Error"));
    QCOMPARE(box.text, QStringLiteral("Databases failed to open"));
    QCOMPARE(box.informativeText, "Database 1: " + db1 + ": the file does not exist\nDatabase 2: " + db2 +
                                      ": the file does not exist");
    QCOMPARE(box.informativeFormat, Qt::PlainText);
    QCOMPARE(box.details, db1 + ": the file does not exist");
    QCOMPARE(f.control<QLineEdit>("txtDB1")->text(), QString());
    QCOMPARE(f.control<QLineEdit>("txtDB2")->text(), QString());
}

// Exit while no run goes on closes the window at once and leaves the log alone.
void MainWindowTest::exitWhenIdle()
{
    Fixture f;
    testsupport::writeFile(f.log.toStdString(), "kept\r\n");
    f.click("cmdExit");
    QVERIFY(!f.window->isVisible());
    QCOMPARE(f.logText(), QStringLiteral("kept\r\n"));
}

void MainWindowTest::exitDuringRun_data()
{
    QTest::addColumn<bool>("byTitleBar");
    QTest::newRow("Exit") << false;
    QTest::newRow("closing the window") << true;
}

// Exit, or closing the window, during a run cancels it; the window stays while the run still
// uses it and closes when the run is over.
void MainWindowTest::exitDuringRun()
{
    QFETCH(bool, byTitleBar);
    Fixture f;
    QString expected = f.golden("tables-cancel-at-first-table");
    bool openAfterExit = false, openLater = false;
    QString statusAfterExit;
    duringRun([&] {
        if (byTitleBar)
            f.window->close();
        else
            f.click("cmdExit");
        openAfterExit = f.window->isVisible();
        statusAfterExit = f.control<QLabel>("lblInfo")->text();
        // The run's next event processing, in its closing steps.
        QTimer::singleShot(0, [&] { openLater = f.window->isVisible(); });
    });
    f.click("cmdCompare");
    QVERIFY(openAfterExit);
    QVERIFY(openLater);
    QCOMPARE(statusAfterExit, QStringLiteral("Comparison cancelled"));
    QVERIFY(!f.window->isVisible());
    QCOMPARE(f.logText(), expected);
    QCOMPARE(f.control<QLabel>("lblInfo")->text(), QStringLiteral("Releaseing resources"));
    QCOMPARE(viewerStarts(f.record, 0), QStringList());
}

// During a run a second Compare is ignored and the database buttons work as usual.
void MainWindowTest::clicksDuringRun()
{
    Fixture f;
    QString expected = f.golden("run-all-sections");
    f.window->execFileDialog = [&f](QFileDialog& dialog) { return answerDialog(dialog, f.folder + "/db1.mdb"); };
    duringRun([&f] {
        f.click("cmdCompare");
        f.click("cmdDB2");
    });
    f.click("cmdCompare");
    QCOMPARE(f.logText(), expected);
    QCOMPARE(viewerStarts(f.record, 1), QStringList{f.log});
    QCOMPARE(f.control<QLineEdit>("txtDB2")->text(), f.folder + "/db1.mdb");
}

void MainWindowTest::uncaughtError_data()
{
    QTest::addColumn<bool>("viewerFails");
    QTest::newRow("the log cannot be replaced") << false;
    QTest::newRow("the viewer cannot be started") << true;
}

// An error that leaves the run: a box says the comparison stopped and why; the pointer is normal,
// both databases are released, and the next run works.
void MainWindowTest::uncaughtError()
{
    QFETCH(bool, viewerFails);
    Fixture f;
    QString expected = f.golden("run-all-sections");
    const QByteArray viewer = qgetenv("DUALYN_VIEWER");
    QString why;
    if (viewerFails) {
        qputenv("DUALYN_VIEWER", QFile::encodeName(f.folder + "/no-such-viewer"));
        why = "the log " + f.log + " cannot be shown: the viewer " + f.folder + "/no-such-viewer cannot be started";
    } else {
        QDir(f.folder).mkdir("ComparisonLog.txt");
        why = "the comparison log " + f.log + " cannot be replaced: " + QString::fromLocal8Bit(std::strerror(EISDIR));
    }
    {
        BoxAnswerer answerer;
        f.click("cmdCompare");
        qputenv("DUALYN_VIEWER", viewer);
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().text, "The comparison stopped: " + why);
        QCOMPARE(answerer.seen.first().title, QStringLiteral("Comparison Error"));
    }
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(!f.window->Run().db1 && !f.window->Run().db2);
    QCOMPARE(f.control<QLabel>("lblInfo")->text(), QStringLiteral("Comparison stopped"));
    if (viewerFails) QCOMPARE(f.logText(), expected);

    QDir(f.folder).rmdir("ComparisonLog.txt");
    f.click("cmdCompare");
    QCOMPARE(f.logText(), expected);
    QCOMPARE(viewerStarts(f.record, 1), QStringList{f.log});
}

// The log beside the program when its folder is writable; otherwise in $XDG_STATE_HOME/dualyn,
// or ~/.local/state/dualyn when that variable is not an absolute path; a run writes it there.
void MainWindowTest::logFolder()
{
    TempDir dir;
    const QString folder = qs(dir.path());
    const QByteArray home = qgetenv("HOME"), stateHome = qgetenv("XDG_STATE_HOME");
    auto restore = qScopeGuard([&] {
        qputenv("HOME", home);
        if (stateHome.isNull()) qunsetenv("XDG_STATE_HOME"); else qputenv("XDG_STATE_HOME", stateHome);
    });
    testsupport::writeFile(dir.file("installed"), "");  // a "folder" no one can create files in
    qputenv("HOME", QFile::encodeName(folder + "/home"));

    QCOMPARE(frmMain::LogFolder(folder), folder);
    qputenv("XDG_STATE_HOME", QFile::encodeName(folder + "/state"));
    QCOMPARE(frmMain::LogFolder(folder + "/installed"), folder + "/state/dualyn");
    qputenv("XDG_STATE_HOME", "relative/state");
    QCOMPARE(frmMain::LogFolder(folder + "/installed"), folder + "/home/.local/state/dualyn");
    qunsetenv("XDG_STATE_HOME");

    // A run of the installed program: the databases fail to open, so the log is empty, and shown.
    const QString log = folder + "/home/.local/state/dualyn/ComparisonLog.txt";
    qputenv("DUALYN_VIEWER_RECORD", QFile::encodeName(folder + "/viewer.txt"));
    frmMain window(folder + "/installed");
    window.SetDatabasePath(1, dir.file("installed"));
    window.SetDatabasePath(2, dir.file("installed"));
    {
        BoxAnswerer answerer;
        window.cmdCompare_Click();
        QCOMPARE(answerer.seen.size(), 1);
    }
    QVERIFY(QFileInfo(log).isFile());
    QCOMPARE(viewerStarts(folder + "/viewer.txt", 1), QStringList{log});
}

void MainWindowTest::commandLineFillsPathBoxes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("db1");
    QTest::addColumn<QString>("db2");
    QTest::newRow("no file") << QStringList{} << QString() << QString();
    QTest::newRow("one file: database 1 only") << QStringList{"/data/shop.mdb"} << "/data/shop.mdb" << QString();
    QTest::newRow("two files") << QStringList{"shop v1.mdb", "/data/Größe – 顧客.accdb"} << "shop v1.mdb"
                               << "/data/Größe – 顧客.accdb";
    QTest::newRow("more than two: the first two") << QStringList{"a.mdb", "b.mdb", "c.mdb"} << "a.mdb" << "b.mdb";
    QTest::newRow("names like options after --") << QStringList{"--", "-h", "--version"} << "-h" << "--version";
}

// The files on dualyn's command line, read as main() reads them, fill the path boxes in order;
// none of these command lines is one answered without the window.
void MainWindowTest::commandLineFillsPathBoxes()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, db1);
    QFETCH(QString, db2);
    const QStringList commandLine = QStringList{"dualyn"} + arguments;
    QByteArrayList bytes;  // the command line as main() gets it
    for (const QString& argument : commandLine) bytes << QFile::encodeName(argument);
    std::vector<char*> argv;
    for (QByteArray& argument : bytes) argv.push_back(argument.data());
    QVERIFY(!dualyn::asksOnlyForText(int(argv.size()), argv.data()));

    QCommandLineParser parser;
    dualyn::describeCommandLine(parser);
    QVERIFY2(parser.parse(commandLine), qPrintable(parser.errorText()));
    Fixture f;
    dualyn::fillPathBoxes(*f.window, parser.positionalArguments());
    QCOMPARE(f.control<QLineEdit>("txtDB1")->text(), db1);
    QCOMPARE(f.control<QLineEdit>("txtDB2")->text(), db2);
}

void MainWindowTest::passwordDialog_data()
{
    QTest::addColumn<QStringList>("answers");   // what is typed at each question; "" cancels
    QTest::addColumn<QStringList>("questions"); // what each question said, the folder as {DIR}
    QTest::addColumn<QString>("failure");       // the failure box's informative text; "" none
    const QString ask1 = "Database 1 needs a password: {DIR}/db1.mdb", ask2 = "Database 2 needs a password: {DIR}/db2.mdb";
    const QString wrong = "Wrong password.\n";
    QTest::newRow("right") << QStringList{"secret", "secret"} << QStringList{ask1, ask2} << "";
    QTest::newRow("wrong, then right") << QStringList{"Secret", "secret", "secret"} << QStringList{ask1, wrong + ask1, ask2} << "";
    QTest::newRow("cancel") << QStringList{"", ""} << QStringList{ask1, ask2}
                            << "Database 1: {DIR}/db1.mdb: no password given\nDatabase 2: {DIR}/db2.mdb: no password given";
    QTest::newRow("three wrong") << QStringList{"a", "b", "c", "secret"} << QStringList{ask1, wrong + ask1, wrong + ask1, ask2}
                                 << "Database 1: {DIR}/db1.mdb: wrong password";
}

// Databases protected by a password: the window asks for each, unseen, naming the file; a wrong one is said and asked again, at most three times; Cancel
// or three wrong ones end in the failure box with the reason.
void MainWindowTest::passwordDialog()
{
    QFETCH(QStringList, answers);
    QFETCH(QStringList, questions);
    QFETCH(QString, failure);
    Fixture f;
    const QString expected = f.golden("run-all-sections");
    // The same pair written again, encoded and protected by the password "secret".
    for (const char* side : {"db1", "db2"}) {
        mdbgen::Database design = mdbgen::parseDescription(
            readFile(std::string(GOLDEN_DIR) + "/run-all-sections/" + side + ".txt"));
        design.encoded = true;
        design.password = "secret";
        mdbgen::writeJet4File(design, f.dir.file(std::string(side) + ".mdb"));
    }
    QStringList asked;
    f.window->execPasswordDialog = [&](QInputDialog& dialog) {
        asked << dialog.labelText().replace(f.folder, "{DIR}");
        [&] {
            QCOMPARE(dialog.textEchoMode(), QLineEdit::Password);
            QVERIFY(!QGuiApplication::overrideCursor());  // no wait cursor while the user types
            const QList<QLabel*> labels = dialog.findChildren<QLabel*>();  // a path is never markup
            QVERIFY(!labels.isEmpty());
            for (QLabel* label : labels) QCOMPARE(label->textFormat(), Qt::PlainText);
        }();
        const QString answer = answers.value(asked.size() - 1);
        if (answer.isEmpty()) return int(QDialog::Rejected);
        dialog.setTextValue(answer);
        return int(QDialog::Accepted);
    };
    BoxAnswerer answerer;
    f.click("cmdCompare");
    QCOMPARE(asked, questions);
    if (failure.isEmpty()) {
        QCOMPARE(answerer.seen.size(), 0);
        QCOMPARE(f.logText(), expected);
    } else {
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().text, QStringLiteral("Databases failed to open"));
        QCOMPARE(answerer.seen.first().informativeText, QString(failure).replace("{DIR}", f.folder));
    }
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
