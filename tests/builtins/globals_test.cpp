// The global values and functions, called the way the engine's call service calls them.
#include "engine/builtins/globals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/quill.h"
#include "engine/values/atoms.h"
#include "engine/values/host_class.h"
#include "engine/values/string_record.h"
#include "tests/vm/vm_fixture.h"

namespace quill {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

class GlobalsTest : public vm::testing::VmTest {
protected:

    Value call(const char* name, std::initializer_list<Value> arguments) {
        EXPECT_TRUE(quill::call_function(handle, name, arguments.begin(), static_cast<uint32_t>(arguments.size())))
            << engine->message;
        return engine->result;
    }
    Value str(std::u16string_view text) { return make_string_copy(engine, text); }
    // The text a function gives for one string argument; "<none>" when it gives no String.
    std::u16string text_of(const char* name, std::u16string_view argument) {
        Value result = call(name, {str(argument)});
        return result.tag == Tag::String ? std::u16string(result.payload.string->view()) : u"<none>";
    }
    bool flag(const char* name, const Value& argument) {
        Value result = call(name, {argument});
        EXPECT_EQ(result.tag, Tag::Boolean) << name;
        return result.payload.flag != 0;
    }
    Value global(const char* name) { return engine->globals.items[find_atom(engine, name)]; }

