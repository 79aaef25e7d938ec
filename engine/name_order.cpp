#include "name_order.h"

#include "text_codec.h"

#include <unicode/uchar.h>

#include <algorithm>

namespace engine {

namespace {

// What nextCodePoint gives for a byte that starts no valid sequence, plus that byte: above every
// code point, never folded, so such names still have a fixed order.
constexpr char32_t kMalformed = 0x110000;

// Decodes one UTF-8 sequence at s[i], advancing i; a byte that starts no valid sequence is
// passed over alone and gives kMalformed + the byte.
char32_t nextCodePoint(std::string_view s, std::size_t& i)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(s.data());
    std::size_t length = utf8SequenceLength(bytes, i, s.size());
    if (length == 0) return kMalformed + bytes[i++];
    char32_t cp = length == 1 ? bytes[i] : length == 2 ? (bytes[i] & 0x1F) : length == 3 ? (bytes[i] & 0x0F) : (bytes[i] & 0x07);
    for (std::size_t k = 1; k < length; ++k) cp = cp << 6 | (bytes[i + k] & 0x3F);
    i += length;
    return cp;
}

// The simple case folding of one code point; malformed bytes stay as they are.
char32_t folded(char32_t c)
{
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    if (c >= kMalformed) return c;
    return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

// The key by which a folded code point sorts as UTF-16 does: a code point above the Basic
// Multilingual Plane by its lead surrogate (D800-DBFF, below E000-FFFF), then by itself.
// Example: U+10428 sorts before U+FF41, although it is the greater code point.
std::uint64_t utf16Key(char32_t c)
{
    if (c < 0x10000 || c >= kMalformed) return static_cast<std::uint64_t>(c) << 21;
    std::uint64_t lead = 0xD800 + ((c - 0x10000) >> 10);
    return lead << 21 | c;
}

}  // namespace

std::string foldCase(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        std::size_t start = i;
        char32_t cp = nextCodePoint(s, i);
        char32_t lower = folded(cp);
        if (lower == cp)
            out.append(s.substr(start, i - start));  // keeps even malformed bytes as they are
        else
            appendUtf8(out, lower);
    }
    return out;
}

int compareFolded(std::string_view a, std::string_view b)
{
    // ASCII letters fold to ASCII one byte for one, so up to the first byte that is not ASCII the
    // lowered bytes decide; from there on the names are folded code point by code point.
    const std::size_t common = std::min(a.size(), b.size());
    std::size_t i = 0;  // the first byte not yet compared, the same in both names
    for (; i < common; ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if ((x | y) & 0x80) break;
        if (x >= 'A' && x <= 'Z') x += 32;
        if (y >= 'A' && y <= 'Z') y += 32;
        if (x != y) return x < y ? -1 : 1;
    }
    std::size_t j = i;  // the reading positions in a and b, apart once sequences differ in length
    while (i < a.size() && j < b.size()) {
        std::uint64_t x = utf16Key(folded(nextCodePoint(a, i)));
        std::uint64_t y = utf16Key(folded(nextCodePoint(b, j)));
        if (x != y) return x < y ? -1 : 1;
    }
    // One is used up; simple folding maps one code point to one, so the other is longer.
    return (i < a.size()) - (j < b.size());
}

bool nameLess(std::string_view a, std::string_view b)
{
    int order = compareFolded(a, b);
    return order != 0 ? order < 0 : a < b;
}

bool isSystemName(std::string_view name)
{
    if (name.size() < 4) return false;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(name[0]) == 'm' && lower(name[1]) == 's' && lower(name[2]) == 'y' && lower(name[3]) == 's';
}

}  // namespace engine
