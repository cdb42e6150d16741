// The Number class. Number(x) and new Number(x) both give the number conversion of x (an Integer, a
// Number or NaN); there are no wrapper objects. The class is the per-type handler of the three
// numeric tags, so its toString is also the engine's string conversion of numbers.
#include "engine/builtins/number.h"

#include <limits>
#include <optional>
#include <string>

#include "engine/builtins/number_text.h"
#include "engine/builtins/value_class.h"
#include "engine/values/atoms.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/plain_heap.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

// The class's user data: the atoms of its member names.
struct NumberAtoms {
    Atom format;
    Atom max_value;
    Atom min_value;
    Atom nan;
    Atom negative_infinity;
    Atom positive_infinity;
};

Value number_of(ScriptEngine* engine, Value* args) {
    return argument_count(args) >= 1 ? to_number(engine, args[1]) : Value::integer(0);
}

void number_call(ScriptEngine* engine, HostClass*, void*, Value* result, Value* args) {
    *result = number_of(engine, args);
}

void number_construct(ScriptEngine* engine, HostClass*, Value* args, Value* result) {
    *result = number_of(engine, args);
}

Value ascii_string(ScriptEngine* engine, const std::string& text) {
    return ascii_string(engine, text.data(), text.size());
}

// value.toString(radix): the radix counts only when it is an Integer; a double ignores it.
Value number_to_string(ScriptEngine* engine, const Value& value, Value* args) {
    switch (value.tag) {
    case Tag::Integer: {
        int radix = 10;
        if (argument_count(args) >= 1 && args[1].tag == Tag::Integer && args[1].payload.integer >= 2 &&
            args[1].payload.integer <= 36) {
            radix = static_cast<int>(args[1].payload.integer);
        }
        return ascii_string(engine, integer_text(value.payload.integer, radix));
    }
    case Tag::Number:
        return ascii_string(engine, double_text(value.payload.number));
    default:
        return make_static_string(engine, u"NaN");
    }
}

// value.format(fmt): a format that is missing, not a String or refused gives the plain string
// conversion; NaN is always "NaN".
Value number_format(ScriptEngine* engine, const Value& value, Value* args) {
    if (value.tag == Tag::NaN) {
        return make_static_string(engine, u"NaN");
    }
    if (argument_count(args) >= 1 && args[1].tag == Tag::String) {
        std::optional<std::u16string> text = format_number(args[1].payload.string->view(), value);
        if (text) {
            return make_string_copy(engine, *text);
        }
    }
    return number_to_string(engine, value, nullptr);
}

bool number_method(ScriptEngine* engine, HostClass* cls, void*, const Value& receiver, Atom method, Value* result,
                   Value* args) {
    if (method == atom_value_of) {
        *result = receiver;
        return true;
    }
    if (method == atom_to_string) {
        *result = is_class_object(receiver) ? constructor_text(engine) : number_to_string(engine, receiver, args);
        return true;
    }
    if (method == static_cast<NumberAtoms*>(cls->user_data)->format && !is_class_object(receiver)) {
        *result = number_format(engine, receiver, args);
        return true;
    }
    return false;
}

// The constants, on the class object and on every number alike; writing them changes nothing.
bool number_property(ScriptEngine*, HostClass* cls, void*, const Value&, Atom property, PropertyMode mode,
                     Value* value) {
    const auto* atoms = static_cast<NumberAtoms*>(cls->user_data);
    using limits = std::numeric_limits<double>;
    Value constant;
    if (property == atoms->max_value) {
        constant = Value::number(limits::max());
    } else if (property == atoms->min_value) {
        constant = Value::number(limits::min());  // the smallest normal double, not the smallest subnormal
    } else if (property == atoms->nan) {
        constant = Value::nan();
    } else if (property == atoms->negative_infinity) {
        constant = Value::number(-limits::infinity());
    } else if (property == atoms->positive_infinity) {
        constant = Value::number(limits::infinity());
    } else {
        return false;
    }
    if (mode == PropertyMode::Get) {
        *value = constant;
    }
    return true;
}


}  // namespace

void register_number_class(ScriptEngine* engine) {
    NumberAtoms names{
        .format = intern(engine, "format"),
        .max_value = intern(engine, "MAX_VALUE"),
        .min_value = intern(engine, "MIN_VALUE"),
        .nan = intern(engine, "NaN"),
        .negative_infinity = intern(engine, "NEGATIVE_INFINITY"),
        .positive_infinity = intern(engine, "POSITIVE_INFINITY"),
    };
    HostClass* cls = register_value_class(engine, "Number", {Tag::Integer, Tag::Number, Tag::NaN});
    set_class_data(engine, cls, names);
    cls->call = number_call;
    cls->method = number_method;
    cls->property = number_property;
    cls->construct = number_construct;
}

}  // namespace quill
