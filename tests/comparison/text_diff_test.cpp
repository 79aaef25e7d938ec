// The side-by-side diff of two texts: lines matched, changed lines paired, words marked.
#include "text_diff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <random>
#include <string>
#include <vector>

using dualyn::DiffLine;
using dualyn::DiffTexts;
using dualyn::TextDiff;
using Mark = DiffLine::Mark;

namespace {

// Processor seconds a large diff may take: 2 in an optimised build (about 0.2 measured; a diff of
// quadratic cost takes minutes), more where sanitizers or -O0 slow all down.
#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__)
constexpr double kLargeDiffSeconds = 2.0;
#else
constexpr double kLargeDiffSeconds = 10.0;
#endif

// Each line as its mark and its text, changed segments in brackets: "C: SELECT [a] FROM t".
std::vector<std::string> Shown(const std::vector<DiffLine>& lines)
{
    std::vector<std::string> shown;
    for (const DiffLine& line : lines) {
        shown.push_back(line.mark == Mark::Same ? "S: " : line.mark == Mark::Changed ? "C: " : "O: ");
        for (const auto& segment : line.segments) shown.back() += segment.changed ? "[" + segment.text + "]" : segment.text;
    }
    return shown;
}

// Each line's text, segments joined.
std::vector<std::string> Texts(const std::vector<DiffLine>& lines)
{
    std::vector<std::string> texts;
    for (const DiffLine& line : lines) {
        texts.emplace_back();
        for (const auto& segment : line.segments) texts.back() += segment.text;
    }
    return texts;
}

// text with "\r\n" and "\r" written "\n".
std::string Normalised(std::string text)
{
    for (std::size_t at = 0; (at = text.find('\r', at)) != std::string::npos; ++at)
        text.replace(at, text.compare(at, 2, "\r\n") == 0 ? 2 : 1, "\n");
    return text;
}

// What every diff must be, whatever the texts: each side gives its text back; segments are not
// empty, alternate their flags, and never part two bytes of a UTF-8 character; Same and Changed
// lines have counterparts of the same mark, in order, Same ones with the same text.
void ExpectSound(const TextDiff& diff, const std::string& text1, const std::string& text2)
{
    const std::vector<DiffLine>* sides[2] = {&diff.lines1, &diff.lines2};
    const bool lineEndAtEnd[2] = {diff.endsWithLineEnd1, diff.endsWithLineEnd2};
    const std::string texts[2] = {text1, text2};
    for (int side = 0; side < 2; ++side) {
        const std::vector<DiffLine>& lines = *sides[side];
        const std::vector<DiffLine>& others = *sides[1 - side];
        std::string joined;
        for (const std::string& text : Texts(lines)) joined += text + "\n";
        if (!lineEndAtEnd[side] && !joined.empty()) joined.pop_back();
        EXPECT_EQ(joined, Normalised(texts[side])) << "side " << side + 1;
        std::ptrdiff_t lastOther = -1;  // counterparts must come in order
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const auto& segments = lines[i].segments;
            const std::string shown = Shown({lines[i]})[0];
            for (std::size_t s = 0; s < segments.size(); ++s) {
                ASSERT_FALSE(segments[s].text.empty()) << shown;
                if (s == 0) continue;
                EXPECT_NE(segments[s - 1].changed, segments[s].changed) << shown;
                EXPECT_FALSE(static_cast<unsigned char>(segments[s - 1].text.back()) >= 0x80 &&
                             static_cast<unsigned char>(segments[s].text.front()) >= 0x80) << shown;
            }
            if (lines[i].mark == Mark::Only) {
                EXPECT_EQ(lines[i].otherIndex, -1) << shown;
                continue;
            }
            ASSERT_GT(lines[i].otherIndex, lastOther) << shown;
            ASSERT_LT(lines[i].otherIndex, static_cast<std::ptrdiff_t>(others.size())) << shown;
            lastOther = lines[i].otherIndex;
            const DiffLine& other = others[lastOther];
            EXPECT_EQ(other.mark, lines[i].mark) << shown;
            EXPECT_EQ(other.otherIndex, static_cast<std::ptrdiff_t>(i)) << shown;
            if (other.mark == Mark::Same) {
                EXPECT_EQ(Shown({other})[0], shown);
            }
        }
    }
}

// How many of the lines have the mark.
std::size_t Marked(const std::vector<DiffLine>& lines, Mark mark)
{
    return std::count_if(lines.begin(), lines.end(), [mark](const DiffLine& line) { return line.mark == mark; });
}

