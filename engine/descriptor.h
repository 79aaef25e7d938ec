// An open file descriptor that is closed when it goes.
#pragma once

#include <unistd.h>

#include <utility>

namespace engine {

// Move-only; -1 holds none.
struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int f) : fd(f) {}
    Descriptor(Descriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        if (this != &other) {
            if (fd >= 0) ::close(fd);
            fd = std::exchange(other.fd, -1);
        }
        return *this;
    }
    ~Descriptor()
    {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace engine
