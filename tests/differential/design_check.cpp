#include "design_check.h"

#include <algorithm>

namespace difftest {

namespace {

// The engine's value as a model value.
Value fromVariant(const engine::Variant& v)
{
    if (v.isBoolean()) return Value::of(v.boolean());
    if (v.isNumber()) return Value::of(v.number());
    if (v.isText()) return Value::of(v.text());
    return Value::null();
}

// A property list as the engine serves it, walked by position.
ValueList served(const engine::Properties& properties)
{
    ValueList out;
    for (std::int16_t i = 0; i < properties.Count(); ++i)
        out.push_back({properties.Item(i).Name(), fromVariant(properties.Item(i).Value())});
    return out;
}

// s in double quotes, for messages.
std::string quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

// Names in quotes with commas between, for messages.
std::string listed(const std::vector<std::string>& names)
{
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ", ") + quoted(n);
    return out;
}

// True for a name with a character beyond the BMP, which UTF-16 keeps as a surrogate pair.
bool beyondBmp(const std::string& name)
{
    return std::any_of(name.begin(), name.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xF8) == 0xF0; });
}

// The kind of fault a value mismatch looks like.
std::string valueCategory(const std::string& property, const Value& expected, const Value& actual)
{
    if (expected.kind == Value::Text && (expected.text.empty() || expected.text == "0x") && actual.kind == Value::Null)
        return "empty value read as Null";
    if (expected.kind == Value::Number && actual.kind == Value::Number &&
        static_cast<float>(expected.number) == static_cast<float>(actual.number))
        return "Single value not served exactly";
    if (property == "SQL")
        return actual.kind == Value::Text && actual.text.find("\r\n-- ") != std::string::npos
                   ? "query SQL with note lines"
                   : "query SQL";
    if (expected.kind == Value::Text && beyondBmp(expected.text)) return "name beyond the BMP";
    return "value";
}

class Checker {
public:
    Checker(std::vector<Mismatch>& out, Counts& counts) : out_(out), counts_(counts) {}

    // Compares the names of a collection in order; returns the pairs of items matched by exact name.
    template <typename T>
    std::vector<std::pair<const T*, const T*>> collection(const std::string& object, const std::string& kind,
                                                          const std::vector<T>& expected, const std::vector<T>& actual)
    {
        std::vector<std::string> e, a;
        for (const auto& x : expected) e.push_back(x.name);
        for (const auto& x : actual) a.push_back(x.name);
        counts_[kind] += static_cast<long>(expected.size());
        if (e != a) {
            std::vector<std::string> es = e, as = a;
            std::sort(es.begin(), es.end());
            std::sort(as.begin(), as.end());
            if (es == as) {
                add("order of names", object, kind + " in order", listed(e), listed(a));
            } else {
                bool mangled = false;  // a name beyond the BMP is missing: the unexpected name is likely it
                for (const auto& n : e)
                    if (std::find(a.begin(), a.end(), n) == a.end()) {
                        mangled = mangled || beyondBmp(n);
                        add(beyondBmp(n) ? "name beyond the BMP" : "missing object", object, kind + " " + quoted(n),
                            "present", "missing");
                    }
                for (const auto& n : a)
                    if (std::find(e.begin(), e.end(), n) == e.end())
                        add(mangled ? "name beyond the BMP" : "unexpected object", object, kind + " " + quoted(n),
                            "absent", "present");
            }
        }
        std::vector<std::pair<const T*, const T*>> pairs;
        for (const auto& x : expected) {
            auto y = std::find_if(actual.begin(), actual.end(), [&](const T& t) { return t.name == x.name; });
            if (y != actual.end()) pairs.emplace_back(&x, &*y);
        }
        return pairs;
    }

    // A property list: its names in order, then each value of a name both have.
    void properties(const std::string& object, const ValueList& expected, const ValueList& actual)
    {
        for (const auto& [e, a] : collection(object, "properties", expected, actual)) {
            ++counts_["values"];
            if (e->value.matches(a->value)) continue;
            std::size_t position = static_cast<std::size_t>(e - expected.data());
            add(e->storedInOtherCase ? "property stored under its name in another letter case"
                                     : valueCategory(e->name, e->value, a->value),
                object, "property " + std::to_string(position) + " " + e->name, e->value.describe(),
                a->value.describe());
        }
    }

