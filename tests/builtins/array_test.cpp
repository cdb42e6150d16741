// The Array class where scripts cannot easily reach: lengths near 2^64, and collections while a
// comparator runs. Everything else is shown by tests/scripts/builtins/Array.
#include "engine/builtins/array.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <string>

#include "engine/quill.h"
#include "engine/values/array.h"
#include "engine/values/atoms.h"
#include "engine/values/collector.h"
#include "engine/values/conversions.h"
#include "engine/values/host_class.h"
#include "engine/values/protected_run.h"
#include "engine/values/string_record.h"
#include "engine/values/text_codec.h"
#include "tests/vm/vm_fixture.h"

namespace quill::testing {
namespace {

constexpr uint64_t max_length = ~uint64_t{0};

class ArrayClassTest : public vm::testing::VmTest {
protected:
    Value& global(const char* name) {
        Atom atom = intern(engine, name);  // first: interning may move the global slots
        return engine->globals.items[atom];
    }

    // An array of `length` with the given elements at 0, 1, ... and one more at `last` when given,
    // kept in a global like a script's variable.
    Value array(uint64_t length, std::initializer_list<int64_t> elements, uint64_t last = 0) {
        ArrayRecord* a = array_create(engine, length);
        uint64_t i = 0;
        for (int64_t element : elements) {
            array_insert(engine, a, Value::integer(element), i++);
        }
        if (last != 0) {
            array_insert(engine, a, Value::integer(9), last);
        }
        return global("kept") = Value::array(a);
    }

    bool try_method(const Value& receiver, const char* name, std::initializer_list<Value> arguments = {}) {
        return quill::call_method(handle, receiver, name, arguments.begin(), static_cast<uint32_t>(arguments.size()));
    }
    Value method(const Value& receiver, const char* name, std::initializer_list<Value> arguments = {}) {
        EXPECT_TRUE(try_method(receiver, name, arguments)) << engine->message;
        return engine->result;
    }
    void expect_out_of_memory(const Value& receiver, const char* name, std::initializer_list<Value> arguments = {}) {
        EXPECT_FALSE(try_method(receiver, name, arguments)) << name;
        EXPECT_STREQ(engine->message, "Runtime error: Out of memory");
    }

