#include "log_check.h"

#include <algorithm>
#include <map>
#include <set>

namespace difftest {

namespace {

// The character of Windows-1252 for a code point, or 0 when it has none.
unsigned char windows1252(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
    static const std::map<char32_t, unsigned char> upper = {
        {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85}, {0x2020, 0x86}, {0x2021, 0x87},
        {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A}, {0x2039, 0x8B}, {0x0152, 0x8C}, {0x017D, 0x8E}, {0x2018, 0x91},
        {0x2019, 0x92}, {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95}, {0x2013, 0x96}, {0x2014, 0x97}, {0x02DC, 0x98},
        {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B}, {0x0153, 0x9C}, {0x017E, 0x9E}, {0x0178, 0x9F}};
    auto it = upper.find(cp);
    return it == upper.end() ? 0 : it->second;
}

// A name as the log writes it: Windows-1252, "?" for each character it lacks.
std::string inLog(const std::string& utf8)
{
    std::string out;
    for (char32_t cp : codePoints(utf8)) {
        unsigned char c = windows1252(cp);
        out += c ? static_cast<char>(c) : '?';
    }
    return out;
}

// A text of the log (Windows-1252) in UTF-8, for messages.
std::string fromLog(const std::string& text)
{
    std::map<unsigned char, char32_t> upper;
    for (char32_t cp = 0x100; cp < 0x2200; ++cp)
        if (unsigned char c = windows1252(cp)) upper[c] = cp;
    std::string out;
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        char32_t cp = c >= 0x80 && c < 0xA0 && upper.count(c) ? upper[c] : c;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// True for a UTF-8 text with a character beyond the BMP.
bool hasBeyondBmp(const std::string& utf8)
{
    return std::any_of(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xF8) == 0xF0; });
}

// An object a line of difference names: "field|Orders|Price", "relation||Orders.ID to Items".
std::string key(const std::string& kind, const std::string& table, const std::string& name)
{
    return kind + "|" + inLog(table) + "|" + inLog(name);
}

// Whether the comparison reports two values as different: a Null on either side never is; texts
// must be equal; numbers and Booleans (True as -1) compare as numbers.
bool valuesDiffer(const Value& a, const Value& b)
{
    if (a.kind == Value::Null || b.kind == Value::Null || a.kind == Value::Any || b.kind == Value::Any) return false;
    if (a.kind == Value::Text || b.kind == Value::Text) return !(a.kind == b.kind && a.text == b.text);
    auto number = [](const Value& v) { return v.kind == Value::Boolean ? (v.boolean ? -1.0 : 0.0) : v.number; };
    return number(a) != number(b);
}

// Whether the comparison reports the values at a position of two property lists as different.
bool differAt(const ValueList& a, const ValueList& b, std::size_t position)
{
    return position < a.size() && position < b.size() && valuesDiffer(a[position].value, b[position].value);
}

// A system table's name, which the comparison passes over: "msys" in any ASCII letter case first.
bool isSystemTable(const std::string& name)
{
    if (name.size() < 4) return false;
    std::string prefix = name.substr(0, 4);
    for (char& c : prefix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return prefix == "msys";
}

// The first item of exactly that name, or nullptr.
template <typename T>
const T* named(const std::vector<T>& items, const std::string& name)
{
    auto it = std::find_if(items.begin(), items.end(), [&](const T& t) { return t.name == name; });
    return it == items.end() ? nullptr : &*it;
}

// A relation as the comparison describes it: "Orders.CustomerID to Items".
std::string describeRelation(const RelationModel& r)
{
    return r.table + "." + (r.fields.empty() ? std::string() : r.fields[0].first) + " to " + r.foreignTable;
}

// The objects that differ between a and b in what the comparison looks at.
std::set<std::string> differences(const DesignModel& a, const DesignModel& b)
{
    std::set<std::string> out;
    for (const auto* sides : {&a, &b}) {
        const DesignModel& one = *sides;
        const DesignModel& other = sides == &a ? b : a;
        for (const auto& t : one.tables) {
            if (isSystemTable(t.name)) continue;
            const TableModel* u = named(other.tables, t.name);
            if (!u) {
                out.insert(key("table", "", t.name));
                continue;
            }
            for (std::size_t i = 0; i < t.fields.size(); ++i) {
                const FieldModel& f = t.fields[i];
                const FieldModel* g = named(u->fields, f.name);
                bool differs = !g || g != &u->fields[i];
                for (std::size_t position : {3, 6, 12, 13, 14, 15, 16})
                    differs = differs || differAt(f.properties, g->properties, position);
                if (differs) out.insert(key("field", t.name, f.name));
            }
            for (const auto& ix : t.indexes) {
                const IndexModel* jx = named(u->indexes, ix.name);
                bool differs = !jx || (ix.name == "PrimaryKey" && ix.fields != jx->fields);
                for (std::size_t position = 1; !differs && position + 2 <= ix.properties.size(); ++position)
                    differs = differAt(ix.properties, jx->properties, position);
                if (differs) out.insert(key("index", t.name, ix.name));
            }
        }
        for (const auto& r : one.relations) {
            const std::string description = describeRelation(r);
            auto match = std::find_if(other.relations.begin(), other.relations.end(),
                                      [&](const RelationModel& s) { return describeRelation(s) == description; });
            if (match == other.relations.end() || differAt(r.properties, match->properties, 3))
                out.insert(key("relation", "", description));
        }
        for (const auto& q : one.queries) {
            const QueryModel* p = named(other.queries, q.name);
            bool differs = !p;
            for (std::size_t position = 3; !differs && position <= 10; ++position)
                differs = differAt(q.properties, p->properties, position);
            if (differs) out.insert(key("query", "", q.name));
        }
    }
    return out;
}

// What one log says: the objects its lines of difference name (each with its first line), the
// OK lines, and the lines of no known form.
struct ReadLog {
    std::map<std::string, std::string> named;
    std::set<std::string> fieldsOk, indexesOk;  // tables, as the log writes them
    bool relationsOk = false, queriesOk = false;
    std::vector<std::string> unknown;
};

// Whether s starts (ends) with p.
bool startsWith(const std::string& s, const std::string& p)
{
    return s.compare(0, p.size(), p) == 0;
}
bool endsWith(const std::string& s, const std::string& p)
{
    return s.size() >= p.size() && s.compare(s.size() - p.size(), p.size(), p) == 0;
}

// The part of line between prefix and one of the suffixes, when line has that form.
bool between(const std::string& line, const std::string& prefix, const std::vector<std::string>& suffixes,
             std::string& middle)
{
    if (!startsWith(line, prefix)) return false;
    for (const auto& suffix : suffixes)
        if (line.size() >= prefix.size() + suffix.size() && endsWith(line, suffix)) {
            middle = line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
            return true;
        }
    return false;
}

// Reads a log of database files file1 and file2 (as it names them) line by line: the section,
// the table block and its part decide what each line may say.
ReadLog readLog(const std::string& log, const std::string& file1, const std::string& file2)
{
    ReadLog out;
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < log.size();) {
        std::size_t end = log.find("\r\n", start);
        if (end == std::string::npos) end = log.size();
        lines.push_back(log.substr(start, end - start));
        start = end + 2;
    }
    const std::string db1 = inLog(file1), db2 = inLog(file2);
    const std::vector<std::string> notFound = {" was not found in " + db1, " was not found in " + db2};
    const std::vector<std::string> fieldProperties = {" have different types",
                                                      " have different sizes",
                                                      " have different default values",
                                                      " have different validation rules",
                                                      " have different validation texts",
                                                      " have different Required settings",
                                                      " have different AllowZeroLength settings"};
    const std::vector<std::string> querySettings = {" has a different Type setting",
                                                    " has a different SQL setting",
                                                    " has a different Updatable setting",
                                                    " has a different Connect setting",
                                                    " has a different ReturnsRecords setting",
                                                    " has a different ODBCTimeout setting",
                                                    " has a different RecordsAffected setting",
                                                    " has a different MaxRecords setting"};
    const std::vector<std::string> indexedIn = {" is indexed in " + db1 + " but not in " + db2,
                                                " is indexed in " + db2 + " but not in " + db1};
    std::string section, table, block, name;
    auto note = [&](const std::string& k, const std::string& line) { out.named.emplace(k, line); };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty() || (i == 0 && startsWith(line, "Comparison Log for "))) continue;
        if (line == "TABLE COMPARISONS" || line == "RELATION COMPARISONS" || line == "QUERIES COMPARISONS") {
            section = line;
        } else if (section == "TABLE COMPARISONS") {
            if (startsWith(line, "   COMPARISON LOG FOR ")) {
                table = line.substr(22);
                block.clear();
            } else if (line == "      FIELDS COMPARISON" || line == "      PRIMARY KEY AND INDEX COMPARISON") {
                block = line;
            } else if (line.size() > 3 && line[3] != ' ' && between(line, "   ", notFound, name)) {
                note("table||" + name, line);
            } else if (block == "      FIELDS COMPARISON" && line == "         " + table + " OK") {
                out.fieldsOk.insert(table);
            } else if (block == "      FIELDS COMPARISON" &&
                       (between(line, "         The fields ", fieldProperties, name) ||
                        between(line, "         Field ", notFound, name) ||
                        between(line, "         Field ", {" is not in the same order in the tables."}, name))) {
                note("field|" + table + "|" + name, line);
            } else if (block == "      PRIMARY KEY AND INDEX COMPARISON" &&
                       line == "         Primary keys and indexes OK") {
                out.indexesOk.insert(table);
            } else if (block == "      PRIMARY KEY AND INDEX COMPARISON" &&
                       (line == "         The tables have different primary keys" ||
                        line == "            The tables have different primary keys")) {
                note("index|" + table + "|PrimaryKey", line);
            } else if (block == "      PRIMARY KEY AND INDEX COMPARISON" &&
                       (between(line, "            ",
                                {" is indexed differently in " + db1, " is indexed differently in " + db2}, name) ||
                        between(line, "            ", indexedIn, name) || between(line, "      ", indexedIn, name))) {
                note("index|" + table + "|" + name, line);
            } else {
                out.unknown.push_back(line);
            }
        } else if (section == "RELATION COMPARISONS") {
            if (line == "   Relations OK")
                out.relationsOk = true;
            else if (between(line, "   ", notFound, name) || between(line, "   ", {" is different"}, name))
                note("relation||" + name, line);
            else
                out.unknown.push_back(line);
        } else if (section == "QUERIES COMPARISONS") {
            if (line == "   Queries OK")
                out.queriesOk = true;
            else if (between(line, "   ", notFound, name) || between(line, "   ", querySettings, name))
                note("query||" + name, line);
            else
                out.unknown.push_back(line);
        } else {
            out.unknown.push_back(line);
        }
    }
    return out;
}

