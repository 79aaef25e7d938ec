// The engine's order of names: letter case ignored, ties broken by the exact name.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// The name with its letters in lower case: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic
// capitals are folded; everything else stays as it is. Independent of the locale.
std::string foldCase(std::string_view utf8);

// The order of the folded forms of a and b, as a negative number, 0 or a positive number, without
// building them when both start the same in ASCII: compareFolded("Apple", "apple") == 0,
// compareFolded("apple", "Banana") < 0.
int compareFolded(std::string_view a, std::string_view b);

// True when a comes before b: by their folded forms, then by their bytes.
// Example: "apple" < "Banana" < "banana" < "cherry".
bool nameLess(std::string_view a, std::string_view b);

// True when name starts with "MSys" in any letter case (a system table's name).
bool isSystemName(std::string_view name);

}  // namespace engine
