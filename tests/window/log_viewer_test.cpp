// Dualyn's log viewer driven as a user drives it, under QT_QPA_PLATFORM=offscreen, on the golden
// pairs of ../golden and on small pairs of its own: the rows are the log file's lines, each line
// of difference shows its own twin, F8 and Shift+F8 visit the differences in order, the filters
// narrow as they say, a second run replaces what is shown, "Save as…" writes the three forms,
// names that look like markup stay text, and the main window shows its runs in it.
#include "golden_pair.h"
#include "html_report.h"
#include "jet4_writer.h"
#include "log_view.h"
#include "log_viewer.h"
#include "main_window.h"
#include "run_report.h"
#include "schema_text.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTreeView>
#include <QtTest>

#include <functional>
#include <nlohmann/json.hpp>

using dualyn::Difference;
using dualyn::LogViewer;
using testsupport::readFile;

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

// A pair run as the golden test runs it, shown in a viewer.
struct Shown {
    std::unique_ptr<goldenpair::GoldenRun> golden;
    std::string logBytes;  // the log file's bytes
    dualyn::RunReport report;
};

Shown runGolden(const std::string& name)
{
    Shown shown;
    shown.golden = goldenpair::runCase(name);
    shown.logBytes = readFile(shown.golden->run->strLogFile);
    shown.report = dualyn::ReportOf(*shown.golden->run);
    return shown;
}

// Writes two databases from their descriptions into dir and runs every section on them.
Shown runPair(testsupport::TempDir& dir, const std::string& description1, const std::string& description2)
{
    mdbgen::writeJet4File(mdbgen::parseDescription(description1), dir.file("db1.mdb"));
    mdbgen::writeJet4File(mdbgen::parseDescription(description2), dir.file("db2.mdb"));
    Shown shown;
    shown.golden = std::make_unique<goldenpair::GoldenRun>();
    auto& window = shown.golden->window;
    window.paths[0] = dir.file("db1.mdb");
    window.paths[1] = dir.file("db2.mdb");
    shown.golden->run = std::make_unique<dualyn::ComparisonRun>(window, dir.file("ComparisonLog.txt"));
    window.run = shown.golden->run.get();
    shown.golden->run->cmdCompare_Click();
    shown.logBytes = readFile(dir.file("ComparisonLog.txt"));
    shown.report = dualyn::ReportOf(*shown.golden->run);
    return shown;
}

// The rows of a tree model in the order the log has them (each row, then what folds under it).
std::vector<QModelIndex> rowsInOrder(const QAbstractItemModel* model)
{
    std::vector<QModelIndex> rows;
    std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            rows.push_back(index);
            walk(index);
        }
    };
    walk(QModelIndex());
    return rows;
}

QStringList textsOf(const std::vector<QModelIndex>& rows)
{
    QStringList texts;
    for (const QModelIndex& row : rows) texts << row.data().toString();
    return texts;
}

// The line numbers of the rows the filters leave that show lines of difference.
std::vector<std::size_t> visibleDifferenceLines(const LogViewer& viewer)
{
    std::vector<std::size_t> lines;
    for (const QModelIndex& row : rowsInOrder(viewer.LogTree()->model())) {
        const auto n = static_cast<std::size_t>(row.data(Qt::UserRole + 1).toInt());
        if (viewer.View().lines[n].difference) lines.push_back(n);
    }
    return lines;
}

// Clicks the save dialog's Save button and returns its result.
int answerSave(QFileDialog& dialog)
{
    auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (QAbstractButton* save = buttons ? buttons->button(QDialogButtonBox::Save) : nullptr) save->click();
    return dialog.result();
}

// The HTML report holds every line of difference and, read without its word marks, both of its
// values whole, one line a line; it runs nothing.
void checkHtml(const std::string& html, const dualyn::RunReport& report)
{
    QVERIFY(html.find("<script") == std::string::npos);
    const QString unmarked = qs(html).remove(QStringLiteral("<mark>")).remove(QStringLiteral("</mark>"));
    for (const Difference& d : report.differences) {
        QVERIFY(html.find(dualyn::EscapeHtml(dualyn::LastLineOfDifference(d))) != std::string::npos);
        if (!d.value1) continue;
        for (const std::string& value : dualyn::ValuesForPeople(d))
            QVERIFY2(unmarked.contains(QStringLiteral("<pre>") + qs(dualyn::EscapeHtml(value)).replace("\r\n", "\n") + "</pre>"),
                     value.c_str());
    }
}

