// The values of the action interpreter and their conversions, which differ between movie versions
// the way the players of those versions converted them.
#pragma once

#include <string>
#include <string_view>

namespace tarpon::swf {

struct ActionValue {
    enum class Type { Undefined, Null, Boolean, Number, String };
    Type type = Type::Undefined;
    bool boolean = false;
    double number = 0;
    std::string text;

    static ActionValue of_number(double n) {
        ActionValue v;
        v.type = Type::Number;
        v.number = n;
        return v;
    }
    static ActionValue of_string(std::string s) {
        ActionValue v;
        v.type = Type::String;
        v.text = std::move(s);
        return v;
    }
    static ActionValue of_bool(bool b) {
        ActionValue v;
        v.type = Type::Boolean;
        v.boolean = b;
        return v;
    }
    static ActionValue null() {
        ActionValue v;
        v.type = Type::Null;
        return v;
    }
};

std::string number_text(double n);
// Reads a whole string as a number: decimal with optional sign, fraction and exponent, or 0x hex.
// False when the text is not a number.
bool parse_number(std::string_view text, double& value);

double to_number(const ActionValue& v, int version);
std::string to_string(const ActionValue& v, int version);
bool to_bool(const ActionValue& v, int version);

} // namespace tarpon::swf
