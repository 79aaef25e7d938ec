// The SQL text of a query, rebuilt from its design rows (MSysQueries). Each query type is written in
// the form Access shows it; any stored value that form has no place for (unknown attributes, a join
// naming a table that is not a source, an unknown flag) is listed in a note line after the
// statement, so that two different designs never give the same text.
#include "query_text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace engine {
namespace {

// Row kinds, by the Attribute column.
enum Attribute : int {
    kStartRow = 0,
    kTypeRow = 1,
    kParameterRow = 2,
    kOptionsRow = 3,
    kSourceRow = 5,
    kColumnRow = 6,
    kJoinRow = 7,
    kWhereRow = 8,
    kGroupByRow = 9,
    kHavingRow = 10,
    kOrderByRow = 11,
    kEndRow = 255,
};

// Query types, by the Flag of the type row.
enum QueryType : int {
    kSelect = 1,
    kMakeTable = 2,
    kAppend = 3,
    kUpdate = 4,
    kDelete = 5,
    kCrosstab = 6,
    kDataDefinition = 7,
    kPassThrough = 8,
    kUnion = 9,
};

// Bits of the options row's Flag.
constexpr int kAllFieldsOption = 1;
constexpr int kDistinctOption = 2;  // on a union: UNION rather than UNION ALL
constexpr int kOwnerAccessOption = 4;
constexpr int kDistinctRowOption = 8;
constexpr int kTopOption = 16;
constexpr int kPercentOption = 32;
constexpr int kAllOptions = 63;

// Join types, by the Flag of a join row.
constexpr int kInnerJoin = 1;
constexpr int kLeftJoin = 2;
constexpr int kRightJoin = 3;

// Crosstab roles of column and GROUP BY rows, by their Flag.
constexpr int kCrosstabValue = 0;
constexpr int kCrosstabPivot = 1;
constexpr int kCrosstabRowHeading = 2;

// Jet allows 32 tables in a query; join rows beyond this many are not nested but listed as notes,
// which bounds the work and the depth of the join tree on a damaged file.
constexpr std::size_t kMaxNestedJoins = 1024;

constexpr std::string_view kLineBreak = "\r\n";

// One design row, absent texts read as empty (files of different versions may store either), with
// a mark for each value that the text shows; whatever stays unmarked is listed in a note line.
struct DesignRow {
    explicit DesignRow(const QueryRow& row)
        : attribute(row.attribute),
          flag(row.flag),
          name1(row.name1.value_or("")),
          name2(row.name2.value_or("")),
          expression(row.expression.value_or("")),
          order(row.order) {}

    // The values, marked as shown: call them only where the value goes into the text.
    std::optional<int> showFlag() { flagShown = true; return flag; }
    const std::string& showName1() { name1Shown = true; return name1; }
    const std::string& showName2() { name2Shown = true; return name2; }
    const std::string& showExpression() { expressionShown = true; return expression; }

    // The sort key: attribute, then order; the values settle ties, so that shuffled input gives
    // the same text even when two rows share an order.
    auto key() const { return std::tie(attribute, order, flag, name1, name2, expression); }

    int attribute;
    std::optional<int> flag;
    std::string name1;
    std::string name2;
    std::string expression;
    std::uint32_t order;
    bool flagShown = false;
    bool name1Shown = false;
    bool name2Shown = false;
    bool expressionShown = false;
};

// True for the ASCII letters and digits and "_"; other bytes below 0x80 are punctuation, spaces
// and control characters. No locale is involved.
bool isAsciiWordCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Whether a name must be bracketed to be read back: empty, a leading digit, or any character but
// letters, digits and "_". Bytes of multi-byte UTF-8 characters count as letters ("Größe" is plain).
bool needsBrackets(std::string_view name) {
    if (name.empty() || (name.front() >= '0' && name.front() <= '9')) return true;
    return std::any_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80 && !isAsciiWordCharacter(c);
    });
}

