// A file's path as a person is shown it. Paths on Linux are bytes and need not be UTF-8; wherever
// a path is shown (messages, the log), the bytes that are no text are written out, while the path
// itself, for opening the file, stays the bytes it is.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// path as UTF-8 text: each byte that is not part of a UTF-8 character, and each control
// character (which would break a line or a message), as \xHH with two capital hex digits;
// everything else, a backslash too, as it is.
//     printablePath("/data/caf\xE9.mdb") == "/data/caf\\xE9.mdb"
//     printablePath("/data/Größe.mdb")   == "/data/Größe.mdb"
std::string printablePath(std::string_view path);

}  // namespace engine
