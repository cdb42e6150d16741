#include "engine/values/conversions.h"

#include <cmath>
#include <limits>

#include "engine/values/host_class.h"
#include "engine/values/property_table.h"
#include "engine/values/protected_run.h"
#include "engine/values/records.h"
#include "engine_fixture.h"

namespace quill::testing {
namespace {

using ConversionTest = EngineTest;

Value number_of(ScriptEngine* engine, const char16_t* text) {
    return to_number(engine, make_static_string(engine, text, std::char_traits<char16_t>::length(text)));
}

TEST_F(ConversionTest, TypeNames) {
    EXPECT_STREQ(type_name(Tag::Null), "object");
    EXPECT_STREQ(type_name(Tag::Undefined), "undefined");
    EXPECT_STREQ(type_name(Tag::NaN), "number");
    EXPECT_STREQ(type_name(Tag::Integer), "number");
    EXPECT_STREQ(type_name(Tag::HostObject), "object");
    EXPECT_STREQ(type_name(Tag::Function), "function");
    EXPECT_STREQ(type_name(Tag::Name), "");
    EXPECT_STREQ(type_name(Tag::Reserved8), "");
}

TEST_F(ConversionTest, StringTexts) {
    EXPECT_EQ(text_of(Value::null()), "undefined");
    EXPECT_EQ(text_of(Value::undefined()), "undefined");
    EXPECT_EQ(text_of(Value::boolean(true)), "true");
    EXPECT_EQ(text_of(Value::integer(-42)), "-42");
    EXPECT_EQ(text_of(Value::name(atom_to_string)), "toString");
    EXPECT_EQ(text_of(Value::with_tag(Tag::FrameSlot)), "unknown");
    EXPECT_EQ(text_of(Value::object(new_table(engine))), "object");  // nobody answers toString
    Value s = str("same");
    EXPECT_EQ(to_string(engine, s).payload.string, s.payload.string);
}

TEST_F(ConversionTest, NumbersFromText) {
    struct Case {
        const char16_t* text;
        Tag tag;
        double value;
    } cases[] = {
        {u"", Tag::Integer, 0},       {u"  42", Tag::Integer, 42},   {u"4.5e1", Tag::Number, 45},
        {u".5", Tag::Number, 0.5},    {u"x", Tag::NaN, 0},          {u"12px", Tag::Integer, 12},
        {u"010", Tag::Integer, 8},    {u"0x1f", Tag::Integer, 31},   {u"1.5", Tag::Number, 1.5},
        {u"abc", Tag::NaN, 0},        {u"-7", Tag::Integer, -7},     {u"- 12", Tag::Integer, -12},
        {u"12e", Tag::Number, 12},    {u"1d2", Tag::Number, 100},    {u"010.5", Tag::Number, 10.5},
        {u"   ", Tag::NaN, 0},        {u"-", Tag::NaN, 0},           {u"1e400", Tag::Number, INFINITY},
        {u"9223372036854775807", Tag::Integer, 9223372036854775807.0},
        {u"9223372036854775808", Tag::Number, 9223372036854775808.0},
    };
    for (const Case& c : cases) {
        Value n = number_of(engine, c.text);
        SCOPED_TRACE(utf16_to_narrow(c.text));
        ASSERT_EQ(n.tag, c.tag);
        if (c.tag == Tag::Integer) {
            EXPECT_EQ(static_cast<double>(n.payload.integer), c.value);
        } else if (c.tag == Tag::Number) {
            EXPECT_EQ(n.payload.number, c.value);
        }
    }
    EXPECT_EQ(number_of(engine, u"9223372036854775807").payload.integer, INT64_MAX);
}

TEST_F(ConversionTest, NumbersFromOtherTypes) {
    EXPECT_EQ(to_number(engine, Value::undefined()).tag, Tag::NaN);
    EXPECT_EQ(to_number(engine, Value::null()).payload.integer, 0);
    Value t = to_number(engine, Value::boolean(true));
    EXPECT_EQ(t.tag, Tag::Integer);
    EXPECT_EQ(t.payload.integer, 1);
    EXPECT_EQ(to_number(engine, Value::name(3)).tag, Tag::NaN);
}

TEST_F(ConversionTest, IntegerConversions) {
    EXPECT_EQ(to_int32(engine, Value::number(3.9)), 3);
    EXPECT_EQ(to_int32(engine, Value::number(-3.9)), -3);
    EXPECT_EQ(to_int32(engine, Value::number(INFINITY)), 0);
    EXPECT_EQ(to_int32(engine, Value::number(std::nan(""))), 0);
    EXPECT_EQ(to_int32(engine, Value::nan()), 0);
    EXPECT_EQ(to_int32(engine, Value::integer(0x1'0000'0005)), 5);
    // Out of range doubles wrap like integer arithmetic instead of being undefined behaviour.
    EXPECT_EQ(to_int32(engine, Value::number(4294967301.0)), 5);
    EXPECT_EQ(to_int64(engine, Value::number(18446744073709551616.0 + 4096.0)), 4096);
    EXPECT_EQ(to_int64(engine, Value::number(-1e300)), 0);
    EXPECT_EQ(to_int64(engine, str("0x10")), 16);
}

TEST_F(ConversionTest, Booleans) {
    EXPECT_TRUE(to_boolean(str("0")));
    EXPECT_FALSE(to_boolean(str("")));
    EXPECT_FALSE(to_boolean(Value::number(std::nan(""))));
    EXPECT_FALSE(to_boolean(Value::number(-0.0)));
    EXPECT_TRUE(to_boolean(Value::number(0.5)));
    EXPECT_FALSE(to_boolean(Value::nan()));
    EXPECT_FALSE(to_boolean(Value::name(1)));
    EXPECT_FALSE(to_boolean(Value::null()));
    EXPECT_TRUE(to_boolean(Value::object(new_table(engine))));
    EXPECT_FALSE(to_boolean(Value::integer(0)));
}

TEST_F(ConversionTest, ObjectsFromValues) {
    Value s = make_static_string(engine, u"abc");
    Value copy = to_object(engine, s);
    ASSERT_EQ(copy.tag, Tag::String);
    EXPECT_NE(copy.payload.string, s.payload.string);
    EXPECT_FALSE(copy.payload.string->is_static());
    EXPECT_EQ(text(copy), "abc");
    EXPECT_EQ(to_object(engine, Value::integer(4)).payload.integer, 4);

    for (Value bad : {Value::undefined(), Value::null(), Value::name(0)}) {
        EXPECT_FALSE(run_protected(engine, [&] { to_object(engine, bad); }));
        EXPECT_STREQ(engine->message, "Runtime error: Can't convert to object");
    }
}

// An Object class stand-in whose toString and valueOf answers a test chooses.
struct ObjectAnswers {
    Value to_string;
    Value value_of;
};
ObjectAnswers answers;

bool object_method(ScriptEngine*, HostClass*, void*, const Value&, Atom method, Value* result, Value*) {
    const Value& answer = method == atom_to_string ? answers.to_string : answers.value_of;
    if ((method != atom_to_string && method != atom_value_of) || answer.tag == Tag::Reserved9) {
        return false;
    }
    *result = answer;
    return true;
}

TEST_F(ConversionTest, ObjectsToPrimitives) {
    HostClass* object_class = new_host_class(engine);
    object_class->method = object_method;
    engine->type_handlers[static_cast<int>(Tag::Object)] = object_class;
    Value object = Value::object(new_table(engine));

    answers = {str("[object Object]"), Value::integer(9)};
    EXPECT_EQ(text(to_primitive(engine, object, Hint::String)), "[object Object]");
    EXPECT_EQ(to_primitive(engine, object, Hint::Number).payload.integer, 9);
    EXPECT_EQ(to_number(engine, object).payload.integer, 9);
    EXPECT_EQ(text_of(object), "[object Object]");

    // Neither method yields a primitive: hint string fails, other hints fall back to the text.
    answers = {object, object};
    EXPECT_FALSE(run_protected(engine, [&] { to_primitive(engine, object, Hint::String); }));
    EXPECT_STREQ(engine->message, "Runtime error: Can't convert to primitive type");
    EXPECT_EQ(text_of(object), "object");
    EXPECT_EQ(text(to_primitive(engine, object, Hint::Default)), "object");
}

// A script function found along the prototype chain is run with the object as this.
TEST_F(ConversionTest, ObjectMethodsFromScriptFunctions) {
    static Value seen_this;
    engine->invoke_script = [](ScriptEngine* e, const Value& self, const Value&, uint32_t, Value*) {
        seen_this = self;
        e->result = Value::integer(77);
    };
    auto* function = static_cast<FunctionObject*>(gc_allocate(engine, sizeof(FunctionObject)));
    *function = FunctionObject{nullptr, nullptr};
    PropertyTable* prototype = new_table(engine);
    table_put(engine, prototype, atom_value_of, Value::function(function));
    Value object = Value::object(new_table_with_prototype(engine, prototype));
    EXPECT_EQ(to_number(engine, object).payload.integer, 77);
    EXPECT_EQ(seen_this.payload.table, object.payload.table);
}

struct HostAnswers {
    bool to_string = false;
    bool value_of = false;
    Value answer;
};
HostAnswers host_answers;

bool host_method(ScriptEngine*, HostClass*, void*, const Value&, Atom method, Value* result, Value*) {
    bool handled = (method == atom_to_string && host_answers.to_string) ||
                   (method == atom_value_of && host_answers.value_of);
    if (handled) {
        *result = host_answers.answer;
    }
    return handled;
}

TEST_F(ConversionTest, HostObjectsToPrimitives) {
    HostClass* cls = new_host_class(engine);
    Value host = make_host_object(engine, cls, nullptr);
    // Without a method handler nothing converts.
    EXPECT_FALSE(run_protected(engine, [&] { to_primitive(engine, host, Hint::Number); }));
    EXPECT_STREQ(engine->message, "Runtime error: Can't convert to primitive type");
    EXPECT_EQ(text_of(host), "object");

    cls->method = host_method;
    host_answers = {true, false, str("[object Thing]")};
    EXPECT_EQ(text_of(host), "[object Thing]");
    EXPECT_EQ(text(to_primitive(engine, host, Hint::String)), "[object Thing]");
    EXPECT_EQ(text(to_primitive(engine, host, Hint::Number)), "[object Thing]");  // no valueOf: the text

    // A valueOf that answers with the host object itself must not loop.
    host_answers = {false, true, host};
    EXPECT_EQ(to_number(engine, host).tag, Tag::NaN);
    host_answers = {false, false, Value()};
    EXPECT_FALSE(run_protected(engine, [&] { to_primitive(engine, host, Hint::String); }));
}

TEST_F(ConversionTest, InternalTagsHaveNoPrimitive) {
    for (Tag tag : {Tag::Reserved8, Tag::Name, Tag::FrameMark, static_cast<Tag>(-3)}) {
        EXPECT_FALSE(run_protected(engine, [&] { to_primitive(engine, Value::with_tag(tag), Hint::Default); }));
        EXPECT_STREQ(engine->message, "Runtime error: Can't convert to primitive type");
    }
}

}  // namespace
}  // namespace quill::testing
