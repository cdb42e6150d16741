// Declared classes as scripts meet them: members that need an instance, getters and setters,
// handlers that decline a name, class-wide state and classes without a property handler.
#include <memory>

#include "engine/values/class_declaration.h"
#include "tests/vm/vm_fixture.h"

namespace quill::vm::testing {
namespace {

struct Counter {
    int64_t count = 0;
};

struct Calls {
    int made = 0;
};

int states_freed = 0;

void* make_calls(ScriptEngine*) { return new Calls(); }
void free_calls(void* state) {
    ++states_freed;
    delete static_cast<Calls*>(state);
}

void counter_construct(MemberCall& call) {
    ++call.state<Calls>().made;
    *call.result = make_instance(call.engine, call.cls, std::make_unique<Counter>());
}

// add(n): n must be an Integer; the count is the result.
void add(MemberCall& call) {
    Counter& counter = call.data<Counter>();
    counter.count += call.args.integer(0).value_or(0);
    *call.result = Value::integer(counter.count);
}

void count(MemberCall& call) { *call.result = Value::integer(call.data<Counter>().count); }
void set_count(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Integer) {
        call.data<Counter>().count = value.payload.integer;
    }
}

void made(MemberCall& call) { *call.result = Value::integer(call.state<Calls>().made); }

// Read on the class object only; on an instance the name is left to the instance's own table.
void label(MemberCall& call) {
    if (call.instance != nullptr) {
        call.decline();
        return;
    }
    *call.result = Value::integer(call.context<int64_t>());
}

constexpr int64_t label_value = 7;

const Member counter_members[] = {
    method("add", add, Needs::Instance),
    property("count", count, set_count, Needs::Instance),
    property("made", made),
    property("label", label, nullptr, Needs::Nothing, &label_value),
};

const ClassDeclaration counter_class = {
    .name = "Counter",
    .class_text = "[object Counter]",
    .members = counter_members,
    .construct = counter_construct,
    .destroy = delete_instance<Counter>,
    .make_state = make_calls,
    .free_state = free_calls,
};

void answer(MemberCall& call) { *call.result = Value::integer(42); }

const ClassDeclaration answer_function = {.name = "answer", .call = answer, .fixed_properties = true};

class ClassDeclarationTest : public VmTest {
protected:
    void SetUp() override {
        VmTest::SetUp();
        ASSERT_TRUE(run_native(handle, [](ScriptEngine* e) {
            declare_class(e, counter_class);
            declare_class(e, answer_function);
        }));
    }
    std::string script_text(const char* source) {
        EXPECT_TRUE(quill::run_source_text(handle, source)) << engine->message;
        return last_result_text(handle);
    }
};

TEST_F(ClassDeclarationTest, MembersThatNeedAnInstanceAreNotTheClassObjects) {
    EXPECT_EQ(script_text("c = new Counter(); c.add(2); c.add(3);"), "5");
    EXPECT_EQ(script_text("c.count = 10; c.count = 'x'; c.count;"), "10");
    // On the class object the names are not the class's: a missing method, an ordinary property.
    EXPECT_EQ(script_text("typeof Counter.add(1);"), "undefined");
    EXPECT_EQ(script_text("Counter.count = 3; Counter.count;"), "3");
    EXPECT_EQ(script_text("c.toString() + Counter;"), "[object Counter][object Counter]");
}

TEST_F(ClassDeclarationTest, PropertyWithoutSetterIgnoresWritesAndDeclinedNamesGoToTheTable) {
    EXPECT_EQ(script_text("Counter.label = 1; Counter.label;"), "7");
    EXPECT_EQ(script_text("c = new Counter(); typeof c.label;"), "undefined");
    // A write of a property without a setter is ignored whatever the receiver.
    EXPECT_EQ(script_text("c.label = 'own'; typeof c.label;"), "undefined");
}

TEST_F(ClassDeclarationTest, ClassStateLivesAsLongAsTheEngine) {
    EXPECT_EQ(script_text("new Counter(); new Counter(); Counter.made;"), "2");
    int freed = states_freed;
    quill::destroy_engine(handle);
    handle = nullptr;
    EXPECT_EQ(states_freed, freed + 1);
}

TEST_F(ClassDeclarationTest, FixedPropertiesWarnAndStoreNothing) {
    EXPECT_EQ(script_text("answer.x = 1; typeof answer.x;"), "undefined");
    ASSERT_FALSE(warnings.empty());
    EXPECT_EQ(script_text("answer();"), "42");
}

}  // namespace
}  // namespace quill::vm::testing