    // What reached the trace hook: the fixture collects warnings and traces alike.
    std::vector<std::string>& traces = warnings;
};

void expect_integer(const Value& v, int64_t expected) {
    ASSERT_EQ(v.tag, Tag::Integer);
    EXPECT_EQ(v.payload.integer, expected);
}
void expect_number(const Value& v, double expected) {
    ASSERT_EQ(v.tag, Tag::Number);
    EXPECT_EQ(v.payload.number, expected);
}

TEST_F(GlobalsTest, InstallsValuesAndFunctionsInOrder) {
    EXPECT_EQ(global("NaN").tag, Tag::NaN);
    expect_number(global("Infinity"), infinity);
    Atom previous = find_atom(engine, "Infinity");
    EXPECT_LT(find_atom(engine, "NaN"), previous);
    for (const char* name : {"parseInt", "parseFloat", "escape", "unescape", "isNaN", "isFinite", "trace",
                             "encodeURI", "decodeURI", "encodeURIComponent", "decodeURIComponent"}) {
        SCOPED_TRACE(name);
        EXPECT_GT(find_atom(engine, name), previous);
        previous = find_atom(engine, name);
        Value f = global(name);
        ASSERT_EQ(f.tag, Tag::HostObject);
        EXPECT_EQ(f.payload.host->instance, nullptr);
        EXPECT_NE(f.payload.host->cls->call, nullptr);
        // No property handler: writing a property of a function warns and stores nothing.
        EXPECT_EQ(f.payload.host->cls->property, nullptr);
    }
}

TEST_F(GlobalsTest, ParseInt) {
    EXPECT_EQ(call("parseInt", {}).tag, Tag::NaN);
    expect_integer(call("parseInt", {str(u"  -  42abc")}), -42);
    expect_integer(call("parseInt", {str(u"0x1F"), Value::integer(16)}), 31);
    EXPECT_EQ(call("parseInt", {str(u"xyz")}).tag, Tag::NaN);
    expect_integer(call("parseInt", {Value::integer(-7)}), -7);
    expect_integer(call("parseInt", {str(std::u16string_view(u"12\0" u"34", 5))}), 12);
    // Radix 1 accepts no digit; above 36 every letter is a digit.
    EXPECT_EQ(call("parseInt", {str(u"11"), Value::integer(1)}).tag, Tag::NaN);
    expect_integer(call("parseInt", {str(u"z"), Value::integer(37)}), 35);
    // An Integer radix counts by its low 32 bits: -1 is the largest radix, 2^32 + 16 is 16.
    expect_integer(call("parseInt", {str(u"z"), Value::integer(-1)}), 35);
    expect_integer(call("parseInt", {str(u"ff"), Value::integer((int64_t{1} << 32) + 16)}), 255);
    // Other radixes go through the integer conversion; whatever gives 0 means automatic.
    expect_integer(call("parseInt", {str(u"ff"), Value::number(16.9)}), 255);
    expect_integer(call("parseInt", {str(u"ff"), str(u"16")}), 255);
    expect_integer(call("parseInt", {str(u"010"), Value::number(infinity)}), 8);
    expect_integer(call("parseInt", {str(u"010"), Value::undefined()}), 8);
    // Past 2^63 - 1 the result becomes a Number.
    expect_integer(call("parseInt", {str(u"9223372036854775807")}), INT64_MAX);
    expect_number(call("parseInt", {str(u"9223372036854775808")}), 9223372036854775808.0);
}

TEST_F(GlobalsTest, ParseFloatIsTheNumberConversionWidened) {
    EXPECT_EQ(call("parseFloat", {}).tag, Tag::NaN);
    expect_number(call("parseFloat", {str(u"")}), 0.0);
    expect_number(call("parseFloat", {str(u"12abc")}), 12.0);
    expect_number(call("parseFloat", {str(u"010")}), 8.0);
    EXPECT_EQ(call("parseFloat", {str(u"Infinity")}).tag, Tag::NaN);
    expect_number(call("parseFloat", {Value::integer(7)}), 7.0);
    expect_number(call("parseFloat", {Value::boolean(true)}), 1.0);
}

TEST_F(GlobalsTest, IsNaNAndIsFinite) {
    EXPECT_EQ(call("isNaN", {}).tag, Tag::Undefined);
    EXPECT_EQ(call("isFinite", {}).tag, Tag::Undefined);
    // Argument, then the expected isNaN and isFinite. A NaN double (Infinity - Infinity gives one)
    // is not a number either.
    const std::tuple<Value, bool, bool> cases[] = {
        {str(u"abc"), true, false},   {Value::nan(), true, false},      {str(u"12"), false, true},
        {str(u"1e999"), false, false}, {Value::integer(0), false, true}, {Value::number(-infinity), false, false},
        {Value::number(std::nan("")), true, false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const auto& [argument, nan, finite] = cases[i];
        EXPECT_EQ(flag("isNaN", argument), nan);
        EXPECT_EQ(flag("isFinite", argument), finite);
    }
}

TEST_F(GlobalsTest, EscapeAndUnescape) {
    EXPECT_EQ(call("escape", {}).payload.string->length, 0u);
    EXPECT_EQ(call("unescape", {}).tag, Tag::Undefined);
    EXPECT_EQ(text_of("escape", u"a b@*_+-./\u00E9\u00FF\u0100!"), u"a%20b@*_+-./%E9%FF%u0100%21");
    EXPECT_EQ(text_of("unescape", u"%u20AC%41%4"), u"\u20AC" u"A%4");
    EXPECT_EQ(text_of("unescape", u"%e9%u20ac"), u"\u00E9\u20AC");
    // Anything short of a full escape keeps its '%' and the rest as written; only ASCII hex counts.
    EXPECT_EQ(text_of("unescape", u"%%41%u12%u12G4%zz%4\uFF11%"), u"%A%u12%u12G4%zz%4\uFF11%");
    EXPECT_EQ(text_of("unescape", u"%u123"), u"%u123");

    std::u16string all;
    for (uint32_t c = 0; c <= 0xFFFF; ++c) {
        all.push_back(static_cast<char16_t>(c));
    }
    Value back = call("unescape", {call("escape", {str(all)})});
    ASSERT_EQ(back.tag, Tag::String);
    EXPECT_TRUE(back.payload.string->view() == all);
}

TEST_F(GlobalsTest, EncodeKeepSetsAndUtf8) {
    EXPECT_EQ(text_of("encodeURIComponent", u"a b&c"), u"a%20b%26c");
    EXPECT_EQ(text_of("encodeURI", u"a b&c"), u"a%20b&c");
    const std::u16string_view reserved = u";/?:@&=+$,#";
    const std::u16string_view unreserved = u"09AZaz-_.!~*'()";
    EXPECT_EQ(text_of("encodeURI", reserved), reserved);
    EXPECT_EQ(text_of("encodeURIComponent", reserved), u"%3B%2F%3F%3A%40%26%3D%2B%24%2C%23");
    EXPECT_EQ(text_of("encodeURIComponent", unreserved), unreserved);
    // The code unit 0 is kept as if it were in the set.
    EXPECT_EQ(text_of("encodeURI", std::u16string_view(u"\0%\x7F", 3)), std::u16string(u"\0%25%7F", 7));
    EXPECT_EQ(text_of("encodeURI", u"\u00E9\u07FF\u0800\u20AC\uFFFF"), u"%C3%A9%DF%BF%E0%A0%80%E2%82%AC%EF%BF%BF");
    EXPECT_EQ(text_of("encodeURI", u"\U00010000\U0001F600\U0010FFFF"), u"%F0%90%80%80%F0%9F%98%80%F4%8F%BF%BF");
    EXPECT_TRUE(traces.empty());
}

TEST_F(GlobalsTest, DecodeKeepSets) {
    EXPECT_EQ(text_of("decodeURI", u"%26%41"), u"%26A");
    EXPECT_EQ(text_of("decodeURIComponent", u"%26%41"), u"&A");
    EXPECT_EQ(text_of("decodeURI", u"%3b%2F%3F%3A%40%3D%2B%24%2C%23"), u"%3b%2F%3F%3A%40%3D%2B%24%2C%23");
    // The value 0 stays encoded in both.
    EXPECT_EQ(text_of("decodeURI", u"%00"), u"%00");
    EXPECT_EQ(text_of("decodeURIComponent", u"a%00"), u"a%00");
}

TEST_F(GlobalsTest, DecodeReadsStrictUtf8) {
    EXPECT_EQ(text_of("decodeURIComponent", u"%c3%A9 %E2%82%AC"), u"\u00E9 \u20AC");
    EXPECT_EQ(text_of("decodeURIComponent", u"%F0%9F%98%80%F4%8F%BF%BF"), u"\U0001F600\U0010FFFF");
    EXPECT_TRUE(traces.empty());
}

TEST_F(GlobalsTest, MalformedUriInputGivesUndefinedAndAMessage) {
    const std::pair<const char*, std::u16string_view> bad[] = {
        // Lone surrogates, also before another high one and at the end.
        {"encodeURI", u"\xDC00"}, {"encodeURI", u"a\xD800"}, {"encodeURIComponent", u"\xD800\xD800\xDC00"},
        // A cut sequence or escape, a bad hex digit.
        {"decodeURI", u"%E2%82"}, {"decodeURI", u"%E2%82%A"}, {"decodeURIComponent", u"ok%"},
        {"decodeURIComponent", u"%4"}, {"decodeURI", u"%ZZ"},
        // A continuation byte as lead, seven leading 1 bits, continuation bytes out of range or
        // not escaped, values past U+10FFFF.
        {"decodeURI", u"%80"}, {"decodeURI", u"%BF"}, {"decodeURI", u"%FE%80%80%80%80%80%80"}, {"decodeURIComponent", u"%E2%41%AC"},
        {"decodeURIComponent", u"%E2%C2%AC"}, {"decodeURIComponent", u"%E2%82AC"},
        {"decodeURIComponent", u"%F4%90%80%80"}, {"decodeURI", u"%F8%88%80%80%80"},
        // Over-long forms (an encoded "/" or "." must not slip past the keep-set), five- and
        // six-byte sequences, encoded surrogates.
        {"decodeURI", u"%C0%AF"}, {"decodeURI", u"%E0%80%AE"}, {"decodeURIComponent", u"%F0%80%80%81"},
        {"decodeURIComponent", u"%F8%80%80%81%81"}, {"decodeURIComponent", u"%FC%80%80%90%80%80"},
        {"decodeURIComponent", u"%ED%A0%80"},
    };
    for (const auto& [name, text] : bad) {
        traces.clear();
        EXPECT_EQ(call(name, {str(text)}).tag, Tag::Undefined) << name;
        EXPECT_EQ(traces, std::vector<std::string>{"Invalid URI string"}) << name;
    }
    // No input, or empty input, gives Undefined without a message.
    traces.clear();
    for (const char* name : {"encodeURI", "encodeURIComponent", "decodeURI", "decodeURIComponent"}) {
        EXPECT_EQ(call(name, {}).tag, Tag::Undefined) << name;
        EXPECT_EQ(call(name, {str(u"")}).tag, Tag::Undefined) << name;
    }
    EXPECT_TRUE(traces.empty());
}

TEST_F(GlobalsTest, EncodeThenDecodeRoundTrips) {
    const std::u16string text = u"path/to file?x=\u00E9&y=\u20AC#\U0001F600;~";
    for (auto [encode, decode] : {std::pair{"encodeURI", "decodeURI"},
                                  std::pair{"encodeURIComponent", "decodeURIComponent"}}) {
        Value decoded = call(decode, {call(encode, {str(text)})});
        ASSERT_EQ(decoded.tag, Tag::String);
        EXPECT_TRUE(decoded.payload.string->view() == text) << decode;
    }
}

TEST_F(GlobalsTest, TraceHandsEachArgumentTextToTheSink) {
    EXPECT_EQ(call("trace", {str(u"hello"), Value::integer(12), Value::undefined()}).tag, Tag::Undefined);
    EXPECT_EQ(traces, (std::vector<std::string>{"hello", "12", "undefined"}));
    // Without a sink the texts go nowhere and nothing fails.
    quill::set_trace(handle, nullptr, nullptr);
    EXPECT_EQ(call("trace", {str(u"x")}).tag, Tag::Undefined);
}

}  // namespace
}  // namespace quill
