#include "log_viewer.h"

#include "difference_report.h"
#include "html_report.h"
#include "printable_path.h"
#include "text_diff.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTextBlock>
#include <QTreeView>
#include <QVBoxLayout>

#include <map>
#include <memory>

namespace dualyn {

namespace {

// The item data that ties a row of the tree to its line of the log.
constexpr int kLineRole = Qt::UserRole + 1;
// The item data the text filter looks through (SearchTextOf), made once when the log is shown.
constexpr int kSearchRole = Qt::UserRole + 2;

QString qs(const std::string& text) { return QString::fromStdString(text); }

// The settings file: ~/.config/dualyn/dualyn.conf. The viewer keeps only its size and its
// splitters' positions there.
std::unique_ptr<QSettings> ViewerSettings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("dualyn"),
                                       QStringLiteral("dualyn"));
}

// The mark of a line of difference, read also without colour: "−" the object is only in
// database 1, "+" only in database 2, "≠" both have it and it differs.
QString MarkOf(const Difference& d)
{
    if (d.presentIn == 1) return QStringLiteral("\u2212");
    if (d.presentIn == 2) return QStringLiteral("+");
    return QStringLiteral("\u2260");
}

// Whether the palette is dark: its base is darker than its text.
bool IsDark(const QPalette& palette)
{
    return palette.color(QPalette::Base).lightness() < palette.color(QPalette::Text).lightness();
}

// The colour of lines of difference, readable on the palette's base, light or dark.
QColor DifferenceColour(const QPalette& palette)
{
    return IsDark(palette) ? QColor(0xff, 0x9e, 0x57) : QColor(0xb3, 0x4a, 0x00);
}

// The background of changed words, and (lighter) of the lines only one side has.
QColor ChangedBackground(const QPalette& palette)
{
    return IsDark(palette) ? QColor(0x9a, 0x5a, 0x10) : QColor(0xff, 0xc0, 0x66);
}

// A label of the viewer's own, named name for tests and accessible for screen readers, whose text
// (names from the files) is plain text, never markup, and can be selected and copied.
QLabel* MakeTextLabel(QWidget* parent, const char* name, const QString& accessible)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setAccessibleName(accessible);
    return label;
}

// An icon with the mark drawn in colour at the size of a line of font, crisp at every scale.
QIcon MarkIcon(const QString& mark, const QColor& colour, const QFont& font, qreal scale)
{
    const int side = QFontMetrics(font).height();
    QPixmap pixmap(QSize(side, side) * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont bold = font;
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(colour);
    painter.drawText(QRect(0, 0, side, side), Qt::AlignCenter, mark);
    return QIcon(pixmap);
}

// The texts a filter looks through for a line: the line, and for a line of difference the names
// it is about, its property, both values and what a missing object holds.
QString SearchTextOf(const LogLine& line, const RunReport& report)
{
    QString text = qs(line.text);
    if (!line.difference) return text;
    const Difference& d = report.differences[*line.difference];
    for (const auto* name : {&d.table, &d.field, &d.index, &d.query, &d.property})
        if (*name) text += QLatin1Char('\n') + qs(**name);
    if (d.relation) text += QLatin1Char('\n') + qs(d.relation->description);
    for (const std::string& value : ValuesForPeople(d)) text += QLatin1Char('\n') + qs(value);
    return text + QLatin1Char('\n') + qs(d.presentContent);
}

// Shows text in edit with the changed segments marked: a changed word with the changed background
// and underlined, a line the other side lacks with a bar of the background across the pane.
void ShowMarkedText(QPlainTextEdit* edit, const std::vector<DiffLine>& lines, bool endsWithLineEnd)
{
    edit->clear();
    QTextCursor cursor(edit->document());
    QTextCharFormat plain;
    QTextCharFormat changed;
    changed.setBackground(ChangedBackground(edit->palette()));
    changed.setFontUnderline(true);
    QList<QTextEdit::ExtraSelection> marks;  // the lines that changed, marked across the pane
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) cursor.insertBlock();
        for (const DiffSegment& segment : lines[i].segments)
            cursor.insertText(qs(segment.text), segment.changed ? changed : plain);
        if (lines[i].mark == DiffLine::Mark::Only) {
            // A bar across the pane: the other side has nothing like this line. (A changed line
            // gets none, as a bar would hide its changed words' background.)
            QTextEdit::ExtraSelection mark;
            mark.cursor = QTextCursor(cursor.block());
            QColor bar = ChangedBackground(edit->palette());
            bar.setAlpha(110);
            mark.format.setBackground(bar);
            mark.format.setProperty(QTextFormat::FullWidthSelection, true);
            marks.append(mark);
        }
    }
    if (endsWithLineEnd) cursor.insertBlock();
    edit->setExtraSelections(marks);
    edit->moveCursor(QTextCursor::Start);
}

}  // namespace

