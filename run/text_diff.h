// A side-by-side diff of two texts, line by line and, within a line that changed, word by word:
// what the log viewer and the HTML report show for two values of a difference, such as the SQL of
// a query in database 1 and in database 2.
//
//     TextDiff diff = DiffTexts("SELECT a\nFROM t\n", "SELECT b\nFROM t\n");
//     // diff.lines1: Changed {"SELECT ", "a"*}, Same {"FROM t"}     (* a changed segment)
//     // diff.lines2: Changed {"SELECT ", "b"*}, Same {"FROM t"}
//
// Lines end at "\r\n", "\n" or "\r", all alike. An empty text has no lines; a line end at the very
// end of a text ends its last line and starts none ("a\n" is one line, "a\n\n" two, "\n" one
// empty line). So joining the texts of a side's lines with "\n", and adding one "\n" when
// endsWithLineEnd says so, gives the text back with every line end written "\n".
//
// Lines are matched by a longest common subsequence. Between two matched lines (or the start or
// end), the unmatched lines of side 1 and of side 2 are paired in order, first with first: a pair
// is Changed when the two lines are similar — they share words (as counted by the word rule
// below, white space aside) making up at least half of the words of the line with fewer, or
// neither has any word — and both lines of a pair not similar, like the lines left over, are Only.
//
// Within a Changed pair, the words of the two lines are matched by a longest common subsequence.
// A word is a run of letters, digits and underscores (every byte from 0x80 up counts as a letter,
// so a UTF-8 character is never cut), a run of white space, or any other single character. Words
// left unmatched are changed; white space between two changed words is shown changed as well, so
// that "a b" against "c d" reads as one changed run rather than three.
//
// The work is bounded, whatever the texts: beyond some millions of steps the lines (or the words of
// a pair) that the texts begin and end with alike are kept, and everything between them is taken
// as changed, lines paired as above, words changed whole.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dualyn {

// A run of a line's text, marked when it is part of what changed.
struct DiffSegment {
    std::string text;       // UTF-8
    bool changed = false;
};

// One line of one side. Same: the other side has this line unchanged. Changed: the other side has
// a changed version of it (its changed words are the changed segments). Only: this side alone has it.
struct DiffLine {
    enum class Mark { Same, Changed, Only };
    Mark mark = Mark::Same;
    std::vector<DiffSegment> segments;   // concatenated: the line's text, without its line end
    // For a Same or Changed line, its counterpart's index in the other side's lines; -1 for Only.
    // Counterparts come in the same order on both sides, so the two sides can be laid out in rows.
    std::ptrdiff_t otherIndex = -1;
};
// Segments are never empty and two neighbours never have the same flag: an empty line has none, a
// Same line is one unchanged segment, an Only line one changed segment.

struct TextDiff {
    std::vector<DiffLine> lines1, lines2;   // text1's lines and text2's lines, each in order, all of them
    bool endsWithLineEnd1 = false;          // text1's last line has a line end after it
    bool endsWithLineEnd2 = false;          // likewise for text2
};

// The diff of text1 against text2, as the comment at the top of this file tells. Takes time and
// memory about linear in the texts' sizes at worst (some tens of MiB at most besides).
//
//     DiffTexts("x\r\ny", "x\ny\n")  // lines1 = lines2 = Same "x", Same "y";
//                                    // endsWithLineEnd1 false, endsWithLineEnd2 true
TextDiff DiffTexts(std::string_view text1, std::string_view text2);

}  // namespace dualyn
