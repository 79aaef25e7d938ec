// The relation section of the comparison log. Relations are not matched by their names but by a
// description built from their own table, their first field and their foreign table, such as
// "Authors.AuthorID to Books". Each relation of database 1, in the engine's order, is looked up in
// database 2 by its description; a pair found in both has its Attributes value compared (enforced,
// cascades, join type); then the relations database 1 lacks are reported from database 2's side.
// The section ends with "   Relations OK" when it reported nothing. A section for two databases
// that differ in one relation each way:
//
//     (empty line)
//     (empty line)
//     RELATION COMPARISONS
//     (empty line)
//        Authors.AuthorID to Books was not found in shop-v2.mdb
//     (empty line)
//        Books.BookID to Loans was not found in shop-v1.mdb
//
// Each line of difference goes to the log with its twin (difference.h), which names the relation
// by its parts and by its name in each database that has it, and gives both Attributes values.
//
// The section neither shows status or progress nor lets the window handle events. It catches no
// error: a relation without fields or without the properties read here makes the engine throw,
// which ends the run with the lines written so far left in the log.
#include "relation_comparison.h"

#include "value_compare.h"

#include <cstdint>
#include <unordered_map>

namespace dualyn {

namespace {

// Positions in a relation's property list (0 Name, 1 Table, 2 ForeignTable, 3 Attributes, ...).
constexpr std::int16_t kTableProperty = 1;     // the name of the relation's own (primary) table
constexpr std::int16_t kComparedProperty = 3;  // Attributes, the one value compared

// A property value as it reads inside a description: a text as it is, Null as nothing, a number
// or a Boolean as the engine prints it ("60", "True").
std::string AsText(const engine::Variant& value)
{
    if (value.isText()) return value.text();
    if (value.isNull()) return {};
    return value.describe();
}

// The relation as a twin names it, made after DescribeRelation(relation) has succeeded, so that
// every part read here is there: the description and its parts, and the relation's name as the
// name in the given database (1 or 2).
RelationNames NamesOf(const engine::Relation& relation, const std::string& description, int database)
{
    RelationNames names{.description = description,
                        .table = AsText(relation.Properties().Item(kTableProperty).Value()),
                        .field = relation.Fields().Item(0).Name(),
                        .foreignTable = relation.ForeignTable()};
    (database == 1 ? names.name1 : names.name2) = relation.Name();
    return names;
}

// Finds relations of one database by description: Find gives the position of the first relation,
// in position order, whose description is exactly the one asked for (letter case counts), or -1
// when no relation has it. Descriptions are made once each and remembered, walking the relations
// in position order no further than a lookup needs, so a section costs one pass over each side;
// a relation whose description cannot be made throws at the first lookup that has to walk past
// it, as a search from the first relation on would.
//     RelationFinder finder(db2); finder.Find("Authors.AuthorID to Books") == 0
class RelationFinder {
public:
    explicit RelationFinder(const engine::Database& db) : db_(db), count_(db.Relations().Count()) {}