// The tree's filter: the text in the filter box (in a line, or in the names and values of its
// twin, letter case aside), the section and the kind of difference chosen. With no filter every
// line shows; the headings of shown lines always show, so that they can be folded.
class LogFilterModel : public QSortFilterProxyModel {
public:
    LogFilterModel(const LogViewer& viewer, QObject* parent) : QSortFilterProxyModel(parent), viewer_(viewer)
    {
        setRecursiveFilteringEnabled(true);
    }
    void SetFilters(QString text, std::optional<Section> section, std::optional<DifferenceKind> kind)
    {
        text_ = std::move(text);
        section_ = section;
        kind_ = kind;
        invalidateFilter();
    }
    bool Filtering() const { return !text_.isEmpty() || section_ || kind_; }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        if (!Filtering()) return true;
        const QModelIndex item = sourceModel()->index(row, 0, parent);
        const LogLine& line = viewer_.View().lines.at(static_cast<std::size_t>(item.data(kLineRole).toInt()));
        if (section_ && line.section != section_) return false;
        if (kind_ && !(line.difference && viewer_.Report().differences[*line.difference].kind == *kind_)) return false;
        if (!text_.isEmpty() && !item.data(kSearchRole).toString().contains(text_, Qt::CaseInsensitive)) return false;
        return true;
    }

private:
    const LogViewer& viewer_;
    QString text_;
    std::optional<Section> section_;
    std::optional<DifferenceKind> kind_;
};

