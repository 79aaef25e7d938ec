// Dualyn's entry point: shows the main window and runs until it is closed.
#include "main_window.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The window places its controls at fixed sizes; Fusion draws them the same on every desktop.
    QApplication::setStyle(QStringLiteral("Fusion"));
    // Names the desktop entry dualyn.desktop (the Wayland app id), so the desktop shows its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("dualyn"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("dualyn"), QIcon(QStringLiteral(":/dualyn/dualyn.png"))));

    dualyn::frmMain window;
    window.show();
    return app.exec();
}