    std::int16_t Find(const std::string& description)
    {
        if (auto known = firstWith_.find(description); known != firstWith_.end()) return known->second;
        while (walked_ < count_) {
            const std::int16_t j = walked_;
            auto [entry, added] = firstWith_.try_emplace(DescribeRelation(db_.Relations().Item(j)), j);
            ++walked_;
            if (added && entry->first == description) return j;
        }
        return -1;
    }

private:
    const engine::Database& db_;
    const std::int16_t count_;                                  // db's relation count, read once
    std::int16_t walked_ = 0;                                   // relations described so far
    std::unordered_map<std::string, std::int16_t> firstWith_;  // description -> first position
};

// FindMissingRelations, also telling the caller through cutShort whether a cancel left relations
// of dbA unvisited (a cancel noticed after the last relation leaves none).
bool ReportMissingRelations(ComparisonContext& run, const engine::Database& dbA, const engine::Database& dbB,
                            bool& cutShort)
{
    bool result = true;  // no line written yet
    cutShort = false;
    RelationFinder inB(dbB);
    const std::int16_t count = dbA.Relations().Count();
    for (std::int16_t i = 0; i < count; ++i) {
        const std::string description = DescribeRelation(dbA.Relations().Item(i));
        if (inB.Find(description) < 0) {
            run.WriteDifference({.kind = DifferenceKind::RelationMissing,
                                 .line = "\r\n   " + description + " was not found in " + run.strDB1Name,
                                 .walked = 2,
                                 .presentIn = 2,
                                 .relation = NamesOf(dbA.Relations().Item(i), description, 2)});
            result = false;
        }
        if (run.blnCancel) {
            cutShort = i + 1 < count;
            break;
        }
    }
    return result;
}

}  // namespace

// Writes the whole relation section for db1 and db2: the heading after two empty lines, for each
// relation of db1 its "is different" or "was not found in <db2 file>" line, the lines of the
// relations db1 lacks, then "   Relations OK" when none of those was written. Returns true exactly
// when it wrote the OK line. A pending cancel is noticed after each relation of db1; the pass over
// db2 runs all the same, and no OK line is written when a cancel left relations of either side
// unvisited, since those were never compared.
bool CompareRelations(ComparisonContext& run, const engine::Database& db1, const engine::Database& db2)
{
    bool allMatched = true;  // false from the first difference or missing relation on
    bool result = false;
    bool cutShort = false;  // a cancel left relations of db1 unvisited
    run.WriteLog("\r\n\r\nRELATION COMPARISONS");
    RelationFinder inDb2(db2);
    const std::int16_t count = db1.Relations().Count();
    for (std::int16_t i = 0; i < count; ++i) {
        const std::string description = DescribeRelation(db1.Relations().Item(i));
        // The first relation of db2 with the same description is the match; later ones are not
        // looked at.
        const std::int16_t j = inDb2.Find(description);
        if (j >= 0) {
            bool matched = CompareRelationProperties(run, db1.Relations().Item(i), db2.Relations().Item(j));
            if (allMatched) allMatched = matched;
        } else {
            run.WriteDifference({.kind = DifferenceKind::RelationMissing,
                                 .line = "\r\n   " + description + " was not found in " + run.strDB2Name,
                                 .walked = 1,
                                 .presentIn = 1,
                                 .relation = NamesOf(db1.Relations().Item(i), description, 1)});
            allMatched = false;
        }
        if (run.blnCancel) {
            cutShort = i + 1 < count;
            break;
        }
    }
    bool reverseCutShort = false;  // a cancel left relations of db2 unvisited
    bool noneMissing = ReportMissingRelations(run, db2, db1, reverseCutShort);
    if (noneMissing && allMatched && !cutShort && !reverseCutShort) {
        run.WriteOk(OkKind::Relations, "   Relations OK");
        result = true;
    }
    return result;
}

// Reports each relation of dbA whose description no relation of dbB has, as
// "   <description> was not found in <database 1's file>" after an empty line: it is called with
// database 2 first, so the lacking side is always database 1. Compares no values. Returns true
// when it wrote no line. A pending cancel is noticed after each relation of dbA.
bool FindMissingRelations(ComparisonContext& run, const engine::Database& dbA, const engine::Database& dbB)
{
    bool cutShort = false;  // not needed here: only the section's OK line depends on it
    return ReportMissingRelations(run, dbA, dbB, cutShort);
}

// The text that identifies a relation: its own table (property 1), ".", its first field, " to ",
// its foreign table. The relation's name, its other fields and the foreign fields play no part.
//     Authors(AuthorID, Edition) -> Books(WriterID, Edition) gives "Authors.AuthorID to Books"
// Throws std::out_of_range when the relation has no fields or no property 1.
std::string DescribeRelation(const engine::Relation& relation)
{
    std::string description = AsText(relation.Properties().Item(kTableProperty).Value());
    description += ".";
    description += relation.Fields().Item(0).Name();
    description += " to ";
    description += relation.ForeignTable();
    return description;
}

// Compares the Attributes value (property 3) of relation1, from database 1, with that of its
// match relation2; when they differ (by ValuesDiffer: a Null on either side never does) writes
// "   <description of relation1> is different" after an empty line and returns false. Returns true,
// writing nothing, when they do not differ.
bool CompareRelationProperties(ComparisonContext& run, const engine::Relation& relation1, const engine::Relation& relation2)
{
    const engine::Variant& value1 = relation1.Properties().Item(kComparedProperty).Value();
    const engine::Variant& value2 = relation2.Properties().Item(kComparedProperty).Value();
    if (ValuesDiffer(value1, value2)) {
        const std::string description = DescribeRelation(relation1);
        RelationNames names = NamesOf(relation1, description, 1);
        names.name2 = relation2.Name();
        run.WriteDifference({.kind = DifferenceKind::RelationAttributes,
                             .line = "\r\n   " + description + " is different",
                             .walked = 1,
                             .relation = std::move(names),
                             .property = relation1.Properties().Item(kComparedProperty).Name(),
                             .position = kComparedProperty,
                             .value1 = value1,
                             .value2 = value2});
        return false;
    }
    return true;
}

}  // namespace dualyn
