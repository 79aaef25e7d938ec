// The memory of the window process over a comparison run: the main window is made (offscreen
// when no display is set), the two paths are typed into its boxes, Compare is clicked, and the
// peak resident memory of the process is printed before the run (Qt and the window alone) and
// after it. The log goes to a temporary folder and no viewer is started.
//
//     window-peak DB1 DB2
//     before: 26488 KiB
//     after: 151023 KiB
#include "main_window.h"
#include "process_memory.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

namespace {

// The main window, with its message box printed instead of shown: a box would wait for a click.
class MeasuredWindow : public dualyn::frmMain {
public:
    using frmMain::frmMain;
    void ShowMessageBox(const std::string& text, const std::string& title, const std::string& details,
                        const std::string& informative) override
    {
        std::fprintf(stderr, "%s: %s\n%s(%s)\n", title.c_str(), text.c_str(), informative.c_str(), details.c_str());
        failed = true;
    }
    bool failed = false;
};

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: window-peak DB1 DB2\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("DUALYN_VIEWER", "true");  // the log is not shown
    QApplication app(argc, argv);
    // The reader lives with the programs, in ../app from here.
    if (qEnvironmentVariableIsEmpty("DUALYN_READER"))
        qputenv("DUALYN_READER", QFile::encodeName(QCoreApplication::applicationDirPath() + "/../app/dualyn-reader"));
    QTemporaryDir logFolder;
    MeasuredWindow window(logFolder.path());
    window.show();
    QApplication::processEvents();
    std::printf("before: %ld KiB\n", dualyn::peakMemoryKiB());
    window.findChild<QLineEdit*>("txtDB1")->setText(QString::fromLocal8Bit(argv[1]));
    window.findChild<QLineEdit*>("txtDB2")->setText(QString::fromLocal8Bit(argv[2]));
    window.cmdCompare_Click();
    std::printf("after: %ld KiB\n", dualyn::peakMemoryKiB());
    return window.failed ? 1 : 0;
}