    // The elements by index, as text.
    std::map<uint64_t, std::string> elements(const Value& value) {
        std::map<uint64_t, std::string> out;
        run_protected(engine, [&] {
            array_for_each_element(value.payload.array, [&](uint64_t index, const Value& element) {
                out[index] = utf16_to_narrow(to_string(engine, element).payload.string->view());
            });
        });
        return out;
    }

};

using Elements = std::map<uint64_t, std::string>;

// Lengths of 2^32 and more: every method works over the stored elements, stays correct and
// finishes at once, or refuses with "Out of memory".
TEST_F(ArrayClassTest, HugeLengthsStayCorrect) {
    const uint64_t big = (uint64_t{1} << 40) + 5;
    Value a = array(big, {0, 1}, big - 1);
    method(a, "reverse");
    EXPECT_EQ(elements(a), (Elements{{0, "9"}, {big - 2, "1"}, {big - 1, "0"}}));
    method(a, "shift");
    method(a, "unshift", {Value::integer(5)});
    EXPECT_EQ(elements(a), (Elements{{0, "5"}, {big - 2, "1"}, {big - 1, "0"}}));
    EXPECT_EQ(a.payload.array->length, big);

    EXPECT_EQ(elements(method(array(big, {0, 1}, big - 1), "slice", {Value::integer(-2)})), (Elements{{1, "9"}}));
    Value cut = array(big, {0, 1}, big - 1);
    method(cut, "splice", {Value::integer(1), Value::integer(1), Value::integer(7), Value::integer(8)});
    EXPECT_EQ(cut.payload.array->length, big + 1);
    EXPECT_EQ(elements(cut), (Elements{{0, "0"}, {1, "7"}, {2, "8"}, {big, "9"}}));
    Value sorted = array(big, {1, 0}, big - 1);
    method(sorted, "sort");
    EXPECT_EQ(elements(sorted), (Elements{{0, "0"}, {1, "1"}, {2, "9"}}));
    EXPECT_EQ(sorted.payload.array->length, big);
    Value doubled = method(array(big, {1}), "concat", {array(big, {2})});
    EXPECT_EQ(doubled.payload.array->length, 2 * big);
    EXPECT_EQ(elements(doubled), (Elements{{0, "1"}, {big, "2"}}));

    // join refuses separators past the longest string whatever the length; concat stops at an
    // argument that would carry the length past 2^64 - 1.
    expect_out_of_memory(array(max_length, {1}), "join", {make_static_string(engine, u"--")});
    Value near = array(max_length - 1, {1});
    Value joined = method(near, "concat", {Value::integer(2), array(2, {3, 4}), Value::integer(5)});
    EXPECT_EQ(joined.payload.array->length, max_length);
    EXPECT_EQ(elements(joined), (Elements{{0, "1"}, {max_length - 1, "2"}}));

    // Lengths past 2^64 - 1.
    expect_out_of_memory(array(max_length, {}), "unshift", {Value::integer(1)});
    expect_out_of_memory(array(max_length, {}), "splice", {Value::integer(-1), Value::integer(0), Value::null(),
                                                          Value::null()});
}

// A comparator may let a collection run, and may change the array meanwhile: the gathered
// elements live on, and the array ends up holding all of them, sorted.
TEST_F(ArrayClassTest, ElementsSurviveCollectionsInsideTheComparator) {
    static std::map<int64_t, int> destroyed;
    destroyed.clear();
    static int64_t ids[7] = {5, 3, 4, 0, 2, 1, -1};  // the last is the comparator's
    HostClass* element_class = new_host_class(engine);
    element_class->destroy = [](HostClass*, void* instance) { ++destroyed[*static_cast<int64_t*>(instance)]; };
    Value a = array(6, {});
    for (int i = 0; i < 6; ++i) {
        int64_t& id = ids[i];
        array_put(engine, a.payload.array, static_cast<uint64_t>(&id - ids), make_host_object(engine, element_class, &id));
    }

    HostClass* comparator = new_host_class(engine);
    comparator->destroy = element_class->destroy;
    comparator->call = [](ScriptEngine* e, HostClass*, void*, Value* result, Value* args) {
        // What a script comparator may do: empty the array, then reach a collection point.
        array_set_length(e, get_global(e, "kept").payload.array, 0);
        collect(e, e->stack.saved_top);
        *result = Value::integer(*static_cast<int64_t*>(args[1].payload.host->instance) -
                                 *static_cast<int64_t*>(args[2].payload.host->instance));
    };
    method(a, "sort", {make_host_object(engine, comparator, &ids[6])});
    EXPECT_TRUE(destroyed.empty());
    ASSERT_EQ(a.payload.array->length, 6u);
    for (uint64_t i = 0; i < 6; ++i) {
        Value* cell = array_get(a.payload.array, i);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(*static_cast<int64_t*>(cell->payload.host->instance), static_cast<int64_t>(i));
    }
    EXPECT_TRUE(gc_verify(engine));

    // A host object that cannot be called fails the sort and leaves the array as it was.
    EXPECT_FALSE(try_method(a, "sort", {make_host_object(engine, new_host_class(engine), nullptr)}));
    EXPECT_STREQ(engine->message, "Warning: call a undefined function");
    EXPECT_EQ(a.payload.array->count, 6u);
}

// A sort called from the host whose comparator fails: the call fails with the comparator's text,
// the array is as it was, and the engine is left as before the call (no protection record behind,
// the stack top where it stood), so later calls work.
TEST_F(ArrayClassTest, AFailedSortLeavesTheEngineAsItWas) {
    Value a = array(4, {4, 1, 3, 2});
    HostClass* comparator = new_host_class(engine);
    comparator->call = [](ScriptEngine* e, HostClass*, void*, Value* result, Value* args) {
        static int calls = 0;
        if (++calls == 3) {
            raise_error(e, Message::StackOverflow);
        }
        *result = Value::integer(args[1].payload.integer - args[2].payload.integer);
    };
    Value* top = engine->stack.saved_top;
    ProtectionRecord* head = engine->protection;
    EXPECT_FALSE(try_method(a, "sort", {make_host_object(engine, comparator, nullptr)}));
    EXPECT_STREQ(engine->message, "Runtime error: stack overflow");
    EXPECT_EQ(engine->stack.saved_top, top);
    EXPECT_EQ(engine->protection, head);
    EXPECT_EQ(elements(a), (Elements{{0, "4"}, {1, "1"}, {2, "3"}, {3, "2"}}));

    // The next sort runs to its end.
    method(a, "sort", {make_host_object(engine, comparator, nullptr)});
    EXPECT_EQ(elements(a), (Elements{{0, "1"}, {1, "2"}, {2, "3"}, {3, "4"}}));
    EXPECT_EQ(engine->stack.saved_top, top);
    EXPECT_EQ(engine->protection, head);
}

}  // namespace
}  // namespace quill::testing
