#include "random_design.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <set>

namespace difftest {

std::uint32_t Random::below(std::uint32_t n)
{
    if (n <= 1) return 0;
    // Rejection keeps every value equally likely: draws past the last whole run of n are redrawn.
    const std::uint32_t limit = UINT32_MAX - UINT32_MAX % n;
    std::uint32_t draw;
    do {
        draw = static_cast<std::uint32_t>(engine_());
    } while (draw >= limit);
    return draw % n;
}

namespace {

using Strings = std::vector<std::string>;

// ---------------------------------------------------------------------------------------------
// Names

// Whole words, some with spaces, a leading digit or letters beyond ASCII.
const Strings kWords = {"Orders", "Customers", "Item",   "Total", "Price", "Notes", "Code",  "Alpha",
                        "beta",   "Big Table", "Line 2", "ID",    "Name",  "Größe", "Ärger", "Maß",
                        "顧客",   "Zeta",      "sales",  "Sales", "2nd",   "Όνομα", "Ключ"};
// Single letters whose order among names depends on case folding: ASCII, µ and μ, ſ, the Kelvin
// sign, the Angstrom sign, ẞ and ß, the three sigmas, accented Greek capitals, title-case
// digraphs, the Turkish dotted and dotless i (which fold to nothing else), Latin Extended-B,
// Cyrillic, a character outside the BMP and fullwidth letters (which sort after it unit by unit).
const Strings kLetters = {"a",      "A", "k", "K", "s", "S", "z", "Z", "i", "I",  "µ",  "μ", "ſ", "\u212A",
                          "\u212B", "å", "Å", "ẞ", "ß", "ς", "σ", "Σ", "Ά", "ά",  "ǅ",  "ǆ", "ǈ", "ǉ",
                          "İ",      "ı", "Ƀ", "ƀ", "Ж", "ж", "Ё", "ё", "😀", "Ａ", "ａ", "é", "É"};
// Groups of letters that fold alike; a case variant swaps one letter for another of its group.
const std::vector<Strings> kAlike = {{"k", "K", "\u212A"}, {"s", "S", "ſ"}, {"å", "Å", "\u212B"}, {"ß", "ẞ"},
                                     {"σ", "Σ", "ς"},      {"μ", "µ", "Μ"}, {"ǆ", "ǅ", "Ǆ"},      {"ǉ", "ǈ", "Ǉ"},
                                     {"ж", "Ж"},           {"ё", "Ё"},      {"ά", "Ά"},           {"ƀ", "Ƀ"},
                                     {"ａ", "Ａ"},         {"é", "É"},      {"ä", "Ä"},           {"ö", "Ö"}};

// The code points of a UTF-8 text, each as its own UTF-8 piece.
Strings characters(const std::string& s)
{
    Strings out;
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        std::size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        out.push_back(s.substr(i, length));
        i += length;
    }
    return out;
}

// UTF-16 code units of a UTF-8 text (names are limited to 64).
std::size_t units(const std::string& s)
{
    std::size_t n = 0;
    for (const std::string& c : characters(s)) n += c.size() == 4 ? 2 : 1;
    return n;
}

// One to three pieces, each a word or a letter: "Orderſ", "ΣBig Table", "k😀".
std::string randomName(Random& r)
{
    std::string name;
    const int pieces = r.between(1, 3);
    for (int i = 0; i < pieces; ++i) name += r.chance(40) ? r.pick(kWords) : r.pick(kLetters);
    return name;
}

// The name with one letter swapped for another that folds alike ("Sales" -> "ſales", "ID" ->
// "Id"); "" when the name has no such letter.
std::string caseVariant(Random& r, const std::string& name)
{
    Strings chars = characters(name);
    std::vector<std::pair<std::size_t, Strings>> choices;  // position, its alternatives
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const std::string& c = chars[i];
        if (c.size() == 1 && std::isalpha(static_cast<unsigned char>(c[0]))) {
            char other = std::islower(static_cast<unsigned char>(c[0])) ? static_cast<char>(std::toupper(c[0]))
                                                                        : static_cast<char>(std::tolower(c[0]));
            Strings alternatives = {std::string(1, other)};
            for (const Strings& group : kAlike)
                if (std::find(group.begin(), group.end(), c) != group.end())
                    for (const std::string& g : group)
                        if (g != c && g != alternatives[0]) alternatives.push_back(g);
            choices.emplace_back(i, alternatives);
            continue;
        }
        for (const Strings& group : kAlike) {
            if (std::find(group.begin(), group.end(), c) == group.end()) continue;
            Strings alternatives;
            for (const std::string& g : group)
                if (g != c) alternatives.push_back(g);
            choices.emplace_back(i, alternatives);
        }
    }
    if (choices.empty()) return "";
    const auto& [position, alternatives] = r.pick(choices);
    chars[position] = r.pick(alternatives);
    std::string out;
    for (const std::string& c : chars) out += c;
    return out;
}

// True for a case variant of a system table's name that is not "MSys" in ASCII ("Mſys..."):
// system tables are told by their ASCII prefix, and such a name would leave it to chance.
bool likeSystemName(const std::string& name)
{
    Strings chars = characters(name);
    if (chars.size() < 4 || (chars[0] != "m" && chars[0] != "M")) return false;
    std::string prefix;
    for (std::size_t i = 0; i < 4; ++i) prefix += chars[i];
    bool ascii = prefix.size() == 4;
    std::string lower;
    for (char c : prefix) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return !ascii && (lower.find('y') != std::string::npos);
}

// A name not in taken: often a case variant of one that is, otherwise a random one.
std::string freshName(Random& r, const std::set<std::string>& taken)
{
    for (int attempt = 0;; ++attempt) {
        std::string name;
        if (!taken.empty() && r.chance(25)) {
            auto it = taken.begin();
            std::advance(it, r.below(static_cast<std::uint32_t>(taken.size())));
            name = caseVariant(r, *it);
        }
        if (name.empty()) name = randomName(r);
        if (attempt > 50) name += std::to_string(attempt);  // a way out of a crowded name space
        if (!taken.count(name) && units(name) <= 64 && !likeSystemName(name)) return name;
    }
}

// The names of tables, linked tables and queries, which share one name space, and the names of
// the system tables the generator always writes.
std::set<std::string> objectNames(const DesignSpec& d)
{
    std::set<std::string> names = {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"};
    for (const auto& t : d.tables) names.insert(t.name);
    for (const auto& l : d.links) names.insert(l.name);
    for (const auto& q : d.queries) names.insert(q.name);
    return names;
}

// A name as a query expression writes it: bracketed unless it is letters, digits and "_" only.
std::string sqlRef(const std::string& name)
{
    bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9');
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x80 && !std::isalnum(static_cast<unsigned char>(c)) && c != '_')
            plain = false;
    return plain ? name : "[" + name + "]";
}

