#include "text_codec.h"

#include <cstring>

namespace engine {

std::size_t utf8SequenceLength(const unsigned char* p, std::size_t i, std::size_t n)
{
    unsigned c = p[i];
    if (c < 0x80) return 1;
    std::size_t length;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte, narrowed for some leads
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;   // overlong
        if (c == 0xED) high = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;   // overlong
        if (c == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return 0;
    }
    if (n - i < length || p[i + 1] < low || p[i + 1] > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((p[i + k] & 0xC0) != 0x80) return 0;
    return length;
}

std::size_t firstNonUtf8(std::string_view s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        if (n - i >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080u) == 0) {
                i += 8;
                continue;
            }
        }
        if (p[i] < 0x80) {  // ASCII: a sequence of one byte
            ++i;
            continue;
        }
        std::size_t length = utf8SequenceLength(p, i, n);
        if (length == 0) return i;
        i += length;
    }
    return std::string_view::npos;
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string utf16leToUtf8(const std::uint8_t* data, std::size_t size)
{
    std::string out;
    utf16leToUtf8(data, size, out);
    return out;
}

void utf16leToUtf8(const std::uint8_t* data, std::size_t size, std::string& out)
{
    // Text of ASCII characters only, as most names are, is made in one go, a byte a character.
    out.resize(size / 2);
    std::uint8_t high = 0;  // the bits of every character above 7 bits, gathered
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        out[i / 2] = static_cast<char>(data[i]);
        high |= static_cast<std::uint8_t>(data[i] & 0x80) | data[i + 1];
    }
    if (high == 0) return;
    out.clear();
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        char32_t unit = static_cast<char32_t>(data[i] | data[i + 1] << 8);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < size) {
            char32_t low = static_cast<char32_t>(data[i + 2] | data[i + 3] << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendUtf8(out, unit);  // an unpaired surrogate comes out as U+FFFD
    }
}

std::string jet4TextToUtf8(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 || data[0] != 0xFF || data[1] != 0xFE) return utf16leToUtf8(data, size);
    // Compressed: one byte per character, until a 0 byte switches to two bytes per character
    // (and the next 0 switches back).
    std::string utf16;
    bool compressed = true;
    for (std::size_t i = 2; i < size;) {
        if (data[i] == 0) {
            compressed = !compressed;
            ++i;
        } else if (compressed) {
            utf16 += static_cast<char>(data[i++]);
            utf16 += '\0';
        } else if (i + 1 < size) {
            utf16 += static_cast<char>(data[i]);
            utf16 += static_cast<char>(data[i + 1]);
            i += 2;
        } else {
            break;
        }
    }
    return utf16leToUtf8(reinterpret_cast<const std::uint8_t*>(utf16.data()), utf16.size());
}

std::string cp1252ToUtf8(const std::uint8_t* data, std::size_t size)
{
    // 0x80 to 0x9F; 0xFFFD where the code page assigns nothing.
    static constexpr char16_t high[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::string out;
    out.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        std::uint8_t b = data[i];
        appendUtf8(out, b >= 0x80 && b < 0xA0 ? high[b - 0x80] : b);
    }
    return out;
}

}  // namespace engine
