#include "expected_sql.h"

#include <map>
#include <memory>
#include <vector>

namespace difftest {

namespace {

using mdbgen::QueryRow;
using mdbgen::QueryType;
using Rows = std::vector<const QueryRow*>;

// Attributes of the design rows.
constexpr int kParameter = 2, kOptions = 3, kSource = 5, kColumn = 6, kJoin = 7, kWhere = 8, kGroupBy = 9, kHaving = 10,
              kOrderBy = 11;

// Bits of the options row's flag.
constexpr int kStar = 1, kDistinct = 2, kOwnerAccess = 4, kDistinctRow = 8, kTop = 16, kPercent = 32;

// The items with separator between them: joined({"a", "b"}, ", ") is "a, b".
std::string joined(const std::vector<std::string>& items, const std::string& separator)
{
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? separator : "") + items[i];
    return out;
}

// A table, alias or parameter name as SQL writes it: bracketed when it is empty, starts with a
// digit or holds an ASCII character other than letters, digits and "_" (letters beyond ASCII
// need none); a name already in brackets ("[Forms]![Main]![Start]") stays as it is.
std::string sqlName(const std::string& name)
{
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') return name;
    bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x80 && !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            plain = false;
    }
    return plain ? name : "[" + name + "]";
}

// The SQL type word of a parameter's type code; a Text parameter with a size shows it.
std::string parameterType(int code, std::optional<std::int32_t> size)
{
    static const std::map<int, std::string> words = {
        {0, "Value"},    {1, "Bit"},         {2, "Byte"},       {3, "Short"},    {4, "Long"},
        {5, "Currency"}, {6, "IEEESingle"},  {7, "IEEEDouble"}, {8, "DateTime"}, {9, "Binary"},
        {10, "Text"},    {11, "LongBinary"}, {12, "Memo"},      {15, "Guid"},    {16, "Decimal"}};
    auto word = words.find(code);
    if (word == words.end()) throw UnsupportedQuery("parameter type " + std::to_string(code));
    if (code == 10 && size && *size > 0) return "Text ( " + std::to_string(*size) + " )";
    return word->second;
}

// A stored text, "" when absent.
std::string text(const std::optional<std::string>& s)
{
    return s.value_or("");
}

// An entry of FROM: a source, or two entries joined.
struct FromNode {
    std::string key;   // a source: the name join rows call it by (its alias, or else its name)
    std::string text;  // a source: as FROM writes it
    int joinType = 0;
    std::vector<std::string> conditions;
    std::unique_ptr<FromNode> left, right;

    bool isJoin() const { return left != nullptr; }
    bool holds(const std::string& name) const
    {
        return isJoin() ? left->holds(name) || right->holds(name) : key == name;
    }

    std::string sql() const
    {
        if (!isJoin()) return text;
        auto side = [](const FromNode& n) { return n.isJoin() ? "(" + n.sql() + ")" : n.sql(); };
        static const char* const keywords[] = {"", "INNER JOIN", "LEFT JOIN", "RIGHT JOIN"};
        return side(*left) + " " + keywords[joinType] + " " + side(*right) + " ON " +
               (conditions.size() == 1 ? conditions[0] : "(" + joined(conditions, ") AND (") + ")");
    }
};

class Statement {
public:
    explicit Statement(const mdbgen::Query& q) : q_(q)
    {
        for (const QueryRow& r : q.rows) byAttribute_[r.attribute].push_back(&r);
        for (const QueryRow* r : rows(1)) typeRow_ = r;
        if (!typeRow_) throw UnsupportedQuery("no type row");
        const Rows options = rows(kOptions);
        if (options.size() > 1) throw UnsupportedQuery("two options rows");
        if (!options.empty()) {
            bits_ = options[0]->flag.value_or(0);
            top_ = text(options[0]->name1);
        }
    }

    std::string sql()
    {
        switch (q_.type) {
        case QueryType::DataDefinition:
        case QueryType::PassThrough: return text(typeRow_->expression);
        case QueryType::Union: return finish(unionLines());
        default: return finish(selectLines());
        }
    }

private:
    // The rows of an attribute, in stored order.
    Rows rows(int attribute) const
    {
        auto it = byAttribute_.find(attribute);
        return it == byAttribute_.end() ? Rows{} : it->second;
    }
    // Whether the options row sets the bit.
    bool has(int bit) const { return (bits_ & bit) != 0; }

    // The lines joined by CR LF, ";" after the last.
    static std::string finish(const std::vector<std::string>& lines) { return joined(lines, "\r\n") + ";"; }

