#include "variant.h"

#include <charconv>
#include <cmath>

namespace engine {

Variant Variant::boolean(bool value)
{
    Variant v;
    v.value_ = value;
    return v;
}

Variant Variant::number(double value)
{
    Variant v;
    v.value_ = value;
    return v;
}

Variant Variant::text(std::string value)
{
    Variant v;
    v.value_ = std::move(value);
    return v;
}

std::string Variant::describe() const
{
    if (isNull()) return "Null";
    if (isBoolean()) return boolean() ? "True" : "False";
    if (isText()) return "\"" + text() + "\"";
    double n = number();
    // Whole numbers as such ("-100000", not "-1e+05"); others in the shortest form that reads back.
    if (std::nearbyint(n) == n && std::fabs(n) < 1e15) return std::to_string(static_cast<long long>(n));
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, n);
    return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

}  // namespace engine