// A table, alias or parameter name as SQL writes it: "Orders" stays, "Order Details" becomes
// "[Order Details]", "" becomes "[]".
std::string sqlName(std::string_view name) {
    if (!needsBrackets(name)) return std::string(name);
    return "[" + std::string(name) + "]";
}

// Whether two names are the same to Jet, which ignores the case of ASCII letters.
bool sameName(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// The items joined with a separator: joined({"a", "b"}, ", ") is "a, b".
std::string joined(const std::vector<std::string>& items, std::string_view separator) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += separator;
        text += items[i];
    }
    return text;
}

// The non-empty pieces joined with spaces: spaced({"SELECT", "", "a"}) is "SELECT a".
std::string spaced(const std::vector<std::string>& pieces) {
    std::string text;
    for (const std::string& piece : pieces) {
        if (piece.empty()) continue;
        if (!text.empty()) text += " ";
        text += piece;
    }
    return text;
}

// A keyword and its body, the space between them only when there is a body: clause("FROM", "")
// is "FROM", clause("FROM", "T") is "FROM T".
std::string clause(std::string_view keyword, const std::string& body) {
    return spaced({std::string(keyword), body});
}

// The SQL type word of a parameter's type code, or the code itself when it is not known.
std::string parameterTypeWord(int code) {
    switch (code) {
        case 1: return "Bit";
        case 2: return "Byte";
        case 3: return "Short";
        case 4: return "Long";
        case 5: return "Currency";
        case 6: return "IEEESingle";
        case 7: return "IEEEDouble";
        case 8: return "DateTime";
        case 9: return "Binary";
        case 10: return "Text";
        case 11: return "LongBinary";
        case 12: return "Memo";
        case 15: return "Guid";
        case 16: return "Decimal";
        default: return std::to_string(code);
    }
}

// The keyword of a join row's type; plain "JOIN" for a type that is not known (the row's note
// then shows its flag).
std::string_view joinKeyword(std::optional<int> joinType) {
    if (joinType == kInnerJoin) return "INNER JOIN";
    if (joinType == kLeftJoin) return "LEFT JOIN";
    if (joinType == kRightJoin) return "RIGHT JOIN";
    return "JOIN";
}

// The option bits a query type has a place for; the options row of a query whose flag holds any
// other bit is listed in a note.
int optionBitsShownFor(int queryType) {
    switch (queryType) {
        case kUpdate: return kAllOptions & ~kAllFieldsOption;
        case kUnion: return kAllFieldsOption | kDistinctOption | kOwnerAccessOption;
        case kDataDefinition:
        case kPassThrough: return 0;
        default: return kAllOptions;
    }
}

// Text in double quotes, its own quotes doubled, for a note: a"b gives "a""b".
std::string quoted(std::string_view text) {
    std::string result = "\"";
    for (char c : text) {
        result += c;
        if (c == '"') result += '"';
    }
    return result + "\"";
}

// Whether a row's attribute is one the text is built from.
bool isKnownAttribute(int attribute) {
    switch (attribute) {
        case kStartRow: case kTypeRow: case kParameterRow: case kOptionsRow: case kSourceRow:
        case kColumnRow: case kJoinRow: case kWhereRow: case kGroupByRow: case kHavingRow:
        case kOrderByRow: case kEndRow:
            return true;
        default:
            return false;
    }
}

// Whether the text leaves some value of the row out: a row of an unknown attribute, or a known
// one with a text or a non-zero flag that no clause showed.
bool needsNote(const DesignRow& row) {
    return !isKnownAttribute(row.attribute) || (row.flag.value_or(0) != 0 && !row.flagShown) ||
           (!row.name1.empty() && !row.name1Shown) || (!row.name2.empty() && !row.name2Shown) ||
           (!row.expression.empty() && !row.expressionShown);
}