// ---------------------------------------------------------------------------------------------
// Fields and properties

const Strings kTexts = {"", "x", "Too small", "Ошибка", "µ ſ \u212A", "Größe", "\"q\"", "=Now()", "😀", "a b c"};

// A value of a property type, as a description writes it (unquoted: the caller quotes texts).
std::string valueOf(Random& r, const std::string& type)
{
    if (type == "yesno") return r.chance(50) ? "yes" : "no";
    if (type == "byte") return r.pick(Strings{"0", "255", "2"});
    if (type == "integer") return r.pick(Strings{"0", "-32768", "32767", "7"});
    if (type == "long") return r.pick(Strings{"0", "1", "-1", "2147483647", "-2147483648", "42"});
    // Singles with no exact binary form: their exact value is not the decimal written.
    if (type == "single")
        return r.pick(
            Strings{"0.1", "0.2", "1.1", "3.14159", "-2.5", "100.7", "0.001", "16777217", "0.5", "1e10", "-0.3"});
    if (type == "double") return r.pick(Strings{"0.1", "1.5", "-3.25", "1e300", "12345.678", "0"});
    if (type == "currency") return r.pick(Strings{"0", "1.2345", "-5.5", "100"});
    if (type == "datetime") return r.pick(Strings{"45292.5", "0", "-1.25", "36526"});
    if (type == "binary" || type == "ole") return r.pick(Strings{"0x", "0x00", "0xDEADBEEF", "0x0102"});
    if (type == "guid")
        return r.pick(Strings{"{00112233-4455-6677-8899-AABBCCDDEEFF}", "{6F9619FF-8B86-D011-B42D-00C04FC964FF}"});
    return r.pick(kTexts);  // text, memo
}

// A property of the given type with a random value of it, written with its type.
PropertySpec property(Random& r, const std::string& name, const std::string& type)
{
    PropertySpec p{name, type, valueOf(r, type), type == "text" || type == "memo"};
    return p;
}

// A text property without a type: the description's quotes make it a text (or the type Access
// gives the property, for DefaultValue and Description a memo).
PropertySpec textProperty(const std::string& name, const std::string& value)
{
    return {name, "", value, true};
}

// Sometimes writes the name of one of the properties in another letter case ("required",
// "DEFAULTVALUE"): property names are the same whatever their case.
void recaseOne(Random& r, std::vector<PropertySpec>& properties, const Strings& names)
{
    std::vector<PropertySpec*> candidates;
    for (auto& p : properties)
        if (std::find(names.begin(), names.end(), p.name) != names.end()) candidates.push_back(&p);
    if (candidates.empty() || !r.chance(6)) return;
    std::string& name = r.pick(candidates)->name;
    const bool upper = r.chance(30);
    for (char& c : name)
        c = static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(c))
                                    : std::tolower(static_cast<unsigned char>(c)));
}