LogViewer::LogViewer(QWidget* parent) : QMainWindow(parent, Qt::Window)
{
    setObjectName(QStringLiteral("LogViewer"));
    setWindowTitle(QStringLiteral("Dualyn – Comparison log"));
    setAccessibleName(QStringLiteral("Comparison log viewer"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    BuildHeader(central);
    layout->addWidget(central->findChild<QWidget*>(QStringLiteral("header")));

    // The filter row.
    auto* filters = new QHBoxLayout;
    txtFilter_ = new QLineEdit(central);
    txtFilter_->setObjectName(QStringLiteral("txtFilter"));
    txtFilter_->setPlaceholderText(QStringLiteral("Filter: names, lines, values"));
    txtFilter_->setAccessibleName(QStringLiteral("Filter by text"));
    txtFilter_->setClearButtonEnabled(true);
    cboSection_ = new QComboBox(central);
    cboSection_->setObjectName(QStringLiteral("cboSection"));
    cboSection_->setAccessibleName(QStringLiteral("Filter by section"));
    cboSection_->addItem(QStringLiteral("All sections"));
    for (Section section : kSections) cboSection_->addItem(qs(std::string(SectionName(section))), static_cast<int>(section));
    cboKind_ = new QComboBox(central);
    cboKind_->setObjectName(QStringLiteral("cboKind"));
    cboKind_->setAccessibleName(QStringLiteral("Filter by kind of difference"));
    cboKind_->addItem(QStringLiteral("All kinds"));
    for (DifferenceKind kind : kDifferenceKinds) cboKind_->addItem(qs(std::string(KindName(kind))), static_cast<int>(kind));
    auto makeButton = [central](const char* name, const QString& caption, const QString& accessible) {
        auto* button = new QPushButton(caption, central);
        button->setObjectName(QString::fromLatin1(name));
        button->setAccessibleName(accessible);
        return button;
    };
    QPushButton* previous = makeButton("cmdPrevious", QStringLiteral("Previous difference"), QStringLiteral("Previous difference (Shift+F8)"));
    QPushButton* next = makeButton("cmdNext", QStringLiteral("Next difference"), QStringLiteral("Next difference (F8)"));
    QPushButton* saveAs = makeButton("cmdSaveAs", QStringLiteral("Save as…"), QStringLiteral("Save as log, JSON or HTML"));
    auto* filterLabel = new QLabel(QStringLiteral("&Filter:"), central);
    filterLabel->setTextFormat(Qt::PlainText);
    filterLabel->setBuddy(txtFilter_);
    filters->addWidget(filterLabel);
    filters->addWidget(txtFilter_, 1);
    filters->addWidget(cboSection_);
    filters->addWidget(cboKind_);
    filters->addWidget(previous);
    filters->addWidget(next);
    filters->addWidget(saveAs);
    layout->addLayout(filters);

    // The log and the details beside it.
    splitter_ = new QSplitter(Qt::Horizontal, central);
    splitter_->setObjectName(QStringLiteral("splitter"));
    tree_ = new QTreeView(splitter_);
    tree_->setObjectName(QStringLiteral("treeLog"));
    tree_->setAccessibleName(QStringLiteral("Comparison log"));
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    tree_->setTextElideMode(Qt::ElideNone);
    tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree_->header()->setStretchLastSection(false);
    model_ = new QStandardItemModel(this);
    filter_ = new LogFilterModel(*this, this);
    filter_->setSourceModel(model_);
    tree_->setModel(filter_);

    auto* details = new QWidget(splitter_);
    details->setObjectName(QStringLiteral("details"));
    auto* detailsLayout = new QVBoxLayout(details);
    detailsLayout->setContentsMargins(0, 0, 0, 0);
    lblSummary_ = MakeTextLabel(details, "lblSummary", QStringLiteral("Selected difference"));
    lblSummary_->setWordWrap(true);
    QFont bold = lblSummary_->font();
    bold.setBold(true);
    lblSummary_->setFont(bold);
    lblObjects_ = MakeTextLabel(details, "lblObjects", QStringLiteral("Objects and property"));
    lblObjects_->setWordWrap(true);
    detailsLayout->addWidget(lblSummary_);
    detailsLayout->addWidget(lblObjects_);
    valueSplitter_ = new QSplitter(Qt::Horizontal, details);
    valueSplitter_->setObjectName(QStringLiteral("valueSplitter"));
    auto makeValuePane = [this](const char* labelName, const char* editName, QLabel*& label, QPlainTextEdit*& edit) {
        auto* pane = new QWidget(valueSplitter_);
        auto* paneLayout = new QVBoxLayout(pane);
        paneLayout->setContentsMargins(0, 0, 0, 0);
        label = new QLabel(pane);
        label->setObjectName(QString::fromLatin1(labelName));
        label->setTextFormat(Qt::PlainText);
        edit = new QPlainTextEdit(pane);
        edit->setObjectName(QString::fromLatin1(editName));
        edit->setReadOnly(true);
        edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit->setTabChangesFocus(true);
        label->setBuddy(edit);
        paneLayout->addWidget(label);
        paneLayout->addWidget(edit, 1);
    };
    makeValuePane("lblValue1", "txtValue1", lblValue1_, txtValue1_);
    makeValuePane("lblValue2", "txtValue2", lblValue2_, txtValue2_);
    txtValue1_->setAccessibleName(QStringLiteral("Value in database 1"));
    txtValue2_->setAccessibleName(QStringLiteral("Value in database 2"));
    detailsLayout->addWidget(valueSplitter_, 1);
    splitter_->addWidget(tree_);
    splitter_->addWidget(details);
    splitter_->setStretchFactor(0, 3);
    splitter_->setStretchFactor(1, 2);
    layout->addWidget(splitter_, 1);
    setCentralWidget(central);

    // F8 and Shift+F8 anywhere in the viewer.
    auto* nextAction = new QAction(QStringLiteral("Next difference"), this);
    nextAction->setShortcut(Qt::Key_F8);
    auto* previousAction = new QAction(QStringLiteral("Previous difference"), this);
    previousAction->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8));
    for (QAction* action : {nextAction, previousAction}) action->setShortcutContext(Qt::WindowShortcut);
    addAction(nextAction);
    addAction(previousAction);
    connect(nextAction, &QAction::triggered, this, [this] { GoToDifference(true); });
    connect(previousAction, &QAction::triggered, this, [this] { GoToDifference(false); });
    connect(next, &QPushButton::clicked, this, [this] { GoToDifference(true); });
    connect(previous, &QPushButton::clicked, this, [this] { GoToDifference(false); });
    connect(saveAs, &QPushButton::clicked, this, &LogViewer::SaveAs);
    connect(txtFilter_, &QLineEdit::textChanged, this, &LogViewer::ApplyFilters);
    connect(cboSection_, &QComboBox::currentIndexChanged, this, &LogViewer::ApplyFilters);
    connect(cboKind_, &QComboBox::currentIndexChanged, this, &LogViewer::ApplyFilters);
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { ShowDetails(current); });

    setTabOrder(txtFilter_, cboSection_);
    setTabOrder(cboSection_, cboKind_);
    setTabOrder(cboKind_, previous);
    setTabOrder(previous, next);
    setTabOrder(next, saveAs);
    setTabOrder(saveAs, tree_);
    setTabOrder(tree_, txtValue1_);
    setTabOrder(txtValue1_, txtValue2_);

    execSaveDialog = [](QFileDialog& dialog) { return dialog.exec(); };
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    resize(1100, 700);
    const std::unique_ptr<QSettings> settings = ViewerSettings();
    restoreGeometry(settings->value(QStringLiteral("viewer/geometry")).toByteArray());
    splitter_->restoreState(settings->value(QStringLiteral("viewer/splitter")).toByteArray());
    valueSplitter_->restoreState(settings->value(QStringLiteral("viewer/valueSplitter")).toByteArray());
    ShowDetails(QModelIndex());
}

