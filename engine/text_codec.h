// Texts as Access files store them, turned into UTF-8: UTF-16LE (Jet 4 and later), the
// compressed form of it ("FF FE" and one byte per character where it can), and code page 1252
// (Jet 3). Nothing here depends on the process locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

// UTF-16LE to UTF-8. An odd last byte is dropped; an unpaired surrogate becomes U+FFFD.
std::string utf16leToUtf8(const std::uint8_t* data, std::size_t size);
// The same into out, whose room is used again.
void utf16leToUtf8(const std::uint8_t* data, std::size_t size, std::string& out);

// A Jet 4 text value: compressed when it starts with FF FE, plain UTF-16LE otherwise.
std::string jet4TextToUtf8(const std::uint8_t* data, std::size_t size);

// Code page 1252 to UTF-8; its five unassigned bytes become U+FFFD.
std::string cp1252ToUtf8(const std::uint8_t* data, std::size_t size);

// Appends the UTF-8 form of one code point.
void appendUtf8(std::string& out, char32_t codePoint);

// The length of the UTF-8 sequence starting at p[i], or 0 when it is not one (a stray
// continuation byte, an overlong form, a surrogate, a code point past U+10FFFF, or cut off by n).
// "é" is C3 A9: length 2 at its first byte, 0 at its second.
std::size_t utf8SequenceLength(const unsigned char* p, std::size_t i, std::size_t n);

// Whether every byte of s is ASCII (below 0x80), which makes s UTF-8 and Windows-1252 alike.
inline bool isAscii(std::string_view s)
{
    unsigned char seen = 0;  // the high bits of the bytes
    for (char c : s) seen |= static_cast<unsigned char>(c);
    return seen < 0x80;
}

// The position of the first byte of s that does not start a whole UTF-8 sequence, or npos when
// s is all UTF-8. Runs of ASCII go eight bytes at a time.
std::size_t firstNonUtf8(std::string_view s);

}  // namespace engine
