// The Number class. Number(x) and new Number(x) both give the number conversion of x (an Integer, a
// Number or NaN); there are no wrapper objects. The class is the per-type handler of the three
// numeric tags, so its toString is also the engine's string conversion of numbers.
#include "engine/builtins/number.h"

#include <limits>
#include <optional>
#include <string>

#include "engine/builtins/number_text.h"
#include "engine/builtins/value_class.h"
#include "engine/values/class_declaration.h"
#include "engine/values/conversions.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

using limits = std::numeric_limits<double>;

void number_of(MemberCall& call) {
    *call.result = call.args.has(0) ? to_number(call.engine, call.args[0]) : Value::integer(0);
}

Value ascii_string(ScriptEngine* engine, const std::string& text) {
    return ascii_string(engine, text.data(), text.size());
}

// The text of a number in a radix; the radix counts only for an Integer, a double ignores it.
Value number_text(ScriptEngine* engine, const Value& value, int radix) {
    switch (value.tag) {
    case Tag::Integer:
        return ascii_string(engine, integer_text(value.payload.integer, radix));
    case Tag::Number:
        return ascii_string(engine, double_text(value.payload.number));
    default:
        return make_static_string(engine, u"NaN");
    }
}

// value.toString(radix): the radix counts only when it is an Integer from 2 to 36.
void number_to_string(MemberCall& call) {
    if (is_class_object(call.receiver)) {
        *call.result = constructor_text(call.engine);
        return;
    }
    std::optional<int64_t> radix = call.args.integer(0);
    const int base = radix && *radix >= 2 && *radix <= 36 ? static_cast<int>(*radix) : 10;
    *call.result = number_text(call.engine, call.receiver, base);
}

void number_value_of(MemberCall& call) { *call.result = call.receiver; }

// value.format(fmt): a format that is missing, not a String or refused gives the plain string
// conversion; NaN is always "NaN".
void number_format(MemberCall& call) {
    const Value& value = call.receiver;
    if (value.tag == Tag::NaN) {
        *call.result = make_static_string(call.engine, u"NaN");
        return;
    }
    if (const StringRecord* format = call.args.string(0)) {
        std::optional<std::u16string> text = format_number(format->view(), value);
        if (text) {
            *call.result = make_string_copy(call.engine, *text);
            return;
        }
    }
    *call.result = number_text(call.engine, value, 10);
}

// The constants, on the class object and on every number alike; writing them changes nothing.
void number_constant(MemberCall& call) { *call.result = call.context<Value>(); }

const Value max_value = Value::number(limits::max());
const Value min_value = Value::number(limits::min());  // the smallest normal double, not the smallest subnormal
const Value nan_value = Value::nan();
const Value negative_infinity = Value::number(-limits::infinity());
const Value positive_infinity = Value::number(limits::infinity());

const Member number_members[] = {
    method("toString", number_to_string),
    method("valueOf", number_value_of),
    method("format", number_format, Needs::Value),
    property("MAX_VALUE", number_constant, nullptr, Needs::Nothing, &max_value),
    property("MIN_VALUE", number_constant, nullptr, Needs::Nothing, &min_value),
    property("NaN", number_constant, nullptr, Needs::Nothing, &nan_value),
    property("NEGATIVE_INFINITY", number_constant, nullptr, Needs::Nothing, &negative_infinity),
    property("POSITIVE_INFINITY", number_constant, nullptr, Needs::Nothing, &positive_infinity),
};

const ClassDeclaration number_class = {
    .name = "Number",
    .members = number_members,
    .construct = number_of,
    .call = number_of,
    .types = {Tag::Integer, Tag::Number, Tag::NaN},
};

}  // namespace

void register_number_class(ScriptEngine* engine) { declare_class(engine, number_class); }

}  // namespace quill
