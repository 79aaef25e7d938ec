#include "name_order.h"

#include "text_codec.h"

#include <algorithm>

namespace engine {

namespace {

// What nextCodePoint gives for a byte that starts no valid sequence: no letter, never folded.
constexpr char32_t kMalformed = 0x110000;

// The lower-case letter of a capital in the ranges foldCase covers, or c itself.
char32_t lowerOf(char32_t c)
{
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c == 0x178) return 0xFF;  // Ÿ, whose small letter is in Latin-1
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;  // Latin-1 capitals (not ×)
    if (c >= 0x100 && c <= 0x17F) {                                // Latin Extended-A: pairs
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        return oddPairs ? (c % 2 == 1 ? c + 1 : c) : (c % 2 == 0 ? c + 1 : c);
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;  // Greek
    if (c >= 0x410 && c <= 0x42F) return c + 32;                // Cyrillic А-Я
    if (c >= 0x400 && c <= 0x40F) return c + 80;                // Cyrillic Ѐ-Џ
    return c;
}

// Decodes one UTF-8 sequence at s[i], advancing i; a byte that starts no valid sequence is
// passed over alone and gives kMalformed.
char32_t nextCodePoint(std::string_view s, std::size_t& i)
{
    auto b = static_cast<unsigned char>(s[i]);
    std::size_t extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if ((b >= 0x80 && extra == 0) || (extra && i + extra >= s.size())) {
        ++i;
        return kMalformed;
    }
    char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t k = 1; k <= extra; ++k) {
        auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return kMalformed;
        }
        cp = cp << 6 | (c & 0x3F);
    }
    i += extra + 1;
    return cp;
}

}  // namespace

std::string foldCase(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        std::size_t start = i;
        char32_t cp = nextCodePoint(s, i);
        char32_t lower = lowerOf(cp);
        if (lower == cp)
            out.append(s.substr(start, i - start));  // keeps even malformed bytes as they are
        else
            appendUtf8(out, lower);
    }
    return out;
}

int compareFolded(std::string_view a, std::string_view b)
{
    // ASCII letters fold to ASCII one byte for one, so the folded forms agree byte for byte with
    // the lowered bytes up to the first byte that is not ASCII; from there on the whole forms are
    // compared.
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if ((x | y) & 0x80) return foldCase(a).compare(foldCase(b));
        if (x >= 'A' && x <= 'Z') x += 32;
        if (y >= 'A' && y <= 'Z') y += 32;
        if (x != y) return x < y ? -1 : 1;
    }
    // The shorter is all ASCII and its folded form starts the longer's.
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

bool nameLess(std::string_view a, std::string_view b)
{
    int folded = compareFolded(a, b);
    return folded != 0 ? folded < 0 : a < b;
}

bool isSystemName(std::string_view name)
{
    return name.size() >= 4 && foldCase(name.substr(0, 4)) == "msys";
}

}  // namespace engine
