// What the engine must serve for a design description, worked out from the description alone
// (mdbgen::Database as the generator's parser reads it), by the rules of Access and of the file
// format, without the engine's code:
//   - tables (the four system tables the generator always writes, linked tables and the
//     description's), relations and queries by name with letters compared by their Unicode
//     simple case folding, UTF-16 unit by unit, ties by the exact name (UTF-16 units);
//   - a field's list: Value Null, Attributes (not checked), CollatingOrder 1033, Type (Decimal
//     20), Name, OrdinalPosition, Size (characters for Text, 0 for Memo and OLE), SourceField,
//     SourceTable, ValidateOnSet and DataUpdatable False, ForeignName Null, DefaultValue,
//     ValidationRule and ValidationText ("" unless stored), Required and AllowZeroLength (False
//     unless stored), then the other stored properties by name; property names are the same
//     in any letter case (a stored "required" is Required);
//   - stored values exactly as kept: an empty text is "", an empty binary "0x", a Single its
//     exact value (0.1 is 0.100000001490116...), Currency in units, a GUID in braces, binary as
//     "0x" and upper-case hex digits;
//   - indexes as listed, then the index an enforced relationship adds on its foreign table;
//   - a query's list: Name, DateCreated and LastUpdated (the generator's fixed date), Type, SQL,
//     Updatable True, Connect, ReturnsRecords, ODBCTimeout, RecordsAffected 0, MaxRecords, then
//     its other stored properties by name (expected_sql.h for the SQL).
#pragma once

#include "design_model.h"
#include "schema.h"

#include <string>

namespace difftest {

DesignModel expectedDesign(const mdbgen::Database& db);

// The value a stored property holds, from its type and bytes.
Value storedValue(const mdbgen::Property& p);

// True when name a comes before name b in the engine's order: by the simple case folding of
// their letters (ICU's default folding: µ as μ, ſ as s, the Kelvin sign as k, ẞ as ß, ς as σ;
// İ and ı stay as they are), UTF-16 unit by unit, then by the exact names.
bool nameBefore(const std::string& a, const std::string& b);

}  // namespace difftest
