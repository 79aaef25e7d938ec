#include "text_diff.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <unordered_map>
#include <utility>

namespace dualyn {

namespace {

// The most edits (lines or words left out on either side) a longest common subsequence is looked
// for with. Its search keeps (edits + 1)^2 positions of 4 bytes: 16 MiB at this bound.
constexpr std::int64_t kMostEdits = 2000;

// The most steps one DiffTexts spends on looking for common subsequences, lines and words of
// changed pairs together: some tenths of a second. What is left to do after that gets the
// bounded treatment (common beginning and end kept, the rest changed).
constexpr std::int64_t kMostSteps = 40'000'000;

// What is left of the steps one DiffTexts may spend.
//
//     StepBudget budget{100};
//     budget.Spend(60);  // true, 40 left
//     budget.Spend(60);  // false, and nothing is left from then on
struct StepBudget {
    std::int64_t left;

    // Takes n steps from what is left: true when there were that many, else false and none left.
    bool Spend(std::int64_t n)
    {
        if (n > left) {
            left = 0;
            return false;
        }
        left -= n;
        return true;
    }
};

// Item i of the first sequence and item j of the second are the same and paired.
struct Match {
    std::size_t i, j;
};

struct SplitText {
    std::vector<std::string_view> lines;  // without their line ends
    bool endsWithLineEnd = false;         // the last line has a line end after it
};

// The lines of text, split at "\r\n", "\n" and "\r". An empty text has none; a line end at the end
// ends the last line and starts no other.
//
//     SplitLines("a\r\nb\n")  // {"a", "b"}, endsWithLineEnd
//     SplitLines("a\r\rb")    // {"a", "", "b"}
//     SplitLines("\n")        // {""}, endsWithLineEnd
SplitText SplitLines(std::string_view text)
{
    SplitText split;
    std::size_t start = 0;  // where the line being looked at begins
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);  // its line end, if it has one
        if (end == std::string_view::npos) {
            split.lines.push_back(text.substr(start));
            return split;
        }
        split.lines.push_back(text.substr(start, end - start));
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    split.endsWithLineEnd = !text.empty();
    return split;
}

// A byte of a word's letters: ASCII letters and digits, the underscore, and every byte of a UTF-8
// character that is not ASCII.
//
//     IsWordByte('a'), IsWordByte('_'), IsWordByte(0xC3)  // true
//     IsWordByte('('), IsWordByte(' ')                    // false
bool IsWordByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c >= 0x80;
}

