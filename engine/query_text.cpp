// The SQL text of a query, rebuilt from its design rows (MSysQueries). Each query type is written in
// the form Access's SQL view shows it; rows that view has no place for are left out.
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
    kRemoteDatabaseRow = 4,
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

// Join types, by the Flag of a join row.
constexpr int kInnerJoin = 1;
constexpr int kLeftJoin = 2;
constexpr int kRightJoin = 3;

// Crosstab roles of column and GROUP BY rows, by their Flag: a column of neither role is the
// value (TRANSFORM).
constexpr int kCrosstabPivot = 1;
constexpr int kCrosstabRowHeading = 2;

// The Flag bit of an append query's column that holds one of its VALUES.
constexpr int kAppendValue = 0x8000;

// The parameter type whose size LvExtra keeps.
constexpr int kTextParameter = 10;

// Jet allows 32 tables in a query; join rows beyond this many are left out, which bounds the work
// and the depth of the join tree on a damaged file.
constexpr std::size_t kMaxNestedJoins = 1024;

constexpr std::string_view kLineBreak = "\r\n";

// One design row, absent texts read as empty (files of different versions may store either).
struct DesignRow {
    explicit DesignRow(const QueryRow& row)
        : attribute(row.attribute),
          flag(row.flag.value_or(0)),
          name1(row.name1.value_or("")),
          name2(row.name2.value_or("")),
          expression(row.expression.value_or("")),
          extra(row.extra.value_or(0)),
          order(row.order) {}

    // The sort key: attribute, then order; the values settle ties, so that shuffled input gives
    // the same text even when two rows share an order.
    auto key() const { return std::tie(attribute, order, flag, name1, name2, expression, extra); }

    int attribute;
    int flag;
    std::string name1;
    std::string name2;
    std::string expression;
    std::int64_t extra;
    std::uint32_t order;
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
// "[Order Details]". A name that holds brackets already is written as stored, since brackets do
// not nest: "[Start Date]" and "Forms![Sales]!Since" stay as they are.
std::string sqlName(std::string_view name) {
    if (name.find('[') != std::string_view::npos || !needsBrackets(name)) return std::string(name);
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

// The SQL type of a parameter as Access writes it: its type code's word, with the size of a Text
// parameter that has one: "Text ( 5 )". Code 0, and any code Access does not define, is "Value".
std::string parameterType(int code, std::int64_t size) {
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
        case kTextParameter: return size > 0 ? "Text ( " + std::to_string(size) + " )" : "Text";
        case 11: return "LongBinary";
        case 12: return "Memo";
        case 15: return "Guid";
        case 16: return "Decimal";
        default: return "Value";
    }
}

// The keyword of a join row's type; plain "JOIN" for a type that is not known.
std::string_view joinKeyword(int joinType) {
    if (joinType == kInnerJoin) return "INNER JOIN";
    if (joinType == kLeftJoin) return "LEFT JOIN";
    if (joinType == kRightJoin) return "RIGHT JOIN";
    return "JOIN";
}

// " IN 'C:\Data\Other.mdb'" or " IN '' [ODBC;DSN=x]": where a query's tables live when they are
// in another database; "" when both the path and the connect string are empty.
std::string inDatabase(const std::string& path, const std::string& connect) {
    if (path.empty() && connect.empty()) return "";
    std::string text = " IN '" + path + "'";
    if (!connect.empty()) text += " [" + connect + "]";
    return text;
}

// An entry of the FROM clause: a table (a source row, or a name only a join row gives), or two
// entries joined.
struct FromItem {
    bool isJoin() const { return left != nullptr; }

    std::string joinName;  // table: the name join rows use for it, its alias or else its name
    std::string text;      // table: as FROM writes it, "Table2 AS Table2_1"
    int joinType = 0;      // join: the Flag of its first join row
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

// Builds the text of one query from its rows.
class QueryTextBuilder {
public:
    // Takes the rows by attribute, then by order.
    explicit QueryTextBuilder(const std::vector<QueryRow>& rows) {
        rows_.reserve(rows.size());
        for (const QueryRow& row : rows) rows_.emplace_back(row);
        std::sort(rows_.begin(), rows_.end(),
                  [](const DesignRow& a, const DesignRow& b) { return a.key() < b.key(); });
    }

