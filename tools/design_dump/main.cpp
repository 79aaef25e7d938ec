// dualyn-design-dump: prints what Dualyn's engine reads from a database, one line per table,
// field, index, relation and query, with the property values at the positions the comparisons
// read. For checking the engine against real files by hand.
//
//     dualyn-design-dump FILE
#include "database_engine.h"
#include "database_file.h"
#include "design_reader.h"

#include <iostream>
#include <sstream>

namespace {

using namespace engine;

std::string value(const Variant& v)
{
    if (v.isBoolean()) return v.boolean() ? "true" : "false";
    return v.describe();
}

// "3 Type=4 6 Size=50": the properties at the given positions.
std::string properties(const Properties& p, std::initializer_list<int> positions)
{
    std::ostringstream out;
    for (int k : positions) {
        if (k >= p.Count()) continue;
        PropertyView item = p.Item(static_cast<std::int16_t>(k));
        if (item.Name() == "SQL") continue;
        out << " " << k << " " << item.Name() << "=" << value(item.Value());
    }
    return out.str();
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::cerr << "usage: dualyn-design-dump FILE\n";
        return 2;
    }
    std::shared_ptr<Database> db;
    try {
        db = std::make_shared<Database>(readDesign(argv[1]));  // in this process: a tool for checking the engine
    } catch (const OpenError& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    std::cout << "Database.Name " << db->Name() << "\n";
    TableDefs tables = db->TableDefs();
    std::cout << "TableDefs " << tables.Count() << "\n";
    for (std::int16_t i = 0; i < tables.Count(); ++i) {
        TableDef t = tables.Item(i);
        std::cout << "[" << i << "] TABLE \"" << t.Name() << "\" fields=" << t.Fields().Count()
                  << " indexes=" << t.Indexes().Count() << "\n";
        for (std::int16_t f = 0; f < t.Fields().Count(); ++f)
            std::cout << "  [" << f << "] FIELD \"" << t.Fields().Item(f).Name() << "\""
                      << properties(t.Fields().Item(f).Properties(), {3, 6, 12, 13, 14, 15, 16}) << "\n";
        for (std::int16_t x = 0; x < t.Indexes().Count(); ++x)
            std::cout << "  [" << x << "] INDEX \"" << t.Indexes().Item(x).Name() << "\""
                      << properties(t.Indexes().Item(x).Properties(), {1, 2, 3, 4, 5, 6, 7}) << "\n";
    }
    Relations relations = db->Relations();
    std::cout << "Relations " << relations.Count() << "\n";
    for (std::int16_t i = 0; i < relations.Count(); ++i) {
        Relation r = relations.Item(i);
        std::cout << "[" << i << "] RELATION \"" << r.Name() << "\"" << properties(r.Properties(), {1, 2, 3, 4})
                  << " Fields:";
        for (std::int16_t f = 0; f < r.Fields().Count(); ++f)
            std::cout << " \"" << r.Fields().Item(f).Name() << "\"->\"" << r.Fields().Item(f).ForeignName() << "\"";
        std::cout << "\n";
    }
    QueryDefs queries = db->QueryDefs();
    std::cout << "QueryDefs " << queries.Count() << "\n";
    for (std::int16_t i = 0; i < queries.Count(); ++i) {
        QueryDef q = queries.Item(i);
        Properties p = q.Properties();
        std::cout << "[" << i << "] QUERY \"" << q.Name() << "\"" << properties(p, {3, 5, 6, 7, 8, 9, 10}) << "\n";
        std::istringstream sql(p.Item(4).Value().text());
        for (std::string line; std::getline(sql, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::cout << "    4 SQL| " << line << "\n";
        }
    }
    return 0;
}