// Space or tab, or another ASCII white space that can be inside a line.
bool IsSpaceByte(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// The line's words: runs of word bytes, runs of white space, and each other byte alone. They make
// up the line whole, in order.
//
//     SplitWords("WHERE x_1>=é  2")  // {"WHERE", " ", "x_1", ">", "=", "é", "  ", "2"}
std::vector<std::string_view> SplitWords(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t start = 0;  // where the word being looked at begins
    while (start < line.size()) {
        const unsigned char first = line[start];
        std::size_t end = start + 1;  // just after it
        if (IsWordByte(first))
            while (end < line.size() && IsWordByte(line[end])) ++end;
        else if (IsSpaceByte(first))
            while (end < line.size() && IsSpaceByte(line[end])) ++end;
        words.push_back(line.substr(start, end - start));
        start = end;
    }
    return words;
}

// A word that is white space alone (a run of white space, as SplitWords makes them).
bool IsSpaceWord(std::string_view word)
{
    return !word.empty() && IsSpaceByte(word.front());
}

// The same number for equal texts of a and b, different numbers for different ones, so that
// the sequences can be compared number by number.
//
//     NumberTexts({"x", "y"}, {"y", "z"})  // {0, 1} and {1, 2}
std::pair<std::vector<int>, std::vector<int>> NumberTexts(const std::vector<std::string_view>& a,
                                                          const std::vector<std::string_view>& b)
{
    std::unordered_map<std::string_view, int> numbers;  // each text seen, with its number
    numbers.reserve(a.size() + b.size());
    auto number = [&](const std::vector<std::string_view>& texts) {
        std::vector<int> result;
        result.reserve(texts.size());
        for (std::string_view text : texts)
            result.push_back(numbers.try_emplace(text, static_cast<int>(numbers.size())).first->second);
        return result;
    };
    std::vector<int> first = number(a);
    return {std::move(first), number(b)};
}

// One of the longest common subsequences of a and b, by Myers's O(ND) search, appended to
// matches in order with offsetA and offsetB added to the positions; or false, with matches as it
// was, when it takes more than kMostEdits edits or more steps than the budget has left.
//
//     a = {1, 2, 3}, b = {1, 3, 4}  // appends (0, 0), (2, 1)
bool AppendLongestCommon(const std::vector<int>& a, const std::vector<int>& b, std::size_t offsetA,
                         std::size_t offsetB, StepBudget& budget, std::vector<Match>& matches)
{
    if (a.size() > std::numeric_limits<std::int32_t>::max() || b.size() > std::numeric_limits<std::int32_t>::max())
        return false;
    const std::int64_t n = static_cast<std::int64_t>(a.size());
    const std::int64_t m = static_cast<std::int64_t>(b.size());
    const std::int64_t mostEdits = std::min(n + m, kMostEdits);
    // reached[d * d + d + k]: how far along a (x) the path of d edits that goes furthest on
    // diagonal k = x - y gets, after the equal items that follow; -1 when none gets there.
    std::vector<std::int32_t> reached;
    auto at = [&reached](std::int64_t d, std::int64_t k) -> std::int32_t& { return reached[d * d + d + k]; };

    // Where one edit more than d - 1 takes a path onto diagonal k, coming from diagonal k + 1 (an
    // item of b left out) or from k - 1 (an item of a left out), whichever gets further; -1 when
    // neither path exists or the edit would leave the sequences. fromAbove: it comes from k + 1.
    auto step = [&](std::int64_t d, std::int64_t k, bool& fromAbove) -> std::int64_t {
        std::int64_t down = -1, right = -1;  // x after the edit from k + 1 and from k - 1
        if (k + 1 <= d - 1 && at(d - 1, k + 1) >= 0 && at(d - 1, k + 1) - k <= m) down = at(d - 1, k + 1);
        if (k - 1 >= -(d - 1) && at(d - 1, k - 1) >= 0 && at(d - 1, k - 1) + 1 <= n) right = at(d - 1, k - 1) + 1;
        fromAbove = down >= right;
        return std::max(down, right);
    };

    std::int64_t edits = -1;  // the number of edits of the path that gets to the end
    for (std::int64_t d = 0; d <= mostEdits && edits < 0; ++d) {
        if (!budget.Spend(d + 1)) return false;
        reached.resize((d + 1) * (d + 1), -1);
        for (std::int64_t k = -d; k <= d; k += 2) {
            bool fromAbove = false;
            std::int64_t x = d == 0 ? 0 : step(d, k, fromAbove);
            if (x < 0) continue;
            std::int64_t y = x - k;
            const std::int64_t snakeStart = x;  // where the run of equal items begins
            while (x < n && y < m && a[x] == b[y]) ++x, ++y;
            if (!budget.Spend(x - snakeStart)) return false;
            at(d, k) = static_cast<std::int32_t>(x);
            if (x == n && y == m) {
                edits = d;
                break;
            }
        }
    }
    if (edits < 0) return false;

    std::vector<Match> found;  // from the end backwards
    std::int64_t x = n, y = m;
    for (std::int64_t d = edits; d > 0; --d) {
        const std::int64_t k = x - y;
        bool fromAbove = false;
        const std::int64_t snakeStart = step(d, k, fromAbove);
        while (x > snakeStart) {
            --x, --y;
            found.push_back({static_cast<std::size_t>(x), static_cast<std::size_t>(y)});
        }
        // Back over the edit, to where the path of d - 1 edits ended.
        const std::int64_t previousK = fromAbove ? k + 1 : k - 1;
        x = at(d - 1, previousK);
        y = x - previousK;
    }
    while (x > 0) {
        --x, --y;
        found.push_back({static_cast<std::size_t>(x), static_cast<std::size_t>(y)});
    }
    for (auto match = found.rbegin(); match != found.rend(); ++match)
        matches.push_back({match->i + offsetA, match->j + offsetB});
    return true;
}

// The pairs of equal items of a longest common subsequence of a and b, in order. When finding one
// costs too much, only the items a and b begin and end with alike are paired.
//
//     CommonItems({1, 2, 3, 4}, {1, 3, 4, 5})  // (0, 0), (2, 1), (3, 2)
//     a and b of 100,000 different items with 1 and 2 around them: (0, 0) and the two 2s
std::vector<Match> CommonItems(const std::vector<int>& a, const std::vector<int>& b, StepBudget& budget)
{
    std::vector<Match> matches;
    std::size_t prefix = 0;  // items a and b begin with alike
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) {
        matches.push_back({prefix, prefix});
        ++prefix;
    }
    std::size_t suffix = 0;  // items they end with alike, after the prefix
    while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
           a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    const std::vector<int> middleA(a.begin() + prefix, a.end() - suffix);
    const std::vector<int> middleB(b.begin() + prefix, b.end() - suffix);
    if (!middleA.empty() && !middleB.empty())
        AppendLongestCommon(middleA, middleB, prefix, prefix, budget, matches);
    for (std::size_t s = suffix; s > 0; --s) matches.push_back({a.size() - s, b.size() - s});
    return matches;
}