// A viewer that goes with its main window, without being closed first, keeps its geometry too.
LogViewer::~LogViewer()
{
    if (isVisible()) SaveSettings();
}

// The header: the databases, the end of the run and the counts, and the log's path with the two
// buttons that hand it to the desktop.
void LogViewer::BuildHeader(QWidget* parent)
{
    auto* header = new QWidget(parent);
    header->setObjectName(QStringLiteral("header"));
    auto* grid = new QGridLayout(header);
    grid->setContentsMargins(0, 0, 0, 0);
    lblDatabases_ = MakeTextLabel(header, "lblDatabases", QStringLiteral("Databases compared"));
    lblEnded_ = MakeTextLabel(header, "lblEnded", QStringLiteral("End of the run"));
    lblCounts_ = MakeTextLabel(header, "lblCounts", QStringLiteral("Counts"));
    lblCounts_->setWordWrap(true);
    txtLogPath_ = new QLineEdit(header);
    txtLogPath_->setObjectName(QStringLiteral("txtLogPath"));
    txtLogPath_->setReadOnly(true);
    txtLogPath_->setAccessibleName(QStringLiteral("Path of the comparison log"));
    auto* logLabel = new QLabel(QStringLiteral("&Log:"), header);
    logLabel->setTextFormat(Qt::PlainText);
    logLabel->setBuddy(txtLogPath_);
    auto* openInEditor = new QPushButton(QStringLiteral("Open in text editor"), header);
    openInEditor->setObjectName(QStringLiteral("cmdOpenInEditor"));
    openInEditor->setAccessibleName(QStringLiteral("Open the log in a text editor"));
    auto* showInFolder = new QPushButton(QStringLiteral("Show in folder"), header);
    showInFolder->setObjectName(QStringLiteral("cmdShowInFolder"));
    showInFolder->setAccessibleName(QStringLiteral("Show the log's folder"));
    grid->addWidget(lblDatabases_, 0, 0, 1, 4);
    grid->addWidget(lblEnded_, 1, 0, 1, 4);
    grid->addWidget(lblCounts_, 2, 0, 1, 4);
    grid->addWidget(logLabel, 3, 0);
    grid->addWidget(txtLogPath_, 3, 1);
    grid->addWidget(openInEditor, 3, 2);
    grid->addWidget(showInFolder, 3, 3);
    grid->setColumnStretch(1, 1);
    connect(openInEditor, &QPushButton::clicked, this,
            [this] { openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(report_.logFile)))); });
    connect(showInFolder, &QPushButton::clicked, this, [this] {
        const QString log = QFile::decodeName(QByteArray::fromStdString(report_.logFile));
        openUrl(QUrl::fromLocalFile(QFileInfo(log).absolutePath()));
    });
}

