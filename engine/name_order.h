// The engine's order of names: letter case ignored, ties broken by the exact name.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// The name with every letter replaced by its Unicode simple case folding (the C and S mappings
// of CaseFolding.txt, as ICU's u_foldCase gives them with its default option): "ÄſK" gives
// "äsk", "ẞ" gives "ß", "İ" and "ı" stay as they are. Independent of the locale. Bytes that are
// no UTF-8 stay as they are.
std::string foldCase(std::string_view utf8);

// The order of the folded forms of a and b as UTF-16 compares them, unit by unit, as a negative
// number, 0 or a positive number; the folded forms are not built, and names in ASCII are
// compared byte by byte: compareFolded("Apple", "apple") == 0, compareFolded("apple", "Banana") < 0,
// compareFolded("µx", "àx") > 0 (µ folds to Greek μ).
int compareFolded(std::string_view a, std::string_view b);

// Whether a and b are the same name, letter case aside: compareFolded(a, b) == 0, told at once
// when their first letters are ASCII and differ ("Caption" is not "Format").
inline bool sameFolded(std::string_view a, std::string_view b)
{
    if (!a.empty() && !b.empty()) {
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        const auto x = static_cast<unsigned char>(a[0]), y = static_cast<unsigned char>(b[0]);
        if (!((x | y) & 0x80) && lower(x) != lower(y)) return false;
    }
    return compareFolded(a, b) == 0;
}

// True when a comes before b: by their folded forms, then by their bytes.
// Example: "apple" < "Banana" < "banana" < "cherry".
bool nameLess(std::string_view a, std::string_view b);

// True when name starts with "MSys" in any letter case of those four ASCII letters (a system
// table's name).
bool isSystemName(std::string_view name);

}  // namespace engine