// Whether two lines are alike enough to be shown as one line changed: the words they share,
// white space aside and each word as often as both have it, are at least half of the words of
// the line with fewer; or neither has any word.
//
//     Similar("WHERE x = 1", "WHERE x = 2")  // true: 3 of 4 shared
//     Similar("SELECT a", "FROM b")          // false: none shared
//     Similar("", "\t")                      // true: no words
//     Similar("", "x")                       // false
bool Similar(std::string_view line1, std::string_view line2)
{
    std::unordered_map<std::string_view, std::size_t> unshared;  // line1's words not yet met in line2
    std::size_t words1 = 0;
    for (std::string_view word : SplitWords(line1))
        if (!IsSpaceWord(word)) ++unshared[word], ++words1;
    std::size_t words2 = 0, shared = 0;
    for (std::string_view word : SplitWords(line2)) {
        if (IsSpaceWord(word)) continue;
        ++words2;
        auto found = unshared.find(word);
        if (found != unshared.end() && found->second > 0) --found->second, ++shared;
    }
    if (words1 == 0 && words2 == 0) return true;
    return shared > 0 && 2 * shared >= std::min(words1, words2);
}

// The segments of words flagged changed or not: neighbours with the same flag joined, and white
// space between two changed words flagged changed too.
//
//     {"a", " ", "b", ",", " ", "c"} flagged {1, 0, 1, 0, 0, 0}  // {"a b"*, ", c"}
std::vector<DiffSegment> Segments(const std::vector<std::string_view>& words, std::vector<bool> changed)
{
    for (std::size_t w = 1; w + 1 < words.size(); ++w)
        if (!changed[w] && IsSpaceWord(words[w]) && changed[w - 1] && changed[w + 1]) changed[w] = true;
    std::vector<DiffSegment> segments;
    for (std::size_t w = 0; w < words.size(); ++w) {
        if (segments.empty() || segments.back().changed != changed[w])
            segments.push_back({std::string(words[w]), changed[w]});
        else
            segments.back().text += words[w];
    }
    return segments;
}

