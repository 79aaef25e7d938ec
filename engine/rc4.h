// RC4 keystreams: Access masks part of its header page with one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine {

// The first length bytes of the RC4 keystream of key (XOR them in to mask or unmask).
std::vector<std::uint8_t> rc4Keystream(const std::vector<std::uint8_t>& key, std::size_t length);

// XORs the RC4 keystream of key (keyLength bytes, at least 1) into data[0, length): encrypts or
// decrypts it in place.
void rc4Apply(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t length);

// The key of the header page's mask, and where the masked block starts.
inline const std::vector<std::uint8_t> kHeaderMaskKey = {0xC7, 0xDA, 0x39, 0x6B};
constexpr std::size_t kHeaderMaskStart = 0x18;

}  // namespace engine
