// The Math object. One host object holds everything: the constants answer through its property
// handler, the functions through its method handler. No member raises an error; arguments that are
// missing or not numbers give NaN.
#include "engine/builtins/math.h"

#include <atomic>
#include <cmath>
#include <cstddef>
#include <ctime>

#include "engine/values/atoms.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/host_class.h"
#include "engine/values/plain_heap.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

constexpr uint64_t random_multiplier = 0x5DEECE66DULL;
constexpr uint64_t random_increment = 0xB;
constexpr uint64_t random_mask = (uint64_t{1} << 48) - 1;

// Seeded at registration; until then the state of seed 0.
std::atomic<uint64_t> random_state{0x330E};

// Below this magnitude every integer is exactly a double, so a power can be given as an Integer.
constexpr double exact_integer_limit = 9007199254740992.0; // 2^53
// The range of an Integer: [-2^63, 2^63).
constexpr double integer_low = -9223372036854775808.0;
constexpr double integer_high = 9223372036854775808.0;

using Unary = double (*)(double);

struct UnaryFunction {
    const char* name;
    Unary function;
};

const UnaryFunction unary_functions[] = {
    {"abs", [](double x) { return std::fabs(x); }},  {"acos", [](double x) { return std::acos(x); }},
    {"asin", [](double x) { return std::asin(x); }}, {"atan", [](double x) { return std::atan(x); }},
    {"ceil", [](double x) { return std::ceil(x); }}, {"cos", [](double x) { return std::cos(x); }},
    {"exp", [](double x) { return std::exp(x); }},   {"floor", [](double x) { return std::floor(x); }},
    {"log", [](double x) { return std::log(x); }},   {"sin", [](double x) { return std::sin(x); }},
    {"sqrt", [](double x) { return std::sqrt(x); }}, {"tan", [](double x) { return std::tan(x); }},
};
constexpr size_t unary_count = sizeof unary_functions / sizeof unary_functions[0];

struct Constant {
    const char* name;
    double value;
};

const Constant constants[] = {
    {"E", 2.718281828459045},        {"LN10", 2.302585092994046},   {"LN2", 0.6931471805599453},
    {"LOG10E", 0.4342944819032518},  {"LOG2E", 1.4426950408889634}, {"PI", 3.141592653589793},
    {"SQRT1_2", 0.7071067811865476}, {"SQRT2", 1.4142135623730951},
};
constexpr size_t constant_count = sizeof constants / sizeof constants[0];

// The object's user data: the atoms of its member names.
struct MathAtoms {
    Atom unary[unary_count];
    Atom constant[constant_count];
    Atom atan2;
    Atom max;
    Atom min;
    Atom pow;
    Atom random;
    Atom round;
};

// A double as a value: NaN has a tag of its own.
Value number_value(double d) { return std::isnan(d) ? Value::nan() : Value::number(d); }

// Argument `index` (from 1) as a double; false when it is missing or does not convert to a number.
// `converted`, when given, receives the number conversion itself.
bool argument_number(ScriptEngine* engine, Value* args, uint32_t index, double* out,
                     Value* converted = nullptr) {
    if (argument_count(args) < index) {
        return false;
    }
    Value n = to_number(engine, args[index]);
    if (converted != nullptr) {
        *converted = n;
    }
    if (n.tag == Tag::Integer) {
        *out = static_cast<double>(n.payload.integer);
        return true;
    }
    if (n.tag == Tag::Number && !std::isnan(n.payload.number)) {
        *out = n.payload.number;
        return true;
    }
    return false;
}

// floor(x + 0.5) as an Integer; infinities, and results an Integer cannot hold, stay Numbers. An
// Integer comes back unchanged. The sum x + 0.5 is never formed: it rounds in doubles, which would
// turn 0.49999999999999994 into 1 and an odd whole number above 2^52 into the next even one.
Value math_round(ScriptEngine* engine, Value* args) {
    double x = 0;
    Value n;
    if (!argument_number(engine, args, 1, &x, &n)) {
        return Value::nan();
    }
    if (n.tag == Tag::Integer) {
        return n;
    }
    double r = std::floor(x);
    if (x - r >= 0.5) {  // exact: below 2^52 the fraction is representable, above it is 0
        r += 1;
    }
    if (r >= integer_low && r < integer_high) {
        return Value::integer(static_cast<int64_t>(r));
    }
    return Value::number(r);
}

// |base| to a non-negative integer power by squaring. Exact as long as the true result stays below
// 2^53, since every partial product is then no larger than the result.
double power_by_squaring(double base, int64_t exponent) {
    double result = 1.0;
    while (exponent > 0) {
        if ((exponent & 1) != 0) {
            result *= base;
        }
        exponent >>= 1;
        if (exponent > 0) {
            base *= base;
        }
    }
    return result;
}

