#include "player/swf/action_value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tarpon::swf {

std::string number_text(double n) {
    if (std::isnan(n))
        return "NaN";
    if (std::isinf(n))
        return n > 0 ? "Infinity" : "-Infinity";
    if (n == 0)
        return "0";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", n);
    return buffer;
}

bool parse_number(std::string_view text, double& value) {
    size_t start = 0, end = text.size();
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (start < end && space(text[start]))
        ++start;
    while (end > start && space(text[end - 1]))
        --end;
    if (start == end)
        return false;
    std::string s(text.substr(start, end - start));
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        char* stop = nullptr;
        unsigned long long hex = std::strtoull(s.c_str() + 2, &stop, 16);
        if (*stop != 0)
            return false;
        value = static_cast<double>(hex);
        return true;
    }
    // Only plain decimal forms: strtod would also take "inf", "nan" and hex floats.
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return false;
    char* stop = nullptr;
    value = std::strtod(s.c_str(), &stop);
    return *stop == 0;
}

double to_number(const ActionValue& v, int version) {
    switch (v.type) {
    case ActionValue::Type::Undefined:
    case ActionValue::Type::Null:
        return version >= 7 ? NAN : 0;
    case ActionValue::Type::Boolean:
        return v.boolean ? 1 : 0;
    case ActionValue::Type::Number:
        return v.number;
    case ActionValue::Type::String: {
        double n;
        if (parse_number(v.text, n))
            return n;
        return version >= 5 ? NAN : 0;
    }
    }
    return 0;
}

std::string to_string(const ActionValue& v, int version) {
    switch (v.type) {
    case ActionValue::Type::Undefined:
        return version >= 7 ? "undefined" : "";
    case ActionValue::Type::Null:
        return "null";
    case ActionValue::Type::Boolean:
        if (version < 5)
            return v.boolean ? "1" : "0";
        return v.boolean ? "true" : "false";
    case ActionValue::Type::Number:
        return number_text(v.number);
    case ActionValue::Type::String:
        return v.text;
    }
    return {};
}

bool to_bool(const ActionValue& v, int version) {
    switch (v.type) {
    case ActionValue::Type::Undefined:
    case ActionValue::Type::Null:
        return false;
    case ActionValue::Type::Boolean:
        return v.boolean;
    case ActionValue::Type::Number:
        return v.number != 0 && !std::isnan(v.number);
    case ActionValue::Type::String:
        if (version >= 7)
            return !v.text.empty();
        {
            double n = to_number(v, version);
            return n != 0 && !std::isnan(n);
        }
    }
    return false;
}

} // namespace tarpon::swf