// The segments of the two lines of a Changed pair: the words each has that the other has not in
// the same order are changed.
//
//     ChangedSegments("SELECT a FROM t", "SELECT b FROM t")  // {"SELECT ", "a"*, " FROM t"} and
//                                                            // {"SELECT ", "b"*, " FROM t"}
std::pair<std::vector<DiffSegment>, std::vector<DiffSegment>> ChangedSegments(std::string_view line1,
                                                                              std::string_view line2,
                                                                              StepBudget& budget)
{
    const std::vector<std::string_view> words1 = SplitWords(line1), words2 = SplitWords(line2);
    const auto [numbers1, numbers2] = NumberTexts(words1, words2);
    std::vector<bool> changed1(words1.size(), true), changed2(words2.size(), true);
    for (const Match& match : CommonItems(numbers1, numbers2, budget))
        changed1[match.i] = false, changed2[match.j] = false;
    return {Segments(words1, std::move(changed1)), Segments(words2, std::move(changed2))};
}

// A line as one segment with the given flag, or none for an empty line.
DiffLine WholeLine(DiffLine::Mark mark, std::string_view text, bool changed, std::ptrdiff_t otherIndex)
{
    DiffLine line{mark, {}, otherIndex};
    if (!text.empty()) line.segments.push_back({std::string(text), changed});
    return line;
}

}  // namespace

TextDiff DiffTexts(std::string_view text1, std::string_view text2)
{
    const SplitText split1 = SplitLines(text1), split2 = SplitLines(text2);
    const std::vector<std::string_view>& lines1 = split1.lines;
    const std::vector<std::string_view>& lines2 = split2.lines;
    StepBudget budget{kMostSteps};
    const auto [numbers1, numbers2] = NumberTexts(lines1, lines2);
    const std::vector<Match> matches = CommonItems(numbers1, numbers2, budget);

    TextDiff diff;
    diff.endsWithLineEnd1 = split1.endsWithLineEnd;
    diff.endsWithLineEnd2 = split2.endsWithLineEnd;
    diff.lines1.reserve(lines1.size());
    diff.lines2.reserve(lines2.size());

    // Lines [diff.lines1.size(), end1) of text1 and [diff.lines2.size(), end2) of text2, none of
    // them matched: paired first with first, Changed when similar, and the rest Only.
    auto addUnmatched = [&](std::size_t end1, std::size_t end2) {
        while (diff.lines1.size() < end1 && diff.lines2.size() < end2) {
            const std::size_t i = diff.lines1.size(), j = diff.lines2.size();
            const auto other1 = static_cast<std::ptrdiff_t>(j), other2 = static_cast<std::ptrdiff_t>(i);
            if (lines1[i] == lines2[j]) {  // can be, where the search for common lines gave up
                diff.lines1.push_back(WholeLine(DiffLine::Mark::Same, lines1[i], false, other1));
                diff.lines2.push_back(WholeLine(DiffLine::Mark::Same, lines2[j], false, other2));
            } else if (Similar(lines1[i], lines2[j])) {
                auto [segments1, segments2] = ChangedSegments(lines1[i], lines2[j], budget);
                diff.lines1.push_back({DiffLine::Mark::Changed, std::move(segments1), other1});
                diff.lines2.push_back({DiffLine::Mark::Changed, std::move(segments2), other2});
            } else {
                diff.lines1.push_back(WholeLine(DiffLine::Mark::Only, lines1[i], true, -1));
                diff.lines2.push_back(WholeLine(DiffLine::Mark::Only, lines2[j], true, -1));
            }
        }
        while (diff.lines1.size() < end1)
            diff.lines1.push_back(WholeLine(DiffLine::Mark::Only, lines1[diff.lines1.size()], true, -1));
        while (diff.lines2.size() < end2)
            diff.lines2.push_back(WholeLine(DiffLine::Mark::Only, lines2[diff.lines2.size()], true, -1));
    };

    for (const Match& match : matches) {
        addUnmatched(match.i, match.j);
        diff.lines1.push_back(WholeLine(DiffLine::Mark::Same, lines1[match.i], false, static_cast<std::ptrdiff_t>(match.j)));
        diff.lines2.push_back(WholeLine(DiffLine::Mark::Same, lines2[match.j], false, static_cast<std::ptrdiff_t>(match.i)));
    }
    addUnmatched(lines1.size(), lines2.size());
    return diff;
}

}  // namespace dualyn