void LogViewer::ShowRun(RunReport report, std::string logBytes)
{
    report_ = std::move(report);
    logBytes_ = std::move(logBytes);
    view_ = ReadLogView(logBytes_, report_);
    FillHeader();
    FillLog();
    ApplyFilters();
    show();
    raise();
    activateWindow();
}

// The header's texts for the report shown.
void LogViewer::FillHeader()
{
    QStringList databases;
    for (int i = 0; i < 2; ++i) {
        const RunReport::Database& db = report_.databases[i];
        QString line = QStringLiteral("Database %1: %2").arg(i + 1).arg(qs(engine::printablePath(db.path)));
        if (db.format) line += QStringLiteral(" (%1)").arg(qs(std::string(engine::formatName(*db.format))));
        databases << line;
    }
    lblDatabases_->setText(databases.join(QLatin1Char('\n')));
    lblEnded_->setText(QStringLiteral("Run ended %1%2")
                           .arg(qs(LocalTimeText(report_.ended)), report_.cancelled ? QStringLiteral(" (cancelled)") : QString()));
    QStringList counts;  // "tables: 1 field property, 1 table missing"
    for (Section section : kSections) {
        QStringList kinds;
        for (DifferenceKind kind : kDifferenceKinds)
            if (SectionOf(kind) == section && report_.DifferenceCount(kind) > 0)
                kinds << QStringLiteral("%1 %2").arg(report_.DifferenceCount(kind)).arg(qs(std::string(KindName(kind))));
        if (!kinds.isEmpty()) counts << qs(std::string(SectionName(section))) + QStringLiteral(": ") + kinds.join(QStringLiteral(", "));
    }
    std::size_t ok = 0;  // every OK line
    for (OkKind kind : kOkKinds) ok += report_.OkCount(kind);
    QString text = QStringLiteral("%1 difference%2").arg(report_.differences.size()).arg(report_.differences.size() == 1 ? "" : "s");
    if (!counts.isEmpty()) text += QStringLiteral(" (") + counts.join(QStringLiteral("; ")) + QLatin1Char(')');
    text += QStringLiteral(", %1 OK").arg(ok);
    lblCounts_->setText(text);
    txtLogPath_->setText(qs(engine::printablePath(report_.logFile)));
    txtLogPath_->setCursorPosition(0);
}

// The log's lines as rows: the section headings at the top level, the lines of a section under
// its heading and those of a table block under the table's heading, all unfolded.
void LogViewer::FillLog()
{
    model_->clear();
    const QFont font = tree_->font();
    const qreal scale = devicePixelRatioF();
    const QColor colour = DifferenceColour(palette());
    QColor quiet = palette().color(QPalette::PlaceholderText);
    std::map<QString, QIcon> icons;  // one icon per mark
    std::vector<QStandardItem*> items(view_.lines.size());
    for (std::size_t n = 0; n < view_.lines.size(); ++n) {
        const LogLine& line = view_.lines[n];
        auto* item = new QStandardItem(qs(line.text));
        item->setData(static_cast<int>(n), kLineRole);
        item->setData(SearchTextOf(line, report_), kSearchRole);
        item->setEditable(false);
        if (line.kind == LogLineKind::Difference) {
            const Difference& d = report_.differences[*line.difference];
            const QString mark = MarkOf(d);
            if (!icons.count(mark)) icons[mark] = MarkIcon(mark, colour, font, scale);
            item->setIcon(icons[mark]);
            item->setForeground(colour);
            item->setData(QStringLiteral("Difference: %1").arg(qs(line.text).trimmed()), Qt::AccessibleTextRole);
        } else if (line.kind == LogLineKind::Ok) {
            item->setForeground(quiet);
            item->setData(QStringLiteral("OK: %1").arg(qs(line.text).trimmed()), Qt::AccessibleTextRole);
        } else if (line.kind == LogLineKind::SectionHeading || line.kind == LogLineKind::TableHeading ||
                   line.kind == LogLineKind::Title) {
            QFont bold = font;
            bold.setBold(true);
            item->setFont(bold);
        } else if (line.kind == LogLineKind::Blank) {
            item->setData(QStringLiteral("Empty line"), Qt::AccessibleTextRole);
        }
        items[n] = item;
        if (line.parent)
            items[*line.parent]->appendRow(item);
        else
            model_->appendRow(item);
    }
    tree_->expandAll();
    ShowDetails(QModelIndex());
}

