// The engine's order of names: letter case ignored, ties broken by the exact name.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// The name with its letters in lower case: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic
// capitals are folded; everything else stays as it is. Independent of the locale.
std::string foldCase(std::string_view utf8);

// True when a comes before b: by their folded forms, then by their bytes.
// Example: "apple" < "Banana" < "banana" < "cherry".
bool nameLess(const std::string& a, const std::string& b);

// True when name starts with "MSys" in any letter case (a system table's name).
bool isSystemName(std::string_view name);

}  // namespace engine
