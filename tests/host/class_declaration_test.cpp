// Classes declared through the one declaration, driven by scripts as every host class is.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/quill.h"
#include "engine/values/protected_run.h"
#include "host/common/class.h"
#include "host/common/console.h"

namespace tarpon::host {
namespace {

int counters_alive = 0;

struct Counter {
    Counter() { ++counters_alive; }
    ~Counter() { --counters_alive; }
    int64_t count = 0;
};

const ClassDeclaration& counter_declaration();

void counter_construct(MemberCall& call) {
    auto counter = std::make_unique<Counter>();
    if (std::optional<int64_t> start = call.args.integer(0)) {
        counter->count = *start;
    }
    *call.result = make_instance(call.engine, call.cls, std::move(counter));
}

void counter_add(MemberCall& call) {
    std::optional<double> step = call.args.number(0);
    if (!step) {
        *call.result = Value::boolean(false);
        return;
    }
    call.data<Counter>().count += static_cast<int64_t>(*step);
    *call.result = Value::integer(call.data<Counter>().count);
}

void counter_get(MemberCall& call) { *call.result = Value::integer(call.data<Counter>().count); }
void counter_set(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Integer) {
        call.data<Counter>().count = value.payload.integer;
    }
}
void counter_label(MemberCall& call) { *call.result = ansi_string_z(call.engine, static_cast<const char*>(call.member->context)); }

// Works on the class object as well: whether its argument is a Counter.
void counter_is_counter(MemberCall& call) {
    *call.result = Value::boolean(instance_of<Counter>(call.args[0], counter_declaration()) != nullptr);
}

// The string argument's text twice, or nothing without a string.
void counter_twice(MemberCall& call) {
    std::optional<std::string> text = ansi_argument(call.args, 0);
    if (text) {
        *call.result = ansi_string(call.engine, *text + *text);
    }
}

const Member counter_members[] = {
    method("add", counter_add, Needs::Instance),
    property("count", counter_get, counter_set, Needs::Instance),
    property("label", counter_label, nullptr, Needs::Nothing, "a counter"),
    method("isCounter", counter_is_counter),
    method("twice", counter_twice),
};

const ClassDeclaration counter_class = {
    .name = "Counter",
    .also_named = "Tally",
    .class_text = "[object Counter]",
    .members = counter_members,
    .construct = counter_construct,
    .destroy = delete_instance<Counter>,
};
const ClassDeclaration& counter_declaration() { return counter_class; }

void register_counter(ScriptEngine* engine) { declare_class(engine, counter_class); }

const ClassRegistration test_classes[] = {{ClassSlot::Ini, register_counter}};

class ClassDeclarationTest : public ::testing::Test {
protected:
    void SetUp() override {
        EngineConfig config;
        config.host_classes = test_classes;
        config.host_class_count = 1;
        handle = quill::create_engine(&config);
        ASSERT_NE(handle, nullptr);
        ASSERT_TRUE(run_protected(handle->engine, [&] {
            define_console(handle->engine, [](void* lines, std::string_view text) {
                static_cast<std::vector<std::string>*>(lines)->emplace_back(text);
            }, &printed, {});
        }));
    }
    void TearDown() override {
        quill::destroy_engine(handle);
        EXPECT_EQ(counters_alive, 0);
    }
    std::vector<std::string> run(const char* source) {
        printed.clear();
        EXPECT_TRUE(quill::run_source_text(handle, source)) << last_message(handle);
        return printed;
    }

    EngineHandle* handle = nullptr;
    std::vector<std::string> printed;
};

using Lines = std::vector<std::string>;

TEST_F(ClassDeclarationTest, MethodsAndPropertiesDispatchByName) {
    EXPECT_EQ(run("var c = new Counter(5); var a = c.add(2); var b = c.add(1.5);"
                  "print(a, b, c.count, c.add('x'));"
                  "c.count = 40; c.count = 'no'; print(c.count, c.label, Counter.label);"),
              (Lines{"7 8 8 false", "40 a counter a counter"}));
}

TEST_F(ClassDeclarationTest, ClassTextAndBothNames) {
    EXPECT_EQ(run("print(Counter, new Counter(), Tally === Counter, new Tally(3).count);"),
              (Lines{"[object Counter] [object Counter] true 3"}));
}

TEST_F(ClassDeclarationTest, InstanceMembersAreNotTheClassObjects) {
    // The class object has no instance data: its count is an ordinary property, and add is a method
    // it lacks (a warning, and no result).
    EXPECT_EQ(run("print(Counter.count); Counter.count = 4; print(Counter.count, Counter.add(1));"),
              (Lines{"undefined", "4 undefined"}));
}

TEST_F(ClassDeclarationTest, ReadOnlyPropertiesIgnoreWrites) {
    EXPECT_EQ(run("var c = new Counter(); c.label = 'other'; print(c.label);"), (Lines{"a counter"}));
}

TEST_F(ClassDeclarationTest, ArgumentsByTheirTags) {
    EXPECT_EQ(run("print(Counter.isCounter(new Counter()), Counter.isCounter(Counter), Counter.isCounter({}),"
                  " Counter.isCounter());"
                  "print(Counter.twice('ab'), Counter.twice(12), Counter.twice());"
                  "print(new Counter('7').count, new Counter(7.0).count);"),
              (Lines{"true false false false", "abab undefined undefined", "0 0"}));
}

TEST_F(ClassDeclarationTest, InstancesAreFreedWithTheirObjects) {
    run("for (var i = 0; i < 1000; i++) { var c = new Counter(i); }");
    quill::destroy_engine(handle);
    handle = nullptr;
    EXPECT_EQ(counters_alive, 0);
}

TEST(Arguments, ReadersFollowTagsExactly) {
    Value block[5];
    block[0] = Value::integer(4);
    block[1] = Value::integer(3);
    block[2] = Value::number(2.5);
    block[3] = Value::null();
    block[4] = Value::boolean(true);
    Arguments args(block);
    EXPECT_EQ(args.count(), 4u);
    EXPECT_EQ(args.integer(0), 3);
    EXPECT_FALSE(args.integer(1).has_value());
    EXPECT_EQ(args.number(0), 3.0);
    EXPECT_EQ(args.number(1), 2.5);
    EXPECT_FALSE(args.number(2).has_value());
    EXPECT_EQ(args.string(0), nullptr);
    EXPECT_TRUE(args.is(3, Tag::Boolean));
    EXPECT_FALSE(args.has(4));
    EXPECT_EQ(args[9].tag, Tag::Undefined);
    // No block at all (an internal call) reads as no arguments.
    EXPECT_EQ(Arguments(nullptr).count(), 0u);
}

}  // namespace
}  // namespace tarpon::host