template <class T> T* control(const QWidget& window, const char* name)
{
    return window.findChild<T*>(QString::fromLatin1(name));
}

// The pair of the README's picture: a field's size changed, a query's SQL changed, a table gone.
const char* const kShop1 = R"(table Customers
  field ID long
  field Name text(40)
  field City text(30)
  index PrimaryKey (ID) primary
table Notes
  field ID long
  field Body memo
query "Big orders" select
  from Customers
  column "Name"
  where "City = 'Paris'"
)";
const char* const kShop2 = R"(table Customers
  field ID long
  field Name text(40)
  field City text(50)
  index PrimaryKey (ID) primary
query "Big orders" select
  from Customers
  column "Name"
  column "City"
  where "City = 'Lyon'"
)";

}  // namespace

class LogViewerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void rowsAreTheFileLinesAndDifferencesTheirTwins_data();
    void rowsAreTheFileLinesAndDifferencesTheirTwins();
    void logChangedSinceRun();
    void valuesSideBySide();
    void nextAndPreviousVisitEveryDifference();
    void filtersNarrow();
    void secondRunReplacesContent();
    void saveAsWritesThreeForms();
    void namesThatLookLikeMarkupStayText();
    void keyboardOnly();
    void settingsKept();
    void mainWindowShowsRunsInViewer();

private:
    testsupport::TempDir config;  // the settings' folder, away from the user's own
};

void LogViewerTest::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(qs(config.path())));
    QApplication::setStyle(QStringLiteral("Fusion"));
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

void LogViewerTest::rowsAreTheFileLinesAndDifferencesTheirTwins_data()
{
    QTest::addColumn<QString>("name");
    for (const std::string& name : goldenpair::cases()) QTest::newRow(name.c_str()) << qs(name);
}

// On every golden pair: the rows, read in order, are the log file's lines decoded from
// Windows-1252; the rows marked as differences are exactly the lines the log's wording makes
// lines of difference, and selecting each shows its own twin.
void LogViewerTest::rowsAreTheFileLinesAndDifferencesTheirTwins()
{
    QFETCH(QString, name);
    Shown shown = runGolden(name.toStdString());
    LogViewer viewer;
    viewer.ShowRun(shown.report, shown.logBytes);

    QStringList fileLines;
    for (const std::string& line : dualyn::DecodeLogLines(shown.logBytes)) fileLines << qs(line);
    QCOMPARE(QString::fromLatin1(shown.logBytes.substr(shown.logBytes.size() >= 2 ? shown.logBytes.size() - 2 : 0).c_str()),
             shown.logBytes.empty() ? QString() : QStringLiteral("\r\n"));
    const std::vector<QModelIndex> rows = rowsInOrder(viewer.LogTree()->model());
    QCOMPARE(textsOf(rows), fileLines);

    // The log's own wording tells which texts are lines of difference.
    const goldenpair::LogFindings findings = goldenpair::findingsOf(shown.logBytes);
    QStringList expected, marked;
    for (const std::string& text : findings.differences) expected << qs(text).split(QStringLiteral("\r\n")).last();
    for (const QModelIndex& row : rows)
        if (viewer.View().lines[row.data(Qt::UserRole + 1).toInt()].kind == dualyn::LogLineKind::Difference)
            marked << row.data().toString();
    // A decoded line and the log's bytes agree on ASCII; beyond it the decoder is the judge.
    QCOMPARE(marked.size(), expected.size());
    QCOMPARE(static_cast<std::size_t>(marked.size()), shown.report.differences.size());

    auto* summary = control<QLabel>(viewer, "lblSummary");
    for (std::size_t i = 0; i < shown.report.differences.size(); ++i) {
        const Difference& d = shown.report.differences[i];
        QVERIFY(viewer.View().differenceLines[i].has_value());
        const QModelIndex row = rows[*viewer.View().differenceLines[i]];
        QCOMPARE(row.data().toString(), fileLines[*viewer.View().differenceLines[i]]);
        QCOMPARE(row.data().toString().toLatin1().toStdString().empty(), dualyn::LastLineOfDifference(d).empty());
        viewer.LogTree()->setCurrentIndex(row);
        QCOMPARE(summary->text(), qs(dualyn::DescribeDifference(d)));
        if (d.value1) {
            // The panes show every line end as a new line.
            const auto values = dualyn::ValuesForPeople(d);
            auto asShown = [](const std::string& value) { return qs(value).replace(QStringLiteral("\r\n"), QStringLiteral("\n")); };
            QCOMPARE(control<QPlainTextEdit>(viewer, "txtValue1")->toPlainText(), asShown(values[0]));
            QCOMPARE(control<QPlainTextEdit>(viewer, "txtValue2")->toPlainText(), asShown(values[1]));
        }
    }

    // Saved, the JSON report passes its schema and the HTML report holds every difference.
    testsupport::TempDir saved;
    QVERIFY(viewer.SaveTo(qs(saved.file("report.json")), QStringLiteral("json")));
    QVERIFY(viewer.SaveTo(qs(saved.file("report.html")), QStringLiteral("html")));
    QCOMPARE(qs(goldenpair::schemaProblems(readFile(saved.file("report.json")))), QString());
    checkHtml(readFile(saved.file("report.html")), shown.report);
}