// The note line of a row that the text leaves something of out, with all its stored values:
// -- Attribute 7: Flag 1, Name1 "Orders", Name2 "Ghost", Expression "Orders.id = Ghost.id"
std::string noteLine(const DesignRow& row) {
    std::vector<std::string> values;  // the row's stored values, "Flag 1", "Name1 "Orders"", ...
    if (row.flag) values.push_back("Flag " + std::to_string(*row.flag));
    if (!row.name1.empty()) values.push_back("Name1 " + quoted(row.name1));
    if (!row.name2.empty()) values.push_back("Name2 " + quoted(row.name2));
    if (!row.expression.empty()) values.push_back("Expression " + quoted(row.expression));
    std::string line = "-- Attribute " + std::to_string(row.attribute);
    if (!values.empty()) line += ": " + joined(values, ", ");
    return line;
}

// An entry of the FROM clause: a table (a source row, or a name only a join row gives), or two
// entries joined.
struct FromItem {
    bool isJoin() const { return left != nullptr; }

    std::string joinName;   // table: the name join rows use for it, its alias or else its name
    std::string text;       // table: as FROM writes it, "Table2 AS Table2_1"
    bool isSource = false;  // table: false for a name that only a join row gives
    std::optional<int> joinType;          // join: the Flag of its join rows
    std::vector<std::string> conditions;  // join: the ON condition of each of its join rows
    std::unique_ptr<FromItem> left;       // join: the table or join of the rows' Name1
    std::unique_ptr<FromItem> right;      // join: the table or join of the rows' Name2
};

// One step from a join down to one of its sides.
struct JoinStep {
    FromItem* join;
    bool toLeft;
};

// The first table under `item` that join rows call `name`, and the joins from `item` down to it in
// `path`; null, with `path` as it was, when there is none.
const FromItem* findTable(FromItem& item, std::string_view name, std::vector<JoinStep>& path) {
    if (!item.isJoin()) return sameName(item.joinName, name) ? &item : nullptr;
    for (bool toLeft : {true, false}) {
        path.push_back({&item, toLeft});
        if (const FromItem* table = findTable(toLeft ? *item.left : *item.right, name, path)) {
            return table;
        }
        path.pop_back();
    }
    return nullptr;
}

// Appends the entry as FROM writes it, a joined side in parentheses:
// "(Table1 LEFT JOIN Table3 ON Table1.a = Table3.a) INNER JOIN Table2 ON (c1) AND (c2)".
// Appending keeps the work linear however deep the joins nest.
void appendFromItem(const FromItem& item, std::string& text) {
    if (!item.isJoin()) {
        text += item.text;
        return;
    }
    auto appendSide = [&text](const FromItem& side) {
        if (side.isJoin()) text += "(";
        appendFromItem(side, text);
        if (side.isJoin()) text += ")";
    };
    appendSide(*item.left);
    text += " ";
    text += joinKeyword(item.joinType);
    text += " ";
    appendSide(*item.right);
    text += " ON ";
    text += item.conditions.size() == 1 ? item.conditions.front()
                                        : "(" + joined(item.conditions, ") AND (") + ")";
}

// Builds the text of one query from its rows, marking each value it shows.
class QueryTextBuilder {
public:
    // Takes the rows by attribute, then by order.
    explicit QueryTextBuilder(const std::vector<QueryRow>& rows) {
        rows_.reserve(rows.size());
        for (const QueryRow& row : rows) rows_.emplace_back(row);
        std::sort(rows_.begin(), rows_.end(),
                  [](const DesignRow& a, const DesignRow& b) { return a.key() < b.key(); });
    }

