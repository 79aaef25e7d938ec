// Databases for tests, written by the project's generator (tools/mdbgen) from a description.
#pragma once

#include "run_command.h"

#include <string>

namespace testsupport {

// Writes the database a description describes into dir under name; its path.
//     writeDatabase(dir, "table T\n  field ID long\n") == dir.file("test.mdb")
std::string writeDatabase(const TempDir& dir, const std::string& description, const std::string& name = "test.mdb");

}  // namespace testsupport
