// When two property values count as different: numbers by value whatever their width, Booleans as
// the numbers -1 (True) and 0 (False), texts exactly and case-sensitively; a Null on either side
// is never a difference. A text and a number (or a Boolean) always differ, as two variants of
// those kinds do.
#pragma once

#include "variant.h"

namespace dualyn {

// True when a and b differ.
//     ValuesDiffer(60, 60.0) false; ValuesDiffer(True, -1) false; ValuesDiffer("a", "A") true;
//     ValuesDiffer(Null, "x") false; ValuesDiffer("60", 60) true
bool ValuesDiffer(const engine::Variant& a, const engine::Variant& b);

}  // namespace dualyn