    // The whole text: the statement's lines, then a note line for each row the statement leaves
    // something of out.
    std::string text() {
        std::vector<DesignRow*> typeRows = rowsOf(kTypeRow);
        DesignRow* typeRow = typeRows.empty() ? nullptr : typeRows.front();
        const int queryType = readQueryType(typeRow);
        readOptions(queryType);

        std::vector<std::string> lines;  // the statement, one clause a line
        std::string parameters = parametersLine();
        if (!parameters.empty()) lines.push_back(parameters);
        bool endsWithSemicolon = true;  // false where the stored text is the statement
        if (queryType == kDataDefinition) {
            lines.push_back(typeRow->showExpression());
            endsWithSemicolon = false;
        } else if (queryType == kPassThrough) {
            typeRow->showName1();  // the connect string: the query's Connect property serves it
            lines.push_back(typeRow->showExpression());
            endsWithSemicolon = false;
        } else if (queryType == kUnion) {
            addUnionLines(lines);
        } else {
            addSelectLines(queryType, typeRow, lines);
        }
        if (endsWithSemicolon) lines.back() += ";";

        if (typeRow == nullptr) lines.push_back("-- no query type row");
        for (const DesignRow& row : rows_) {
            if (needsNote(row)) lines.push_back(noteLine(row));
        }
        return joined(lines, kLineBreak);
    }

private:
    // The rows of one attribute, in order.
    std::vector<DesignRow*> rowsOf(int attribute) {
        std::vector<DesignRow*> found;
        for (DesignRow& row : rows_) {
            if (row.attribute == attribute) found.push_back(&row);
        }
        return found;
    }

    // The query type the type row names; a select query, which is how the rows then read best,
    // when there is no type row or it names no known type (its note then shows the flag).
    static int readQueryType(DesignRow* typeRow) {
        if (typeRow == nullptr) return kSelect;
        const int type = typeRow->flag.value_or(0);
        if (type < kSelect || type > kUnion) return kSelect;
        typeRow->showFlag();
        return type;
    }

    // Reads the first options row into optionBits_ and topValue_, marking the flag as shown when
    // the query type has a place for all its bits.
    void readOptions(int queryType) {
        std::vector<DesignRow*> optionRows = rowsOf(kOptionsRow);
        if (optionRows.empty()) return;
        DesignRow& options = *optionRows.front();
        optionBits_ = options.flag.value_or(0);
        if ((optionBits_ & ~optionBitsShownFor(queryType)) == 0) options.showFlag();
        if ((optionBits_ & kTopOption) != 0 && queryType != kUnion) topValue_ = options.showName1();
    }

    bool hasOption(int bit) const { return (optionBits_ & bit) != 0; }

    // "PARAMETERS [Start Date] DateTime, Amount Long;", or "" without parameter rows. A parameter
    // without a type code is written as its name alone.
    std::string parametersLine() {
        std::vector<std::string> parameters;
        for (DesignRow* row : rowsOf(kParameterRow)) {
            std::string parameter = sqlName(row->showName1());
            if (std::optional<int> typeCode = row->showFlag()) {
                parameter += " " + parameterTypeWord(*typeCode);
            }
            parameters.push_back(parameter);
        }
        if (parameters.empty()) return "";
        return "PARAMETERS " + joined(parameters, ", ") + ";";
    }

    // The words after SELECT (or UPDATE, DELETE) that the options give: "DISTINCTROW TOP 10
    // PERCENT"; "" without options.
    std::string optionWords() const {
        std::vector<std::string> words;
        if (hasOption(kDistinctOption)) words.push_back("DISTINCT");
        if (hasOption(kDistinctRowOption)) words.push_back("DISTINCTROW");
        if (hasOption(kTopOption)) words.push_back(clause("TOP", topValue_));
        if (hasOption(kPercentOption)) words.push_back("PERCENT");
        return joined(words, " ");
    }

    // An output column as a select list writes it: "Max(Table2.col1) AS MaxOfcol1".
    static std::string columnText(DesignRow& column) {
        std::string text = column.showExpression();
        if (!column.name1.empty()) text += " AS " + sqlName(column.showName1());
        return text;
    }

