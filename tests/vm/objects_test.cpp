// Objects, host objects, with-scopes, element access and the call services.
#include "engine/values/array.h"
#include "engine/values/errors.h"
#include "engine/values/host_class.h"
#include "engine/values/property_table.h"
#include "engine/values/records.h"
#include "engine/vm/services.h"
#include "tests/vm/vm_fixture.h"

namespace quill::vm::testing {
namespace {

// A constructor that stores its first argument as this.x and a method get() returning this.x.
constexpr const char* point_class = R"(
.function Point
    GET_ARG 1
    ADD2
    ARGS_PAD 3
    GET_ARG 2
    GET_ARG 0
    SET_PROP x
    PUSH_UNDEFINED
    RETURN
.function get
    GET_ARG 0
    GET_PROP x
    RETURN
)";

class ObjectTest : public VmTest {
protected:
    std::string with_points(std::string_view main) { return std::string(point_class) + ".function .main\n" + std::string(main); }
};

TEST_F(ObjectTest, ConstructorsAndMethodsThroughThePrototype) {
    ASSERT_TRUE(run(with_points(R"(
    GET_GLOBAL get
    GET_GLOBAL Point
    SET_PROP get            ; Point's own table is the prototype of what it constructs
    PUSH_CONST 7
    PUSH_1
    GET_GLOBAL Point
    NEW
    SWAP
    NIP 3
    DUP
    SET_GLOBAL p
    PUSH_0
    SWAP
    CALL_METHOD get
    NIP 2
)"))) << engine->message;
    EXPECT_EQ(text(engine->result), "7");
    EXPECT_TRUE(warnings.empty()) << warnings[0];
}

TEST_F(ObjectTest, MissingMembersWarn) {
    ASSERT_TRUE(run(with_points(R"(
    PUSH_0
    GET_GLOBAL Point
    NEW
    SWAP
    NIP 2
    DUP
    GET_PROP nothing
    POP
    PUSH_0
    SWAP
    CALL_METHOD nothing
    NIP 2
)")));
    EXPECT_EQ(engine->result.tag, Tag::Undefined);
    EXPECT_EQ(warnings, (std::vector<std::string>{"Warning: using undefined property \"nothing\"",
                                                  "Warning: unknown method \"nothing\""}));
}

TEST_F(ObjectTest, InvalidConstructorsGiveNull) {
    // Null has no per-type handler to construct with (a number would reach the Number class).
    EXPECT_EQ(eval("PUSH_0\nPUSH_CONST null\nNEW\nSWAP\nNIP 2").tag, Tag::Null);
    EXPECT_EQ(warnings, std::vector<std::string>{"Warning: invalid constructor"});
    warnings.clear();
    EXPECT_EQ(eval("PUSH_0\nPUSH_CONST 5\nCALL\nNIP 2").tag, Tag::Undefined);
    EXPECT_EQ(warnings, std::vector<std::string>{"Warning: call a undefined function"});
}

TEST_F(ObjectTest, WithScopesAreNotInheritedByCallees) {
    ASSERT_TRUE(run(with_points(R"(
.function readX
    GET_SCOPED x
    RETURN
.function .main
    PUSH_CONST "global"
    SET_GLOBAL x
    PUSH_CONST "scoped"
    PUSH_1
    GET_GLOBAL Point
    NEW
    SWAP
    NIP 3
    WITH_PUSH
    GET_SCOPED x
    PUSH_0
    GET_GLOBAL readX
    CALL_SCOPED readX
    NIP 2
    ADD
    PUSH_CONST "set"
    SET_SCOPED x            ; stores into the scope object, which has x
    GET_SCOPED x
    ADD
    WITH_POP 1
    GET_SCOPED x
    ADD
)")));
    EXPECT_EQ(text(engine->result), "scopedglobalsetglobal");
}

TEST_F(ObjectTest, ElementsOfObjects) {
    // o[0] is the first slot ("__proto__" of a constructed object), o["x"] an own property.
    ASSERT_TRUE(run(with_points(R"(
    PUSH_CONST "v"
    PUSH_1
    GET_GLOBAL Point
    NEW
    SWAP
    NIP 3
    SET_GLOBAL o
    GET_GLOBAL o
    PUSH_0
    GET_ELEM
    TYPEOF
    GET_GLOBAL o
    PUSH_CONST "x"
    GET_ELEM
    ADD
    PUSH_CONST "w"
    GET_GLOBAL o
    PUSH_CONST "y"
    SET_ELEM
    GET_GLOBAL o
    GET_PROP y
    ADD
    GET_GLOBAL o
    PUSH_CONST "y"
    DELETE_ELEM
    POP
    GET_GLOBAL o
    PUSH_CONST "y"
    GET_ELEM
    TYPEOF
    ADD
)")));
    EXPECT_EQ(text(engine->result), "objectvwundefined");
}

TEST_F(ObjectTest, ElementsOfStrings) {
    EXPECT_EQ(eval_text("PUSH_CONST \"abc\"\nPUSH_0\nGET_ELEM"), "97");
    EXPECT_EQ(eval("PUSH_CONST \"abc\"\nPUSH_CONST 3\nGET_ELEM").tag, Tag::Undefined);
    EXPECT_EQ(eval("PUSH_CONST \"abc\"\nPUSH_CONST \"0\"\nGET_ELEM").tag, Tag::Undefined);
    EXPECT_EQ(warnings, (std::vector<std::string>{"Warning: string index out of range",
                                                  "Warning: invalid index for operator []"}));
    warnings.clear();
    // A string made at run time can change in place; writing past its end pads with blanks.
    EXPECT_EQ(eval_text(R"(
    PUSH_CONST "a"
    PUSH_CONST "b"
    ADD
    SET_GLOBAL s
    PUSH_CONST 122
    GET_GLOBAL s
    PUSH_CONST 5
    SET_ELEM
    PUSH_CONST "Q"
    GET_GLOBAL s
    PUSH_0
    SET_ELEM
    GET_GLOBAL s
    PUSH_CONST "|"
    ADD
)"),
              "Qb   z|");
    EXPECT_TRUE(warnings.empty());
    eval("PUSH_1\nPUSH_CONST \"const\"\nPUSH_0\nSET_ELEM\nPUSH_1\nGET_GLOBAL s\nPUSH_CONST -1\nSET_ELEM\n"
         "PUSH_NULL\nGET_GLOBAL s\nPUSH_0\nSET_ELEM");
    EXPECT_EQ(warnings, (std::vector<std::string>{"Warning: can't change a static string",
                                                  "Warning: invalid index for operator []",
                                                  "Warning: can't store a non-charactor value to string"}));
    // A position far past anything sensible is refused.
    EXPECT_FALSE(run(".function .main\nPUSH_1\nGET_GLOBAL s\nPUSH_CONST 4000000000\nSET_ELEM"));
    EXPECT_STREQ(engine->message, "Runtime error: Out of memory");
}

TEST_F(ObjectTest, ElementsOfArraysAndEnumeration) {
    ArrayRecord* array = array_create(engine, 3);
    array_insert(engine, array, Value::integer(10), 0);
    array_insert(engine, array, Value::integer(30), 2);
    global("a") = Value::array(array);
    EXPECT_EQ(eval_text("GET_GLOBAL a\nPUSH_2\nGET_ELEM"), "30");
    EXPECT_EQ(eval("GET_GLOBAL a\nPUSH_1\nGET_ELEM").tag, Tag::Undefined);   // a hole
    EXPECT_EQ(eval("GET_GLOBAL a\nPUSH_CONST 9\nGET_ELEM").tag, Tag::Undefined);
    EXPECT_EQ(eval_text("GET_GLOBAL a\nPUSH_CONST 2.9\nGET_ELEM"), "30");
    EXPECT_TRUE(warnings.empty());
    eval("GET_GLOBAL a\nPUSH_CONST \"1\"\nGET_ELEM");
    EXPECT_EQ(warnings, std::vector<std::string>{"Warning: invalid index for operator []"});

    eval("PUSH_CONST 50\nGET_GLOBAL a\nPUSH_CONST 5\nSET_ELEM");
    EXPECT_EQ(array->length, 6u);
    eval("GET_GLOBAL a\nPUSH_0\nDELETE_ELEM");  // closes the gap
    EXPECT_EQ(array->length, 5u);
    EXPECT_EQ(eval_text("GET_GLOBAL a\nPUSH_CONST 4\nGET_ELEM"), "50");

    // for-in steps: (item, more) for each index until more is false.
    EXPECT_EQ(eval_text(R"(
    PUSH_CONST ""
    SET_GLOBAL out
    PUSH_0
    SET_GLOBAL i
loop:
    GET_GLOBAL a
    GET_GLOBAL i
    FORIN_NEXT
    JF_BOOL done
    TYPEOF
    GET_GLOBAL out
    SWAP
    ADD
    PUSH_CONST ","
    ADD
    SET_GLOBAL out
    GET_GLOBAL i
    INC
    SET_GLOBAL i
    JMP loop
done:
    POP
    GET_GLOBAL out
)"),
              "undefined,number,undefined,undefined,number,");
}

// A host class with a call handler that calls back the script function given as its argument.
void call_back(ScriptEngine* engine, HostClass*, void*, Value* result, Value* args) {
    Value no_arguments = Value::integer(0);
    if (argument_count(args) < 1 || !call_function_value(engine, Value::null(), args[1], 1, &no_arguments)) {
        raise_current_message(engine);
    }
    *result = engine->result;
}

TEST_F(ObjectTest, FailuresOfCallbacksReachTheScriptsTry) {
    HostClass* cls = new_host_class(engine);
    cls->call = call_back;
    global("callBack") = make_host_object(engine, cls, nullptr);
    ASSERT_TRUE(run(R"(
.function fails
    PUSH_0
    PUSH_0
    GET_GLOBAL nothing_callable
    NEW
    POPN 3
    PUSH_CONST 1
    PUSH_0
    DIV
    PUSH_0
    GET_GLOBAL deeper
    CALL
    RETURN
.function deeper
    PUSH_0
    GET_GLOBAL deeper
    CALL
    RETURN
.function .main
    TRY_PUSH caught
    GET_GLOBAL fails
    PUSH_1
    GET_GLOBAL callBack
    CALL
    NIP 3
    TRY_POP 1
    JMP done
caught:
done:
)")) << engine->message;
    EXPECT_EQ(text(engine->result), "Runtime error: stack overflow");
    EXPECT_EQ(engine->protection, nullptr);

    // A value thrown inside the callback comes back as its text.
    ASSERT_TRUE(run(R"(
.function throws
    PUSH_CONST "inner"
    THROW
.function .main
    TRY_PUSH caught
    GET_GLOBAL throws
    PUSH_1
    GET_GLOBAL callBack
    CALL
caught:
)"));
    EXPECT_EQ(text(engine->result), "inner");
}

TEST_F(ObjectTest, CallServices) {
    ASSERT_TRUE(run(with_points(".function twice\nGET_ARG 2\nPUSH_2\nMUL\nRETURN\n.function .main\nPUSH_CONST 7\nSET_GLOBAL seven")));
    Value arguments[] = {Value::integer(21)};
    EXPECT_TRUE(quill::call_function(handle, "twice", arguments, 1));
    EXPECT_EQ(text(engine->result), "42");
    EXPECT_FALSE(quill::call_function(handle, "seven", nullptr, 0));
    EXPECT_STREQ(engine->message, "Warning: call a undefined function");
    EXPECT_FALSE(quill::call_function(handle, "never_defined", nullptr, 0));

    PropertyTable* object = new_table(engine);
    EXPECT_FALSE(quill::call_method(handle, Value::object(object), "missing", nullptr, 0));
    EXPECT_STREQ(engine->message, "Warning: unknown method \"missing\"");
    table_put(engine, object, intern(engine, "get"), global("get"));
    table_put(engine, object, intern(engine, "x"), Value::integer(5));
    EXPECT_TRUE(quill::call_method(handle, Value::object(object), "get", nullptr, 0));
    EXPECT_EQ(text(engine->result), "5");
    EXPECT_EQ(quill::last_result_text(handle), "5");
}

TEST_F(ObjectTest, HookAnswersStopTheScript) {
    engine->heap.threshold = 64 * 1024;
    quill::set_hook(handle, [](int, void*) { return 7; }, nullptr);
    Value* top = engine->stack.saved_top;
    EXPECT_FALSE(run(R"(
.function .main
    PUSH_CONST ""
loop:
    PUSH_CONST "more text "
    ADD
    JMP loop
)"));
    EXPECT_STREQ(engine->message, "Runtime error: hook break 7");
    EXPECT_EQ(engine->stack.saved_top, top);
}

TEST_F(ObjectTest, CollectionsDuringScriptsKeepLiveValues) {
    engine->heap.threshold = 16 * 1024;
    ASSERT_TRUE(run(with_points(R"(
    PUSH_CONST "kept"
    PUSH_1
    GET_GLOBAL Point
    NEW
    SWAP
    NIP 3
    SET_GLOBAL p
    PUSH_0
loop:
    PUSH_CONST "x"
    PUSH_CONST "y"
    ADD
    POP
    INC
    DUP
    PUSH_CONST 20000
    LT
    JT_BOOL loop
    POP
    GET_GLOBAL p
    GET_PROP x
)"))) << engine->message;
    EXPECT_EQ(text(engine->result), "kept");
    EXPECT_GT(engine->heap.collection_count, 2u);
}

// A live heap that keeps growing is not marked again every 2 MiB: building some 48 MiB of arrays
// takes a handful of collections (each followed by the hook with the code 2), not one per 2 MiB.
TEST_F(ObjectTest, AGrowingLiveHeapIsCollectedAFewTimes) {
    static uint32_t hook_calls;
    hook_calls = 0;
    quill::set_hook(
        handle,
        [](int code, void*) {
            hook_calls += code == 2 ? 1 : 0;
            return 0;
        },
        nullptr);
    ASSERT_TRUE(quill::run_source_text(handle, R"(
var a = [];
for (var i = 0; i < 160000; i++) a[i] = [i];
a[12345][0];
)")) << engine->message;
    EXPECT_EQ(text(engine->result), "12345");
    EXPECT_GE(engine->heap.collection_count, 3u);
    EXPECT_LE(engine->heap.collection_count, 10u);
    EXPECT_EQ(hook_calls, engine->heap.collection_count);
}

// With a collection at every collection point: a value assigned to a name inside `with` that no scope
// object takes goes to the global, and the collections after each scope's check must not free it.
TEST_F(ObjectTest, ScopedStoresSurviveCollectionsOnTheWay) {
    engine->heap.threshold = 0;
    ASSERT_TRUE(quill::run_source_text(handle, R"(
var scope = {}, other = {};
with (scope) { with (other) { made = new String("x" + 1); } }
made + "|" + typeof scope.made;
)")) << engine->message;
    EXPECT_EQ(text(engine->result), "x1|undefined");
}

}  // namespace
}  // namespace quill::vm::testing
