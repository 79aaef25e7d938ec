// Writes a database design as an Access 2000-2003 (Jet 4) .mdb file: the header page, the
// system tables (MSysObjects, MSysACEs, MSysQueries, MSysRelationships) with their rows, one table
// definition per table with its columns and indexes, the property blobs, and the usage maps that
// readers follow to find a table's rows. A table holds only the data rows its description gives.
// The file is encoded, or protected by a database password, when the design says so.
//
// The same design always gives the same bytes: dates and identifiers are fixed, nothing depends
// on the clock, the locale or the machine.
#pragma once

#include "schema.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mdbgen {

// The whole file. Throws DescriptionError when the design cannot be written (an index naming a
// field the table lacks, two tables of one name, a table definition too large, ...).
std::vector<std::uint8_t> writeJet4(const Database& db);

// Writes the file at path through a temporary file in the same folder that is renamed into place
// only when complete, so a failed run leaves no half-written database. Throws DescriptionError
// for a design it cannot write, std::runtime_error for a file it cannot write.
void writeJet4File(const Database& db, const std::string& path);

}  // namespace mdbgen
