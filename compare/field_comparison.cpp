// The field lines of a common table's block. The fields of one table are looked up by exact name
// in the other; a missing field, a field at another position and each of seven compared
// properties that differs get a line, all indented by nine spaces. When the tables have
// different numbers of fields the same walk is made once more from the other table's side.
// Customers with City 30 characters long in A.mdb and 40 in B.mdb, and Phone only in B.mdb:
//
//              The fields City have different sizes
//              The fields City have different sizes
//              Field Phone was not found in A.mdb
//
// (the size line twice: once from each side). Two tables that match give the one line
// "         Customers OK". Each line of difference goes to the log with its twin (difference.h),
// which names the table and the field, the property and both databases' values.
#include "field_comparison.h"

#include "position.h"

#include "value_compare.h"

#include <optional>
#include <string>
#include <vector>

namespace dualyn {

namespace {

// The position of the first field of table whose name equals name exactly (letter case counts),
// or -1 when the table has none; likely is where it is looked for first.
int PositionOfField(const engine::TableDef& table, const std::string& name, int likely)
{
    return table.Fields().PositionOf(name, likely);
}

constexpr int kLastWalked = 16;  // the last position of a field's list that CompareProperties walks to

// Where two fields are compared, for the twins of their lines: the table's name (none when not
// known), and the database fld1 comes from (1 or 2); fld2 comes from the other.
struct FieldPlace {
    std::optional<std::string> table;
    int walked = 1;
};

// CompareFieldProperties, telling also whether a cancel cut the walk short: cutShort is set when
// the walk stopped before its last position, and left alone otherwise.
bool CompareProperties(ComparisonContext& run, const engine::Field& fld1, const engine::Field& fld2,
                       const FieldPlace& place, bool& cutShort)
{
    constexpr int kFirst = 3, kLast = kLastWalked;  // the walk's bounds; only some positions between are compared
    // The words for each position, made once: most fields differ in nothing.
    static const std::vector<std::string> descriptions = [] {
        std::vector<std::string> words;
        for (int k = 0; k <= kLast; ++k) words.push_back(PropertyDescription(At(k)));
        return words;
    }();
    const engine::Properties properties1 = fld1.Properties(), properties2 = fld2.Properties();
    // Lists stored alike hold the same values at every position: most fields differ in nothing.
    // (A list too short for the walk takes the walk, which refuses it.)
    if (properties1.Count() > kLast && fld1.SamePropertiesAs(fld2)) {
        if (run.blnCancel) cutShort = true;  // the walk would have stopped at its first position
        return true;
    }
    bool allEqual = true;
    for (int k = kFirst; k <= kLast; ++k) {
        const std::string& description = descriptions[static_cast<std::size_t>(k)];  // empty: not compared
        // Values stored alike are alike: no need to decode them.
        if (!description.empty() && !properties1.Item(At(k)).SameValueAs(properties2.Item(At(k)))) {
            const engine::Variant value1 = properties1.Item(At(k)).Value();
            const engine::Variant value2 = properties2.Item(At(k)).Value();
            if (ValuesDiffer(value1, value2)) {
                allEqual = false;
                const std::string name = fld1.Name();
                const bool walkedDb1 = place.walked == 1;  // value1 is database 1's
                run.WriteDifference({.kind = DifferenceKind::FieldProperty,
                                     .line = "         The fields " + name + " have different " + description,
                                     .walked = place.walked,
                                     .table = place.table,
                                     .field = name,
                                     .property = properties1.Item(At(k)).Name(),
                                     .position = k,
                                     .value1 = walkedDb1 ? value1 : value2,
                                     .value2 = walkedDb1 ? value2 : value1});
            }
        }
        if (run.blnCancel) {
            if (k < kLast) cutShort = true;
            break;
        }
    }
    return allEqual;
}

// Whether the walk below would find every field of fields1 at its own position in fields2 with
// nothing different, which two tables whose fields are stored alike tell at once: their names
// all differ (so each is found at its own position), each list is long enough for the walk, and
// no cancel is waiting.
bool FieldsStoredAlike(const ComparisonContext& run, const engine::Fields& fields1, const engine::Fields& fields2)
{
    if (run.blnCancel || !fields1.NamesDiffer() || !fields1.StoredAlike(fields2)) return false;
    return fields1.Count() == 0 || fields1.FewestProperties() > kLastWalked;
}

}  // namespace

// Walks the fields of rec1's table in position order and looks each up by exact name in rec2's
// table. Writes, per field: its property lines (CompareFieldProperties), then
// "         Field <name> is not in the same order in the tables." when the positions differ; or
// "         Field <name> was not found in <rec2's file name>". A cancel stops the walk after the
// field being compared. When the two tables have different numbers of fields and
// blnCheckReverse is true, makes the same walk from rec2's table (without a further reverse
// walk), whose lines follow. Writes "         <rec1's table> OK" when nothing differed, the
// counts are equal and no cancel cut a walk short: a walk stopped early has not compared
// everything, so it is no proof of a match. Returns true when this call wrote no line of
// difference and the counts are equal.
bool CompareFields(ComparisonContext& run, const TableInfo& rec1, const TableInfo& rec2, bool blnCheckReverse)
{
    const engine::TableDef& table1 = rec1.tdf.value();  // walked
    const engine::TableDef& table2 = rec2.tdf.value();  // searched
    bool allMatched = true;
    bool cutShort = false;  // a cancel stopped a walk before its end
    const FieldPlace place{table1.Name(), rec1.database};  // for the twins
    const bool walkedDb1 = rec1.database == 1;            // table1 is database 1's
    const int fieldCount1 = table1.Fields().Count();  // read once
    if (FieldsStoredAlike(run, table1.Fields(), table2.Fields())) {
        run.WriteOk(OkKind::Fields, "         " + table1.Name() + " OK");
        return true;
    }
    for (int i = 0; i < fieldCount1; ++i) {
        const std::string name = table1.Fields().Item(At(i)).Name();
        const int j = PositionOfField(table2, name, i);
        if (j >= 0) {
            // Compared in any case, so that every differing property gets its line.
            const bool propertiesEqual =
                CompareProperties(run, table1.Fields().Item(At(i)), table2.Fields().Item(At(j)), place, cutShort);
            if (allMatched) allMatched = propertiesEqual;
            if (i != j) {
                const engine::Variant position1 = engine::Variant::number(i), position2 = engine::Variant::number(j);
                run.WriteDifference({.kind = DifferenceKind::FieldOrder,
                                     .line = "         Field " + name + " is not in the same order in the tables.",
                                     .walked = rec1.database,
                                     .table = place.table,
                                     .field = name,
                                     .value1 = walkedDb1 ? position1 : position2,
                                     .value2 = walkedDb1 ? position2 : position1});
                allMatched = false;
            }
        } else {
            run.WriteDifference({.kind = DifferenceKind::FieldMissing,
                                 .line = "         Field " + name + " was not found in " + rec2.strDBName,
                                 .walked = rec1.database,
                                 .presentIn = rec1.database,
                                 .table = place.table,
                                 .field = name});
            allMatched = false;
        }
        if (run.blnCancel) {
            if (i < fieldCount1 - 1) cutShort = true;
            break;
        }
    }

    if (table1.Fields().Count() != table2.Fields().Count()) {
        allMatched = false;  // no line of its own: the fields concerned are reported
        if (blnCheckReverse) CompareFields(run, rec2, rec1, false);
    }
    if (allMatched && !cutShort) run.WriteOk(OkKind::Fields, "         " + table1.Name() + " OK");
    return allMatched;
}

// Compares the properties of two same-named fields at the compared positions (3, 6, 12 to 16, in
// that order) and writes "         The fields <fld1's name> have different <description>" for each
// pair of values that differ (a Null on either side never does); its twin knows no table and takes
// fld1 for database 1's. The cancel flag is tested after every position from 3 to 16 and stops the
// walk. Returns true when no line was written.
bool CompareFieldProperties(ComparisonContext& run, const engine::Field& fld1, const engine::Field& fld2)
{
    bool cutShort = false;  // only CompareFields needs to know
    return CompareProperties(run, fld1, fld2, FieldPlace{}, cutShort);
}

// The plural words that name a compared field property in the log, by its position in the
// field's property list; the empty string for a position that is not compared.
//     PropertyDescription(6) == "sizes"; PropertyDescription(4) == ""
std::string PropertyDescription(std::int16_t position)
{
    switch (position) {
    case 3: return "types";
    case 6: return "sizes";
    case 12: return "default values";
    case 13: return "validation rules";
    case 14: return "validation texts";
    case 15: return "Required settings";
    case 16: return "AllowZeroLength settings";
    default: return "";
    }
}

}  // namespace dualyn