    // "DISTINCT TOP 5 PERCENT": the words the options give before the list, "" without any.
    std::string optionWords() const
    {
        std::vector<std::string> words;
        if (has(kDistinct)) words.push_back("DISTINCT");
        if (has(kDistinctRow)) words.push_back("DISTINCTROW");
        if (has(kTop)) words.push_back("TOP " + top_);
        if (has(kPercent)) words.push_back("PERCENT");
        return joined(words, " ");
    }

    // An output column: its expression, " AS " and its alias when it has one.
    static std::string column(const QueryRow& r)
    {
        return text(r.expression) + (r.name1 && !r.name1->empty() ? " AS " + sqlName(*r.name1) : "");
    }

    // "SELECT DISTINCT *, T.a": the keyword, the option words and the items, as many as there are.
    std::string head(const std::string& keyword, const Rows& columns) const
    {
        std::vector<std::string> items;
        if (has(kStar)) items.push_back("*");
        for (const QueryRow* c : columns) items.push_back(column(*c));
        std::string out = keyword;
        if (!optionWords().empty()) out += " " + optionWords();
        if (!items.empty()) out += " " + joined(items, ", ");
        return out;
    }

    // The FROM body: sources in order; each join row joins the entries holding its two sources
    // into a new last entry, or adds its condition to the join that already links them.
    std::string from() const
    {
        std::vector<std::unique_ptr<FromNode>> entries;
        for (const QueryRow* s : rows(kSource)) {
            auto node = std::make_unique<FromNode>();
            if (s->name1 && !s->name1->empty()) {
                node->text = sqlName(*s->name1);
                node->key = *s->name1;
            } else if (s->expression && s->name2) {
                node->text = "(" + *s->expression + ")";  // a derived table
            } else {
                throw UnsupportedQuery("a source row without a table");
            }
            if (s->name2 && !s->name2->empty()) {
                node->text += " AS " + sqlName(*s->name2);
                node->key = *s->name2;
            }
            entries.push_back(std::move(node));
        }
        for (const QueryRow* j : rows(kJoin)) {
            const std::string a = text(j->name1), b = text(j->name2);
            std::size_t ia = entries.size(), ib = entries.size();
            for (std::size_t i = 0; i < entries.size(); ++i) {
                if (ia == entries.size() && entries[i]->holds(a)) ia = i;
                if (ib == entries.size() && entries[i]->holds(b)) ib = i;
            }
            if (ia == entries.size() || ib == entries.size()) throw UnsupportedQuery("a join naming no source");
            if (ia == ib) {
                // Another condition of the join that already links the two: the lowest join
                // with one on each side.
                FromNode* n = entries[ia].get();
                auto bothIn = [&](const FromNode& side) { return side.holds(a) && side.holds(b); };
                while (n->isJoin() && (bothIn(*n->left) || bothIn(*n->right)))
                    n = bothIn(*n->left) ? n->left.get() : n->right.get();
                if (!n->isJoin() || n->joinType != j->flag.value_or(0))
                    throw UnsupportedQuery("a second join condition of another type");
                n->conditions.push_back(text(j->expression));
                continue;
            }
            auto join = std::make_unique<FromNode>();
            join->joinType = j->flag.value_or(0);
            if (join->joinType < 1 || join->joinType > 3) throw UnsupportedQuery("join type");
            join->conditions.push_back(text(j->expression));
            join->left = std::move(entries[ia]);
            join->right = std::move(entries[ib]);
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(std::max(ia, ib)));
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(std::min(ia, ib)));
            entries.push_back(std::move(join));
        }
        std::vector<std::string> parts;
        for (const auto& e : entries) parts.push_back(e->sql());
        return joined(parts, ", ");
    }

    // "ORDER BY a, b DESC", or "" without ORDER BY rows.
    std::string orderBy() const
    {
        std::vector<std::string> items;
        for (const QueryRow* r : rows(kOrderBy)) {
            const std::string direction = text(r->name1);
            if (direction != "" && direction != "D" && direction != "d")
                throw UnsupportedQuery("ORDER BY direction " + direction);
            items.push_back(text(r->expression) + (direction.empty() ? "" : " DESC"));
        }
        return items.empty() ? "" : "ORDER BY " + joined(items, ", ");
    }

    // One line for each WHERE or HAVING row.
    void conditions(int attribute, const std::string& keyword, std::vector<std::string>& lines) const
    {
        for (const QueryRow* r : rows(attribute)) lines.push_back(keyword + " " + text(r->expression));
    }

    // Select, crosstab, make-table, append, update and delete queries, line by line.
    std::vector<std::string> selectLines() const
    {
        std::vector<std::string> lines;
        std::vector<std::string> parameters;
        for (const QueryRow* p : rows(kParameter)) {
            if (!p->flag) throw UnsupportedQuery("a parameter without a type");
            parameters.push_back(sqlName(text(p->name1)) + " " + parameterType(*p->flag, p->extra));
        }
        if (!parameters.empty()) lines.push_back("PARAMETERS " + joined(parameters, ", ") + ";");

        Rows columns = rows(kColumn), groups = rows(kGroupBy), pivots;
        if (q_.type == QueryType::Crosstab) {
            Rows values, headings;
            for (const QueryRow* c : columns) {
                const int role = c->flag.value_or(0);
                (role == 1 ? pivots : role == 2 ? headings : values).push_back(c);
            }
            std::vector<std::string> transform;
            for (const QueryRow* v : values) transform.push_back(column(*v));
            lines.push_back("TRANSFORM " + joined(transform, ", "));
            columns = headings;
            Rows written;  // the row headings' GROUP BY rows; the pivot's is implied by PIVOT
            for (const QueryRow* g : groups) {
                const int role = g->flag.value_or(0);
                if (role == 2)
                    written.push_back(g);
                else if (role != 1)
                    throw UnsupportedQuery("a crosstab GROUP BY row of role " + std::to_string(role));
            }
            groups = written;
        }
        const std::string fromText = from();
        if (q_.type == QueryType::Update) {
            std::vector<std::string> assignments;
            for (const QueryRow* c : columns) assignments.push_back(text(c->name2) + " = " + text(c->expression));
            std::string update = "UPDATE";
            if (!optionWords().empty()) update += " " + optionWords();
            if (!fromText.empty()) update += " " + fromText;
            lines.push_back(update);
            lines.push_back("SET " + joined(assignments, ", "));
        } else {
            if (q_.type == QueryType::Append) {
                std::string insert = "INSERT INTO " + sqlName(text(typeRow_->name1));
                std::vector<std::string> targets;
                for (const QueryRow* c : columns) targets.push_back(text(c->name2));
                bool any = false;
                for (const auto& t : targets) any = any || !t.empty();
                if (any) insert += " (" + joined(targets, ", ") + ")";
                lines.push_back(insert);
            }
            std::string first = head(q_.type == QueryType::Delete ? "DELETE" : "SELECT", columns);
            if (q_.type == QueryType::MakeTable) first += " INTO " + sqlName(text(typeRow_->name1));
            lines.push_back(first);
            if (!fromText.empty()) lines.push_back("FROM " + fromText);
        }
        conditions(kWhere, "WHERE", lines);
        std::vector<std::string> groupItems;
        for (const QueryRow* g : groups) groupItems.push_back(text(g->expression));
        if (!groupItems.empty()) lines.push_back("GROUP BY " + joined(groupItems, ", "));
        conditions(kHaving, "HAVING", lines);
        if (std::string o = orderBy(); !o.empty()) lines.push_back(o);
        if (q_.type == QueryType::Crosstab) {
            std::vector<std::string> items;
            for (const QueryRow* p : pivots) items.push_back(column(*p));
            lines.push_back("PIVOT " + joined(items, ", "));
        }
        if (has(kOwnerAccess)) lines.push_back("WITH OWNERACCESS OPTION");
        return lines;
    }

    // The parts' stored texts joined by "UNION " or "UNION ALL " as they are, then ORDER BY.
    std::vector<std::string> unionLines() const
    {
        std::string parts;
        const Rows sources = rows(kSource);
        for (std::size_t i = 0; i < sources.size(); ++i)
            parts += (i ? (has(kDistinct) ? "UNION " : "UNION ALL ") : "") + text(sources[i]->expression);
        std::vector<std::string> lines = {parts};
        if (std::string o = orderBy(); !o.empty()) lines.push_back(o);
        if (has(kOwnerAccess)) lines.push_back("WITH OWNERACCESS OPTION");
        return lines;
    }

    const mdbgen::Query& q_;
    std::map<int, Rows> byAttribute_;
    const QueryRow* typeRow_ = nullptr;
    int bits_ = 0;     // the options row's flag
    std::string top_;  // its TOP value
};

}  // namespace

std::string expectedSql(const mdbgen::Query& query)
{
    return Statement(query).sql();
}

}  // namespace difftest