    // The select list: "*" when the options ask for all fields, then the columns, and the option
    // words before them: "DISTINCT *, Table2.col1".
    std::string selectList(const std::vector<DesignRow*>& columns) const {
        std::vector<std::string> items;  // "*" and the columns' texts
        if (hasOption(kAllFieldsOption)) items.push_back("*");
        for (DesignRow* column : columns) items.push_back(columnText(*column));
        return spaced({optionWords(), joined(items, ", ")});
    }

    // The FROM clause's body: the source tables, joined as the join rows say, and the tables no
    // join takes after each other with ", ". Each join row joins the entries holding its two
    // tables into a new last entry, or adds its condition to the join that already links them.
    std::string fromText() {
        std::vector<std::unique_ptr<FromItem>> items;  // the FROM entries, in order
        for (DesignRow* source : rowsOf(kSourceRow)) {
            auto table = std::make_unique<FromItem>();
            table->isSource = true;
            table->text = sqlName(source->showName1());
            if (!source->name2.empty()) {
                table->text += " AS " + sqlName(source->showName2());
                table->joinName = source->name2;
            } else {
                table->joinName = source->name1;
            }
            items.push_back(std::move(table));
        }
        std::vector<DesignRow*> joinRows = rowsOf(kJoinRow);
        if (joinRows.size() > kMaxNestedJoins) joinRows.resize(kMaxNestedJoins);
        for (DesignRow* joinRow : joinRows) placeJoin(*joinRow, items);

        std::string text;
        for (const auto& item : items) {
            if (!text.empty()) text += ", ";
            appendFromItem(*item, text);
        }
        return text;
    }

    // Puts one join row into the FROM entries (see fromText). A row is left unmarked, and so gets
    // a note, where the text cannot show it: a table name that is no source (it is still joined,
    // by that name), an unknown join type, or a second condition between two tables already joined
    // with another type or, for an outer join, the other way round.
    static void placeJoin(DesignRow& joinRow, std::vector<std::unique_ptr<FromItem>>& items) {
        std::vector<JoinStep> fromPath;  // the joins down to the row's Name1 table in its entry
        std::vector<JoinStep> toPath;    // and to its Name2 table
        const FromItem* fromTable = nullptr;
        const FromItem* toTable = nullptr;
        std::size_t fromEntry = items.size();  // the entries holding them; items.size() for none
        std::size_t toEntry = items.size();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (fromTable == nullptr && (fromTable = findTable(*items[i], joinRow.name1, fromPath))) {
                fromEntry = i;
            }
            if (toTable == nullptr && (toTable = findTable(*items[i], joinRow.name2, toPath))) {
                toEntry = i;
            }
        }

