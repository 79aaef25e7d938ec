// The error of a database that does not open, and the name the engine gives a database: apart
// from the reading of files, so that a process that only starts readers (the window,
// dualyn-compare) links none of it, nor the cryptography it needs.
#include "database_file.h"

#include "printable_path.h"

#include <filesystem>
#include <system_error>

namespace engine {

OpenError::OpenError(const std::string& path, const std::string& reason, OpenProblem problem)
    : std::runtime_error(printablePath(path) + ": " + reason), path_(path), reason_(reason), problem_(problem)
{
}

std::string absolutePathOf(const std::string& path)
{
    std::error_code ec;
    std::string absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
    return ec ? path : absolute;
}

}  // namespace engine
