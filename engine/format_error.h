// What the engine's own readers of file structures throw when the bytes are not what they must be.
#pragma once

#include <stdexcept>
#include <string>

namespace engine {

class FormatError : public std::runtime_error {
public:
    explicit FormatError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace engine
