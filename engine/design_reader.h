// The one way in from a database file to its design: everything the engine reads from a file
// goes through here, and what comes out is plain data (design.h).
#pragma once

#include "database_file.h"
#include "design.h"

#include <functional>
#include <string>

namespace engine {

// Reads the whole design of the database file at path. Throws OpenError saying which file and
// why it cannot be read: missing, not a regular file, not an Access database, a format or an
// encryption Dualyn cannot read, protected by a password that is not password ("" for none
// given), or damaged (naming the table, query or relationship whose design cannot be read). The
// file is only read, never changed.
DatabaseDesign readDesign(const std::string& path, const std::string& password = {});

// The same for a file already loaded and checked. afterOpen, when given, is called once libmdb has
// opened the file's bytes and before anything of the design is read (the reader process gives up
// its access to the file system there).
DatabaseDesign readDesign(const DatabaseFile& file, const std::function<void()>& afterOpen = {});

// The same, handing the design to sink piece by piece as it is read instead of keeping it whole.
void readDesign(const DatabaseFile& file, DesignSink& sink, const std::function<void()>& afterOpen = {});

}  // namespace engine
