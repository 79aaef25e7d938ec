// The primary key and index lines of a common table's block. The indexes of database 1's table
// are looked up by exact name in database 2's table; the primary key (the index named
// "PrimaryKey") has its fields compared, every matched pair its properties; then the indexes
// that only database 2's table has are reported. Orders with its primary key on (ID) in A.mdb and
// on (ID, CustomerID) in B.mdb, ByDate only in A.mdb and ByCustomer only in B.mdb:
//
//              The tables have different primary keys
//                 ByDate is indexed in A.mdb but not in B.mdb
//           ByCustomer is indexed in B.mdb but not in A.mdb
//
// The indentations (9, 12 and 6 spaces) are the log's and are kept as they are. When nothing
// differs the block holds the one line "         Primary keys and indexes OK". Each line of
// difference goes to the log with its twin (difference.h); the line "is indexed differently",
// which does not name the property and repeats for each one that differs, has a twin per
// property that does.
#include "index_comparison.h"

#include "position.h"

#include "value_compare.h"

#include <cstdint>
#include <string>

namespace dualyn {

namespace {

// The name that marks a table's primary key; no other sign does.
const std::string kPrimaryKey = "PrimaryKey";
// The block's one line when nothing differs.
const std::string kIndexesOk = "         Primary keys and indexes OK";

// The position of the first index of table whose name equals name exactly (letter case counts),
// or -1 when the table has none. "pk" does not find "PK".
int PositionOfIndex(const engine::TableDef& table, const std::string& name)
{
    return table.Indexes().PositionOf(name);
}

// FindMissingIndexes, telling also whether a cancel cut the walk short: cutShort is set when the
// walk stopped before recA's last index, and left alone otherwise.
bool FindMissing(ComparisonContext& run, const TableInfo& recA, const TableInfo& recB, bool& cutShort)
{
    const engine::TableDef& tableA = recA.tdf.value();  // walked
    const engine::TableDef& tableB = recB.tdf.value();  // searched
    bool allFound = true;
    const int indexCount = tableA.Indexes().Count();  // read once
    for (int i = 0; i < indexCount; ++i) {
        const std::string name = tableA.Indexes().Item(At(i)).Name();
        if (PositionOfIndex(tableB, name) < 0) {
            run.WriteDifference({.kind = DifferenceKind::IndexMissing,
                                 .line = "      " + name + " is indexed in " + recA.strDBName + " but not in " + recB.strDBName,
                                 .walked = recA.database,
                                 .presentIn = recA.database,
                                 .table = tableA.Name(),
                                 .index = name});
            allFound = false;
        }
        if (run.blnCancel) {
            if (i < indexCount - 1) cutShort = true;
            break;
        }
    }
    return allFound;
}

// Whether the walk below would find every index of table1 at its own position in table2 with
// nothing different, and every index of table2 in table1, which two tables whose indexes are
// stored alike tell at once: their names all differ (so each is found at its own position) and no
// cancel is waiting.
bool IndexesStoredAlike(const ComparisonContext& run, const engine::TableDef& table1, const engine::TableDef& table2)
{
    return !run.blnCancel && table1.IndexNamesDiffer() && table1.IndexesStoredAlike(table2);
}

}  // namespace

// Walks the indexes of rec1's table in position order and looks each up by exact name in rec2's
// table (N1, N2: the records' file names). For a matched pair: the primary key whose fields
// differ gives "         The tables have different primary keys"; each property position from
// 1 to the property count of rec1's index minus 2 (not the last) whose values differ gives
// "            <index> is indexed differently in N2", the same line for every such position. An
// unmatched primary key gives "            The tables have different primary keys", any other
// unmatched index "            <index> is indexed in N1 but not in N2". Then FindMissingIndexes
// reports the indexes that only rec2's table has. Writes "         Primary keys and indexes OK"
// when neither wrote a line and no cancel cut the search for missing indexes short: a walk
// stopped early is no proof of a match. Returns true when the walk over rec1's indexes wrote no
// line; the indexes only rec2's table has do not count.
bool CompareIndexes(ComparisonContext& run, const TableInfo& rec1, const TableInfo& rec2)
{
    const engine::TableDef& table1 = rec1.tdf.value();
    const engine::TableDef& table2 = rec2.tdf.value();
    if (IndexesStoredAlike(run, table1, table2)) {
        run.WriteOk(OkKind::PrimaryKeysAndIndexes, kIndexesOk);
        return true;
    }
    bool allMatched = true;
    const std::string tableName = table1.Name();  // for the twins; table2 has the same
    const bool walkedDb1 = rec1.database == 1;     // table1 is database 1's
    const int indexCount1 = table1.Indexes().Count();  // read once
    for (int i = 0; i < indexCount1; ++i) {
        const engine::Index index1 = table1.Indexes().Item(At(i));
        const int j = PositionOfIndex(table2, index1.Name());
        if (j >= 0) {
            const engine::Index index2 = table2.Indexes().Item(At(j));
            if (index1.Name() == kPrimaryKey) {
                const std::string fields1 = index1.Fields(), fields2 = index2.Fields();  // "+ID;-Code"
                if (fields1 != fields2) {
                    const engine::Variant value1 = engine::Variant::text(fields1), value2 = engine::Variant::text(fields2);
                    run.WriteDifference({.kind = DifferenceKind::PrimaryKey,
                                         .line = "         The tables have different primary keys",
                                         .walked = rec1.database,
                                         .table = tableName,
                                         .index = kPrimaryKey,
                                         .property = "Fields",
                                         .value1 = walkedDb1 ? value1 : value2,
                                         .value2 = walkedDb1 ? value2 : value1});
                    allMatched = false;
                }
            }
            // Position 0 (the name) matched already; the last position is left out.
            const engine::Properties properties1 = index1.Properties(), properties2 = index2.Properties();
            const int lastCompared = properties1.Count() - 2;  // read once, from rec1's index
            for (int k = 1; k <= lastCompared; ++k) {
                // Values stored alike are alike: no need to decode them.
                if (properties1.Item(At(k)).SameValueAs(properties2.Item(At(k)))) continue;
                const engine::Variant value1 = properties1.Item(At(k)).Value();
                const engine::Variant value2 = properties2.Item(At(k)).Value();
                if (ValuesDiffer(value1, value2)) {
                    run.WriteDifference({.kind = DifferenceKind::IndexProperty,
                                         .line = "            " + index1.Name() + " is indexed differently in " + rec2.strDBName,
                                         .walked = rec1.database,
                                         .table = tableName,
                                         .index = index1.Name(),
                                         .property = properties1.Item(At(k)).Name(),
                                         .position = k,
                                         .value1 = walkedDb1 ? value1 : value2,
                                         .value2 = walkedDb1 ? value2 : value1});
                    allMatched = false;
                }
            }
        } else if (index1.Name() == kPrimaryKey) {
            run.WriteDifference({.kind = DifferenceKind::PrimaryKey,
                                 .line = "            The tables have different primary keys",
                                 .walked = rec1.database,
                                 .presentIn = rec1.database,
                                 .table = tableName,
                                 .index = kPrimaryKey});
            allMatched = false;
        } else {
            run.WriteDifference({.kind = DifferenceKind::IndexMissing,
                                 .line = "            " + index1.Name() + " is indexed in " + rec1.strDBName +
                                         " but not in " + rec2.strDBName,
                                 .walked = rec1.database,
                                 .presentIn = rec1.database,
                                 .table = tableName,
                                 .index = index1.Name()});
            allMatched = false;
        }
    }

    bool cutShort = false;  // a cancel stopped the search for missing indexes before its end
    const bool noneMissingFromTable1 = FindMissing(run, rec2, rec1, cutShort);
    if (noneMissingFromTable1 && allMatched && !cutShort)
        run.WriteOk(OkKind::PrimaryKeysAndIndexes, kIndexesOk);
    return allMatched;
}

// Writes "      <index> is indexed in <recA's file name> but not in <recB's file name>" for each
// index of recA's table, in position order, that recB's table has no index of exactly that name
// for (the primary key included). A cancel stops the walk after the index being looked up.
// Returns true when no line was written.
bool FindMissingIndexes(ComparisonContext& run, const TableInfo& recA, const TableInfo& recB)
{
    bool cutShort = false;  // only CompareIndexes needs to know
    return FindMissing(run, recA, recB, cutShort);
}

}  // namespace dualyn
