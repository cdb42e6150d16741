// Operator semantics.
#include "engine/vm/operators.h"

#include <cmath>
#include <cstring>

#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/host_class.h"
#include "engine/values/string_record.h"

namespace quill::vm {

namespace {

bool is_numeric(const Value& v) { return v.tag == Tag::Integer || v.tag == Tag::Number || v.tag == Tag::NaN; }

Value numeric(ScriptEngine* engine, const Value& v) { return is_numeric(v) ? v : to_number(engine, v); }

double as_double(const Value& v) {
    return v.tag == Tag::Integer ? static_cast<double>(v.payload.integer) : v.payload.number;
}

// Two's complement wrap-around without signed overflow.
int64_t wrap(uint64_t bits) { return static_cast<int64_t>(bits); }

bool is_zero(const Value& v) {
    return (v.tag == Tag::Integer && v.payload.integer == 0) || (v.tag == Tag::Number && v.payload.number == 0.0);
}
bool is_infinite(const Value& v) { return v.tag == Tag::Number && std::isinf(v.payload.number); }

// Applies an arithmetic rule after the numeric conversions: NaN operands give NaN.
template <typename IntegerOp, typename DoubleOp>
Value arithmetic(ScriptEngine* engine, const Value& l, const Value& r, IntegerOp integer_op, DoubleOp double_op) {
    Value a = numeric(engine, l);
    Value b = numeric(engine, r);
    if (a.tag == Tag::NaN || b.tag == Tag::NaN) {
        return Value::nan();
    }
    if (a.tag == Tag::Integer && b.tag == Tag::Integer) {
        return Value::integer(integer_op(a.payload.integer, b.payload.integer));
    }
    return Value::number(double_op(as_double(a), as_double(b)));
}

Value concatenate(ScriptEngine* engine, const Value& l, const Value& r) {
    Value a = to_string(engine, l);
    Value b = to_string(engine, r);
    const StringRecord* left = a.payload.string;
    const StringRecord* right = b.payload.string;
    size_t length = size_t{left->length} + right->length;
    StringRecord* result = make_string_buffer(engine, length);
    if (left->length > 0) {
        std::memcpy(result->chars, left->chars, left->length * sizeof(char16_t));
    }
    if (right->length > 0) {
        std::memcpy(result->chars + left->length, right->chars, right->length * sizeof(char16_t));
    }
    return Value::string(result);
}

}  // namespace

Value op_add(ScriptEngine* engine, const Value& l, const Value& r) {
    if (l.tag == Tag::String || r.tag == Tag::String) {
        return concatenate(engine, l, r);
    }
    return arithmetic(
        engine, l, r, [](int64_t a, int64_t b) { return wrap(static_cast<uint64_t>(a) + static_cast<uint64_t>(b)); },
        [](double a, double b) { return a + b; });
}

Value op_sub(ScriptEngine* engine, const Value& l, const Value& r) {
    return arithmetic(
        engine, l, r, [](int64_t a, int64_t b) { return wrap(static_cast<uint64_t>(a) - static_cast<uint64_t>(b)); },
        [](double a, double b) { return a - b; });
}

Value op_mul(ScriptEngine* engine, const Value& l, const Value& r) {
    Value a = numeric(engine, l);
    Value b = numeric(engine, r);
    if (a.tag == Tag::NaN || b.tag == Tag::NaN) {
        return Value::nan();
    }
    if (a.tag == Tag::Integer && b.tag == Tag::Integer) {
        return Value::integer(wrap(static_cast<uint64_t>(a.payload.integer) * static_cast<uint64_t>(b.payload.integer)));
    }
    if ((is_infinite(a) && is_zero(b)) || (is_zero(a) && is_infinite(b))) {
        return Value::nan();
    }
    return Value::number(as_double(a) * as_double(b));
}

Value op_div(ScriptEngine* engine, const Value& l, const Value& r) {
    Value a = numeric(engine, l);
    Value b = numeric(engine, r);
    if (a.tag == Tag::NaN || b.tag == Tag::NaN) {
        return Value::nan();
    }
    if (is_infinite(a) && is_infinite(b)) {
        return Value::nan();
    }
    if (is_zero(b)) {
        if (is_infinite(a)) {
            return a;
        }
        if (is_zero(a)) {
            return Value::nan();
        }
    }
    return Value::number(as_double(a) / as_double(b));
}

Value op_mod(ScriptEngine* engine, const Value& l, const Value& r) {
    Value a = numeric(engine, l);
    Value b = numeric(engine, r);
    if (a.tag == Tag::NaN || b.tag == Tag::NaN || is_infinite(a) || is_zero(b)) {
        return Value::nan();
    }
    if (a.tag == Tag::Integer && b.tag == Tag::Integer) {
        // b is not 0 here; INT64_MIN % -1 is 0 but overflows in C++.
        if (b.payload.integer == -1) {
            return Value::integer(0);
        }
        return Value::integer(a.payload.integer % b.payload.integer);
    }
    if (is_infinite(b) || is_zero(a)) {
        return a;
    }
    double x = as_double(a);
    double y = as_double(b);
    // The quotient truncated to a 32-bit integer, as the language has always done.
    double q = std::trunc(x / y);
    auto q32 = static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(double_to_int64(q))));
    return Value::number(x - y * q32);
}