// An object's key for messages: table "Orders" field "Price".
std::string describeKey(const std::string& k)
{
    const std::size_t first = k.find('|'), second = k.find('|', first + 1);
    const std::string kind = k.substr(0, first), table = k.substr(first + 1, second - first - 1),
                      name = k.substr(second + 1);
    return table.empty() ? kind + " \"" + fromLog(name) + "\""
                         : "table \"" + fromLog(table) + "\" " + kind + " \"" + fromLog(name) + "\"";
}

// A mismatch for each line of the log of no known form.
void unknownLines(const ReadLog& log, const std::string& which, std::vector<Mismatch>& out)
{
    for (const auto& line : log.unknown)
        out.push_back({"log: a line of no known form", which, "line", "", "\"" + fromLog(line) + "\""});
}

}  // namespace

std::vector<Mismatch> checkSameFileLog(const std::string& log, const DesignModel& design, const std::string& file)
{
    std::vector<Mismatch> out;
    const ReadLog read = readLog(log, file, file);
    // Relations that share a description are all compared with the first of them, so a file
    // can differ from itself there, and only there.
    const std::set<std::string> expected = differences(design, design);
    for (const auto& [k, line] : read.named)
        if (!expected.count(k))
            out.push_back({"log: the same file differs from itself", describeKey(k), "line", "OK lines only",
                           "\"" + fromLog(line) + "\""});
    for (const auto& k : expected)
        if (!read.named.count(k))
            out.push_back({"log: a difference not reported", describeKey(k), "a line naming it", "a line", "none"});
    for (const auto& t : design.tables) {
        if (isSystemTable(t.name)) continue;
        if (!read.fieldsOk.count(inLog(t.name)))
            out.push_back({"log: the same file lacks an OK line", "table \"" + t.name + "\"", "fields",
                           "\"" + t.name + " OK\"", "none"});
        if (!read.indexesOk.count(inLog(t.name)))
            out.push_back({"log: the same file lacks an OK line", "table \"" + t.name + "\"", "indexes",
                           "\"Primary keys and indexes OK\"", "none"});
    }
    if (!read.relationsOk && expected.empty())
        out.push_back({"log: the same file lacks an OK line", "relations", "section", "\"Relations OK\"", "none"});
    if (!read.queriesOk)
        out.push_back({"log: the same file lacks an OK line", "queries", "section", "\"Queries OK\"", "none"});
    unknownLines(read, "log of the same file", out);
    return out;
}