// True when a and b are the same property name, ASCII letters compared without their case.
bool sameProperty(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Properties of a field: the compared ones as Access stores them, sometimes of another type or
// empty, and others of every type.
std::vector<PropertySpec> randomFieldProperties(Random& r, const FieldSpec& f)
{
    std::vector<PropertySpec> out;
    const bool textual = f.type == "text" || f.type == "memo";
    if (r.chance(30)) {
        if (r.chance(85))
            out.push_back(textProperty("DefaultValue",
                                       r.pick(Strings{"0", "1", "\"x\"", "Date()", "", "Yes", "=Now()", "Größe"})));
        else
            out.push_back(
                property(r, "DefaultValue", r.pick(Strings{"long", "binary", "single", "text", "memo", "yesno"})));
    }
    if (r.chance(15))
        out.push_back(textProperty(
            "ValidationRule", r.pick(Strings{">0", "<>\"\"", "", "Is Not Null", "Between 1 And 10", "Like \"ſ*\""})));
    if (r.chance(15)) out.push_back(textProperty("ValidationText", r.pick(kTexts)));
    if (r.chance(30)) {
        if (r.chance(85))
            out.push_back({"Required", "", r.chance(50) ? "yes" : "no", false});
        else {
            const std::string type = r.pick(Strings{"integer", "long", "byte"});
            out.push_back(
                {"Required", type, r.pick(type == "byte" ? Strings{"0", "1", "255"} : Strings{"-1", "0", "1"}), false});
        }
    }
    if (r.chance(textual ? 30 : 5)) out.push_back({"AllowZeroLength", "", r.chance(50) ? "yes" : "no", false});
    if (r.chance(20)) out.push_back(textProperty("Description", r.pick(kTexts)));
    if (r.chance(10)) out.push_back(textProperty("Format", r.pick(Strings{">", "Standard", "", "Percent"})));
    if (r.chance(25)) {
        static const std::vector<std::pair<std::string, std::string>> kOthers = {
            {"DecimalPlaces", "byte"}, {"ColumnWidth", "integer"}, {"Scale", "single"},    {"Ratio", "double"},
            {"Counter", "long"},       {"Stamp", "datetime"},      {"Amount", "currency"}, {"Shown", "yesno"},
            {"Blob", "binary"},        {"Picture", "ole"},         {"Key", "guid"},        {"Remark", "memo"},
            {"Label", "text"},         {"Precise", "single"}};
        const int count = r.between(1, 3);
        for (int i = 0; i < count; ++i) {
            const auto& [name, type] = r.pick(kOthers);
            if (std::none_of(out.begin(), out.end(), [&](const PropertySpec& p) { return p.name == name; }))
                out.push_back(property(r, name, type));
        }
    }
    if (r.chance(8)) {  // names whose place among the others depends on case folding
        static const Strings kNames = {"µNote", "ſtyle", "Style",       "Ωmega",  "ǅata",
                                       "Жук",   "ärger", "\u212Aelvin", "kelvin", "😀Tag"};
        const std::string name = r.pick(kNames);
        if (std::none_of(out.begin(), out.end(), [&](const PropertySpec& p) { return p.name == name; }))
            out.push_back(textProperty(name, r.pick(kTexts)));
    }
    recaseOne(r, out, {"DefaultValue", "ValidationRule", "ValidationText", "Required", "AllowZeroLength"});
    return out;
}

// Gives f a random type, with a size, precision and scale, compression or AutoNumber as the
// type has them; AutoNumber only where allowed (one a table).
void randomType(Random& r, FieldSpec& f, bool autoNumberAllowed)
{
    f.type = r.pick(Strings{"yesno", "byte", "integer", "long", "currency", "single", "double", "datetime", "text",
                            "text", "memo", "ole", "guid", "decimal", "binary", "long"});
    f.size = 0;
    f.autoNumber = false;
    f.noCompression = false;
    f.precision = 18;
    f.scale = 0;
    if (f.type == "text") {
        f.size = r.chance(70) ? r.pick(std::vector<int>{1, 10, 50, 100, 255}) : r.between(1, 255);
        f.noCompression = r.chance(10);
    } else if (f.type == "binary") {
        f.size = r.between(1, 255);
    } else if (f.type == "decimal") {
        f.precision = r.between(1, 28);
        f.scale = r.between(0, f.precision);
    } else if ((f.type == "long" || f.type == "guid") && autoNumberAllowed) {
        f.autoNumber = r.chance(20);
    } else if (f.type == "memo") {
        f.noCompression = r.chance(10);
    }
}

// Memo and OLE fields cannot be indexed.
bool indexable(const FieldSpec& f)
{
    return f.type != "memo" && f.type != "ole";
}

// The names of t's fields.
std::set<std::string> fieldNames(const TableSpec& t)
{
    std::set<std::string> names;
    for (const auto& f : t.fields) names.insert(f.name);
    return names;
}

// True when one of t's fields is an AutoNumber.
bool hasAutoNumber(const TableSpec& t)
{
    return std::any_of(t.fields.begin(), t.fields.end(), [](const FieldSpec& f) { return f.autoNumber; });
}

// A field for t, under a name t does not have yet, sometimes after deleted column numbers.
FieldSpec randomField(Random& r, const TableSpec& t)
{
    FieldSpec f;
    f.name = freshName(r, fieldNames(t));
    randomType(r, f, !hasAutoNumber(t));
    f.deletedBefore = r.chance(8) ? r.between(1, 2) : 0;
    f.properties = randomFieldProperties(r, f);
    return f;
}

// ---------------------------------------------------------------------------------------------
// Indexes and tables

std::set<std::string> indexNames(const TableSpec& t)
{
    std::set<std::string> names = {"PrimaryKey"};  // kept for the primary key
    for (const auto& ix : t.indexes) names.insert(ix.name);
    return names;
}

// count distinct indexable fields of t in random order; fewer when t has fewer.
Strings someFields(Random& r, const TableSpec& t, std::size_t count, bool indexableOnly)
{
    Strings pool;
    for (const auto& f : t.fields)
        if (!indexableOnly || indexable(f)) pool.push_back(f.name);
    Strings out;
    while (out.size() < count && !pool.empty()) {
        std::size_t i = r.below(static_cast<std::uint32_t>(pool.size()));
        out.push_back(pool[i]);
        pool.erase(pool.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return out;
}

// True when t has a primary key.
bool hasPrimaryKey(const TableSpec& t)
{
    return std::any_of(t.indexes.begin(), t.indexes.end(), [](const IndexSpec& ix) { return ix.primary; });
}

// Adds a random index (a primary key when primary is set); false when no field can be indexed.
bool addRandomIndex(Random& r, TableSpec& t, bool primary)
{
    IndexSpec ix;
    ix.primary = primary;
    ix.name = primary && r.chance(85) ? "PrimaryKey" : freshName(r, indexNames(t));
    if (primary && !indexNames(t).count("PrimaryKey")) ix.name = "PrimaryKey";
    for (const std::string& field : someFields(r, t, static_cast<std::size_t>(r.between(1, primary ? 2 : 3)), true))
        ix.columns.push_back({field, !primary && r.chance(30)});
    if (ix.columns.empty()) return false;
    if (!primary) {
        ix.unique = r.chance(35);
        ix.ignoreNulls = r.chance(25);
        ix.required = r.chance(20);
    }
    t.indexes.push_back(ix);
    return true;
}

// A table of one to six fields, maybe a primary key and up to two other indexes.
TableSpec randomTable(Random& r, const std::string& name)
{
    TableSpec t;
    t.name = name;
    t.hidden = r.chance(8);
    const int fields = r.between(1, 6);
    for (int i = 0; i < fields; ++i) t.fields.push_back(randomField(r, t));
    t.deletedAfter = r.chance(8) ? 1 : 0;
    if (r.chance(60)) addRandomIndex(r, t, true);
    const int indexes = r.between(0, 2);
    for (int i = 0; i < indexes; ++i) addRandomIndex(r, t, false);
    if (r.chance(15)) t.properties.push_back(textProperty("Description", r.pick(kTexts)));
    return t;
}

// ---------------------------------------------------------------------------------------------
// Relationships

// The table of d of exactly that name, or nullptr.
TableSpec* findTable(DesignSpec& d, const std::string& name)
{
    for (auto& t : d.tables)
        if (t.name == name) return &t;
    return nullptr;
}

// True when t has an index of exactly that name.
bool hasIndexNamed(const TableSpec& t, const std::string& name)
{
    return std::any_of(t.indexes.begin(), t.indexes.end(), [&](const IndexSpec& ix) { return ix.name == name; });
}

// The unique index of t over exactly these fields, all ascending, that an enforced relationship needs.
bool hasUniqueIndexOn(const TableSpec& t, const Strings& fields)
{
    for (const auto& ix : t.indexes) {
        if (!(ix.unique || ix.primary) || ix.columns.size() != fields.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < fields.size(); ++i)
            same = same && ix.columns[i].field == fields[i] && !ix.columns[i].descending;
        if (same) return true;
    }
    return false;
}

// The names of d's relationships.
std::set<std::string> relationshipNames(const DesignSpec& d)
{
    std::set<std::string> names;
    for (const auto& rel : d.relationships) names.insert(rel.name);
    return names;
}

// Adds a relationship between two tables of d (or a table and itself) over one or two fields,
// enforced over a unique index of the primary table when it has one, with random cascades, join
// type and one-to-one setting; false when none could be made.
bool addRandomRelationship(Random& r, DesignSpec& d)
{
    if (d.tables.empty()) return false;
    RelationshipSpec rel;
    const TableSpec& p = r.pick(d.tables);
    const TableSpec& f = r.pick(d.tables);
    rel.primaryTable = p.name;
    rel.foreignTable = f.name;
    std::vector<const IndexSpec*> keys;  // unique indexes an enforced relationship can use
    for (const auto& ix : p.indexes)
        if ((ix.unique || ix.primary) &&
            std::none_of(ix.columns.begin(), ix.columns.end(), [](const IndexColumnSpec& c) { return c.descending; }))
            keys.push_back(&ix);
    rel.enforced = !keys.empty() && r.chance(60);
    if (rel.enforced) {
        for (const auto& c : r.pick(keys)->columns) rel.primaryFields.push_back(c.field);
    } else {
        rel.primaryFields = someFields(r, p, static_cast<std::size_t>(r.between(1, 2)), false);
    }
    rel.foreignFields = someFields(r, f, rel.primaryFields.size(), false);
    if (rel.foreignFields.size() != rel.primaryFields.size() || rel.primaryFields.empty()) return false;
    do {
        rel.name = r.chance(50) ? freshName(r, relationshipNames(d)) : p.name + f.name;
    } while (relationshipNames(d).count(rel.name) || units(rel.name) > 64 ||
             (rel.enforced && hasIndexNamed(f, rel.name)));
    rel.cascadeUpdate = r.chance(30);
    rel.cascadeDelete = r.chance(30);
    rel.cascadeNull = !rel.cascadeDelete && r.chance(15);
    rel.oneToOne = r.chance(10);
    rel.join = r.pick(Strings{"", "inner", "left", "right"});
    d.relationships.push_back(rel);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Queries

// A text in double quotes as a description writes it, its quotes doubled: a"b -> "a""b".
std::string quote(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

// One source of a query's FROM: the name join rows use for it, and its fields to refer to.
struct Source {
    std::string key;
    Strings fields;
};

// Sources, joins, columns and criteria that the query types share.
class QueryBuilder {
public:
    QueryBuilder(Random& r, const DesignSpec& d) : r_(r), d_(d) {}

    Strings lines;

    // 1 to max sources: tables, linked tables or a name no table has, with aliases; in a select
    // sometimes a derived table.
    void sources(int max, bool derivedAllowed)
    {
        const int count = r_.between(1, max);
        for (int i = 0; i < count; ++i) {
            if (derivedAllowed && r_.chance(10) && !d_.tables.empty()) {
                const TableSpec& t = r_.pick(d_.tables);
                const std::string field = r_.pick(t.fields).name;
                const std::string alias = uniqueKey(r_.pick(Strings{"Sub", "Sub Query", "2nd", "Ärger"}));
                lines.push_back("row 5 name2=" + quote(alias) + " expression=" +
                                quote("SELECT " + sqlRef(t.name) + "." + sqlRef(field) + " FROM " + sqlRef(t.name)));
                sources_.push_back({alias, {field}});
                continue;
            }
            std::string name = "Archive";
            Strings fields = {"ID", "Amount"};
            if (!d_.tables.empty() && r_.chance(85)) {
                const TableSpec& t = r_.pick(d_.tables);
                name = t.name;
                fields.clear();
                for (const auto& f : t.fields) fields.push_back(f.name);
            } else if (!d_.links.empty() && r_.chance(50)) {
                name = r_.pick(d_.links).name;
            }
            std::string line = "from " + quote(name);
            std::string key = name;
            if (r_.chance(30) || keyTaken(name)) {
                key = uniqueKey(r_.pick(Strings{"A", "B2", "Other", "Sub Total", "2nd", "Ärger", "ſ"}));
                line += " as " + quote(key);
            }
            lines.push_back(line);
            sources_.push_back({key, fields});
        }
    }

    // Joins the sources as a tree, each join row naming one source already joined and one not
    // yet (either way round); sometimes a second condition for the same two sources.
    void joins()
    {
        if (sources_.size() < 2 || !r_.chance(75)) return;
        std::vector<std::size_t> joined = {0};
        for (std::size_t k = 1; k < sources_.size(); ++k) {
            std::size_t a = joined[r_.below(static_cast<std::uint32_t>(joined.size()))];
            const bool reversed = r_.chance(30);
            const std::string& left = sources_[reversed ? k : a].key;
            const std::string& right = sources_[reversed ? a : k].key;
            const std::string type = r_.pick(Strings{"inner", "inner", "left", "right"});
            const int conditions = r_.chance(20) ? 2 : 1;
            for (int c = 0; c < conditions; ++c)
                lines.push_back("join " + type + " " + quote(left) + " " + quote(right) + " " +
                                quote(ref(reversed ? k : a) + " = " + ref(reversed ? a : k)));
            joined.push_back(k);
        }
    }

    // A field of a random source (or of source i) as an expression: "[Big Table].[Price]".
    std::string ref(std::size_t i) const
    {
        const Source& s = sources_[i];
        return sqlRef(s.key) + "." + sqlRef(s.fields.empty() ? std::string("ID") : r_.pick(s.fields));
    }
    std::string ref() const { return ref(r_.below(static_cast<std::uint32_t>(sources_.size()))); }

    std::string alias() const { return r_.pick(Strings{"Total", "Sum of x", "2nd", "µ", "Größe", "Expr1"}); }

    // Parameters of every type, a Text parameter with its size, one of no type (0), and names
    // as Access keeps them, a form's control in brackets included.
    void parameters()
    {
        if (!r_.chance(30)) return;
        const int count = r_.between(1, 2);
        std::set<std::string> used;
        for (int i = 0; i < count; ++i) {
            std::string name =
                r_.pick(Strings{"Since", "[Forms]![Main]![Start]", "Enter name:", "p1", "Größe", "ſtart"});
            if (!used.insert(name).second) continue;
            const int kind = r_.between(0, 9);
            if (kind == 0)
                lines.push_back("row 2 flag=0 name1=" + quote(name));
            else if (kind <= 2)
                lines.push_back("parameter " + quote(name) + " text(" + std::to_string(r_.between(1, 255)) + ")");
            else
                lines.push_back("parameter " + quote(name) + " " +
                                r_.pick(Strings{"yesno", "byte", "integer", "long", "currency", "single", "double",
                                                "datetime", "binary", "text", "ole", "memo", "guid", "decimal"}));
        }
    }

    void where()
    {
        if (r_.chance(40))
            lines.push_back("where " + quote(ref() + r_.pick(Strings{" > 0", " Is Not Null", " = \"ſ\""})));
    }

    // ORDER BY rows, descending ones written with "D" or, as some files keep it, "d".
    void orderBy(const Strings& expressions)
    {
        if (expressions.empty() || !r_.chance(40)) return;
        const int count = r_.between(1, 2);
        for (int i = 0; i < count; ++i) {
            const std::string e = r_.pick(expressions);
            const int direction = r_.between(0, 3);
            if (direction == 0)
                lines.push_back("row 11 name1=\"d\" expression=" + quote(e));
            else
                lines.push_back("orderby " + quote(e) + (direction == 1 ? " desc" : direction == 2 ? " asc" : ""));
        }
    }

    std::size_t sourceCount() const { return sources_.size(); }

private:
    // Jet tells the names of a query's sources apart without regard to the case of ASCII letters.
    bool keyTaken(const std::string& key) const
    {
        auto lower = [](std::string s) {
            for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        return std::any_of(sources_.begin(), sources_.end(),
                           [&](const Source& s) { return lower(s.key) == lower(key); });
    }
    std::string uniqueKey(std::string key) const
    {
        for (int n = 2; keyTaken(key); ++n) key += std::to_string(n);
        return key;
    }

    Random& r_;
    const DesignSpec& d_;
    std::vector<Source> sources_;
};

// An "option" line of random options: *, DISTINCT or DISTINCTROW, owner access, TOP n [PERCENT].
std::string optionLine(Random& r, bool starAllowed)
{
    std::string line = "option";
    if (starAllowed && r.chance(40)) line += " star";
    if (r.chance(30))
        line += " distinct";
    else if (r.chance(20))
        line += " distinctrow";
    if (r.chance(15)) line += " owneraccess";
    if (r.chance(25)) {
        line += " top=" + r.pick(Strings{"5", "10", "25"});
        if (r.chance(40)) line += " percent";
    }
    return line;
}

// A query's stored properties, often none: the compared ones (ODBCTimeout, MaxRecords,
// ReturnsRecords, Connect, also empty) and others of several types.
std::vector<PropertySpec> randomQueryProperties(Random& r)
{
    std::vector<PropertySpec> out;
    if (!r.chance(35)) return out;
    const std::vector<std::function<PropertySpec()>> makers = {
        [&] {
            return PropertySpec{"ODBCTimeout", "integer", r.pick(Strings{"0", "30", "120"}), false};
        },
        [&] {
            return PropertySpec{"MaxRecords", "long", r.pick(Strings{"0", "100"}), false};
        },
        [&] {
            return PropertySpec{"ReturnsRecords", "", r.chance(50) ? "yes" : "no", false};
        },
        [&] {
            return textProperty("Connect", r.pick(Strings{"", "ODBC;DSN=x"}));
        },
        [&] { return textProperty("Description", r.pick(kTexts)); },
        [&] {
            return PropertySpec{"RecordLocks", "byte", "2", false};
        },
        [&] { return property(r, "Scale", "single"); },
        [&] { return property(r, "Blob", "binary"); },
        [&] {
            return PropertySpec{"FailOnError", "", "yes", false};
        },
    };
    const int count = r.between(1, 3);
    for (int i = 0; i < count; ++i) {
        PropertySpec p = r.pick(makers)();
        if (std::none_of(out.begin(), out.end(), [&](const PropertySpec& q) { return q.name == p.name; }))
            out.push_back(p);
    }
    recaseOne(r, out, {"ODBCTimeout", "MaxRecords", "ReturnsRecords", "Connect"});
    return out;
}

// A query of a random type over d's tables, with the rows that type has.
QuerySpec randomQuery(Random& r, const DesignSpec& d, const std::string& name)
{
    QuerySpec q;
    q.name = name;
    q.hidden = r.chance(5);
    q.type = r.pick(Strings{"select", "select", "select", "crosstab", "delete", "update", "append", "maketable", "ddl",
                            "passthrough", "union"});
    QueryBuilder b(r, d);
    if (q.type == "ddl") {
        b.lines.push_back("sql " + quote(r.pick(Strings{"CREATE TABLE [New] (A TEXT(10));", "DROP TABLE Old",
                                                        "CREATE INDEX ix ON T (a) WITH PRIMARY"})));
    } else if (q.type == "passthrough") {
        b.lines.push_back("connect " + quote(r.pick(Strings{"ODBC;DSN=x", "ODBC;DRIVER={SQL Server};SERVER=s"})));
        b.lines.push_back("sql " + quote(r.pick(Strings{"EXEC sp_who", "SELECT * FROM dbo.T"})));
    } else if (q.type == "union") {
        const int parts = r.between(2, 3);
        if (r.chance(50))
            b.lines.push_back(
                r.pick(Strings{"option distinct", "option star", "option owneraccess", "option distinct owneraccess"}));
        for (int i = 0; i < parts; ++i) {
            std::string part = "SELECT " + r.pick(Strings{"a", "[Big Table].b", "ſ"}) + " FROM " +
                               r.pick(Strings{"T", "[Line 2]", "U"});
            if (i + 1 < parts) part += " ";
            b.lines.push_back("union " + quote(part));
        }
        b.orderBy({"a", "b"});
    } else {
        b.parameters();
        if (q.type == "select" && r.chance(35)) b.lines.push_back(optionLine(r, true));
        if ((q.type == "delete" || q.type == "update") && r.chance(20)) b.lines.push_back("option distinctrow");
        if (q.type == "maketable")
            b.lines.push_back("target " + quote(r.pick(Strings{"New Table", "Archive", "Größe"})));
        if (q.type == "append")
            b.lines.push_back("target " + quote(d.tables.empty() ? std::string("Archive") : r.pick(d.tables).name));
        b.sources(q.type == "select" || q.type == "crosstab" ? 3 : 2, q.type == "select");
        b.joins();
        Strings expressions;  // what ORDER BY may name
        if (q.type == "crosstab") {
            b.lines.push_back("column " + quote("Count(" + b.ref() + ")") + " as " + quote("CountOf") + " flag=0");
            const int headings = r.between(1, 2);
            Strings rowHeadings;
            for (int i = 0; i < headings; ++i) rowHeadings.push_back(b.ref());
            std::string pivot = b.ref();
            for (const auto& h : rowHeadings) b.lines.push_back("column " + quote(h) + " flag=2");
            b.lines.push_back("column " + quote(pivot) + " flag=1");
            b.where();
            for (const auto& h : rowHeadings) b.lines.push_back("groupby " + quote(h) + " flag=2");
            // The pivot's GROUP BY row, sometimes spelled differently from its column.
            std::string spelled = pivot;
            if (r.chance(30)) spelled = "(" + pivot + ")";
            b.lines.push_back("groupby " + quote(spelled) + " flag=1");
            b.orderBy(rowHeadings);
        } else if (q.type == "update") {
            const int count = r.between(1, 2);
            for (int i = 0; i < count; ++i)
                b.lines.push_back("column " + quote(r.pick(Strings{"0", "\"x\"", "[Since]", b.ref() + "*2"})) +
                                  " into " + quote(b.ref()));
            b.where();
        } else {
            const bool grouped = q.type == "select" && r.chance(20);
            const int count = r.between(1, 3);
            const bool targets = q.type == "append" && r.chance(70);
            for (int i = 0; i < count; ++i) {
                std::string e = q.type == "delete" && r.chance(40) ? sqlRef("T") + ".*" : b.ref();
                if (grouped && i == 0) e = "Count(" + e + ")";
                std::string line = "column " + quote(e);
                if (q.type != "delete" && r.chance(30)) line += " as " + quote(b.alias() + std::to_string(i));
                if (targets)
                    line += " into " + quote(r.pick(Strings{"ID", "Amount", "Größe", "Line 2"}) + std::to_string(i));
                b.lines.push_back(line);
                if (!(grouped && i == 0)) expressions.push_back(e);
            }
            b.where();
            if (grouped) {
                for (const auto& e : expressions) b.lines.push_back("groupby " + quote(e));
                if (r.chance(50)) b.lines.push_back("having " + quote("Count(*) > 1"));
            }
            if (q.type == "select" || q.type == "maketable") b.orderBy(expressions);
        }
    }
    q.lines = b.lines;
    q.properties = randomQueryProperties(r);
    return q;
}

// A table linked from another Access file or through ODBC.
LinkSpec randomLink(Random& r, const std::string& name)
{
    LinkSpec l;
    l.name = name;
    if (r.chance(50))
        l.database = r.pick(Strings{"C:\\data\\other.mdb", "\\\\server\\share\\Größe.mdb"});
    else
        l.connect = r.pick(Strings{"ODBC;DSN=x", "ODBC;DSN=y;UID=me"});
    if (r.chance(40)) l.foreign = r.pick(Strings{"Remote", "dbo_Orders", "Ärger"});
    return l;
}

// ---------------------------------------------------------------------------------------------
// Keeping an edited design writable

// Drops what an edit left without its ground: index columns naming no field or a memo or OLE
// field, empty indexes, relationships naming a missing table or field, and enforced
// relationships without the unique index they need or whose index name a table already uses.
void repair(DesignSpec& d)
{
    for (auto& t : d.tables) {
        for (auto& ix : t.indexes)
            std::erase_if(ix.columns, [&](const IndexColumnSpec& c) {
                auto f = std::find_if(t.fields.begin(), t.fields.end(),
                                      [&](const FieldSpec& x) { return x.name == c.field; });
                return f == t.fields.end() || !indexable(*f);
            });
        std::erase_if(t.indexes, [](const IndexSpec& ix) { return ix.columns.empty(); });
        // Columns named twice (a field renamed to a name the index already has) are kept once.
        for (auto& ix : t.indexes) {
            std::set<std::string> seen;
            std::erase_if(ix.columns, [&](const IndexColumnSpec& c) { return !seen.insert(c.field).second; });
        }
    }
    std::set<std::string> names;
    std::erase_if(d.relationships, [&](RelationshipSpec& rel) {
        TableSpec* p = findTable(d, rel.primaryTable);
        TableSpec* f = findTable(d, rel.foreignTable);
        if (!p || !f || !names.insert(rel.name).second) return true;
        for (const auto& n : rel.primaryFields)
            if (!fieldNames(*p).count(n)) return true;
        for (const auto& n : rel.foreignFields)
            if (!fieldNames(*f).count(n)) return true;
        if (rel.enforced && !hasUniqueIndexOn(*p, rel.primaryFields)) rel.enforced = false;
        return rel.enforced && hasIndexNamed(*f, rel.name);
    });
}

// Follows a table's new name in the relationships that name it.
void renameTableReferences(DesignSpec& d, const std::string& from, const std::string& to)
{
    for (auto& rel : d.relationships) {
        if (rel.primaryTable == from) rel.primaryTable = to;
        if (rel.foreignTable == from) rel.foreignTable = to;
    }
}

// Follows a field's new name in its table's indexes and in the relationships that name it.
void renameFieldReferences(DesignSpec& d, TableSpec& t, const std::string& from, const std::string& to)
{
    for (auto& ix : t.indexes)
        for (auto& c : ix.columns)
            if (c.field == from) c.field = to;
    for (auto& rel : d.relationships) {
        if (rel.primaryTable == t.name)
            for (auto& n : rel.primaryFields)
                if (n == from) n = to;
        if (rel.foreignTable == t.name)
            for (auto& n : rel.foreignFields)
                if (n == from) n = to;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------

DesignSpec randomDesign(Random& r)
{
    DesignSpec d;
    const int tables = r.between(1, 4);
    for (int i = 0; i < tables; ++i) d.tables.push_back(randomTable(r, freshName(r, objectNames(d))));
    if (r.chance(10)) {  // a table of the user's flagged and named as a system table
        TableSpec t = randomTable(r, "MSys" + r.pick(Strings{"Extra", "Log", "Nav"}));
        t.system = true;
        if (!objectNames(d).count(t.name)) d.tables.push_back(t);
    }
    const int links = r.chance(30) ? r.between(1, 2) : 0;
    for (int i = 0; i < links; ++i) d.links.push_back(randomLink(r, freshName(r, objectNames(d))));
    const int relationships = r.between(0, 3);
    for (int i = 0; i < relationships; ++i) addRandomRelationship(r, d);
    const int queries = r.between(1, 4);
    for (int i = 0; i < queries; ++i) d.queries.push_back(randomQuery(r, d, freshName(r, objectNames(d))));
    repair(d);
    return d;
}

Edit randomEdit(Random& r, const DesignSpec& base)
{
    for (;;) {
        Edit e{base, ""};
        DesignSpec& d = e.design;
        TableSpec* t = d.tables.empty() ? nullptr : &d.tables[r.below(static_cast<std::uint32_t>(d.tables.size()))];
        switch (r.below(24)) {
        case 0: {
            std::string name = freshName(r, objectNames(d));
            d.tables.push_back(randomTable(r, name));
            e.what = "add table " + name;
            break;
        }
        case 1:
            if (!t || d.tables.size() < 2) continue;
            e.what = "remove table " + t->name;
            d.tables.erase(d.tables.begin() + (t - d.tables.data()));
            break;
        case 2: {
            if (!t) continue;
            std::string name = caseVariant(r, t->name);
            if (name.empty() || r.chance(50) || objectNames(d).count(name)) name = freshName(r, objectNames(d));
            e.what = "rename table " + t->name + " to " + name;
            renameTableReferences(d, t->name, name);
            t->name = name;
            break;
        }
        case 3: {
            if (!t || t->fields.size() >= 20) continue;
            FieldSpec f = randomField(r, *t);
            e.what = "add field " + t->name + "." + f.name;
            t->fields.insert(t->fields.begin() + r.below(static_cast<std::uint32_t>(t->fields.size() + 1)), f);
            break;
        }
        case 4: {
            if (!t || t->fields.size() < 2) continue;
            std::size_t i = r.below(static_cast<std::uint32_t>(t->fields.size()));
            e.what = "remove field " + t->name + "." + t->fields[i].name;
            const int gap = t->fields[i].deletedBefore + (r.chance(50) ? 1 : 0);  // Access leaves its number unused
            t->fields.erase(t->fields.begin() + static_cast<std::ptrdiff_t>(i));
            if (i < t->fields.size())
                t->fields[i].deletedBefore += gap;
            else
                t->deletedAfter += gap;
            break;
        }
        case 5: {
            if (!t) continue;
            FieldSpec& f = t->fields[r.below(static_cast<std::uint32_t>(t->fields.size()))];
            std::string name = caseVariant(r, f.name);
            if (name.empty() || r.chance(40) || fieldNames(*t).count(name)) name = freshName(r, fieldNames(*t));
            e.what = "rename field " + t->name + "." + f.name + " to " + name;
            const std::string old = f.name;
            f.name = name;
            renameFieldReferences(d, *t, old, name);
            break;
        }
        case 6:
        case 7: {  // a field's type or size
            if (!t) continue;
            FieldSpec& f = t->fields[r.below(static_cast<std::uint32_t>(t->fields.size()))];
            if ((f.type == "text" || f.type == "binary") && r.chance(60)) {
                f.size = f.size == 255 ? 254 : f.size + r.between(1, 255 - f.size);
                e.what = "resize field " + t->name + "." + f.name;
            } else {
                const bool autoNumber = f.autoNumber;
                randomType(r, f, autoNumber || !hasAutoNumber(*t));
                e.what = "change the type of field " + t->name + "." + f.name + " to " + f.type;
            }
            break;
        }
        case 8:
        case 9:
        case 10: {  // a field's property: added, removed, changed
            if (!t) continue;
            FieldSpec& f = t->fields[r.below(static_cast<std::uint32_t>(t->fields.size()))];
            std::vector<PropertySpec> fresh = randomFieldProperties(r, f);
            // A compared text emptied or filled: the comparison must see "" and "x" as different.
            auto compared = std::find_if(f.properties.begin(), f.properties.end(), [](const PropertySpec& p) {
                return p.quoted && (sameProperty(p.name, "DefaultValue") || sameProperty(p.name, "ValidationRule") ||
                                    sameProperty(p.name, "ValidationText"));
            });
            if (compared != f.properties.end() && r.chance(40)) {
                compared->value = compared->value.empty() ? r.pick(Strings{"x", "0", "Is Not Null"}) : "";
                e.what = "set property " + compared->name + " of field " + t->name + "." + f.name + " to \"" +
                         compared->value + "\"";
            } else if (!f.properties.empty() && r.chance(40)) {
                std::size_t i = r.below(static_cast<std::uint32_t>(f.properties.size()));
                e.what = "remove property " + f.properties[i].name + " of field " + t->name + "." + f.name;
                f.properties.erase(f.properties.begin() + static_cast<std::ptrdiff_t>(i));
            } else if (!fresh.empty()) {
                const PropertySpec& p = r.pick(fresh);
                e.what = "set property " + p.name + " of field " + t->name + "." + f.name;
                auto same = std::find_if(f.properties.begin(), f.properties.end(),
                                         [&](const PropertySpec& x) { return sameProperty(x.name, p.name); });
                if (same != f.properties.end())
                    *same = p;
                else
                    f.properties.push_back(p);
            } else {
                continue;
            }
            break;
        }
        case 11: {  // move a field
            if (!t || t->fields.size() < 2) continue;
            std::size_t from = r.below(static_cast<std::uint32_t>(t->fields.size()));
            std::size_t to = r.below(static_cast<std::uint32_t>(t->fields.size() - 1));
            if (to >= from) ++to;
            e.what = "move field " + t->name + "." + t->fields[from].name + " to position " + std::to_string(to);
            FieldSpec f = t->fields[from];
            t->fields.erase(t->fields.begin() + static_cast<std::ptrdiff_t>(from));
            t->fields.insert(t->fields.begin() + static_cast<std::ptrdiff_t>(to), f);
            break;
        }
        case 12: {
            if (!t || t->indexes.size() >= 10) continue;
            const bool primary = !hasPrimaryKey(*t) && r.chance(40);
            if (!addRandomIndex(r, *t, primary)) continue;
            e.what = "add index " + t->name + "." + t->indexes.back().name;
            break;
        }
        case 13: {
            if (!t || t->indexes.empty()) continue;
            std::size_t i = r.below(static_cast<std::uint32_t>(t->indexes.size()));
            e.what = "remove index " + t->name + "." + t->indexes[i].name;
            t->indexes.erase(t->indexes.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
        case 14: {
            if (!t || t->indexes.empty()) continue;
            IndexSpec& ix = t->indexes[r.below(static_cast<std::uint32_t>(t->indexes.size()))];
            std::string name = caseVariant(r, ix.name);
            if (name.empty() || indexNames(*t).count(name)) name = freshName(r, indexNames(*t));
            e.what = "rename index " + t->name + "." + ix.name + " to " + name;
            ix.name = name;
            break;
        }
        case 15: {  // an index's settings or a column's direction
            if (!t || t->indexes.empty()) continue;
            IndexSpec& ix = t->indexes[r.below(static_cast<std::uint32_t>(t->indexes.size()))];
            switch (r.below(4)) {
            case 0: ix.unique = !ix.unique; break;
            case 1: ix.ignoreNulls = !ix.ignoreNulls; break;
            case 2: ix.required = !ix.required; break;
            default: {
                IndexColumnSpec& c = ix.columns[r.below(static_cast<std::uint32_t>(ix.columns.size()))];
                c.descending = !c.descending;
            }
            }
            e.what = "change index " + t->name + "." + ix.name;
            break;
        }
        case 16:
            if (!addRandomRelationship(r, d)) continue;
            e.what = "add relationship " + d.relationships.back().name;
            break;
        case 17: {
            if (d.relationships.empty()) continue;
            std::size_t i = r.below(static_cast<std::uint32_t>(d.relationships.size()));
            e.what = "remove relationship " + d.relationships[i].name;
            d.relationships.erase(d.relationships.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
        case 18: {  // a relationship renamed or its settings changed
            if (d.relationships.empty()) continue;
            RelationshipSpec& rel = d.relationships[r.below(static_cast<std::uint32_t>(d.relationships.size()))];
            if (r.chance(30)) {
                std::string name = freshName(r, relationshipNames(d));
                e.what = "rename relationship " + rel.name + " to " + name;
                rel.name = name;
            } else {
                switch (r.below(5)) {
                case 0: rel.enforced = !rel.enforced; break;
                case 1: rel.cascadeUpdate = !rel.cascadeUpdate; break;
                case 2:
                    rel.cascadeDelete = !rel.cascadeDelete;
                    rel.cascadeNull = false;
                    break;
                case 3: rel.oneToOne = !rel.oneToOne; break;
                default: rel.join = r.pick(Strings{"", "inner", "left", "right"});
                }
                e.what = "change relationship " + rel.name;
            }
            break;
        }
        case 19: {
            std::string name = freshName(r, objectNames(d));
            d.queries.push_back(randomQuery(r, d, name));
            e.what = "add query " + name;
            break;
        }
        case 20: {
            if (d.queries.empty()) continue;
            std::size_t i = r.below(static_cast<std::uint32_t>(d.queries.size()));
            e.what = "remove query " + d.queries[i].name;
            d.queries.erase(d.queries.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
        case 21: {
            if (d.queries.empty()) continue;
            QuerySpec& q = d.queries[r.below(static_cast<std::uint32_t>(d.queries.size()))];
            std::string name = caseVariant(r, q.name);
            if (name.empty() || r.chance(50) || objectNames(d).count(name)) name = freshName(r, objectNames(d));
            e.what = "rename query " + q.name + " to " + name;
            q.name = name;
            break;
        }
        case 22: {  // a query's rows or properties
            if (d.queries.empty()) continue;
            QuerySpec& q = d.queries[r.below(static_cast<std::uint32_t>(d.queries.size()))];
            auto connect = std::find_if(q.properties.begin(), q.properties.end(),
                                        [](const PropertySpec& p) { return sameProperty(p.name, "Connect"); });
            if (connect != q.properties.end() && r.chance(50)) {
                connect->value = connect->value.empty() ? "ODBC;DSN=x" : "";
                e.what = "set property Connect of query " + q.name + " to \"" + connect->value + "\"";
            } else if (r.chance(30)) {
                q.properties = randomQueryProperties(r);
                e.what = "change the properties of query " + q.name;
            } else {
                QuerySpec fresh = randomQuery(r, d, q.name);
                q.type = fresh.type;
                q.lines = fresh.lines;
                e.what = "change query " + q.name + " to a " + q.type + " query";
            }
            break;
        }
        default: {  // a linked table added or removed
            if (!d.links.empty() && r.chance(50)) {
                std::size_t i = r.below(static_cast<std::uint32_t>(d.links.size()));
                e.what = "remove linked table " + d.links[i].name;
                d.links.erase(d.links.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                std::string name = freshName(r, objectNames(d));
                d.links.push_back(randomLink(r, name));
                e.what = "add linked table " + name;
            }
        }
        }
        repair(d);
        return e;
    }
}

std::string describe(const DesignSpec& d)
{
    auto propertyText = [](const PropertySpec& p) {
        return quote(p.name) + (p.type.empty() ? "" : ":" + p.type) + "=" + (p.quoted ? quote(p.value) : p.value);
    };
    std::string out;
    for (const auto& t : d.tables) {
        out += "table " + quote(t.name) + (t.system ? " system" : "") + (t.hidden ? " hidden" : "") + "\n";
        for (const auto& f : t.fields) {
            if (f.deletedBefore) out += "  deleted " + std::to_string(f.deletedBefore) + "\n";
            out += "  field " + quote(f.name) + " " + f.type;
            if (f.type == "text" || f.type == "binary") out += "(" + std::to_string(f.size) + ")";
            if (f.type == "decimal") out += "(" + std::to_string(f.precision) + ", " + std::to_string(f.scale) + ")";
            if (f.autoNumber) out += " autonumber";
            if (f.noCompression) out += " nocompression";
            for (const auto& p : f.properties) out += " " + propertyText(p);
            out += "\n";
        }
        if (t.deletedAfter) out += "  deleted " + std::to_string(t.deletedAfter) + "\n";
        for (const auto& ix : t.indexes) {
            out += "  index " + quote(ix.name) + " (";
            for (std::size_t i = 0; i < ix.columns.size(); ++i)
                out += (i ? ", " : "") + quote(ix.columns[i].field) + (ix.columns[i].descending ? " desc" : "");
            out += ")";
            if (ix.primary) out += " primary";
            if (ix.unique) out += " unique";
            if (ix.ignoreNulls) out += " ignorenulls";
            if (ix.required) out += " required";
            out += "\n";
        }
        for (const auto& p : t.properties) out += "  property " + propertyText(p) + "\n";
    }
    for (const auto& l : d.links) {
        out += "linked " + quote(l.name) +
               (l.database.empty() ? " connect=" + quote(l.connect) : " database=" + quote(l.database));
        if (!l.foreign.empty()) out += " foreign=" + quote(l.foreign);
        out += "\n";
    }
    auto fieldList = [](const Strings& fields) {
        std::string s = "(";
        for (std::size_t i = 0; i < fields.size(); ++i) s += (i ? ", " : "") + quote(fields[i]);
        return s + ")";
    };
    for (const auto& rel : d.relationships) {
        out += "relationship " + quote(rel.name) + " " + quote(rel.primaryTable) + fieldList(rel.primaryFields) +
               " -> " + quote(rel.foreignTable) + fieldList(rel.foreignFields);
        if (rel.enforced) out += " enforced";
        if (rel.cascadeUpdate) out += " cascadeupdate";
        if (rel.cascadeDelete) out += " cascadedelete";
        if (rel.cascadeNull) out += " cascadenull";
        if (rel.oneToOne) out += " onetoone";
        if (!rel.join.empty()) out += " join=" + rel.join;
        out += "\n";
    }
    for (const auto& q : d.queries) {
        out += "query " + quote(q.name) + " " + q.type + (q.hidden ? " hidden" : "") + "\n";
        for (const auto& line : q.lines) out += "  " + line + "\n";
        for (const auto& p : q.properties) out += "  property " + propertyText(p) + "\n";
    }
    return out;
}

}  // namespace difftest
