// Dualyn's entry point: shows the main window, with the databases named on the command line in
// its path boxes, and runs until it is closed.
#include "command_line.h"
#include "main_window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

int main(int argc, char* argv[])
{
    // --help and --version show no window, so they need no display either.
    if (dualyn::asksOnlyForText(argc, argv)) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("dualyn"));
    QApplication::setApplicationVersion(QStringLiteral(DUALYN_VERSION));
    QCommandLineParser parser;
    dualyn::describeCommandLine(parser);
    parser.process(app);  // --help, --version and an unknown option end the program here

    // The window places its controls at fixed sizes; Fusion draws them the same on every desktop.
    QApplication::setStyle(QStringLiteral("Fusion"));
    // Names the desktop entry dualyn.desktop (the Wayland app id), so the desktop shows its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("dualyn"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("dualyn"), QIcon(QStringLiteral(":/dualyn/dualyn.png"))));

    dualyn::frmMain window;
    dualyn::fillPathBoxes(window, parser.positionalArguments());
    window.show();
    return app.exec();
}