// How many items a longest common subsequence of a and b has, by the textbook table.
std::size_t CommonCount(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    std::vector<std::vector<std::size_t>> common(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = a.size(); i-- > 0;)
        for (std::size_t j = b.size(); j-- > 0;)
            common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    return common[0][0];
}

TEST(TextDiff, LinesEndAlikeAndAnEmptyTextHasNone)
{
    TextDiff diff = DiffTexts("SELECT *\r\nFROM t\r\n\r\nWHERE x", "SELECT *\nFROM t\n\rWHERE x\n");
    const std::vector<std::string> expected = {"S: SELECT *", "S: FROM t", "S: ", "S: WHERE x"};
    EXPECT_EQ(Shown(diff.lines1), expected);
    EXPECT_EQ(Shown(diff.lines2), expected);
    EXPECT_FALSE(diff.endsWithLineEnd1);
    EXPECT_TRUE(diff.endsWithLineEnd2);
    diff = DiffTexts("", "a\n\nb");
    EXPECT_TRUE(diff.lines1.empty());
    EXPECT_EQ(Shown(diff.lines2), (std::vector<std::string>{"O: [a]", "O: ", "O: [b]"}));
    diff = DiffTexts("\n", "");
    EXPECT_EQ(Shown(diff.lines1), std::vector<std::string>{"O: "});
    EXPECT_TRUE(diff.lines2.empty());
}

TEST(TextDiff, OneWordChangedInALongLineIsAllThatIsMarked)
{
    std::string before = "SELECT Orders.OrderID, Orders.CustomerID, Orders.Freight";
    for (int i = 0; i < 200; ++i) before += ", Orders.Field" + std::to_string(i);
    const std::string after = before + " FROM Orders WHERE Orders.Freight > 100";
    before += " FROM Orders WHERE Orders.Freight > 250";
    const TextDiff diff = DiffTexts("PARAMETERS x Long;\n" + before, "PARAMETERS x Long;\n" + after);
    ASSERT_EQ(diff.lines1.size(), 2u);
    EXPECT_EQ(Shown(diff.lines1)[0], "S: PARAMETERS x Long;");
    EXPECT_EQ(Shown(diff.lines1)[1], "C: " + before.substr(0, before.size() - 3) + "[250]");
    EXPECT_EQ(Shown(diff.lines2)[1], "C: " + after.substr(0, after.size() - 3) + "[100]");
}

TEST(TextDiff, UnmatchedLinesPairInOrderWhenTheyShareWordsAndTheRestAreOnly)
{
    // Before "FROM t": two pairs alike enough and a line added on side 2; after it, a pair too
    // unlike, one sharing half its words, and a line removed on side 1.
    const std::string text1 = "SELECT a b FROM t\nWHERE x = 1\nFROM t\nSELECT a\nAND y\nORDER BY q";
    const std::string text2 = "SELECT c d FROM t\nWHERE x = 2\nAND z\nFROM t\nHAVING b\nAND z";
    const TextDiff diff = DiffTexts(text1, text2);
    EXPECT_EQ(Shown(diff.lines1), (std::vector<std::string>{"C: SELECT [a b] FROM t", "C: WHERE x = [1]", "S: FROM t",
                                                            "O: [SELECT a]", "C: AND [y]", "O: [ORDER BY q]"}));
    EXPECT_EQ(Shown(diff.lines2), (std::vector<std::string>{"C: SELECT [c d] FROM t", "C: WHERE x = [2]",
                                                            "O: [AND z]", "S: FROM t", "O: [HAVING b]", "C: AND [z]"}));
    EXPECT_EQ(diff.lines1[2].otherIndex, 3);
    ExpectSound(diff, text1, text2);
}

TEST(TextDiff, Utf8CharactersStayWhole)
{
    TextDiff diff = DiffTexts("WHERE Ville = 'Genève' AND Café = 1", "WHERE Ville = 'Genèva' AND Cafè = 1");
    EXPECT_EQ(Shown(diff.lines1)[0], "C: WHERE Ville = '[Genève]' AND [Café] = 1");
    diff = DiffTexts("名前 = '東京' OR x", "名前 = '大阪' OR x");
    EXPECT_EQ(Shown(diff.lines2)[0], "C: 名前 = '[大阪]' OR x");
    diff = DiffTexts("x = \"東京都\"", "x = \"東京府\"");  // CJK without spaces is one word
    EXPECT_EQ(Shown(diff.lines1)[0], "C: x = \"[東京都]\"");
}

