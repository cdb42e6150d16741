// The String class, beyond what tests/scripts/builtins/String shows: the records it makes, the
// argument cells it reuses, and positions at the very ends of the Integer range.
#include "engine/builtins/string.h"

#include <cstdint>
#include <limits>
#include <set>

#include "engine/values/collector.h"
#include "engine/values/engine.h"
#include "engine/values/heap.h"
#include "engine/values/property_table.h"
#include "tests/builtins/value_class_fixture.h"

namespace quill::testing {
namespace {

using StringTest = ValueClassTest;
using int64_limits = std::numeric_limits<int64_t>;

TEST_F(StringTest, NewStringIsACopyWithItsOwnTable) {
    Value text = str(u"ab");
    ASSERT_TRUE(construct("String", {text})) << engine->message;
    const Value made = engine->result;
    ASSERT_EQ(made.tag, Tag::String);
    EXPECT_NE(made.payload.string, text.payload.string);
    EXPECT_EQ(text.payload.string->properties, nullptr);
    ASSERT_NE(made.payload.string->properties, nullptr);
    HostClass* cls = global("String").payload.host->cls;
    EXPECT_EQ(table_prototype(made.payload.string->properties), cls->prototype);
    EXPECT_EQ(result_text(), "ab");
}

TEST_F(StringTest, ResultsAreNewRecordsAndTheReceiverStays) {
    Value text = str(u"aBc");
    for (const char* name : {"toUpperCase", "toLowerCase"}) {
        ASSERT_TRUE(method(text, name)) << name;
        EXPECT_NE(engine->result.payload.string, text.payload.string) << name;
    }
    ASSERT_TRUE(method(text, "slice", {Value::integer(0)}));
    EXPECT_NE(engine->result.payload.string, text.payload.string);
    EXPECT_EQ(result_text(), "aBc");
    ASSERT_TRUE(method(text, "replace", {str(u"B"), str(u"x")}));
    EXPECT_EQ(result_text(), "axc");
    EXPECT_EQ(text.payload.string->view(), u"aBc");
}

// concat converts its arguments where they stand, so each converted text stays reachable while the
// conversions after it run script code.
TEST_F(StringTest, ConcatConvertsItsArgumentCellsInPlace) {
    HostClass* cls = engine->type_handlers[static_cast<int>(Tag::String)];
    ASSERT_NE(cls, nullptr);
    Value block[] = {Value::integer(2), Value::integer(7), Value::boolean(true)};
    Value receiver = str(u"x");
    Value result;
    ASSERT_TRUE(run_protected(engine, [&] {
        ASSERT_TRUE(cls->method(engine, cls, nullptr, receiver, intern(engine, "concat"), &result, block));
    }));
    ASSERT_EQ(block[1].tag, Tag::String);
    ASSERT_EQ(block[2].tag, Tag::String);
    EXPECT_EQ(block[1].payload.string->view(), u"7");
    EXPECT_EQ(block[2].payload.string->view(), u"true");
    EXPECT_EQ(result.payload.string->view(), u"x7true");
}

// Positions a script cannot write as literals: the extremes are clamped, never wrapped.
TEST_F(StringTest, ExtremePositionsAreClamped) {
    const Value smallest = Value::integer(int64_limits::min());
    const Value largest = Value::integer(int64_limits::max());
    Value text = str(u"abc");
    auto text_after = [&](const char* name, std::initializer_list<Value> arguments) {
        EXPECT_TRUE(method(text, name, arguments)) << name << ": " << engine->message;
        return result_text();
    };
    EXPECT_EQ(text_after("charAt", {smallest}), "");
    EXPECT_EQ(text_after("slice", {smallest}), "abc");
    EXPECT_EQ(text_after("slice", {smallest, smallest}), "");
    EXPECT_EQ(text_after("substr", {smallest, largest}), "abc");
    EXPECT_EQ(text_after("substr", {Value::integer(2), largest}), "c");
    EXPECT_EQ(text_after("substr", {largest, largest}), "");
    EXPECT_EQ(text_after("substring", {smallest, largest}), "abc");
    EXPECT_EQ(text_after("substring", {largest, largest}), "");
    ASSERT_TRUE(method(text, "charCodeAt", {smallest}));
    EXPECT_EQ(engine->result.tag, Tag::NaN);
    ASSERT_TRUE(method(text, "indexOf", {str(u""), largest}));
    EXPECT_EQ(engine->result.payload.integer, -1);
    ASSERT_TRUE(method(text, "lastIndexOf", {str(u"c"), largest}));
    EXPECT_EQ(engine->result.payload.integer, 2);
    ASSERT_TRUE(method(text, "lastIndexOf", {str(u"a"), smallest}));
    EXPECT_EQ(engine->result.payload.integer, -1);
    ASSERT_TRUE(method(text, "split", {str(u""), largest}));
    EXPECT_EQ(engine->result.tag, Tag::Array);
}

// A host calls members with values it holds only in its own memory. When a conversion lets a
// collection run, the receiver and the arguments must survive it: the call services give handlers
// copies on the stack.
TEST_F(StringTest, ValuesOfAHostCallSurviveCollectionsInConversions) {
    static std::set<void*> destroyed;
    destroyed.clear();
    static int ids[2] = {};
    HostClass* probe = new_host_class(engine);
    probe->destroy = [](HostClass*, void* instance) { destroyed.insert(instance); };
    probe->method = [](ScriptEngine* e, HostClass*, void*, const Value&, Atom method, Value* result, Value*) {
        if (method != atom_to_string) {
            return false;
        }
        // What a script toString may do: reach a collection point, then allocate over what died.
        collect(e, e->stack.saved_top);
        for (int i = 0; i < 64; ++i) {
            make_string_copy(e, u"zzzzzzzzzzzz");
        }
        *result = make_static_string(e, u"h");
        return true;
    };
    Value receiver = str(u"ab");
    ASSERT_TRUE(method(receiver, "concat", {make_host_object(engine, probe, &ids[0]), str(u"cd")}))
        << engine->message;
    EXPECT_EQ(result_text(), "abhcd");
    EXPECT_FALSE(destroyed.contains(&ids[0]));
    ASSERT_TRUE(call("String", {make_host_object(engine, probe, &ids[1])})) << engine->message;
    EXPECT_EQ(result_text(), "h");
    EXPECT_FALSE(destroyed.contains(&ids[1]));
    EXPECT_TRUE(gc_verify(engine));
}

}  // namespace
}  // namespace quill::testing