// x to the power y. Two Integers give an Integer when the result is a whole number below 2^53;
// everything else a Number. A fractional result (2 to the -1) stays a Number.
Value math_pow(ScriptEngine* engine, Value* args) {
    double x = 0;
    double y = 0;
    Value base;
    Value exponent;
    if (!argument_number(engine, args, 1, &x, &base) || !argument_number(engine, args, 2, &y, &exponent)) {
        return Value::nan();
    }
    double r = std::pow(x, y);
    if (base.tag == Tag::Integer && exponent.tag == Tag::Integer) {
        int64_t n = exponent.payload.integer;
        if (x == 1 || x == -1) {
            // The parity of an exponent beyond 2^53 is lost in a double; take it from the Integer.
            r = x == 1 || (n & 1) == 0 ? 1.0 : -1.0;
        } else if (n >= 0 && std::fabs(r) <= exact_integer_limit) {
            // The library pow may be a unit off for large results on some platforms; squaring is not.
            r = power_by_squaring(x, n);
        }
        if (std::fabs(r) < exact_integer_limit && r == std::trunc(r)) {
            return Value::integer(static_cast<int64_t>(r));
        }
    }
    return number_value(r);
}

// The largest (or smallest) of all arguments; NaN without arguments or when any is not a number.
// +0 counts as larger than -0.
Value math_extreme(ScriptEngine* engine, Value* args, bool largest) {
    uint32_t count = argument_count(args);
    if (count == 0) {
        return Value::nan();
    }
    double best = 0;
    for (uint32_t i = 1; i <= count; ++i) {
        double x = 0;
        if (!argument_number(engine, args, i, &x)) {
            return Value::nan();
        }
        bool better = largest ? x > best : x < best;
        if (x == best && x == 0) {
            better = largest ? !std::signbit(x) : std::signbit(x);
        }
        if (i == 1 || better) {
            best = x;
        }
    }
    return Value::number(best);
}

bool math_method(ScriptEngine* engine, HostClass* cls, void*, const Value&, Atom method, Value* result,
                 Value* args) {
    const auto* atoms = static_cast<MathAtoms*>(cls->user_data);
    for (size_t i = 0; i < unary_count; ++i) {
        if (method == atoms->unary[i]) {
            double x = 0;
            *result = argument_number(engine, args, 1, &x) ? number_value(unary_functions[i].function(x))
                                                           : Value::nan();
            return true;
        }
    }
    if (method == atoms->round) {
        *result = math_round(engine, args);
    } else if (method == atoms->pow) {
        *result = math_pow(engine, args);
    } else if (method == atoms->max || method == atoms->min) {
        *result = math_extreme(engine, args, method == atoms->max);
    } else if (method == atoms->atan2) {
        double y = 0;
        double x = 0;
        *result = argument_number(engine, args, 1, &y) && argument_number(engine, args, 2, &x)
                      ? number_value(std::atan2(y, x))
                      : Value::nan();
    } else if (method == atoms->random) {
        *result = Value::number(next_random());
    } else if (method == atom_to_string) {
        *result = make_static_string(engine, u"[object Math]");
    } else {
        return false;
    }
    return true;
}

// The constants read as their values and every other name as Undefined; writes change nothing.
bool math_property(ScriptEngine*, HostClass* cls, void*, const Value&, Atom property, PropertyMode mode,
                   Value* value) {
    if (mode == PropertyMode::Set) {
        return true;
    }
    const auto* atoms = static_cast<MathAtoms*>(cls->user_data);
    *value = Value::undefined();
    for (size_t i = 0; i < constant_count; ++i) {
        if (property == atoms->constant[i]) {
            *value = Value::number(constants[i].value);
        }
    }
    return true;
}


} // namespace

uint64_t random_state_for_seed(uint64_t seed) { return ((seed & 0xFFFFFFFFULL) << 16) | 0x330E; }

double random_step(uint64_t* state) {
    *state = (random_multiplier * *state + random_increment) & random_mask;
    return std::ldexp(static_cast<double>(*state), -48);
}

void seed_random(uint64_t seed) { random_state.store(random_state_for_seed(seed)); }

double next_random() {
    uint64_t state = random_state.load();
    uint64_t next = state;
    double result = random_step(&next);
    while (!random_state.compare_exchange_weak(state, next)) {
        next = state;
        result = random_step(&next);
    }
    return result;
}

void register_math_object(ScriptEngine* engine) {
    MathAtoms names{};
    for (size_t i = 0; i < unary_count; ++i) {
        names.unary[i] = intern(engine, unary_functions[i].name);
    }
    for (size_t i = 0; i < constant_count; ++i) {
        names.constant[i] = intern(engine, constants[i].name);
    }
    names.atan2 = intern(engine, "atan2");
    names.max = intern(engine, "max");
    names.min = intern(engine, "min");
    names.pow = intern(engine, "pow");
    names.random = intern(engine, "random");
    names.round = intern(engine, "round");

    HostClass* cls = new_host_class(engine);
    set_class_data(engine, cls, names);
    cls->method = math_method;
    cls->property = math_property;
    set_global(engine, "Math", make_host_object(engine, cls, nullptr));

    seed_random(static_cast<uint64_t>(std::time(nullptr)));
}

} // namespace quill