        const std::optional<int> joinType = joinRow.flag;
        if (fromEntry == toEntry && fromEntry < items.size()) {
            // Both tables are in one entry already: this row is another condition of the join
            // between them, the first join where their paths part.
            std::size_t step = 0;
            while (step < fromPath.size() && step < toPath.size() &&
                   fromPath[step].toLeft == toPath[step].toLeft) {
                ++step;
            }
            if (step == fromPath.size() || step == toPath.size()) return;  // one table twice
            FromItem& join = *fromPath[step].join;
            const bool sameDirection = fromPath[step].toLeft;
            if (join.joinType != joinType || (joinType != kInnerJoin && !sameDirection)) return;
            join.conditions.push_back(joinRow.showExpression());
        } else {
            auto takeEntry = [&items](std::size_t entry, const std::string& name) {
                if (entry < items.size()) return std::move(items[entry]);
                auto table = std::make_unique<FromItem>();  // a name that is no source
                table->joinName = name;
                table->text = sqlName(name);
                return table;
            };
            auto join = std::make_unique<FromItem>();
            join->joinType = joinType;
            join->conditions.push_back(joinRow.showExpression());
            join->left = takeEntry(fromEntry, joinRow.name1);
            join->right = takeEntry(toEntry, joinRow.name2);
            std::erase(items, nullptr);
            items.push_back(std::move(join));
        }
        if (joinType == kInnerJoin || joinType == kLeftJoin || joinType == kRightJoin) {
            joinRow.showFlag();
        }
        if (fromTable != nullptr && fromTable->isSource) joinRow.showName1();
        if (toTable != nullptr && toTable->isSource) joinRow.showName2();
    }

    // One line for each WHERE or HAVING row: "WHERE (((Table1.col1)>"blah"))".
    void addConditionLines(int attribute, std::string_view keyword, std::vector<std::string>& lines) {
        for (DesignRow* row : rowsOf(attribute)) lines.push_back(clause(keyword, row->showExpression()));
    }

    // "ORDER BY Table2.col1, Table2.col2 DESC", or "" without ORDER BY rows. A direction other
    // than "D" is left to the row's note.
    std::string orderByLine() {
        std::vector<std::string> items;
        for (DesignRow* row : rowsOf(kOrderByRow)) {
            std::string item = row->showExpression();
            if (row->name1 == "D") item += " DESC";
            if (row->name1.empty() || row->name1 == "D") row->showName1();
            items.push_back(item);
        }
        return items.empty() ? "" : "ORDER BY " + joined(items, ", ");
    }

    // Select, make-table, append, update, delete and crosstab queries:
    //   [TRANSFORM value]                  crosstab
    //   SELECT list [INTO target]          SELECT ... INTO for make-table
    //   FROM tables                        INSERT INTO target (fields) first for append;
    //                                      UPDATE tables / SET ... for update; DELETE list for delete
    //   WHERE / GROUP BY / HAVING / ORDER BY, [PIVOT column] for crosstab, [WITH OWNERACCESS OPTION]
    void addSelectLines(int queryType, DesignRow* typeRow, std::vector<std::string>& lines) {
        std::vector<DesignRow*> columns = rowsOf(kColumnRow);
        std::vector<DesignRow*> groupRows = rowsOf(kGroupByRow);
        std::vector<DesignRow*> pivotColumns;  // crosstab: the column headings
        if (queryType == kCrosstab) {
            std::vector<DesignRow*> valueColumns;
            std::vector<DesignRow*> rowHeadings;
            for (DesignRow* column : columns) {
                const int role = column->flag.value_or(kCrosstabValue);
                if (role == kCrosstabPivot) {
                    pivotColumns.push_back(column);
                } else if (role == kCrosstabRowHeading) {
                    column->showFlag();
                    rowHeadings.push_back(column);
                } else {
                    if (role == kCrosstabValue) column->showFlag();
                    valueColumns.push_back(column);
                }
            }
            std::vector<std::string> values;
            for (DesignRow* column : valueColumns) values.push_back(columnText(*column));
            lines.push_back(clause("TRANSFORM", joined(values, ", ")));
            columns = rowHeadings;
            groupRows = crosstabGroupRows(groupRows, pivotColumns);
        }

        const std::string from = fromText();
        if (queryType == kUpdate) {
            std::vector<std::string> assignments;  // "Table1.col1 = "foo""
            for (DesignRow* column : columns) {
                assignments.push_back(column->showName2() + " = " + column->showExpression());
            }
            lines.push_back(spaced({"UPDATE", optionWords(), from}));
            lines.push_back(clause("SET", joined(assignments, ", ")));
        } else {
            if (queryType == kAppend) lines.push_back(insertIntoLine(*typeRow, columns));
            std::string head = clause(queryType == kDelete ? "DELETE" : "SELECT", selectList(columns));
            if (queryType == kMakeTable) head += " INTO " + sqlName(typeRow->showName1());
            lines.push_back(head);
            if (!from.empty()) lines.push_back("FROM " + from);
        }

        addConditionLines(kWhereRow, "WHERE", lines);
        std::vector<std::string> groupItems;
        for (DesignRow* row : groupRows) groupItems.push_back(row->showExpression());
        if (!groupItems.empty()) lines.push_back("GROUP BY " + joined(groupItems, ", "));
        addConditionLines(kHavingRow, "HAVING", lines);
        if (std::string orderBy = orderByLine(); !orderBy.empty()) lines.push_back(orderBy);
        if (queryType == kCrosstab) {
            std::vector<std::string> pivots;
            for (DesignRow* column : pivotColumns) pivots.push_back(columnText(*column));
            lines.push_back(clause("PIVOT", joined(pivots, ", ")));
        }
        if (hasOption(kOwnerAccessOption)) lines.push_back("WITH OWNERACCESS OPTION");
    }

    // "INSERT INTO Table3 (col2, col3)": the append target and the columns' target fields, which
    // are stored written out; no field list when no column names one.
    static std::string insertIntoLine(DesignRow& typeRow, const std::vector<DesignRow*>& columns) {
        std::string line = "INSERT INTO " + sqlName(typeRow.showName1());
        const bool anyTarget = std::any_of(columns.begin(), columns.end(),
                                           [](const DesignRow* column) { return !column->name2.empty(); });
        if (!anyTarget) return line;
        std::vector<std::string> fields;
        for (DesignRow* column : columns) fields.push_back(column->showName2());
        return line + " (" + joined(fields, ", ") + ")";
    }

    // The GROUP BY rows a crosstab writes: the row headings' (role 2) and any others, but not the
    // one that each column heading has (role 1, the PIVOT column's expression), which PIVOT
    // implies. A column heading without its GROUP BY row, or such a row without its column, is
    // left unmarked for its note.
    static std::vector<DesignRow*> crosstabGroupRows(const std::vector<DesignRow*>& groupRows,
                                                     const std::vector<DesignRow*>& pivotColumns) {
        std::vector<DesignRow*> written;
        std::vector<bool> pivotPaired(pivotColumns.size(), false);
        for (DesignRow* row : groupRows) {
            const int role = row->flag.value_or(kCrosstabValue);
            if (role == kCrosstabPivot) {
                bool paired = false;
                for (std::size_t i = 0; i < pivotColumns.size() && !paired; ++i) {
                    if (!pivotPaired[i] && pivotColumns[i]->expression == row->expression) {
                        pivotPaired[i] = paired = true;
                        pivotColumns[i]->showFlag();
                        row->showFlag();
                        row->showExpression();
                    }
                }
                if (paired) continue;
            } else if (role == kCrosstabRowHeading) {
                row->showFlag();
            }
            written.push_back(row);
        }
        return written;
    }

    // A union: its parts' stored texts joined by "UNION " (options bit 2) or "UNION ALL ", then
    // ORDER BY and WITH OWNERACCESS OPTION. Access keeps the line break before the keyword at the
    // end of the part before it ("Select a\r\n" + "UNION ALL " + "Select b"), so the parts are
    // joined as they are. Their generated names (Name2, "X7YZ_____1") are no part of the design
    // and are left out.
    void addUnionLines(std::vector<std::string>& lines) {
        const std::string separator = hasOption(kDistinctOption) ? "UNION " : "UNION ALL ";
        std::string parts;
        bool first = true;
        for (DesignRow* part : rowsOf(kSourceRow)) {
            part->showName2();
            if (!first) parts += separator;
            parts += part->showExpression();
            first = false;
        }
        lines.push_back(parts);
        if (std::string orderBy = orderByLine(); !orderBy.empty()) lines.push_back(orderBy);
        if (hasOption(kOwnerAccessOption)) lines.push_back("WITH OWNERACCESS OPTION");
    }

    std::vector<DesignRow> rows_;  // all rows, by attribute, then order
    int optionBits_ = 0;           // the first options row's flag
    std::string topValue_;         // its TOP value, where the TOP bit is set
};

}  // namespace

std::string queryText(const std::vector<QueryRow>& rows) {
    return QueryTextBuilder(rows).text();
}

}  // namespace engine
