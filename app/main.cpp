// Dualyn's entry point. For now it only shows the program's window with a note that the comparison
// itself is still being built.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Dualyn compares the design of two Access databases.\n\n"
                                 "The comparison is not there yet."));
    window.setWindowTitle(QStringLiteral("Dualyn"));
    window.setAlignment(Qt::AlignCenter);
    window.setMargin(24);
    window.show();
    return app.exec();
}