// A log changed after its run shows as the file holds it: a line of difference edited since is
// no longer tied to its twin, the others still are; Windows-1252's own letters are decoded.
void LogViewerTest::logChangedSinceRun()
{
    Shown shown = runGolden("tables-field-properties");
    QVERIFY(shown.report.differences.size() >= 2);
    const std::size_t edited = *dualyn::ReadLogView(shown.logBytes, shown.report).differenceLines[0];
    std::vector<std::string> lines;  // the file's lines, the first line of difference edited
    for (std::size_t start = 0; start < shown.logBytes.size();) {
        const std::size_t end = shown.logBytes.find("\r\n", start);
        lines.push_back(shown.logBytes.substr(start, end - start));
        start = end + 2;
    }
    lines[edited] = "\x93" "edited\x94 by hand";
    std::string changed;
    for (const std::string& line : lines) changed += line + "\r\n";

    LogViewer viewer;
    viewer.ShowRun(shown.report, changed);
    QCOMPARE(textsOf(rowsInOrder(viewer.LogTree()->model()))[static_cast<int>(edited)], QStringLiteral("\u201Cedited\u201D by hand"));
    QVERIFY(!viewer.View().differenceLines[0]);
    QCOMPARE(viewer.View().lines[edited].kind, dualyn::LogLineKind::Other);
    for (std::size_t i = 1; i < shown.report.differences.size(); ++i) QVERIFY(viewer.View().differenceLines[i]);
    QVERIFY(!viewer.SelectDifference(0));
    QVERIFY(viewer.SelectDifference(1));
    QCOMPARE(control<QLabel>(viewer, "lblSummary")->text(), qs(dualyn::DescribeDifference(shown.report.differences[1])));
}

