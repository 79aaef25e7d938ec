#include "printable_path.h"

#include "text_codec.h"

namespace engine {

std::string printablePath(std::string_view path)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const auto* p = reinterpret_cast<const unsigned char*>(path.data());
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size();) {
        // The length of the character at i, or 0 for a byte that starts none.
        std::size_t length = utf8SequenceLength(p, i, path.size());
        if (length == 0 || p[i] < 0x20 || p[i] == 0x7F) {
            out += "\\x";
            out += kDigits[p[i] >> 4];
            out += kDigits[p[i] & 0xF];
            ++i;
        } else {
            out.append(path.substr(i, length));
            i += length;
        }
    }
    return out;
}

}  // namespace engine