int LogViewer::LineOf(const QModelIndex& index) const
{
    return index.isValid() ? index.data(kLineRole).toInt() : -1;
}

// The twin of the selected line of difference beside the log; for another line, a hint.
void LogViewer::ShowDetails(const QModelIndex& current)
{
    const int n = LineOf(current);
    const LogLine* line = n >= 0 ? &view_.lines[static_cast<std::size_t>(n)] : nullptr;
    const QString name1 = qs(report_.databases[0].fileName.empty() ? "database 1" : report_.databases[0].fileName);
    const QString name2 = qs(report_.databases[1].fileName.empty() ? "database 2" : report_.databases[1].fileName);
    lblValue1_->setText(QStringLiteral("Database 1: %1").arg(name1));
    lblValue2_->setText(QStringLiteral("Database 2: %1").arg(name2));
    if (!line || !line->difference) {
        lblSummary_->setText(QStringLiteral("Select a line of difference (F8) to see both values."));
        lblObjects_->clear();
        txtValue1_->clear();
        txtValue2_->clear();
        return;
    }
    const Difference& d = report_.differences[*line->difference];
    lblSummary_->setText(qs(DescribeDifference(d)));
    QStringList objects;
    if (d.table) objects << QStringLiteral("Table: ") + qs(*d.table);
    if (d.field) objects << QStringLiteral("Field: ") + qs(*d.field);
    if (d.index) objects << QStringLiteral("Index: ") + qs(*d.index);
    if (d.query) objects << QStringLiteral("Query: ") + qs(*d.query);
    if (d.relation) {
        objects << QStringLiteral("Relation: ") + qs(d.relation->description);
        objects << QStringLiteral("Relation's name: %1 in database 1, %2 in database 2")
                       .arg(d.relation->name1 ? qs(*d.relation->name1) : QStringLiteral("none"),
                            d.relation->name2 ? qs(*d.relation->name2) : QStringLiteral("none"));
    }
    if (d.property) {
        QString property = QStringLiteral("Property: ") + qs(*d.property);
        if (d.position) property += QStringLiteral(" (position %1)").arg(*d.position);
        objects << property;
    }
    if (d.kind == DifferenceKind::FieldOrder) objects << QStringLiteral("Values: the field's positions, from 0");
    lblObjects_->setText(objects.join(QLatin1Char('\n')));

    if (d.presentIn) {
        // What the side that has the object holds, and nothing on the other.
        const std::string absent = "(not in database " + std::to_string(3 - d.presentIn) + ")";
        const std::string present = d.presentContent.empty() ? "(present)" : d.presentContent;
        const TextDiff shown = DiffTexts(d.presentIn == 1 ? present : absent, d.presentIn == 1 ? absent : present);
        ShowMarkedText(txtValue1_, shown.lines1, shown.endsWithLineEnd1);
        ShowMarkedText(txtValue2_, shown.lines2, shown.endsWithLineEnd2);
        return;
    }
    const std::array<std::string, 2> values = ValuesForPeople(d);
    const TextDiff diff = DiffTexts(values[0], values[1]);
    ShowMarkedText(txtValue1_, diff.lines1, diff.endsWithLineEnd1);
    ShowMarkedText(txtValue2_, diff.lines2, diff.endsWithLineEnd2);
}

void LogViewer::ApplyFilters()
{
    std::optional<Section> section;
    if (cboSection_->currentIndex() > 0) section = static_cast<Section>(cboSection_->currentData().toInt());
    std::optional<DifferenceKind> kind;
    if (cboKind_->currentIndex() > 0) kind = static_cast<DifferenceKind>(cboKind_->currentData().toInt());
    filter_->SetFilters(txtFilter_->text(), section, kind);
    tree_->expandAll();
}