    // A text value of an object (an index's fields, a relation's tables).
    void value(const std::string& object, const std::string& what, const std::string& expected,
               const std::string& actual)
    {
        ++counts_["values"];
        if (expected != actual)
            add(beyondBmp(expected) ? "name beyond the BMP" : "value", object, what, quoted(expected), quoted(actual));
    }

private:
    void add(std::string category, const std::string& object, const std::string& what, std::string expected,
             std::string actual)
    {
        out_.push_back(Mismatch{std::move(category), object, what, std::move(expected), std::move(actual)});
    }

    std::vector<Mismatch>& out_;
    Counts& counts_;
};

}  // namespace

DesignModel servedDesign(const engine::Database& db)
{
    DesignModel out;
    const engine::TableDefs tables = db.TableDefs();
    for (std::int16_t i = 0; i < tables.Count(); ++i) {
        const engine::TableDef t = tables.Item(i);
        TableModel table{t.Name(), {}, {}};
        const engine::Fields fields = t.Fields();
        for (std::int16_t k = 0; k < fields.Count(); ++k)
            table.fields.push_back({fields.Item(k).Name(), served(fields.Item(k).Properties())});
        const engine::Indexes indexes = t.Indexes();
        for (std::int16_t k = 0; k < indexes.Count(); ++k)
            table.indexes.push_back(
                {indexes.Item(k).Name(), indexes.Item(k).Fields(), served(indexes.Item(k).Properties())});
        out.tables.push_back(std::move(table));
    }
    const engine::Relations relations = db.Relations();
    for (std::int16_t i = 0; i < relations.Count(); ++i) {
        const engine::Relation r = relations.Item(i);
        RelationModel relation{r.Name(), r.Table(), r.ForeignTable(), {}, served(r.Properties())};
        const engine::RelationFields fields = r.Fields();
        for (std::int16_t k = 0; k < fields.Count(); ++k)
            relation.fields.emplace_back(fields.Item(k).Name(), fields.Item(k).ForeignName());
        out.relations.push_back(std::move(relation));
    }
    const engine::QueryDefs queries = db.QueryDefs();
    for (std::int16_t i = 0; i < queries.Count(); ++i)
        out.queries.push_back({queries.Item(i).Name(), served(queries.Item(i).Properties())});
    return out;
}

std::vector<Mismatch> compareDesigns(const DesignModel& expected, const DesignModel& served, Counts& counts)
{
    std::vector<Mismatch> out;
    Checker check(out, counts);
    for (const auto& [e, a] : check.collection("database", "tables", expected.tables, served.tables)) {
        const std::string table = "table \"" + e->name + "\"";
        for (const auto& [ef, af] : check.collection(table, "fields", e->fields, a->fields))
            check.properties(table + " field \"" + ef->name + "\"", ef->properties, af->properties);
        for (const auto& [ei, ai] : check.collection(table, "indexes", e->indexes, a->indexes)) {
            const std::string index = table + " index \"" + ei->name + "\"";
            check.value(index, "fields", ei->fields, ai->fields);
            check.properties(index, ei->properties, ai->properties);
        }
    }
    for (const auto& [e, a] : check.collection("database", "relations", expected.relations, served.relations)) {
        const std::string relation = "relation \"" + e->name + "\"";
        check.value(relation, "table", e->table, a->table);
        check.value(relation, "foreign table", e->foreignTable, a->foreignTable);
        std::string ef, af;  // the field pairs, "A-X; B-Y"
        for (const auto& [p, f] : e->fields) ef += (ef.empty() ? "" : "; ") + p + "-" + f;
        for (const auto& [p, f] : a->fields) af += (af.empty() ? "" : "; ") + p + "-" + f;
        check.value(relation, "fields", ef, af);
        check.properties(relation, e->properties, a->properties);
    }
    for (const auto& [e, a] : check.collection("database", "queries", expected.queries, served.queries))
        check.properties("query \"" + e->name + "\"", e->properties, a->properties);
    return out;
}

}  // namespace difftest
