// Takes the README's picture of the log viewer: writes the two databases of the description files
// given, runs the main window's comparison on them with every section ticked, selects the first
// line of difference that compares a long text (a query's SQL) so that its values show side by
// side, and saves what the screen shows of the viewer as a PNG file. Run it under an X server, so
// that the picture is the screen's own (Xvfb does for a machine without a display):
//
//     xvfb-run -a -s "-screen 0 1600x1000x24" build/tools/screenshot/dualyn-screenshot \
//         tools/screenshot/shop-1.txt tools/screenshot/shop-2.txt docs/viewer.png
//
// QT_SCALE_FACTOR=2 takes the same picture at twice the scale.
#include "jet4_writer.h"
#include "log_viewer.h"
#include "main_window.h"
#include "schema_text.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeView>

#include <cstdio>
#include <exception>

namespace {

// The file's bytes; throws when it cannot be read.
std::string readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error(path.toStdString() + ": " + file.errorString().toStdString());
    return file.readAll().toStdString();
}

// Handles the window events for about ms milliseconds, so that everything shown is drawn.
void settle(int ms)
{
    for (int i = 0; i < ms / 10; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(10);
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: dualyn-screenshot DESCRIPTION1 DESCRIPTION2 PICTURE.png\n");
        return 2;
    }
    try {
        QTemporaryDir dir;  // the databases and the log, removed at the end
        const QString db1 = dir.filePath(QStringLiteral("shop-v1.mdb")), db2 = dir.filePath(QStringLiteral("shop-v2.mdb"));
        mdbgen::writeJet4File(mdbgen::parseDescription(readAll(args[1])), QFile::encodeName(db1).toStdString());
        mdbgen::writeJet4File(mdbgen::parseDescription(readAll(args[2])), QFile::encodeName(db2).toStdString());
        qunsetenv("DUALYN_VIEWER");

        dualyn::frmMain window(dir.path());
        window.move(10, 10);
        window.show();
        window.SetDatabasePath(1, QFile::encodeName(db1).toStdString());
        window.SetDatabasePath(2, QFile::encodeName(db2).toStdString());
        window.cmdCompare_Click();
        dualyn::LogViewer* viewer = window.Viewer();
        if (!viewer) throw std::runtime_error("the run showed no viewer");
        viewer->move(0, 0);
        viewer->resize(1180, 640);
        // The last difference whose values are texts of more than one line: the query's SQL in
        // the README's pair.
        const auto& differences = viewer->Report().differences;
        for (std::size_t i = differences.size(); i-- > 0;)
            if (differences[i].value1 && differences[i].value1->isText() &&
                differences[i].value1->text().find('\n') != std::string::npos) {
                viewer->SelectDifference(i);
                break;
            }
        viewer->raise();
        viewer->activateWindow();
        settle(800);
        const QPixmap picture = viewer->screen()->grabWindow(viewer->winId());
        if (picture.isNull() || !picture.save(args[3])) throw std::runtime_error("cannot save " + args[3].toStdString());
        std::printf("%s: %dx%d\n", qPrintable(args[3]), picture.width(), picture.height());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dualyn-screenshot: %s\n", e.what());
        return 1;
    }
    return 0;
}
