// The memory this process has used, for benchmarks.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

namespace dualyn {

// The most resident memory this process has held, in KiB (VmHWM), or -1 when the system does not
// say. Unlike getrusage's figure it starts afresh with the program, whatever the process that
// started it held.
inline long peakMemoryKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

}  // namespace dualyn