    // The whole text, its clauses on lines of their own.
    std::string text() {
        std::vector<const DesignRow*> typeRows = rowsOf(kTypeRow);
        const DesignRow* typeRow = typeRows.empty() ? nullptr : typeRows.front();
        const int queryType = typeRow != nullptr && typeRow->flag >= kSelect && typeRow->flag <= kUnion
                                  ? typeRow->flag
                                  : kSelect;
        readOptions(queryType);

        std::vector<std::string> lines;  // the statement, one clause a line
        if (queryType == kDataDefinition || queryType == kPassThrough) {
            // The stored text is the statement; a pass-through query's connect string (Name1) is
            // its Connect property.
            lines.push_back(typeRow->expression);
            return joined(lines, kLineBreak);
        }
        if (std::string parameters = parametersLine(); !parameters.empty()) lines.push_back(parameters);
        if (queryType == kUnion) {
            addUnionLines(lines);
        } else {
            addSelectLines(queryType, typeRow, lines);
        }
        lines.back() += ";";
        return joined(lines, kLineBreak);
    }

private:
    // The rows of one attribute, in order.
    std::vector<const DesignRow*> rowsOf(int attribute) const {
        std::vector<const DesignRow*> found;
        for (const DesignRow& row : rows_) {
            if (row.attribute == attribute) found.push_back(&row);
        }
        return found;
    }

    // Reads the first options row into optionBits_ and topValue_.
    void readOptions(int queryType) {
        std::vector<const DesignRow*> optionRows = rowsOf(kOptionsRow);
        if (optionRows.empty()) return;
        optionBits_ = optionRows.front()->flag;
        if ((optionBits_ & kTopOption) != 0 && queryType != kUnion) topValue_ = optionRows.front()->name1;
    }

    bool hasOption(int bit) const { return (optionBits_ & bit) != 0; }

