#include "generated_database.h"

#include "jet4_writer.h"
#include "schema_text.h"

namespace testsupport {

std::string writeDatabase(const TempDir& dir, const std::string& description, const std::string& name)
{
    std::string path = dir.file(name);
    mdbgen::writeJet4File(mdbgen::parseDescription(description), path);
    return path;
}

}  // namespace testsupport
