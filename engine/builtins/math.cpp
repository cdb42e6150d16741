// The Math object: a class object without instances or constructor whose table holds the functions
// and the constants. No member raises an error; arguments that are missing or not numbers give NaN.
#include "engine/builtins/math.h"

#include <atomic>
#include <cmath>
#include <cstddef>
#include <ctime>

#include "engine/values/class_declaration.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"

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

// A double as a value: NaN has a tag of its own.
Value number_value(double d) { return std::isnan(d) ? Value::nan() : Value::number(d); }

// Argument `index` as a double; false when it is missing or does not convert to a number.
// `converted`, when given, receives the number conversion itself.
bool argument_number(ScriptEngine* engine, const Arguments& args, uint32_t index, double* out,
                     Value* converted = nullptr) {
    if (!args.has(index)) {
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
Value rounded(ScriptEngine* engine, const Arguments& args) {
    double x = 0;
    Value n;
    if (!argument_number(engine, args, 0, &x, &n)) {
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
Value power(ScriptEngine* engine, const Arguments& args) {
    double x = 0;
    double y = 0;
    Value base;
    Value exponent;
    if (!argument_number(engine, args, 0, &x, &base) || !argument_number(engine, args, 1, &y, &exponent)) {
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
Value extreme(ScriptEngine* engine, const Arguments& args, bool largest) {
    uint32_t count = args.count();
    if (count == 0) {
        return Value::nan();
    }
    double best = 0;
    for (uint32_t i = 0; i < count; ++i) {
        double x = 0;
        if (!argument_number(engine, args, i, &x)) {
            return Value::nan();
        }
        bool better = largest ? x > best : x < best;
        if (x == best && x == 0) {
            better = largest ? !std::signbit(x) : std::signbit(x);
        }
        if (i == 0 || better) {
            best = x;
        }
    }
    return Value::number(best);
}

using Unary = double (*)(double);

// abs, acos, ... : the function of the first argument.
void unary(MemberCall& call) {
    double x = 0;
    *call.result = argument_number(call.engine, call.args, 0, &x) ? number_value(call.context<Unary>()(x))
                                                                  : Value::nan();
}

constexpr Unary abs_of = [](double x) { return std::fabs(x); };
constexpr Unary acos_of = [](double x) { return std::acos(x); };
constexpr Unary asin_of = [](double x) { return std::asin(x); };
constexpr Unary atan_of = [](double x) { return std::atan(x); };
constexpr Unary ceil_of = [](double x) { return std::ceil(x); };
constexpr Unary cos_of = [](double x) { return std::cos(x); };
constexpr Unary exp_of = [](double x) { return std::exp(x); };
constexpr Unary floor_of = [](double x) { return std::floor(x); };
constexpr Unary log_of = [](double x) { return std::log(x); };
constexpr Unary sin_of = [](double x) { return std::sin(x); };
constexpr Unary sqrt_of = [](double x) { return std::sqrt(x); };
constexpr Unary tan_of = [](double x) { return std::tan(x); };

void math_atan2(MemberCall& call) {
    double y = 0;
    double x = 0;
    *call.result = argument_number(call.engine, call.args, 0, &y) && argument_number(call.engine, call.args, 1, &x)
                       ? number_value(std::atan2(y, x))
                       : Value::nan();
}

void math_max(MemberCall& call) { *call.result = extreme(call.engine, call.args, true); }
void math_min(MemberCall& call) { *call.result = extreme(call.engine, call.args, false); }
void math_round(MemberCall& call) { *call.result = rounded(call.engine, call.args); }
void math_pow(MemberCall& call) { *call.result = power(call.engine, call.args); }
void math_random(MemberCall& call) { *call.result = Value::number(next_random()); }

// The constants; writes change nothing.
void constant(MemberCall& call) { *call.result = Value::number(call.context<double>()); }

constexpr double e = 2.718281828459045;
constexpr double ln10 = 2.302585092994046;
constexpr double ln2 = 0.6931471805599453;
constexpr double log10e = 0.4342944819032518;
constexpr double log2e = 1.4426950408889634;
constexpr double pi = 3.141592653589793;
constexpr double sqrt1_2 = 0.7071067811865476;
constexpr double sqrt2 = 1.4142135623730951;

// Every other name reads as Undefined, and writes change nothing: Math keeps no properties.
bool no_other_property(ScriptEngine*, HostClass*, void*, const Value&, Atom, PropertyMode mode, Value* value) {
    if (mode == PropertyMode::Get) {
        *value = Value::undefined();
    }
    return true;
}

const Member math_members[] = {
    method("abs", unary, Needs::Nothing, &abs_of),
    method("acos", unary, Needs::Nothing, &acos_of),
    method("asin", unary, Needs::Nothing, &asin_of),
    method("atan", unary, Needs::Nothing, &atan_of),
    method("ceil", unary, Needs::Nothing, &ceil_of),
    method("cos", unary, Needs::Nothing, &cos_of),
    method("exp", unary, Needs::Nothing, &exp_of),
    method("floor", unary, Needs::Nothing, &floor_of),
    method("log", unary, Needs::Nothing, &log_of),
    method("sin", unary, Needs::Nothing, &sin_of),
    method("sqrt", unary, Needs::Nothing, &sqrt_of),
    method("tan", unary, Needs::Nothing, &tan_of),
    method("atan2", math_atan2),
    method("max", math_max),
    method("min", math_min),
    method("pow", math_pow),
    method("random", math_random),
    method("round", math_round),
    property("E", constant, nullptr, Needs::Nothing, &e),
    property("LN10", constant, nullptr, Needs::Nothing, &ln10),
    property("LN2", constant, nullptr, Needs::Nothing, &ln2),
    property("LOG10E", constant, nullptr, Needs::Nothing, &log10e),
    property("LOG2E", constant, nullptr, Needs::Nothing, &log2e),
    property("PI", constant, nullptr, Needs::Nothing, &pi),
    property("SQRT1_2", constant, nullptr, Needs::Nothing, &sqrt1_2),
    property("SQRT2", constant, nullptr, Needs::Nothing, &sqrt2),
};

const ClassDeclaration math_class = {
    .name = "Math",
    .class_text = "[object Math]",
    .members = math_members,
    .other_property = no_other_property,
};

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
    declare_class(engine, math_class);
    seed_random(static_cast<uint64_t>(std::time(nullptr)));
}

} // namespace quill