    // "PARAMETERS [Start Date] DateTime, Amount Long, Code Text ( 5 );", or "" without
    // parameter rows.
    std::string parametersLine() const {
        std::vector<std::string> parameters;
        for (const DesignRow* row : rowsOf(kParameterRow)) {
            parameters.push_back(sqlName(row->name1) + " " + parameterType(row->flag, row->extra));
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
    static std::string columnText(const DesignRow& column) {
        std::string text = column.expression;
        if (!column.name1.empty()) text += " AS " + sqlName(column.name1);
        return text;
    }

    // The select list: "*" when the options ask for all fields, then the columns, and the option
    // words before them: "DISTINCT *, Table2.col1".
    std::string selectList(const std::vector<const DesignRow*>& columns) const {
        std::vector<std::string> items;  // "*" and the columns' texts
        if (hasOption(kAllFieldsOption)) items.push_back("*");
        for (const DesignRow* column : columns) items.push_back(columnText(*column));
        return spaced({optionWords(), joined(items, ", ")});
    }

    // A source as FROM writes it: a table or query ("[Order Details] AS OD"), a table in another
    // database named by an expression ("[C:\Other.mdb].Orders"), or a derived table, whose
    // subquery is the row's expression ("(SELECT a FROM T) AS J").
    static std::string sourceText(const DesignRow& source) {
        std::string text;
        if (source.name1.empty() && !source.expression.empty()) {
            text = "(" + source.expression + ")";
        } else {
            if (!source.expression.empty()) text = sqlName(source.expression) + ".";
            text += sqlName(source.name1);
        }
        if (!source.name2.empty()) text += " AS " + sqlName(source.name2);
        return text;
    }

    // The FROM clause's body: the source tables, joined as the join rows say, and the tables no
    // join takes after each other with ", ". Each join row joins the entries holding its two
    // tables into a new last entry, or adds its condition to the join that already links them.
    std::string fromText() const {
        std::vector<std::unique_ptr<FromItem>> items;  // the FROM entries, in order
        for (const DesignRow* source : rowsOf(kSourceRow)) {
            auto table = std::make_unique<FromItem>();
            table->text = sourceText(*source);
            table->joinName = source->name2.empty() ? source->name1 : source->name2;
            items.push_back(std::move(table));
        }
        std::vector<const DesignRow*> joinRows = rowsOf(kJoinRow);
        if (joinRows.size() > kMaxNestedJoins) joinRows.resize(kMaxNestedJoins);
        for (const DesignRow* joinRow : joinRows) placeJoin(*joinRow, items);

        std::string text;
        for (const auto& item : items) {
            if (!text.empty()) text += ", ";
            appendFromItem(*item, text);
        }
        return text;
    }

    // Puts one join row into the FROM entries (see fromText). A table name that is no source is
    // still joined, by that name.
    static void placeJoin(const DesignRow& joinRow, std::vector<std::unique_ptr<FromItem>>& items) {
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

        if (fromEntry == toEntry && fromEntry < items.size()) {
            // Both tables are in one entry already: this row is another condition of the join
            // between them, the first join where their paths part.
            std::size_t step = 0;
            while (step < fromPath.size() && step < toPath.size() &&
                   fromPath[step].toLeft == toPath[step].toLeft) {
                ++step;
            }
            if (step == fromPath.size() || step == toPath.size()) return;  // one table twice
            fromPath[step].join->conditions.push_back(joinRow.expression);
            return;
        }
        auto takeEntry = [&items](std::size_t entry, const std::string& name) {
            if (entry < items.size()) return std::move(items[entry]);
            auto table = std::make_unique<FromItem>();  // a name that is no source
            table->joinName = name;
            table->text = sqlName(name);
            return table;
        };
        auto join = std::make_unique<FromItem>();
        join->joinType = joinRow.flag;
        join->conditions.push_back(joinRow.expression);
        join->left = takeEntry(fromEntry, joinRow.name1);
        join->right = takeEntry(toEntry, joinRow.name2);
        std::erase(items, nullptr);
        items.push_back(std::move(join));
    }

    // " IN 'path' [connect]" of the source tables, from the first remote database row, or "".
    std::string sourcesInDatabase() const {
        std::vector<const DesignRow*> remote = rowsOf(kRemoteDatabaseRow);
        return remote.empty() ? "" : inDatabase(remote.front()->name1, remote.front()->expression);
    }

    // One line for each WHERE or HAVING row: "WHERE (((Table1.col1)>"blah"))".
    void addConditionLines(int attribute, std::string_view keyword, std::vector<std::string>& lines) const {
        for (const DesignRow* row : rowsOf(attribute)) lines.push_back(clause(keyword, row->expression));
    }

    // "ORDER BY Table2.col1, Table2.col2 DESC", or "" without ORDER BY rows. Name1 "D" marks
    // a descending order; Access writes it in either letter case.
    std::string orderByLine() const {
        std::vector<std::string> items;
        for (const DesignRow* row : rowsOf(kOrderByRow)) {
            items.push_back(row->expression + (sameName(row->name1, "D") ? " DESC" : ""));
        }
        return items.empty() ? "" : "ORDER BY " + joined(items, ", ");
    }

    // Select, make-table, append, update, delete and crosstab queries:
    //   [TRANSFORM value]                  crosstab
    //   SELECT list [INTO target]          SELECT ... INTO for make-table
    //   FROM tables [IN database]          INSERT INTO target (fields) first for append, or
    //                                      VALUES (...) in place of SELECT and FROM; UPDATE tables /
    //                                      SET ... for update; DELETE list for delete
    //   WHERE / GROUP BY / HAVING / ORDER BY, [PIVOT column] for crosstab, [WITH OWNERACCESS OPTION]
    void addSelectLines(int queryType, const DesignRow* typeRow, std::vector<std::string>& lines) const {
        std::vector<const DesignRow*> columns = rowsOf(kColumnRow);
        std::vector<const DesignRow*> groupRows = rowsOf(kGroupByRow);
        std::vector<const DesignRow*> pivotColumns;  // crosstab: the column headings
        if (queryType == kCrosstab) {
            std::vector<const DesignRow*> values;       // TRANSFORM
            std::vector<const DesignRow*> rowHeadings;  // SELECT
            for (const DesignRow* column : columns) {
                if (column->flag == kCrosstabPivot) pivotColumns.push_back(column);
                else if (column->flag == kCrosstabRowHeading) rowHeadings.push_back(column);
                else values.push_back(column);
            }
            std::vector<std::string> valueTexts;
            for (const DesignRow* column : values) valueTexts.push_back(columnText(*column));
            lines.push_back(clause("TRANSFORM", joined(valueTexts, ", ")));
            columns = rowHeadings;
            // A column heading's own GROUP BY row is implied by PIVOT.
            std::erase_if(groupRows, [](const DesignRow* row) { return row->flag == kCrosstabPivot; });
        }

        // A make-table or append query's target may be in another database: Name2 its path,
        // Expression its connect string.
        const std::string target = typeRow == nullptr ? "" : sqlName(typeRow->name1) +
                                                                 inDatabase(typeRow->name2, typeRow->expression);
        std::string from = fromText();  // the tables, and where they live when that is elsewhere
        if (!from.empty()) from += sourcesInDatabase();
        if (queryType == kUpdate) {
            std::vector<std::string> assignments;  // "Table1.col1 = "foo""
            for (const DesignRow* column : columns) assignments.push_back(column->name2 + " = " + column->expression);
            lines.push_back(spaced({"UPDATE", optionWords(), from}));
            lines.push_back(clause("SET", joined(assignments, ", ")));
        } else if (queryType == kAppend && std::any_of(columns.begin(), columns.end(), [](const DesignRow* c) {
                       return (c->flag & kAppendValue) != 0;
                   })) {
            lines.push_back(insertIntoLine(target, columns));
            std::vector<std::string> values;
            for (const DesignRow* column : columns) values.push_back(column->expression);
            lines.push_back("VALUES (" + joined(values, ", ") + ")");
        } else {
            if (queryType == kAppend) lines.push_back(insertIntoLine(target, columns));
            std::string head = clause(queryType == kDelete ? "DELETE" : "SELECT", selectList(columns));
            if (queryType == kMakeTable) head += " INTO " + target;
            lines.push_back(head);
            if (!from.empty()) lines.push_back("FROM " + from);
        }

        addConditionLines(kWhereRow, "WHERE", lines);
        std::vector<std::string> groupItems;
        for (const DesignRow* row : groupRows) groupItems.push_back(row->expression);
        if (!groupItems.empty()) lines.push_back("GROUP BY " + joined(groupItems, ", "));
        addConditionLines(kHavingRow, "HAVING", lines);
        if (std::string orderBy = orderByLine(); !orderBy.empty()) lines.push_back(orderBy);
        if (queryType == kCrosstab) {
            // A column heading's alias has no place in PIVOT.
            std::vector<std::string> pivots;
            for (const DesignRow* column : pivotColumns) pivots.push_back(column->expression);
            lines.push_back(clause("PIVOT", joined(pivots, ", ")));
        }
        if (hasOption(kOwnerAccessOption)) lines.push_back("WITH OWNERACCESS OPTION");
    }

    // "INSERT INTO Table3 (col2, col3)": the append target and the columns' target fields, which
    // are stored written out; no field list when no column names one.
    static std::string insertIntoLine(const std::string& target, const std::vector<const DesignRow*>& columns) {
        std::string line = "INSERT INTO " + target;
        const bool anyTarget = std::any_of(columns.begin(), columns.end(),
                                           [](const DesignRow* column) { return !column->name2.empty(); });
        if (!anyTarget) return line;
        std::vector<std::string> fields;
        for (const DesignRow* column : columns) fields.push_back(column->name2);
        return line + " (" + joined(fields, ", ") + ")";
    }

    // A union: its parts' stored texts joined by "UNION " (options bit 2) or "UNION ALL ", then
    // ORDER BY and WITH OWNERACCESS OPTION. Access keeps the line break before the keyword at the
    // end of the part before it ("Select a\r\n" + "UNION ALL " + "Select b"), so the parts are
    // joined as they are. Their generated names (Name2, "X7YZ_____1") are no part of the design.
    void addUnionLines(std::vector<std::string>& lines) const {
        const std::string separator = hasOption(kDistinctOption) ? "UNION " : "UNION ALL ";
        std::string parts;
        bool first = true;
        for (const DesignRow* part : rowsOf(kSourceRow)) {
            if (!first) parts += separator;
            parts += part->expression;
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
