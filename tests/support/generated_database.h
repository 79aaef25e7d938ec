// Databases for tests, written by the project's generator (tools/mdbgen) from a description.
#pragma once

#include "run_command.h"

#include <cstdint>
#include <map>
#include <string>

namespace testsupport {

// Writes the database a description describes into dir under name; its path.
//     writeDatabase(dir, "table T\n  field ID long\n") == dir.file("test.mdb")
std::string writeDatabase(const TempDir& dir, const std::string& description, const std::string& name = "test.mdb");

// The catalog ids of a database's objects by name, as mdb-export lists MSysObjects. A table's id
// is its definition's page, which the description alone fixes; linked tables, queries and
// relationships count from 0x80000000 (negative here). Throws when mdb-export fails.
//     catalogIds(path).at("MSysObjects") == 2
std::map<std::string, std::int64_t> catalogIds(const std::string& path);

}  // namespace testsupport
