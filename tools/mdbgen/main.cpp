// dualyn-mdbgen: writes an Access (Jet 4) database file from a design description.
//
//     dualyn-mdbgen DESCRIPTION OUTPUT.mdb
//
// DESCRIPTION is a file in the format of tools/mdbgen/README.md, or "-" for standard input.
// Exit status 0 on success, 1 when the description or the file cannot be written, 2 on wrong use.
#include "jet4_writer.h"
#include "schema_text.h"

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

int main(int argc, char* argv[])
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << "usage: dualyn-mdbgen DESCRIPTION OUTPUT.mdb\n"
                     "Writes an Access 2000-2003 database with the design the description gives.\n"
                     "DESCRIPTION may be - for standard input.\n";
        return 0;
    }
    if (argc != 3) {
        std::cerr << "usage: dualyn-mdbgen DESCRIPTION OUTPUT.mdb\n";
        return 2;
    }
    std::string source = argv[1];
    std::string text;
    if (source == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), {});
        source = "<stdin>";
    } else {
        std::ifstream in(source, std::ios::binary);
        if (!in) {
            std::cerr << "dualyn-mdbgen: cannot read " << source << ": " << std::strerror(errno) << "\n";
            return 1;
        }
        std::ostringstream buffer;
        buffer << in.rdbuf();
        text = buffer.str();
    }
    try {
        mdbgen::writeJet4File(mdbgen::parseDescription(text), argv[2]);
    } catch (const mdbgen::DescriptionError& e) {
        std::cerr << source << ": " << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "dualyn-mdbgen: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
