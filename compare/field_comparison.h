// The field lines of a common table's block: missing fields, fields in another position, and the
// seven compared properties of same-named fields, then the same from the other table's side.
#pragma once

#include "comparison_context.h"
#include "table_info.h"

#include <cstdint>
#include <string>

namespace dualyn {

bool CompareFields(ComparisonContext& run, const TableInfo& rec1, const TableInfo& rec2, bool blnCheckReverse);
bool CompareFieldProperties(ComparisonContext& run, const engine::Field& fld1, const engine::Field& fld2);
std::string PropertyDescription(std::int16_t position);

}  // namespace dualyn
