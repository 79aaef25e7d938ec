// A property value as the engine serves it: Null, a Boolean, a number or a text.
#pragma once

#include <string>
#include <variant>

namespace engine {

class Variant {
public:
    Variant() = default;  // Null
    static Variant boolean(bool value);
    static Variant number(double value);
    static Variant text(std::string value);  // UTF-8

    bool isNull() const { return std::holds_alternative<std::monostate>(value_); }
    bool isBoolean() const { return std::holds_alternative<bool>(value_); }
    bool isNumber() const { return std::holds_alternative<double>(value_); }
    bool isText() const { return std::holds_alternative<std::string>(value_); }

    // The value; std::bad_variant_access when it is of another kind.
    bool boolean() const { return std::get<bool>(value_); }
    double number() const { return std::get<double>(value_); }
    const std::string& text() const { return std::get<std::string>(value_); }

    // For people and tests: Null, True, False, a whole number as such ("60", "-100000"), another
    // number as short as reads back the same ("0.5"), or the text in double quotes.
    std::string describe() const;

    friend bool operator==(const Variant&, const Variant&) = default;

private:
    std::variant<std::monostate, bool, double, std::string> value_;
};

}  // namespace engine