TEST(TextDiff, GivesEachTextBackAndStaysSoundOnAnyInput)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""}, {"\r", "\r\n"}, {"a\r\r\n", "a\n\n"}, {"\n\n\n", "\n"}, {"x", "x\n"}, {" ", "\t"},
        {"a b", "b a"}, {"é\xC3", "\xA9\xC3\xA9"}, {std::string("a\0b", 3), "a b"}};
    for (const auto& [text1, text2] : cases) {
        SCOPED_TRACE(text1 + " | " + text2);
        ExpectSound(DiffTexts(text1, text2), text1, text2);
        ExpectSound(DiffTexts(text2, text1), text2, text1);
    }
    // Random texts of few pieces, so that lines and words repeat, and their edited copies.
    const std::vector<std::string> pieces = {"a", "b", "SELECT", " ", "  ", "\t", ",", "é", "東", "\xE6", "\n", "\r", "\r\n", "(", "_1"};
    std::mt19937 random(20240611);
    auto randomText = [&](std::size_t length) {
        std::string text;
        for (std::size_t i = 0; i < length; ++i) text += pieces[random() % pieces.size()];
        return text;
    };
    for (int round = 0; round < 2000; ++round) {
        const std::string text1 = randomText(random() % 60);
        std::string text2 = text1;
        for (int edit = random() % 6; edit > 0 && !text2.empty(); --edit) {
            const std::size_t at = random() % text2.size();
            text2.replace(at, random() % 4, randomText(random() % 3));
        }
        SCOPED_TRACE(testing::PrintToString(text1) + " | " + testing::PrintToString(text2));
        const TextDiff diff = DiffTexts(text1, text2);
        ExpectSound(diff, text1, text2);
        if (HasFatalFailure()) return;
        EXPECT_EQ(Marked(diff.lines1, Mark::Same), CommonCount(Texts(diff.lines1), Texts(diff.lines2)));
    }
}

// Seconds DiffTexts(text1, text2) takes.
// The processor time this thread spent diffing: unlike the time on the clock, it does not grow
// when other work shares the machine.
double SecondsToDiff(const std::string& text1, const std::string& text2, TextDiff& diff)
{
    auto now = [] {
        timespec at{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &at);
        return static_cast<double>(at.tv_sec) + static_cast<double>(at.tv_nsec) / 1e9;
    };
    const double start = now();
    diff = DiffTexts(text1, text2);
    return now() - start;
}

TEST(TextDiff, LargeTextsFinishQuickly)
{
    std::string text1 = "SELECT\n", text2 = "SELECT\n";
    for (int i = 0; i < 20000; ++i) {
        text1 += "  Field" + std::to_string(i) + " AS a" + std::to_string(i * 7919 % 20011) + ",\n";
        text2 += "  Field" + std::to_string(i) + " AS b" + std::to_string(i * 104729 % 20011) + ",\n";
    }
    text1 += "FROM t", text2 += "FROM t";
    TextDiff diff;
    EXPECT_LT(SecondsToDiff(text1, text2, diff), kLargeDiffSeconds);
    ExpectSound(diff, text1, text2);
    EXPECT_EQ(Shown(diff.lines1).front(), "S: SELECT");
    EXPECT_EQ(Shown(diff.lines2).back(), "S: FROM t");
    EXPECT_EQ(Marked(diff.lines1, Mark::Changed), 20000u);

    std::mt19937 random(7);
    std::string line1, line2;
    for (int i = 0; i < 200'000; ++i) {
        line1 += "ab(, "[random() % 5];
        line2 += "ab(, "[random() % 5];
    }
    EXPECT_LT(SecondsToDiff("x " + line1 + " y", "x " + line2 + " y", diff), kLargeDiffSeconds);
    ExpectSound(diff, "x " + line1 + " y", "x " + line2 + " y");
}

TEST(TextDiff, LongTextsWithFewChangesAreStillDiffedExactly)
{
    std::string text1, text2;
    for (int i = 0; i < 100'000; ++i) {
        const std::string line = "line " + std::to_string(i);
        if (i % 10'000 != 5) text1 += line + "\n";
        if (i % 10'000 != 7) text2 += line + "\n";
    }
    TextDiff diff;
    EXPECT_LT(SecondsToDiff(text1, text2, diff), kLargeDiffSeconds);
    ExpectSound(diff, text1, text2);
    EXPECT_EQ(Marked(diff.lines1, Mark::Only), 10u);
    EXPECT_EQ(Marked(diff.lines2, Mark::Only), 10u);
    EXPECT_EQ(Shown(diff.lines1)[6], "O: [line 7]");
    EXPECT_EQ(Shown(diff.lines2)[5], "O: [line 5]");
}

}  // namespace
