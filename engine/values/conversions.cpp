// Conversions between value types.
#include "engine/values/conversions.h"

#include <cmath>
#include <string>

#include "engine/values/atoms.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/host_class.h"
#include "engine/values/method_call.h"
#include "engine/values/number_scan.h"
#include "engine/values/stack_roots.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

Value static_text(ScriptEngine* engine, const char16_t* text, size_t length) {
    return make_static_string(engine, text, length);
}
Value undefined_text(ScriptEngine* engine) { return static_text(engine, u"undefined", 9); }
Value object_text(ScriptEngine* engine) { return static_text(engine, u"object", 6); }
Value unknown_text(ScriptEngine* engine) { return static_text(engine, u"unknown", 7); }

// Calls an object's method through the call service; true when it succeeded with a primitive.
bool primitive_from_method(ScriptEngine* engine, const Value& object, Atom method, Value* out) {
    Value no_arguments = Value::integer(0);
    if (call_method(engine, object, method, 1, &no_arguments) && engine->result.is_primitive()) {
        *out = engine->result;
        return true;
    }
    return false;
}

// Asks a host class's method handler directly; true when it handled the name. The handler may run
// script code, so it gets the host object on the stack, where a collection still finds it.
bool ask_host_method(ScriptEngine* engine, const Value& host, Atom method, Value* out) {
    HostRecord* record = host.payload.host;
    HostClass* cls = record->cls;
    if (cls == nullptr || cls->method == nullptr) {
        return false;
    }
    StackRoots roots(engine, {host, Value::integer(0)});
    return cls->method(engine, cls, record->instance, roots.cells()[0], method, out, roots.cells() + 1);
}

}  // namespace

Value to_primitive(ScriptEngine* engine, const Value& value, Hint hint) {
    if (value.is_primitive()) {
        return value;
    }
    Value result;
    switch (value.tag) {
    case Tag::Object:
        if (hint == Hint::String) {
            if (primitive_from_method(engine, value, atom_to_string, &result) ||
                primitive_from_method(engine, value, atom_value_of, &result)) {
                return result;
            }
            raise_error(engine, Message::CantConvertToPrimitive);
        }
        if (primitive_from_method(engine, value, atom_value_of, &result)) {
            return result;
        }
        return to_string(engine, value);
    case Tag::Array:
    case Tag::Function:
        return to_string(engine, value);
    case Tag::HostObject:
        if (value.payload.host->cls == nullptr || value.payload.host->cls->method == nullptr) {
            raise_error(engine, Message::CantConvertToPrimitive);
        }
        if (hint == Hint::String) {
            if (ask_host_method(engine, value, atom_to_string, &result) ||
                ask_host_method(engine, value, atom_value_of, &result)) {
                return result;
            }
            raise_error(engine, Message::CantConvertToPrimitive);
        }
        if (ask_host_method(engine, value, atom_value_of, &result)) {
            return result;
        }
        return to_string(engine, value);
    default:
        raise_error(engine, Message::CantConvertToPrimitive);
    }
}

Value to_string(ScriptEngine* engine, const Value& value) {
    Value result;
    switch (value.tag) {
    case Tag::Undefined:
    case Tag::Null:
        return undefined_text(engine);
    case Tag::String:
        // What the String class's toString gives a string: the string itself. Concatenation converts
        // every operand, so this one skips the class.
        return value;
    case Tag::Boolean:
    case Tag::Integer:
    case Tag::Number:
    case Tag::Array:
    case Tag::Function:
    case Tag::NaN: {
        HostClass* handler = type_handler(engine, value.tag);
        Value no_arguments = Value::integer(0);
        if (handler != nullptr && handler->method != nullptr &&
            handler->method(engine, handler, nullptr, value, atom_to_string, &result, &no_arguments) &&
            result.tag == Tag::String) {
            return result;
        }
        return unknown_text(engine);
    }
    case Tag::Object: {
        Value no_arguments = Value::integer(0);
        if (call_method(engine, value, atom_to_string, 1, &no_arguments) && engine->result.tag == Tag::String) {
            return engine->result;
        }
        return object_text(engine);
    }
    case Tag::Name: {
        const char* name = atom_name(engine, value.payload.atom);
        return make_string_from_narrow(engine, name, std::char_traits<char>::length(name));
    }
    case Tag::HostObject:
        if (ask_host_method(engine, value, atom_to_string, &result) && result.tag == Tag::String) {
            return result;
        }
        return object_text(engine);
    default:
        return unknown_text(engine);
    }
}

