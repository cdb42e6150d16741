// The Math object beyond what tests/scripts/builtins/Math shows: the random generator's exact
// sequence for fixed seeds, its seeding, and the types of results that scripts print alike.
#include "engine/builtins/math.h"

#include <cstdint>
#include <limits>

#include "tests/builtins/value_class_fixture.h"

namespace quill::testing {
namespace {

using MathTest = ValueClassTest;

TEST(MathRandom, SeedKeepsTheLowThirtyTwoBitsAboveAFixedHalfWord) {
    EXPECT_EQ(random_state_for_seed(0), 0x330Eu);
    EXPECT_EQ(random_state_for_seed(0x12345678), 0x12345678330Eull);
    EXPECT_EQ(random_state_for_seed(0x1FFFFFFFFull), 0xFFFFFFFF330Eull);
}

TEST(MathRandom, SequenceForFixedSeeds) {
    uint64_t state = random_state_for_seed(1234567890);
    EXPECT_DOUBLE_EQ(random_step(&state), 0.98723234383306036);
    EXPECT_DOUBLE_EQ(random_step(&state), 0.50532434214571254);
    EXPECT_DOUBLE_EQ(random_step(&state), 0.12537518496732147);
    EXPECT_EQ(random_step(&state), 0.52711374042241488); // exact: the state over 2^48
    EXPECT_LT(state, uint64_t{1} << 48);

    state = random_state_for_seed(0);
    EXPECT_EQ(random_step(&state), 0.17082803610628972);
    state = random_state_for_seed(0x1FFFFFFFFull);
    EXPECT_EQ(random_step(&state), 0.30002572744070122);
}

TEST_F(MathTest, RandomFollowsTheProcessWideGenerator) {
    seed_random(1234567890);
    Value math = global("Math");
    ASSERT_TRUE(method(math, "random")) << engine->message;
    ASSERT_EQ(engine->result.tag, Tag::Number);
    EXPECT_EQ(engine->result.payload.number, 0.98723234383306036);
    EXPECT_EQ(next_random(), 0.50532434214571254);
    ASSERT_TRUE(method(math, "random"));
    EXPECT_EQ(engine->result.payload.number, 0.12537518496732147);
}

TEST_F(MathTest, ResultTypes) {
    Value math = global("Math");
    auto result = [&](const char* name, std::initializer_list<Value> arguments) {
        EXPECT_TRUE(method(math, name, arguments)) << engine->message;
        return engine->result;
    };
    Value v = result("round", {Value::number(-0.4)});
    EXPECT_EQ(v.tag, Tag::Integer);
    EXPECT_EQ(v.payload.integer, 0);
    // The largest double below 2^63 still fits an Integer; 2^63 does not.
    v = result("round", {Value::number(9223372036854774784.0)});
    ASSERT_EQ(v.tag, Tag::Integer);
    EXPECT_EQ(v.payload.integer, INT64_C(9223372036854774784));
    v = result("round", {Value::number(-9223372036854775808.0)});
    ASSERT_EQ(v.tag, Tag::Integer);
    EXPECT_EQ(v.payload.integer, INT64_MIN);
    v = result("round", {Value::number(9223372036854775808.0)});
    ASSERT_EQ(v.tag, Tag::Number);
    EXPECT_EQ(v.payload.number, 9223372036854775808.0);

    v = result("pow", {Value::integer(3), Value::integer(33)});
    ASSERT_EQ(v.tag, Tag::Integer);
    EXPECT_EQ(v.payload.integer, INT64_C(5559060566555523));
    v = result("pow", {Value::integer(-1), Value::integer(INT64_MAX)});
    ASSERT_EQ(v.tag, Tag::Integer);
    EXPECT_EQ(v.payload.integer, -1);
    v = result("pow", {Value::integer(2), Value::integer(-2)});
    ASSERT_EQ(v.tag, Tag::Number);
    EXPECT_EQ(v.payload.number, 0.25);
    v = result("pow", {Value::integer(10), Value::integer(400)});
    ASSERT_EQ(v.tag, Tag::Number);
    EXPECT_EQ(v.payload.number, std::numeric_limits<double>::infinity());

    // A NaN result is the NaN value, never a Number holding NaN.
    EXPECT_EQ(result("sqrt", {Value::integer(-1)}).tag, Tag::NaN);
    EXPECT_EQ(result("pow", {Value::number(-8), Value::number(0.5)}).tag, Tag::NaN);
    EXPECT_EQ(result("atan2", {Value::undefined(), Value::integer(1)}).tag, Tag::NaN);
    EXPECT_EQ(result("floor", {Value::integer(3)}).tag, Tag::Number);
}

} // namespace
} // namespace quill::testing