std::vector<Mismatch> checkPairLogs(const std::string& logAB, const std::string& logBA, const DesignModel& a,
                                    const DesignModel& b, const std::string& nameA, const std::string& nameB,
                                    Counts& counts)
{
    std::vector<Mismatch> out;
    const std::set<std::string> expected = differences(a, b);
    counts["log differences"] += static_cast<long>(expected.size());
    // The fields with a name beyond the BMP, as the log writes them, and the tables that have
    // any: the likely cause of a mismatch about them (a log line naming a field whose name was
    // misread cannot be traced back to its field, only to its table).
    std::set<std::string> oddFields, oddTables;
    for (const auto* design : {&a, &b})
        for (const auto& t : design->tables)
            for (const auto& f : t.fields)
                if (hasBeyondBmp(f.name)) {
                    oddFields.insert(key("field", t.name, f.name));
                    oddTables.insert(inLog(t.name));
                }
    auto category = [&](std::string what, const std::string& k, bool fromLog) {
        const std::size_t first = k.find('|'), second = k.find('|', first + 1);
        if (oddFields.count(k) || (fromLog && oddTables.count(k.substr(first + 1, second - first - 1))))
            what += " (field names beyond the BMP)";
        return what;
    };
    const ReadLog ab = readLog(logAB, nameA, nameB), ba = readLog(logBA, nameB, nameA);
    for (const auto& k : expected)
        if (!ab.named.count(k) && !ba.named.count(k))
            out.push_back({category("log: a difference not reported", k, false), describeKey(k),
                           "a line naming it in either log", "a line", "none"});
    for (const auto* read : {&ab, &ba})
        for (const auto& [k, line] : read->named)
            if (!expected.count(k))
                out.push_back({category("log: a line for no difference", k, true), describeKey(k),
                               read == &ab ? nameA + " first" : nameB + " first", "no line",
                               "\"" + fromLog(line) + "\""});
    unknownLines(ab, "log of " + nameA + " first", out);
    unknownLines(ba, "log of " + nameB + " first", out);
    return out;
}

}  // namespace difftest