Value string_to_number(const char16_t* chars, uint32_t length) {
    if (length == 0) {
        return Value::integer(0);
    }
    // The scanners read NUL-terminated text.
    std::u16string text(chars, length);
    IntegerScan scan = scan_integer(text.c_str(), 0);
    switch (scan.kind) {
    case ScanKind::None: {
        DecimalScan decimal = scan_decimal(text.c_str());
        return decimal.stop == text.c_str() ? Value::nan() : Value::number(decimal.value);
    }
    case ScanKind::Integer:
        switch (*scan.stop) {
        case u'.': case u'D': case u'E': case u'd': case u'e':
            return Value::number(scan_decimal(text.c_str()).value);
        default:
            return Value::integer(scan.integer);
        }
    case ScanKind::Double:
        return Value::number(scan.number);
    }
    return Value::nan();
}

Value to_number(ScriptEngine* engine, const Value& value) {
    switch (value.tag) {
    case Tag::Undefined:
        return Value::nan();
    case Tag::Null:
        return Value::integer(0);
    case Tag::Boolean:
        return Value::integer(value.payload.flag != 0 ? 1 : 0);
    case Tag::Integer:
    case Tag::Number:
    case Tag::NaN:
        return value;
    case Tag::String:
        return string_to_number(value.payload.string->chars, value.payload.string->length);
    case Tag::Array:
    case Tag::Object:
    case Tag::HostObject:
    case Tag::Function: {
        Value primitive = to_primitive(engine, value, Hint::Number);
        if (!primitive.is_primitive()) {
            // A host class may answer valueOf with an object; its text ends the chain.
            primitive = to_string(engine, primitive);
        }
        return to_number(engine, primitive);
    }
    default:
        return Value::nan();
    }
}

int64_t double_to_int64(double d) {
    if (!std::isfinite(d)) {
        return 0;
    }
    double t = std::trunc(d);
    constexpr double two63 = 9223372036854775808.0;
    if (t >= -two63 && t < two63) {
        return static_cast<int64_t>(t);
    }
    constexpr double two64 = 18446744073709551616.0;
    double m = std::fmod(t, two64);  // exact for integral t
    if (m < 0) {
        m += two64;
    }
    return static_cast<int64_t>(static_cast<uint64_t>(m));
}

int64_t to_int64(ScriptEngine* engine, const Value& value) {
    Value number = to_number(engine, value);
    switch (number.tag) {
    case Tag::Integer:
        return number.payload.integer;
    case Tag::Number:
        return double_to_int64(number.payload.number);
    default:
        return 0;
    }
}

int32_t to_int32(ScriptEngine* engine, const Value& value) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(to_int64(engine, value))));
}

bool to_boolean(const Value& value) {
    switch (value.tag) {
    case Tag::Boolean:
        return value.payload.flag != 0;
    case Tag::Integer:
        return value.payload.integer != 0;
    case Tag::String:
        return value.payload.string->length != 0;
    case Tag::Number:
        return value.payload.number != 0.0 && !std::isnan(value.payload.number);
    case Tag::Array:
    case Tag::Object:
    case Tag::HostObject:
    case Tag::Function:
        return true;
    default:
        return false;
    }
}

Value to_object(ScriptEngine* engine, const Value& value) {
    switch (value.tag) {
    case Tag::Boolean:
    case Tag::Integer:
    case Tag::Number:
    case Tag::Array:
    case Tag::Object:
    case Tag::HostObject:
    case Tag::Function:
    case Tag::NaN:
        return value;
    case Tag::String:
        return make_string_copy(engine, value.payload.string->view());
    default:
        raise_error(engine, Message::CantConvertToObject);
    }
}

}  // namespace quill