Value op_neg(ScriptEngine* engine, const Value& operand) {
    Value a = numeric(engine, operand);
    switch (a.tag) {
    case Tag::Integer:
        return Value::integer(wrap(0 - static_cast<uint64_t>(a.payload.integer)));
    case Tag::Number:
        return Value::number(-a.payload.number);
    default:
        return Value::nan();
    }
}

namespace {

template <typename Combine>
Value bitwise(ScriptEngine* engine, const Value& l, const Value& r, Combine combine) {
    if (l.tag == Tag::Integer && r.tag == Tag::Integer) {
        return Value::integer(combine(l.payload.integer, r.payload.integer));
    }
    int64_t a = to_int64(engine, l);
    int64_t b = to_int64(engine, r);
    return Value::integer(combine(a, b));
}

// The shift count is the low 8 bits of the right operand taken as a 32-bit integer.
uint32_t shift_count(ScriptEngine* engine, const Value& r) {
    return static_cast<uint32_t>(to_int32(engine, r)) & 0xFF;
}

}  // namespace

Value op_bitand(ScriptEngine* engine, const Value& l, const Value& r) {
    return bitwise(engine, l, r, [](int64_t a, int64_t b) { return a & b; });
}
Value op_bitor(ScriptEngine* engine, const Value& l, const Value& r) {
    return bitwise(engine, l, r, [](int64_t a, int64_t b) { return a | b; });
}
Value op_bitxor(ScriptEngine* engine, const Value& l, const Value& r) {
    return bitwise(engine, l, r, [](int64_t a, int64_t b) { return a ^ b; });
}

Value op_shl(ScriptEngine* engine, const Value& l, const Value& r) {
    auto a = static_cast<uint64_t>(to_int64(engine, l));
    uint32_t n = shift_count(engine, r);
    return Value::integer(n >= 64 ? 0 : wrap(a << n));
}

Value op_shr(ScriptEngine* engine, const Value& l, const Value& r) {
    int64_t a = to_int64(engine, l);
    uint32_t n = shift_count(engine, r);
    return Value::integer(n >= 64 ? (a < 0 ? -1 : 0) : a >> n);
}

Value op_ushr(ScriptEngine* engine, const Value& l, const Value& r) {
    auto a = static_cast<uint64_t>(to_int64(engine, l));
    uint32_t n = shift_count(engine, r);
    return Value::integer(n >= 64 ? 0 : wrap(a >> n));
}

