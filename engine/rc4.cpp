#include "rc4.h"

#include <array>
#include <utility>

namespace engine {

std::vector<std::uint8_t> rc4Keystream(const std::vector<std::uint8_t>& key, std::size_t length)
{
    std::array<std::uint8_t, 256> s{};  // the cipher's permutation state
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::uint8_t>(i);
    for (std::size_t i = 0, j = 0; i < s.size(); ++i) {
        j = (j + s[i] + (key.empty() ? 0 : key[i % key.size()])) & 0xFF;
        std::swap(s[i], s[j]);
    }
    std::vector<std::uint8_t> out(length);
    for (std::size_t n = 0, i = 0, j = 0; n < length; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        out[n] = s[(s[i] + s[j]) & 0xFF];
    }
    return out;
}

void rc4Apply(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t length)
{
    std::array<std::uint8_t, 256> s{};  // the cipher's permutation state
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::uint8_t>(i);
    for (std::size_t i = 0, j = 0; i < s.size(); ++i) {
        j = (j + s[i] + key[i % keyLength]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (std::size_t n = 0, i = 0, j = 0; n < length; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[n] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

}  // namespace engine
