#include "value_compare.h"

#include <optional>

namespace dualyn {

namespace {

// The value as a number where it is one: a number, or a Boolean as -1 or 0.
std::optional<double> asNumber(const engine::Variant& v)
{
    if (v.isNumber()) return v.number();
    if (v.isBoolean()) return v.boolean() ? -1.0 : 0.0;
    return std::nullopt;
}

}  // namespace

bool ValuesDiffer(const engine::Variant& a, const engine::Variant& b)
{
    if (a.isNull() || b.isNull()) return false;
    if (a.isText() || b.isText()) return !(a.isText() && b.isText() && a.text() == b.text());
    return *asNumber(a) != *asNumber(b);
}

}  // namespace dualyn