bool LogViewer::GoToDifference(bool next)
{
    // Every row the filters leave, in the order the log has them.
    std::vector<QModelIndex> rows;
    std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
        for (int row = 0; row < filter_->rowCount(parent); ++row) {
            const QModelIndex index = filter_->index(row, 0, parent);
            rows.push_back(index);
            walk(index);
        }
    };
    walk(QModelIndex());
    const int current = LineOf(tree_->currentIndex());
    auto isDifference = [this](const QModelIndex& index) {
        return view_.lines[static_cast<std::size_t>(LineOf(index))].kind == LogLineKind::Difference;
    };
    std::optional<QModelIndex> target;
    if (next) {
        for (const QModelIndex& index : rows)
            if (LineOf(index) > current && isDifference(index)) {
                target = index;
                break;
            }
    } else {
        for (auto it = rows.rbegin(); it != rows.rend(); ++it)
            if ((current < 0 || LineOf(*it) < current) && isDifference(*it)) {
                target = *it;
                break;
            }
    }
    if (!target) return false;
    for (QModelIndex parent = target->parent(); parent.isValid(); parent = parent.parent()) tree_->expand(parent);
    tree_->setCurrentIndex(*target);
    tree_->scrollTo(*target);
    return true;
}

bool LogViewer::SelectDifference(std::size_t index)
{
    if (index >= view_.differenceLines.size() || !view_.differenceLines[index]) return false;
    const int line = static_cast<int>(*view_.differenceLines[index]);
    const QModelIndexList found =
        filter_->match(filter_->index(0, 0), kLineRole, line, 1, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty()) return false;
    tree_->setCurrentIndex(found.first());
    tree_->scrollTo(found.first());
    return true;
}

bool LogViewer::SaveTo(const QString& path, const QString& format, QString* why)
{
    std::string bytes;  // what the file gets
    if (format == QLatin1String("log"))
        bytes = logBytes_;
    else if (format == QLatin1String("json"))
        bytes = DifferenceReportJson(report_) + "\n";
    else
        bytes = DifferenceReportHtml(report_);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()) ||
        !file.commit()) {
        if (why) *why = file.errorString();
        return false;
    }
    return true;
}

// Asks where and in which form, then writes; a failure says which file and why.
void LogViewer::SaveAs()
{
    const QString logFilter = QStringLiteral("Comparison log (*.txt)");
    const QString jsonFilter = QStringLiteral("JSON report (*.json)");
    const QString htmlFilter = QStringLiteral("HTML report (*.html)");
    QFileDialog dialog(this, QStringLiteral("Save as"));
    dialog.setObjectName(QStringLiteral("SaveAsDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({logFilter, jsonFilter, htmlFilter});
    dialog.setDirectory(QDir::homePath());
    if (execSaveDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString chosen = dialog.selectedNameFilter();
    const QString format = chosen == jsonFilter ? QStringLiteral("json") : chosen == htmlFilter ? QStringLiteral("html") : QStringLiteral("log");
    // A name without an extension gets the chosen form's.
    QString path = dialog.selectedFiles().first();
    if (QFileInfo(path).suffix().isEmpty())
        path += format == QLatin1String("json") ? QStringLiteral(".json") : format == QLatin1String("html") ? QStringLiteral(".html") : QStringLiteral(".txt");
    QString why;
    if (!SaveTo(path, format, &why)) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Save as"), QStringLiteral("%1 cannot be written: %2").arg(path, why),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
}

void LogViewer::SaveSettings() const
{
    const std::unique_ptr<QSettings> settings = ViewerSettings();
    settings->setValue(QStringLiteral("viewer/geometry"), saveGeometry());
    settings->setValue(QStringLiteral("viewer/splitter"), splitter_->saveState());
    settings->setValue(QStringLiteral("viewer/valueSplitter"), valueSplitter_->saveState());
}

void LogViewer::closeEvent(QCloseEvent* event)
{
    SaveSettings();
    event->accept();
}

}  // namespace dualyn
