// The comparisons count their walks with int; the engine's collections take 16-bit positions.
#pragma once

#include <cstdint>

namespace dualyn {

// The engine's position of the i-th item. Callers keep i below a collection's Count, which is
// itself a 16-bit number, so the conversion never overflows.
inline std::int16_t At(int i)
{
    return static_cast<std::int16_t>(i);
}

}  // namespace dualyn
