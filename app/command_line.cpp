#include "command_line.h"

#include "run_window.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstring>

namespace dualyn {

// The description and options --help shows; the databases are positional arguments.
void describeCommandLine(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Compares the design of two Access databases and writes the differences into a log."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("DB1"), QStringLiteral("Database 1, put in its path box."),
                                 QStringLiteral("[DB1"));
    parser.addPositionalArgument(QStringLiteral("DB2"), QStringLiteral("Database 2, put in its path box."),
                                 QStringLiteral("[DB2]]"));
}

// The names QCommandLineParser's help and version options answer to; "--" ends the options.
bool asksOnlyForText(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) return false;
        for (const char* name : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
            if (std::strcmp(arg, name) == 0) return true;
    }
    return false;
}

// Each file as the bytes of its name, which SetDatabasePath shows as the path box's text.
void fillPathBoxes(RunWindow& window, const QStringList& files)
{
    for (int database = 1; database <= 2 && database <= files.size(); ++database)
        window.SetDatabasePath(database, QFile::encodeName(files[database - 1]).toStdString());
}

}  // namespace dualyn
