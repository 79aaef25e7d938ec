// A database file read whole into memory, after the checks that tell a user why a file cannot be
// opened: it is missing, not a regular file, not an Access database, of a format or an encryption
// Dualyn cannot read, protected by a database password that was not given, or cut short.
#pragma once

#include "design.h"
#include "table_definition.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace engine {

// What a caller can do about a database that did not open: nothing but report it, or ask for its
// password (none was given: "no password given"), or ask again (the one given was wrong: "wrong
// password").
enum class OpenProblem { Other, PasswordNeeded, WrongPassword };

// Why a database could not be opened. what() reads "PATH: REASON", the path as printablePath
// shows it (printable_path.h); path() is the path itself.
class OpenError : public std::runtime_error {
public:
    OpenError(const std::string& path, const std::string& reason, OpenProblem problem = OpenProblem::Other);
    const std::string& path() const { return path_; }
    const std::string& reason() const { return reason_; }
    OpenProblem problem() const { return problem_; }

private:
    std::string path_;
    std::string reason_;
    OpenProblem problem_;
};

struct DatabaseFile {
    std::string path;  // absolute
    FileFormat format = FileFormat::Jet4;
    std::vector<std::uint8_t> bytes;

    FileImage image() const { return FileImage{bytes.data(), bytes.size(), format == FileFormat::Jet3}; }
};

// Access files are at most 2 GiB; larger files are refused before they are read.
inline constexpr std::uint64_t kLargestDatabaseFile = std::uint64_t{1} << 31;

// The absolute form of path, as the engine names a database (its folders not resolved).
std::string absolutePathOf(const std::string& path);

// Reads the file at path (opened read-only; the file is not changed). Its size and its header
// page, with the database password (password: the one given, "" for none), are checked before
// the rest is read, its catalog's page once it is read. An encoded Jet 3 or Jet 4 database is
// decoded in memory, and the pages of an Access 2007+ file encrypted with a password decrypted in
// memory with password (UTF-8), so that bytes hold it as a plain one. Throws OpenError.
DatabaseFile loadDatabaseFile(const std::string& path, const std::string& password = {});

// The checks of loadDatabaseFile on bytes already in memory, which an encoded Jet database is
// decoded in, in place; path only names the file in errors. Throws OpenError.
FileFormat checkDatabaseBytes(const std::string& path, std::vector<std::uint8_t>& bytes, const std::string& password = {});

}  // namespace engine
