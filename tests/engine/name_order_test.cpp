// The engine's order of names and its folding of letter case.
#include "name_order.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace engine;

TEST(NameOrder, CaseIgnoredThenExactName)
{
    std::vector<std::string> names = {"cherry", "banana", "Banana", "apple", "BANANA", "Äpfel", "zebra", "Émile", "éclair"};
    std::sort(names.begin(), names.end(), nameLess);
    EXPECT_EQ(names, (std::vector<std::string>{"apple", "BANANA", "Banana", "banana", "cherry", "zebra", "Äpfel", "éclair",
                                               "Émile"}));
}

TEST(NameOrder, FoldsLettersBeyondAscii)
{
    EXPECT_EQ(foldCase("ÄÖÜ ÀÉÎ"), "äöü àéî");
    EXPECT_EQ(foldCase("ŁÓDŹ Ŝ Ÿ"), "łódź ŝ ÿ");
    EXPECT_EQ(foldCase("ΑΘΗΝΑ МОСКВА ЁЖ"), "αθηνα москва ёж");
    EXPECT_EQ(foldCase("×ß"), "×ß");            // no case, nothing to fold
    EXPECT_EQ(foldCase("a\xC3"), "a\xC3");      // a cut-off sequence stays as it is
    EXPECT_EQ(foldCase("İı"), "İı");            // Turkish dotted and dotless i stay apart
}

TEST(NameOrder, SystemNames)
{
    for (const char* name : {"MSysObjects", "msysTemp", "MSYSX", "MSys"}) EXPECT_TRUE(isSystemName(name)) << name;
    for (const char* name : {"MSy", "TheMSysTable", "M Sys"}) EXPECT_FALSE(isSystemName(name)) << name;
}

// The shortcut through ASCII gives the order of the folded forms for every pair, whatever mix of
// ASCII, folded letters, prefixes and broken sequences the two names are.
TEST(NameOrder, ComparingWithoutFoldingAgreesWithFolding)
{
    const std::vector<std::string> names = {"", "a", "A", "ab", "aB", "Ab", "abc", "b", "[", "_", "Z", "z", "Äb", "äb",
                                            "aÄ", "Aä", "aä", "ÿ", "Ÿ", "a\xC3", "A\xC3", "a\xC3\xA4", "ΑΘ", "αθ", "Ёж",
                                            "ёЖ", "Field1", "FIELD10", "field2"};
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const auto& a : names)
        for (const auto& b : names)
            EXPECT_EQ(sign(compareFolded(a, b)), sign(foldCase(a).compare(foldCase(b)))) << a << " / " << b;
}
