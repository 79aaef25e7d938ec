// dualyn's command line: `dualyn [OPTION]... [DB1 [DB2]]`. The files fill the window's path boxes,
// so that a desktop's "Open with Dualyn" on one or two selected files starts with them chosen.
//
//     QCommandLineParser parser;
//     dualyn::describeCommandLine(parser);
//     parser.process(app);                                    // --help, --version
//     dualyn::fillPathBoxes(window, parser.positionalArguments());
#pragma once

#include <QStringList>

class QCommandLineParser;

namespace dualyn {

class RunWindow;

// Sets parser up for dualyn: its description, --help, --version, and the databases as arguments.
void describeCommandLine(QCommandLineParser& parser);

// True when argv asks only for text that needs no window (--help or --version, before any "--"),
// so that it can be answered without a display.
bool asksOnlyForText(int argc, char* argv[]);

// Puts the first of files in database 1's path box and the second in database 2's, as typed
// paths; a box with no file left for it keeps its text, and files after the second are ignored.
void fillPathBoxes(RunWindow& window, const QStringList& files);

}  // namespace dualyn
