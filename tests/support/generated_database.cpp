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

std::map<std::string, std::int64_t> catalogIds(const std::string& path)
{
    std::map<std::string, std::int64_t> ids;
    for (const auto& row : parseCsv(runCommand("mdb-export", {"-H", "-b", "strip", path, "MSysObjects"}).out))
        ids[row.at(2)] = std::stoll(row.at(0));
    return ids;
}

}  // namespace testsupport