// The README's pair: the size shows as 30 and 50, the SQL line by line with the changed words
// marked, and the missing table with the fields database 1 has.
void LogViewerTest::valuesSideBySide()
{
    testsupport::TempDir dir;
    Shown shown = runPair(dir, kShop1, kShop2);
    LogViewer viewer;
    viewer.ShowRun(shown.report, shown.logBytes);
    auto* value1 = control<QPlainTextEdit>(viewer, "txtValue1");
    auto* value2 = control<QPlainTextEdit>(viewer, "txtValue2");
    auto* objects = control<QLabel>(viewer, "lblObjects");

    QVERIFY(viewer.GoToDifference(true));
    QCOMPARE(viewer.LogTree()->currentIndex().data().toString(), QStringLiteral("         The fields City have different sizes"));
    QCOMPARE(objects->text(), QStringLiteral("Table: Customers\nField: City\nProperty: Size (position 6)"));
    QCOMPARE(value1->toPlainText(), QStringLiteral("30"));
    QCOMPARE(value2->toPlainText(), QStringLiteral("50"));

    QVERIFY(viewer.GoToDifference(true));
    QCOMPARE(viewer.LogTree()->currentIndex().data().toString(), QStringLiteral("   Notes was not found in db2.mdb"));
    QVERIFY(value1->toPlainText().contains(QStringLiteral("Body: Memo")));
    QCOMPARE(value2->toPlainText(), QStringLiteral("(not in database 2)"));

    QVERIFY(viewer.GoToDifference(true));
    QCOMPARE(viewer.LogTree()->currentIndex().data().toString(), QStringLiteral("   Big orders has a different SQL setting"));
    const Difference& sql = shown.report.differences[2];
    QCOMPARE(value1->toPlainText(), qs(sql.value1->text()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    // Of the WHERE line, only the city is marked as changed.
    auto underlined = [](QPlainTextEdit* edit) {
        QStringList words;
        for (QTextBlock block = edit->document()->begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().fontUnderline()) words << it.fragment().text();
        return words;
    };
    QVERIFY2(underlined(value1).join(QLatin1Char('|')).contains(QStringLiteral("Paris")), qPrintable(underlined(value1).join('|')));
    QVERIFY(!underlined(value1).join(QLatin1Char('|')).contains(QStringLiteral("WHERE")));
    QVERIFY(underlined(value2).join(QLatin1Char('|')).contains(QStringLiteral("Lyon")));
    QVERIFY(!viewer.GoToDifference(true));
}

// F8 from the top visits every difference in log order and stops at the last; Shift+F8 goes back
// through them all.
void LogViewerTest::nextAndPreviousVisitEveryDifference()
{
    Shown shown = runGolden("run-all-sections");
    LogViewer viewer;
    viewer.ShowRun(shown.report, shown.logBytes);
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    viewer.activateWindow();
    std::vector<std::size_t> expected;
    for (const auto& line : viewer.View().differenceLines) expected.push_back(*line);
    QVERIFY(expected.size() >= 3);

    std::vector<std::size_t> visited;
    for (std::size_t i = 0; i < expected.size() + 2; ++i) {
        QTest::keyClick(&viewer, Qt::Key_F8);
        visited.push_back(static_cast<std::size_t>(viewer.LogTree()->currentIndex().data(Qt::UserRole + 1).toInt()));
    }
    std::vector<std::size_t> forward = expected;
    forward.push_back(expected.back());  // at the last, F8 stays
    forward.push_back(expected.back());
    QCOMPARE(visited, forward);

    visited.clear();
    for (std::size_t i = 0; i + 1 < expected.size(); ++i) {
        QTest::keyClick(&viewer, Qt::Key_F8, Qt::ShiftModifier);
        visited.push_back(static_cast<std::size_t>(viewer.LogTree()->currentIndex().data(Qt::UserRole + 1).toInt()));
    }
    std::vector<std::size_t> backward(expected.rbegin() + 1, expected.rend());
    QCOMPARE(visited, backward);
    // The buttons do the same.
    QTest::mouseClick(control<QPushButton>(viewer, "cmdNext"), Qt::LeftButton);
    QCOMPARE(static_cast<std::size_t>(viewer.LogTree()->currentIndex().data(Qt::UserRole + 1).toInt()), expected[1]);
    QTest::mouseClick(control<QPushButton>(viewer, "cmdPrevious"), Qt::LeftButton);
    QCOMPARE(static_cast<std::size_t>(viewer.LogTree()->currentIndex().data(Qt::UserRole + 1).toInt()), expected[0]);
}

// The section list leaves that section's lines, the kind list that kind's lines of difference,
// the text box the lines whose text or twin holds it; together they narrow further, and F8 then
// visits only what is left.
void LogViewerTest::filtersNarrow()
{
    testsupport::TempDir dir;
    Shown shown = runPair(dir, kShop1, kShop2);
    LogViewer viewer;
    viewer.ShowRun(shown.report, shown.logBytes);
    const auto& report = viewer.Report();
    auto linesOf = [&](std::function<bool(const Difference&)> wanted) {
        std::vector<std::size_t> lines;
        for (std::size_t i = 0; i < report.differences.size(); ++i)
            if (wanted(report.differences[i])) lines.push_back(*viewer.View().differenceLines[i]);
        return lines;
    };
    auto* section = control<QComboBox>(viewer, "cboSection");
    auto* kind = control<QComboBox>(viewer, "cboKind");
    auto* text = control<QLineEdit>(viewer, "txtFilter");

    section->setCurrentIndex(section->findText(QStringLiteral("queries")));
    QCOMPARE(visibleDifferenceLines(viewer), linesOf([](const Difference& d) { return d.kind == dualyn::DifferenceKind::QueryProperty; }));
    for (const QModelIndex& row : rowsInOrder(viewer.LogTree()->model()))
        QCOMPARE(viewer.View().lines[row.data(Qt::UserRole + 1).toInt()].section, std::optional(dualyn::Section::Queries));
    section->setCurrentIndex(0);

    kind->setCurrentIndex(kind->findText(QStringLiteral("table missing")));
    QCOMPARE(visibleDifferenceLines(viewer), linesOf([](const Difference& d) { return d.kind == dualyn::DifferenceKind::TableMissing; }));
    kind->setCurrentIndex(0);

    // "Lyon" is in no line, only in a value of the query's twin; "city" matches in any case.
    QTest::keyClicks(text, "Lyon");
    QCOMPARE(visibleDifferenceLines(viewer), linesOf([](const Difference& d) { return d.kind == dualyn::DifferenceKind::QueryProperty; }));
    text->clear();
    QTest::keyClicks(text, "city");
    QCOMPARE(visibleDifferenceLines(viewer).size(), 2u);  // the size line, and the SQL that names City
    section->setCurrentIndex(section->findText(QStringLiteral("tables")));
    QCOMPARE(visibleDifferenceLines(viewer), linesOf([](const Difference& d) { return d.kind == dualyn::DifferenceKind::FieldProperty; }));
    viewer.LogTree()->setCurrentIndex(QModelIndex());
    QVERIFY(viewer.GoToDifference(true));
    QVERIFY(!viewer.GoToDifference(true));
    text->clear();
    section->setCurrentIndex(0);
    QCOMPARE(rowsInOrder(viewer.LogTree()->model()).size(), viewer.View().lines.size());
}

// A second run shown replaces the first: its lines only, its header, no selection left over.
void LogViewerTest::secondRunReplacesContent()
{
    Shown first = runGolden("tables-field-properties");
    Shown second = runGolden("queries-missing-both-ways");
    LogViewer viewer;
    viewer.ShowRun(first.report, first.logBytes);
    QVERIFY(viewer.GoToDifference(true));
    viewer.ShowRun(second.report, second.logBytes);
    QStringList fileLines;
    for (const std::string& line : dualyn::DecodeLogLines(second.logBytes)) fileLines << qs(line);
    QCOMPARE(textsOf(rowsInOrder(viewer.LogTree()->model())), fileLines);
    QVERIFY(!viewer.LogTree()->currentIndex().isValid());
    QVERIFY(control<QLabel>(viewer, "lblDatabases")->text().contains(qs(second.golden->dir.path())));
    QCOMPARE(control<QLineEdit>(viewer, "txtLogPath")->text(), qs(second.golden->run->strLogFile));
}

// "Save as…" through its dialog: the log byte for byte, the JSON report valid by its schema, the
// HTML report with every difference's line and both values.
void LogViewerTest::saveAsWritesThreeForms()
{
    testsupport::TempDir dir;
    Shown shown = runPair(dir, kShop1, kShop2);
    LogViewer viewer;
    viewer.ShowRun(shown.report, shown.logBytes);
    struct Form {
        const char* filter;
        const char* file;
    };
    for (Form form : {Form{"Comparison log (*.txt)", "saved"}, Form{"JSON report (*.json)", "saved"},
                      Form{"HTML report (*.html)", "report.html"}}) {
        viewer.execSaveDialog = [&](QFileDialog& dialog) {
            [&] { QCOMPARE(dialog.nameFilters(), (QStringList{"Comparison log (*.txt)", "JSON report (*.json)", "HTML report (*.html)"})); }();
            dialog.selectNameFilter(QString::fromLatin1(form.filter));
            dialog.selectFile(qs(dir.file(form.file)));
            return answerSave(dialog);
        };
        QTest::mouseClick(control<QPushButton>(viewer, "cmdSaveAs"), Qt::LeftButton);
    }
    QCOMPARE(readFile(dir.file("saved.txt")), shown.logBytes);
    const std::string json = readFile(dir.file("saved.json"));
    QCOMPARE(qs(goldenpair::schemaProblems(json)), QString());
    QCOMPARE(nlohmann::json::parse(json)["differences"].size(), shown.report.differences.size());
    const std::string html = readFile(dir.file("report.html"));
    QVERIFY(html.find("<script") == std::string::npos);
    QVERIFY(html.find("<mark>Lyon</mark>") != std::string::npos);
    checkHtml(html, shown.report);
    // A folder that is not there: the save fails and says why, nothing is written.
    QString why;
    QVERIFY(!viewer.SaveTo(qs(dir.file("no/such/folder/x.html")), QStringLiteral("html"), &why));
    QVERIFY(!why.isEmpty());
}

// Tables named like markup show as those characters in the log, the details and the header, and
// are escaped in the HTML report.
void LogViewerTest::namesThatLookLikeMarkupStayText()
{
    testsupport::TempDir dir;
    Shown shown = runPair(dir, R"(table "<b>x</b>"
  field "<i>f</i>" text(10)
table "<img src=""file:///etc/passwd"">"
  field ID long
table "</td><script>"
  field ID long
)",
                          R"(table "<b>x</b>"
  field "<i>f</i>" text(20)
)");
    LogViewer viewer;
    viewer.ShowRun(shown.report, shown.logBytes);
    const QStringList names{"<b>x</b>", "<img src=\"file:///etc/passwd\">", "</td><script>"};
    const QStringList texts = textsOf(rowsInOrder(viewer.LogTree()->model()));
    for (const QString& name : names) QVERIFY2(texts.join('\n').contains(name), qPrintable(texts.join('\n')));
    for (QLabel* label : viewer.findChildren<QLabel*>()) QCOMPARE(label->textFormat(), Qt::PlainText);
    auto select = [&](dualyn::DifferenceKind kind, const std::string& table) {
        const auto& differences = viewer.Report().differences;
        for (std::size_t i = 0; i < differences.size(); ++i)
            if (differences[i].kind == kind && differences[i].table == table) return viewer.SelectDifference(i);
        return false;
    };
    QVERIFY(select(dualyn::DifferenceKind::FieldProperty, "<b>x</b>"));
    QCOMPARE(control<QLabel>(viewer, "lblObjects")->text(),
             QStringLiteral("Table: <b>x</b>\nField: <i>f</i>\nProperty: Size (position 6)"));
    QVERIFY(select(dualyn::DifferenceKind::TableMissing, "<img src=\"file:///etc/passwd\">"));
    QCOMPARE(control<QLabel>(viewer, "lblSummary")->text(), QStringLiteral("Table <img src=\"file:///etc/passwd\"> is only in database 1"));
    QVERIFY(control<QPlainTextEdit>(viewer, "txtValue1")->toPlainText().contains(QStringLiteral("ID: Long Integer")));
    QVERIFY(control<QLabel>(viewer, "lblDatabases")->text().contains(QStringLiteral("db1.mdb")));
    const std::string html = dualyn::DifferenceReportHtml(shown.report);
    for (const char* raw : {"<b>x</b>", "<img src", "</td><script>", "<i>f</i>"}) QVERIFY2(html.find(raw) == std::string::npos, raw);
    QVERIFY(html.find("&lt;/td&gt;&lt;script&gt;") != std::string::npos);
    QVERIFY(html.find("&lt;img src=&quot;file:///etc/passwd&quot;&gt;") != std::string::npos);
}

// Without a mouse: Tab reaches every control, each of which has an accessible name; in the log
// the arrow keys move, F8 finds a difference and its values show; a heading folds with Left.
void LogViewerTest::keyboardOnly()
{
    Shown shown = runGolden("run-all-sections");
    LogViewer viewer;
    viewer.ShowRun(shown.report, shown.logBytes);
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    viewer.activateWindow();
    QTRY_VERIFY(viewer.isActiveWindow());
    for (QWidget* widget : viewer.findChildren<QWidget*>())
        if (widget->focusPolicy() & Qt::TabFocus && widget->isVisible() && !widget->inherits("QScrollBar") &&
            !widget->inherits("QSplitterHandle"))
            QVERIFY2(!widget->accessibleName().isEmpty(), qPrintable(widget->objectName() + " " + widget->metaObject()->className()));
    control<QLineEdit>(viewer, "txtFilter")->setFocus();
    QSet<QString> reached;
    for (int i = 0; i < 20; ++i) {
        reached << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    for (const char* name : {"txtFilter", "cboSection", "cboKind", "cmdPrevious", "cmdNext", "cmdSaveAs", "treeLog",
                             "txtValue1", "txtValue2", "txtLogPath", "cmdOpenInEditor", "cmdShowInFolder"})
        QVERIFY2(reached.contains(QString::fromLatin1(name)), name);

    viewer.LogTree()->setFocus();
    QTest::keyClick(viewer.LogTree(), Qt::Key_F8);
    const QModelIndex first = viewer.LogTree()->currentIndex();
    QVERIFY(viewer.View().lines[first.data(Qt::UserRole + 1).toInt()].difference);
    QVERIFY(!control<QPlainTextEdit>(viewer, "txtValue1")->toPlainText().isEmpty());
    QTest::keyClick(viewer.LogTree(), Qt::Key_Down);
    QCOMPARE(viewer.LogTree()->currentIndex().data(Qt::UserRole + 1).toInt(), first.data(Qt::UserRole + 1).toInt() + 1);
    // Up to the table's heading, then Left folds its block.
    const QModelIndex heading = first.parent();
    viewer.LogTree()->setCurrentIndex(heading);
    QVERIFY(viewer.LogTree()->isExpanded(heading));
    QTest::keyClick(viewer.LogTree(), Qt::Key_Left);
    QVERIFY(!viewer.LogTree()->isExpanded(heading));
    // The log's path is there to select and copy.
    QCOMPARE(control<QLineEdit>(viewer, "txtLogPath")->text(), qs(shown.golden->run->strLogFile));
    QVERIFY(control<QLineEdit>(viewer, "txtLogPath")->isReadOnly());
}

// The size and the splitters come back in the next viewer; "Open in text editor" and "Show in
// folder" hand the log and its folder to the desktop.
void LogViewerTest::settingsKept()
{
    Shown shown = runGolden("tables-field-properties");
    QList<int> sizes;
    {
        LogViewer viewer;
        viewer.ShowRun(shown.report, shown.logBytes);
        viewer.resize(900, 600);
        auto* splitter = control<QSplitter>(viewer, "splitter");
        splitter->setSizes({600, 300});
        sizes = splitter->sizes();
        QList<QUrl> opened;
        viewer.openUrl = [&opened](const QUrl& url) { opened << url; return true; };
        QTest::mouseClick(control<QPushButton>(viewer, "cmdOpenInEditor"), Qt::LeftButton);
        QTest::mouseClick(control<QPushButton>(viewer, "cmdShowInFolder"), Qt::LeftButton);
        QCOMPARE(opened, (QList<QUrl>{QUrl::fromLocalFile(qs(shown.golden->run->strLogFile)),
                                      QUrl::fromLocalFile(qs(shown.golden->dir.path()))}));
        viewer.close();
    }
    LogViewer again;
    again.ShowRun(shown.report, shown.logBytes);
    QCOMPARE(again.size(), QSize(900, 600));
    QCOMPARE(control<QSplitter>(again, "splitter")->sizes(), sizes);
}

// The main window's run shows its log in the viewer when DUALYN_VIEWER is not set, one viewer for
// every run; the status line's tooltip then names the log.
void LogViewerTest::mainWindowShowsRunsInViewer()
{
    qunsetenv("DUALYN_VIEWER");
    testsupport::TempDir dir;
    mdbgen::writeJet4File(mdbgen::parseDescription(kShop1), dir.file("db1.mdb"));
    mdbgen::writeJet4File(mdbgen::parseDescription(kShop2), dir.file("db2.mdb"));
    dualyn::frmMain window(qs(dir.path()));
    window.show();
    for (int run = 0; run < 2; ++run) {
        window.SetDatabasePath(1, dir.file("db1.mdb"));
        window.SetDatabasePath(2, dir.file(run == 0 ? "db2.mdb" : "db1.mdb"));
        window.cmdCompare_Click();
        LogViewer* viewer = window.Viewer();
        QVERIFY(viewer);
        QVERIFY(viewer->isVisible());
        QCOMPARE(window.findChildren<LogViewer*>().size(), 1);
        QCOMPARE(viewer->Report().differences.size(), run == 0 ? 3u : 0u);
        QStringList fileLines;
        for (const std::string& line : dualyn::DecodeLogLines(readFile(dir.file("ComparisonLog.txt")))) fileLines << qs(line);
        QCOMPARE(textsOf(rowsInOrder(viewer->LogTree()->model())), fileLines);
    }
}

QTEST_MAIN(LogViewerTest)
#include "log_viewer_test.moc"
