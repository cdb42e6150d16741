// The Boolean class, beyond what tests/scripts/builtins/Boolean shows.
#include "engine/builtins/boolean.h"

#include "tests/builtins/value_class_fixture.h"

namespace quill::testing {
namespace {

using BooleanTest = ValueClassTest;

TEST_F(BooleanTest, NewGivesThePrimitiveNotAnObject) {
    for (bool b : {false, true}) {
        ASSERT_TRUE(construct("Boolean", {Value::boolean(b)}));
        ASSERT_EQ(engine->result.tag, Tag::Boolean);
        EXPECT_EQ(to_boolean(engine->result), b);
    }
    ASSERT_TRUE(construct("Boolean", {}));
    EXPECT_FALSE(to_boolean(engine->result));
    EXPECT_EQ(text_of(Value::boolean(true)), "true");
    EXPECT_EQ(text_of(global("Boolean")), "[type Function]");
}

}  // namespace
}  // namespace quill::testing
