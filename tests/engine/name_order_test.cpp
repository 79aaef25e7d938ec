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
    // Letters whose folding leaves their block or is not their lower case: micro sign, long s,
    // Kelvin and Angstrom signs, capital sharp s, final sigma, accented Greek, Latin Extended-B.
    EXPECT_EQ(foldCase("µ ſ K Å ẞ ς Ά Ώ Ƀ ǅ Ǆ"), "μ s k å ß σ ά ώ ƀ ǆ ǆ");
    EXPECT_EQ(foldCase("𐐀"), "𐐨");             // beyond the Basic Multilingual Plane (Deseret)
    EXPECT_EQ(foldCase("×ß"), "×ß");            // no case, nothing to fold
    EXPECT_EQ(foldCase("a\xC3"), "a\xC3");      // a cut-off sequence stays as it is
    EXPECT_EQ(foldCase("İı"), "İı");            // Turkish dotted and dotless i stay apart
}

// Names sort where their folded letters put them, not where their code points would.
TEST(NameOrder, FoldedLettersSortWithTheirFoldings)
{
    std::vector<std::string> names = {"µx", "àx", "ſxr", "Table1", "\u212Ailo", "kilo", "Kz", "\u212Bb", "åa", "ẞ", "ßa",
                                      "ςb", "σa", "Άx", "άa", "Ƀ", "ƀa", "İ", "i", "ı", "j"};
    std::sort(names.begin(), names.end(), nameLess);
    EXPECT_EQ(names, (std::vector<std::string>{"i", "j", "kilo", "\u212Ailo", "Kz", "ſxr", "Table1", "ẞ", "ßa", "àx", "åa",
                                               "\u212Bb", "İ", "ı", "Ƀ", "ƀa", "άa", "Άx", "µx", "σa", "ςb"}));
}

// UTF-16 puts a letter beyond the Basic Multilingual Plane (a surrogate pair, D800-DBFF) before
// the letters from E000 up, such as the fullwidth ones, which code points would not.
TEST(NameOrder, ComparedAsUtf16Units)
{
    EXPECT_LT(compareFolded("𐐀", "Ａ"), 0);
    EXPECT_LT(compareFolded("x𐐀", "xａ"), 0);
    EXPECT_GT(compareFolded("\xEF\xBC\xA1", "\xF0\x90\x90\xA8"), 0);  // Ａ after 𐐨
    EXPECT_EQ(compareFolded("𐐀b", "𐐨B"), 0);
    EXPECT_LT(compareFolded("a", "a\xC3"), 0);  // a name that goes on, even malformed, comes later
}

TEST(NameOrder, SystemNames)
{
    for (const char* name : {"MSysObjects", "msysTemp", "MSYSX", "MSys"}) EXPECT_TRUE(isSystemName(name)) << name;
    for (const char* name : {"MSy", "TheMSysTable", "M Sys"}) EXPECT_FALSE(isSystemName(name)) << name;
}

// The shortcut through ASCII gives the order of the folded forms for every pair, whatever mix of
// ASCII, folded letters and prefixes the two names are. Without letters beyond
// U+FFFF the order of UTF-16 units is the order of the folded forms' bytes.
TEST(NameOrder, ComparingWithoutFoldingAgreesWithFolding)
{
    const std::vector<std::string> names = {"", "a", "A", "ab", "aB", "Ab", "abc", "b", "[", "_", "Z", "z", "Äb", "äb",
                                            "aÄ", "Aä", "aä", "ÿ", "Ÿ", "ΑΘ", "αθ", "Ёж",
                                            "ёЖ", "Field1", "FIELD10", "field2", "ſ", "S", "sa", "µ", "Μ", "K", "k"};
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const auto& a : names)
        for (const auto& b : names)
            EXPECT_EQ(sign(compareFolded(a, b)), sign(foldCase(a).compare(foldCase(b)))) << a << " / " << b;
    // sameFolded's shortcut through a first ASCII letter says what comparing says ("ſa" is "Sa").
    for (const auto& a : names)
        for (const auto& b : names)
            EXPECT_EQ(sameFolded(a, b), compareFolded(a, b) == 0) << a << " / " << b;
}