Value op_compare(ScriptEngine* engine, Relation relation, const Value& l, const Value& r) {
    int order;  // -1, 0, 1
    if (l.tag == Tag::String && r.tag == Tag::String) {
        order = compare_strings(l.payload.string, r.payload.string);
    } else if (l.tag == Tag::Integer && r.tag == Tag::Integer) {
        order = l.payload.integer < r.payload.integer ? -1 : l.payload.integer > r.payload.integer ? 1 : 0;
    } else {
        Value a = to_number(engine, l);
        Value b = to_number(engine, r);
        if (a.tag == Tag::NaN || b.tag == Tag::NaN) {
            return Value::undefined();
        }
        if (a.tag == Tag::Integer && b.tag == Tag::Integer) {
            order = a.payload.integer < b.payload.integer ? -1 : a.payload.integer > b.payload.integer ? 1 : 0;
        } else {
            double x = as_double(a);
            double y = as_double(b);
            if (std::isnan(x) || std::isnan(y)) {
                return Value::boolean(false);  // a NaN double compares false
            }
            order = x < y ? -1 : x > y ? 1 : 0;
        }
    }
    switch (relation) {
    case Relation::Less:
        return Value::boolean(order < 0);
    case Relation::Greater:
        return Value::boolean(order > 0);
    case Relation::LessEqual:
        return Value::boolean(order <= 0);
    case Relation::GreaterEqual:
        return Value::boolean(order >= 0);
    }
    return Value::boolean(false);
}

namespace {

// Step 1 of both equalities: operands of the same tag.
bool same_tag_equals(const Value& l, const Value& r) {
    switch (l.tag) {
    case Tag::Undefined:
    case Tag::Null:
        return true;
    case Tag::Boolean:
        return l.payload.flag == r.payload.flag;
    case Tag::Integer:
        return l.payload.integer == r.payload.integer;
    case Tag::String:
        return compare_strings(l.payload.string, r.payload.string) == 0;
    case Tag::Number:
        return l.payload.number == r.payload.number;
    case Tag::Array:
    case Tag::Object:
    case Tag::Function:
        return l.payload.pointer == r.payload.pointer;
    case Tag::Name:
        return l.payload.atom == r.payload.atom;
    case Tag::HostObject:
        return l.payload.host->cls == r.payload.host->cls && l.payload.host->instance == r.payload.host->instance;
    default:
        return false;
    }
}

bool is_undefined_or_null(const Value& v) { return v.tag == Tag::Undefined || v.tag == Tag::Null; }

bool numbers_equal(const Value& a, const Value& b) {
    if (a.tag == Tag::NaN || b.tag == Tag::NaN) {
        return false;
    }
    if (a.tag == Tag::Integer && b.tag == Tag::Integer) {
        return a.payload.integer == b.payload.integer;
    }
    return as_double(a) == as_double(b);
}

bool is_plain_primitive(const Value& v) {
    return v.tag == Tag::String || v.tag == Tag::Boolean || is_numeric(v);
}

}  // namespace

bool loose_equals(ScriptEngine* engine, const Value& left, const Value& right) {
    Value l = left;
    Value r = right;
    // Each round converts an Object to a primitive, so the loop ends after at most two.
    for (;;) {
        if (l.tag == r.tag) {
            return same_tag_equals(l, r);
        }
        if (is_undefined_or_null(l) || is_undefined_or_null(r)) {
            return is_undefined_or_null(l) && is_undefined_or_null(r);
        }
        if (is_numeric(l) && is_numeric(r)) {
            return numbers_equal(l, r);
        }
        if (is_plain_primitive(l) && is_plain_primitive(r)) {
            return numbers_equal(to_number(engine, l), to_number(engine, r));
        }
        if (l.tag == Tag::Object && is_plain_primitive(r)) {
            l = to_primitive(engine, l, Hint::Default);
            continue;
        }
        if (r.tag == Tag::Object && is_plain_primitive(l)) {
            r = to_primitive(engine, r, Hint::Default);
            continue;
        }
        return false;
    }
}

bool strict_equals(const Value& l, const Value& r) {
    if (l.tag == r.tag) {
        return l.tag != Tag::Name && same_tag_equals(l, r);
    }
    bool l_number = l.tag == Tag::Integer || l.tag == Tag::Number;
    bool r_number = r.tag == Tag::Integer || r.tag == Tag::Number;
    return l_number && r_number && as_double(l) == as_double(r);
}

}  // namespace quill::vm

