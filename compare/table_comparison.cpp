// The table section of the comparison log. Database 1's tables are walked in the engine's order,
// system tables left out; each is looked up by its exact name in database 2 and either reported
// missing or given a block with its field and its key and index comparison. Then the tables of
// database 2 that database 1 lacks are reported. With Orders in both databases, Notes only in
// A.mdb and Archive only in B.mdb, the section reads (after one empty line):
//
//     TABLE COMPARISONS
//
//        Notes was not found in B.mdb
//
//        COMPARISON LOG FOR Orders
//
//           FIELDS COMPARISON
//              Orders OK
//
//           PRIMARY KEY AND INDEX COMPARISON
//              Primary keys and indexes OK
//
//        Archive was not found in A.mdb
#include "table_comparison.h"

#include "position.h"

#include "field_comparison.h"
#include "index_comparison.h"
#include "object_summary.h"
#include "table_info.h"

#include <cstdint>
#include <string>

namespace dualyn {

namespace {

// True when name is a system table's: its first four characters, in lower case, are "msys".
//     "MSysObjects", "msysTemp", "MSYSX" are; "Msy", "LogMsys", "USysSettings" are not.
bool IsSystemTable(const std::string& name)
{
    static constexpr char kPrefix[] = "msys";
    if (name.size() < 4) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kPrefix[i]) return false;
    }
    return true;
}

// Finds the tables of the other database, walked in order, in db: Find(name, i), for the table
// at position i of the other, is the position of the first table of db whose name equals name
// exactly (letter case counts), or -1 when db has none. "Orders" does not find "ORDERS". The two
// databases mostly hold their common tables in the same order: db is looked at first at i moved
// as far as the last table found was moved.
class TablesOf {
public:
    explicit TablesOf(const engine::Database& db) : db_(db) {}
    int Find(const std::string& name, int i)
    {
        const int j = db_.TableDefs().PositionOf(name, i + shift_);
        if (j >= 0) shift_ = j - i;
        return j;
    }

private:
    const engine::Database& db_;
    int shift_ = 0;  // where db has the last table found, less where the other database has it
};

// Writes "   <name> was not found in <the other database's file name>" for the table named name
// at position of db, database present (1 or 2), with its twin, which holds a summary of the table.
void WriteTableMissing(ComparisonContext& run, const engine::Database& db, int present, int position,
                       const std::string& name)
{
    run.WriteDifference({.kind = DifferenceKind::TableMissing,
                         .line = "\r\n   " + name + " was not found in " + (present == 1 ? run.strDB2Name : run.strDB1Name),
                         .walked = present,
                         .presentIn = present,
                         .table = name,
                         .presentContent = SummarizeTable(db.TableDefs().Item(At(position)))});
}

// Moves the progress bar one step on, never past its maximum: maximum 6 and position 2 give 3;
// at 6 it stays.
void StepProgress(RunWindow& window)
{
    const float maximum = window.GetProgressMax();
    if (maximum > window.GetProgressValue()) window.SetProgressValue(window.GetProgressValue() + 1);
}

}  // namespace

// Writes the whole table section: its heading, for each non-system table of db1 either its
// comparison block (fields, then primary key and indexes) or a line saying db2 lacks it, then
// the tables db1 lacks. Drives the status line and the progress bar (one step per table of db1,
// system tables included), lets the window handle its events after each table and stops the
// walk when a cancel has been asked for; the tables db1 lacks are looked for even then. Returns
// true when no table is missing on either side; what the field and index comparisons found does
// not count.
bool CompareTables(ComparisonContext& run, const engine::Database& db1, const engine::Database& db2)
{
    RunWindow& window = run.window;
    const int tableCount1 = db1.TableDefs().Count();  // read once, system tables included
    window.SetProgressMax(static_cast<float>(tableCount1));
    bool allFound = true;  // every non-system table of db1 is in db2
    run.WriteLog("\r\nTABLE COMPARISONS");

    TableInfo rec1, rec2;  // the table pair handed to the field and index comparisons
    TablesOf tables2(db2);
    for (int i = 0; i < tableCount1; ++i) {
        const std::string name = db1.TableDefs().Item(At(i)).Name();
        if (!IsSystemTable(name)) {
            window.SetStatus("Comparing table " + name);
            const int j = tables2.Find(name, i);
            if (j >= 0) {
                run.WriteLog("\r\n   COMPARISON LOG FOR " + name);
                rec1.strDBName = run.strDB1Name;
                rec1.tdf = db1.TableDefs().Item(At(i));
                rec1.database = 1;
                rec2.strDBName = run.strDB2Name;
                rec2.tdf = db2.TableDefs().Item(At(j));
                rec2.database = 2;
                run.WriteLog("\r\n      FIELDS COMPARISON");
                CompareFields(run, rec1, rec2, true);
                run.WriteLog("\r\n      PRIMARY KEY AND INDEX COMPARISON");
                CompareIndexes(run, rec1, rec2);
            } else {
                WriteTableMissing(run, db1, 1, i, name);
                allFound = false;
            }
        }
        StepProgress(window);
        window.ProcessPendingEvents();
        if (run.blnCancel) break;
    }

    window.SetProgressValue(0);
    const bool noneMissingFromDb1 = FindMissingTables(run, db2, db1);
    return noneMissingFromDb1 && allFound;
}

// Writes "   <table> was not found in <database 1's file name>" for each non-system table of
// db2, in db2's order, that db1 has no table of exactly that name for. A cancel stops the walk
// after the table being looked at. Returns true when no line was written.
bool FindMissingTables(ComparisonContext& run, const engine::Database& db2, const engine::Database& db1)
{
    bool allFound = true;
    const int tableCount2 = db2.TableDefs().Count();  // read once
    TablesOf tables1(db1);
    for (int i = 0; i < tableCount2; ++i) {
        const std::string name = db2.TableDefs().Item(At(i)).Name();
        if (!IsSystemTable(name) && tables1.Find(name, i) < 0) {
            allFound = false;
            WriteTableMissing(run, db2, 2, i, name);
        }
        if (run.blnCancel) break;
    }
    return allFound;
}

}  // namespace dualyn
