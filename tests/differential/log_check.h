// Checks of comparison logs against expected designs. The differences a comparison can report
// follow from the two expected designs and the comparison's own rules (compare/): tables,
// fields, indexes and queries matched by exact name, relations by "Table.FirstField to
// ForeignTable", fields compared at Type, Size, DefaultValue, ValidationRule, ValidationText,
// Required and AllowZeroLength and by position, indexes at Foreign to Primary and a primary
// key's fields, relations at Attributes, queries at Type to MaxRecords; a Null never differs.
// The log writes names in Windows-1252, anything else as "?"; names are compared that way.
#pragma once

#include "design_check.h"
#include "design_model.h"

#include <string>

namespace difftest {

// A log of one database compared with itself holds no line of difference, and every table,
// the relations and the queries have their OK lines; but for relations that share their
// description with another of other Attributes, which are compared with the first of them. design: the database's
// expected design; file: its file's name, as the log names it.
std::vector<Mismatch> checkSameFileLog(const std::string& log, const DesignModel& design, const std::string& file);

// The logs of databases a and b compared both ways (a first, then b first; their files named
// nameA and nameB) name every object that differs between the expected designs in a line of
// difference, and no line of difference names an object that does not. Adds the differences
// it looked for to counts ("log differences").
std::vector<Mismatch> checkPairLogs(const std::string& logAB, const std::string& logBA, const DesignModel& a,
                                    const DesignModel& b, const std::string& nameA, const std::string& nameB,
                                    Counts& counts);

}  // namespace difftest
