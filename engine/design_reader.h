// The one way in from a database file to its design: everything the engine reads from a file
// goes through here, and what comes out is plain data (design.h).
#pragma once

#include "database_file.h"
#include "design.h"

#include <string>

namespace engine {

// Reads the whole design of the database file at path. Throws OpenError saying which file and
// why it cannot be read: missing, not a regular file, not an Access database, a format or an
// encryption Dualyn cannot read, protected by a password, or damaged (naming the table, query
// or relationship whose design cannot be read). The file is only read, never changed.
DatabaseDesign readDesign(const std::string& path);

// The same for a file already loaded and checked.
DatabaseDesign readDesign(const DatabaseFile& file);

}  // namespace engine
