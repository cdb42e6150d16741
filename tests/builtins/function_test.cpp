// The Function class: the text new Function compiles and what it gives back.
#include "engine/builtins/function.h"

#include "engine/values/records.h"
#include "tests/builtins/value_class_fixture.h"

namespace quill::testing {
namespace {

class FunctionTest : public ValueClassTest {
protected:
    std::string source(std::initializer_list<Value> arguments) {
        std::vector<Value> block{Value::integer(static_cast<int64_t>(arguments.size()))};
        block.insert(block.end(), arguments.begin(), arguments.end());
        return function_source(engine, Arguments(block.data()));
    }
};

TEST_F(FunctionTest, SourceTextFromTheArguments) {
    EXPECT_EQ(source({str(u"a"), str(u"b"), str(u"return a+b")}), "function (a, b) {return a+b}");
    EXPECT_EQ(source({}), "function () {}");
    EXPECT_EQ(source({str(u"a"), str(u"b"), Value::integer(7)}), "function (a, b) {}");
    // Parameters that are not strings are left out with their separators, wherever they stand.
    EXPECT_EQ(source({Value::null(), str(u"a"), Value::integer(5), str(u"b"), str(u"x")}), "function (a, b) {x}");
    EXPECT_EQ(source({str(u"a"), Value::integer(5), str(u"x")}), "function (a) {x}");
}

TEST_F(FunctionTest, ResultIsTheInstalledAnonymousFunctionOrNull) {
    uint32_t before = engine->anonymous_functions;
    ASSERT_TRUE(construct("Function", {str(u"a"), str(u"b"), str(u"return (")})) << engine->message;
    EXPECT_EQ(engine->result.tag, Tag::Null);
    EXPECT_EQ(engine->anonymous_functions, before);

    // A body with a function of its own: the result is still the outer one.
    ASSERT_TRUE(construct("Function", {str(u"a"), str(u"function inner() {} return a;")})) << engine->message;
    Value made = engine->result;
    ASSERT_EQ(made.tag, Tag::Function);
    EXPECT_EQ(global(("@F_" + std::to_string(before)).c_str()).payload.function, made.payload.function);
    Value block[] = {Value::integer(1), Value::integer(42)};
    ASSERT_TRUE(vm::call_function(engine, nullptr, &made, 2, block)) << engine->message;
    EXPECT_EQ(engine->result.payload.integer, 42);
}

}  // namespace
}  // namespace quill::testing
