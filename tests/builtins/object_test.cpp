// The Object class, beyond what tests/scripts/builtins/Object shows: what exactly the constructor
// returns, and the conversion failures.
#include "engine/builtins/object.h"

#include "engine/values/property_table.h"
#include "tests/builtins/value_class_fixture.h"

namespace quill::testing {
namespace {

using ObjectTest = ValueClassTest;

TEST_F(ObjectTest, NewObjectsAreEmptyAndValuesStayThemselves) {
    for (bool by_new : {false, true}) {
        SCOPED_TRACE(by_new ? "new Object" : "Object");
        auto make = [&](std::initializer_list<Value> arguments) {
            EXPECT_TRUE(by_new ? construct("Object", arguments) : call("Object", arguments)) << engine->message;
            return engine->result;
        };
        for (Value made : {make({}), make({Value::undefined()}), make({Value::null()})}) {
            ASSERT_EQ(made.tag, Tag::Object);
            EXPECT_EQ(made.payload.table->slot_count, 0u);  // not even a "__proto__" slot
        }
        Value object = Value::object(new_table(engine));
        EXPECT_EQ(make({object}).payload.table, object.payload.table);
        EXPECT_EQ(make({Value::nan()}).tag, Tag::NaN);
        // A string comes back as a changeable copy.
        Value s = make_static_string(engine, u"text");
        Value copy = make({s});
        ASSERT_EQ(copy.tag, Tag::String);
        EXPECT_NE(copy.payload.string, s.payload.string);
        EXPECT_FALSE(copy.payload.string->is_static());
        EXPECT_EQ(copy.payload.string->view(), u"text");
    }
}

TEST_F(ObjectTest, UndefinedOrNullWithMoreArgumentsCannotBeConverted) {
    for (const Value& nothing : {Value::undefined(), Value::null()}) {
        EXPECT_FALSE(call("Object", {nothing, Value::integer(1)}));
        EXPECT_STREQ(engine->message, "Runtime error: Can't convert to object");
        // new makes an object instead.
        ASSERT_TRUE(construct("Object", {nothing, Value::integer(1)}));
        EXPECT_EQ(engine->result.tag, Tag::Object);
    }
}

TEST_F(ObjectTest, ClassMembers) {
    ASSERT_TRUE(method(global("Object"), "toSource"));
    EXPECT_EQ(result_text(), "new Object()");
    ASSERT_TRUE(method(Value::object(new_table(engine)), "toSource"));
    EXPECT_EQ(engine->result.tag, Tag::Undefined);
    EXPECT_EQ(text_of(Value::object(new_table(engine))), "[object Object]");
}

}  // namespace
}  // namespace quill::testing
