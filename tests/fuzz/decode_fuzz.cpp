// libFuzzer target: the window process's decoding of a serialized design, which comes from
// another process and is trusted no more than a file. Refusals are fine; a crash, a hang or a
// sanitizer finding is not.
#include "design_codec.h"
#include "format_error.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        engine::decodeDesign(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const engine::FormatError&) {
    }
    return 0;
}
