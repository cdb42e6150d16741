// The Number class and the texts of numbers, beyond what tests/scripts/builtins/Number shows: every
// radix rule, the "%g" form on every platform, and format's refusal of formats it cannot trust.
#include "engine/builtins/number.h"

#include <cstdint>
#include <limits>

#include "engine/builtins/number_text.h"
#include "engine/values/config.h"
#include "engine/values/property_access.h"
#include "tests/builtins/value_class_fixture.h"

namespace quill::testing {
namespace {

using NumberTest = ValueClassTest;
using limits = std::numeric_limits<double>;

std::string format(std::u16string_view format, const Value& value) {
    std::optional<std::u16string> text = format_number(format, value);
    return text ? utf16_to_narrow(*text) : "<refused>";
}

TEST_F(NumberTest, NumbersFromStrings) {
    ASSERT_TRUE(construct("Number", {str(u"12")}));
    EXPECT_EQ(engine->result.tag, Tag::Integer);
    ASSERT_TRUE(call("Number", {str(u"1.5")}));
    EXPECT_EQ(engine->result.tag, Tag::Number);
    ASSERT_TRUE(call("Number", {str(u"")}));
    EXPECT_EQ(engine->result.tag, Tag::Integer);
}

TEST_F(NumberTest, IntegersInARadix) {
    auto text = [&](int64_t value, Value radix) {
        EXPECT_TRUE(method(Value::integer(value), "toString", {radix})) << engine->message;
        return result_text();
    };
    EXPECT_EQ(text(255, Value::integer(16)), "ff");
    EXPECT_EQ(text(1295, Value::integer(36)), "zz");
    EXPECT_EQ(text(-1, Value::integer(16)), "ffffffffffffffff");  // only radix 10 is signed
    EXPECT_EQ(text(-255, Value::integer(10)), "-255");
    EXPECT_EQ(text(INT64_MIN, Value::integer(10)), "-9223372036854775808");
    EXPECT_EQ(text(INT64_MIN, Value::integer(2)), "1" + std::string(63, '0'));
    // Only an Integer from 2 to 36 is a radix; anything else means 10.
    for (Value radix : {str(u"16"), Value::number(16.0), Value::integer(1), Value::integer(37),
                        Value::integer(-16), Value::integer(int64_t{16} << 32)}) {
        EXPECT_EQ(text(255, radix), "255");
    }
}

TEST_F(NumberTest, DoublesInTheGFormAlikeOnEveryPlatform) {
    EXPECT_EQ(text_of(Value::number(0.1 + 0.2)), "0.3");
    EXPECT_EQ(text_of(Value::number(1e21)), "1e+021");
    EXPECT_EQ(text_of(Value::number(1e-7)), "1e-007");
    EXPECT_EQ(text_of(Value::number(-2.5e-10)), "-2.5e-010");
    EXPECT_EQ(text_of(Value::number(1e300)), "1e+300");
    EXPECT_EQ(text_of(Value::number(123456.0)), "123456");
    EXPECT_EQ(text_of(Value::number(-0.0)), "-0");
    EXPECT_EQ(text_of(Value::number(-limits::infinity())), "-inf");
    EXPECT_EQ(text_of(Value::number(limits::quiet_NaN())), "nan");
    ASSERT_TRUE(method(Value::number(1.5), "toString", {Value::integer(16)}));
    EXPECT_EQ(result_text(), "1.5");
}

TEST_F(NumberTest, ConstantsCannotBeChanged) {
    Value min;
    get_property(engine, global("Number"), intern(engine, "MIN_VALUE"), &min);
    ASSERT_EQ(min.tag, Tag::Number);
    EXPECT_EQ(min.payload.number, 2.2250738585072014e-308);
    // Writes are taken, without a warning, and ignored, on the class as on a number.
    EXPECT_TRUE(set_property(engine, Value::integer(5), intern(engine, "MIN_VALUE"), Value::integer(1)));
    get_property(engine, Value::integer(5), intern(engine, "MIN_VALUE"), &min);
    EXPECT_EQ(min.payload.number, limits::min());
}

TEST_F(NumberTest, FormatWithOneFittingConversion) {
    EXPECT_EQ(format(u"%.2f", Value::number(3.14159)), "3.14");
    EXPECT_EQ(format(u"%08.3f", Value::number(-3.14159)), "-003.142");
    EXPECT_EQ(format(u"%lG", Value::number(1e-10)), "1E-010");
    // The width counts the exponent as written here, with three digits.
    EXPECT_EQ(format(u"[%12.3e]", Value::number(12345.678)), "[  1.235e+004]");
    EXPECT_EQ(format(u"[%-12.3e]", Value::number(12345.678)), "[1.235e+004  ]");
    EXPECT_EQ(format(u"[%013.3e]", Value::number(-12345.678)), "[-001.235e+004]");
    EXPECT_EQ(format(u"[%+8.2f]", Value::number(limits::infinity())), "[    +inf]");
    // "%d" and "%ld" take the low 32 bits, the 64-bit forms the whole value.
    Value big = Value::integer((int64_t{1} << 32) + 1);
    EXPECT_EQ(format(u"%d %%", big), "1 %");
    EXPECT_EQ(format(u"%ld", big), "1");
    EXPECT_EQ(format(u"%lld", big), "4294967297");
    EXPECT_EQ(format(u"%I64d", big), "4294967297");
    EXPECT_EQ(format(u"%x", Value::integer(-1)), "ffffffff");
    EXPECT_EQ(format(u"%llX", Value::integer(-1)), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(format(u"%hd", Value::integer(65535)), "-1");
    EXPECT_EQ(*format_number(u"\u20ac%#o\u00e9", Value::integer(255)), u"\u20ac0377\u00e9");
}

TEST_F(NumberTest, FormatRefusesWhatItCannotTrust) {
    for (const char16_t* hostile :
         {u"%s%s%n", u"%s", u"%n", u"%p", u"%c", u"%a", u"%ls", u"%d %d", u"%d%s", u"%*d", u"%.*d", u"%", u"%-",
          u"%5", u"no conversion", u"%%", u"%256d", u"%.256d", u"%99999999999999999999d", u"%Lf", u"%hf", u"%I64f"}) {
        EXPECT_EQ(format(hostile, Value::integer(12)), "<refused>") << utf16_to_narrow(hostile);
        EXPECT_EQ(format(hostile, Value::number(0.5)), "<refused>") << utf16_to_narrow(hostile);
    }
    // A conversion that does not fit the payload.
    EXPECT_EQ(format(u"%.2f", Value::integer(7)), "<refused>");
    EXPECT_EQ(format(u"%lld", Value::number(1.5)), "<refused>");
    // The method then gives the plain text.
    ASSERT_TRUE(method(Value::number(1e21), "format", {str(u"%s%s%n")}));
    EXPECT_EQ(result_text(), "1e+021");
}

TEST_F(NumberTest, FormatResultsStayWithin255CodeUnits) {
    EXPECT_EQ(format_number(u"%255d", Value::integer(1))->size(), 255u);
    // 309 digits, the point and 255 decimals, cut.
    std::u16string longest = *format_number(u"x%.255f", Value::number(limits::max()));
    EXPECT_EQ(longest.size(), config::number_text_limit);
    EXPECT_EQ(longest.substr(0, 5), u"x1797");
    EXPECT_EQ(format_number(u"%255.255e", Value::number(-limits::max()))->size(), config::number_text_limit);
}

}  // namespace
}  // namespace quill::testing
