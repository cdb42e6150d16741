// The Array class, reached as scripts reach it: the class object called and constructed, methods
// and `length` on array values, literals and script comparators from compiled modules.
#include "engine/builtins/array.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/quill.h"
#include "engine/values/array.h"
#include "engine/values/atoms.h"
#include "engine/values/collector.h"
#include "engine/values/conversions.h"
#include "engine/values/host_class.h"
#include "engine/values/property_access.h"
#include "engine/values/property_table.h"
#include "engine/values/protected_run.h"
#include "engine/values/string_record.h"
#include "engine/values/text_codec.h"
#include "engine/vm/module_writer.h"

namespace quill::testing {
namespace {

constexpr uint64_t max_length = ~uint64_t{0};

class ArrayClassTest : public ::testing::Test {
protected:
    void SetUp() override {
        handle = quill::create_engine();
        ASSERT_NE(handle, nullptr);
        engine = handle->engine;
    }
    void TearDown() override { quill::destroy_engine(handle); }

    Value& global(const char* name) {
        Atom atom = intern(engine, name);  // interning may move the slots: index after it
        return engine->globals.items[atom];
    }
    Value str(std::u16string_view text) { return make_string_copy(engine, text); }
    static Value num(int64_t i) { return Value::integer(i); }

    // An array of the given length holding the given elements; kept in a global so that it stays
    // reachable like a script's variable.
    Value array(std::initializer_list<Value> elements, uint64_t length = 0) {
        ArrayRecord* a = array_create(engine, std::max<uint64_t>(length, elements.size()));
        uint64_t i = 0;
        for (const Value& element : elements) {
            array_insert(engine, a, element, i++);
        }
        Value value = Value::array(a);
        global("kept") = value;
        return value;
    }

    bool try_method(const Value& receiver, const char* name, std::initializer_list<Value> arguments = {}) {
        return quill::call_method(handle, receiver, name, arguments.begin(), static_cast<uint32_t>(arguments.size()));
    }
    Value method(const Value& receiver, const char* name, std::initializer_list<Value> arguments = {}) {
        EXPECT_TRUE(try_method(receiver, name, arguments)) << engine->message;
        return engine->result;
    }
    Value call_array(std::initializer_list<Value> arguments) {
        EXPECT_TRUE(quill::call_function(handle, "Array", arguments.begin(), static_cast<uint32_t>(arguments.size())))
            << engine->message;
        return engine->result;
    }
    Value construct_array(std::initializer_list<Value> arguments) {
        std::vector<Value> block{num(static_cast<int64_t>(arguments.size()))};
        block.insert(block.end(), arguments.begin(), arguments.end());
        HostClass* cls = global("Array").payload.host->cls;
        Value made;
        EXPECT_TRUE(run_protected(engine, [&] { cls->construct(engine, cls, block.data(), &made); }));
        return made;
    }
    Value length_of(const Value& value) {
        Value out;
        get_property(engine, value, intern(engine, "length"), &out);
        return out;
    }
    void set_length(const Value& value, const Value& length) {
        EXPECT_TRUE(run_protected(engine, [&] { set_property(engine, value, intern(engine, "length"), length); }));
    }

    std::string text(const Value& value) {
        std::string out;
        EXPECT_TRUE(run_protected(engine, [&] { out = utf16_to_narrow(to_string(engine, value).payload.string->view()); }));
        return out;
    }
    // Each position below the length: the element's text, or "_" for a hole.
    std::string slots(const Value& value) {
        EXPECT_EQ(value.tag, Tag::Array);
        if (value.tag != Tag::Array) {
            return "<not an array>";
        }
        ArrayRecord* a = value.payload.array;
        EXPECT_LE(a->length, 100u);
        std::string out;
        for (uint64_t i = 0; i < a->length && i < 100; ++i) {
            Value* cell = array_get(a, i);
            out += (i > 0 ? " " : "") + (cell != nullptr ? text(*cell) : std::string("_"));
        }
        return out;
    }
    // The elements of a long array, by index.
    std::map<uint64_t, std::string> elements(const Value& value) {
        std::map<uint64_t, std::string> out;
        array_for_each_node(value.payload.array, [&](const ArrayNode* node) { out[node->index] = text(node->value); });
        return out;
    }

    // Loads a module: its functions become globals; ".main" runs and its result is returned.
    Value load(const std::function<void(vm::ModuleWriter&)>& functions, const std::function<void(vm::ModuleWriter&)>& main) {
        vm::ModuleWriter writer(7);
        functions(writer);
        writer.begin_function(".main");
        main(writer);
        writer.emit(vm::Op::END);
        std::vector<uint8_t> bytes = writer.finish();
        EXPECT_TRUE(quill::run_compiled_bytes(handle, bytes.data(), bytes.size())) << engine->message;
        return engine->result;
    }
    // An array literal as the compiler makes it: the elements last first, the negative count,
    // Array, NEW, then the result moved over the argument block.
    Value literal(std::initializer_list<int64_t> elements) {
        return load([](vm::ModuleWriter&) {},
                    [&](vm::ModuleWriter& w) {
                        for (auto it = std::rbegin(elements); it != std::rend(elements); ++it) {
                            w.emit(vm::Op::PUSH_CONST, w.add_integer(*it));
                        }
                        auto n = static_cast<int64_t>(elements.size());
                        w.emit(vm::Op::PUSH_INT, -n);
                        w.emit(vm::Op::GET_GLOBAL, w.add_name("Array"));
                        w.emit(vm::Op::NEW);
                        w.emit(vm::Op::SWAP);
                        w.emit(vm::Op::NIP, n + 2);
                    });
    }

    EngineHandle* handle = nullptr;
    ScriptEngine* engine = nullptr;
};

void expect_integer(const Value& v, int64_t expected) {
    ASSERT_EQ(v.tag, Tag::Integer);
    EXPECT_EQ(v.payload.integer, expected);
}

// {==== Construction, length, conversion

TEST_F(ArrayClassTest, OneIntegerIsALengthAnythingElseElements) {
    Value three = call_array({num(3)});
    EXPECT_EQ(slots(three), "_ _ _");
    EXPECT_EQ(three.payload.array->count, 0u);
    EXPECT_EQ(slots(call_array({Value::number(3.5)})), "3.5");
    EXPECT_EQ(slots(call_array({str(u"3")})), "3");
    EXPECT_EQ(slots(call_array({})), "");
    EXPECT_EQ(slots(call_array({num(1), num(2), num(3)})), "1 2 3");
    EXPECT_EQ(slots(construct_array({num(2)})), "_ _");
    EXPECT_EQ(slots(construct_array({num(2), Value::undefined()})), "2 undefined");
    EXPECT_EQ(call_array({num(-1)}).payload.array->length, max_length);
    // The negative count of a literal: [5] is one element, not a length.
    EXPECT_EQ(slots(literal({5})), "5");
    EXPECT_EQ(slots(literal({7, 8, 9})), "7 8 9");
    EXPECT_EQ(slots(literal({})), "");
}

TEST_F(ArrayClassTest, TheClassObject) {
    Value cls = global("Array");
    EXPECT_EQ(text(method(cls, "toString")), "[object Array]");
    expect_integer(length_of(cls), 1);
    EXPECT_FALSE(try_method(cls, "join"));
    // Arrays find their members through the class, and convert to strings by joining.
    Value a = array({num(1), num(2)});
    EXPECT_EQ(engine->type_handlers[static_cast<int>(Tag::Array)], cls.payload.host->cls);
    EXPECT_EQ(text(a), "1,2");
    // Own tables inherit from the class prototype.
    table_put(engine, cls.payload.host->cls->prototype, intern(engine, "shared"), num(5));
    Value shared;
    get_property(engine, a, intern(engine, "shared"), &shared);
    expect_integer(shared, 5);
    EXPECT_FALSE(try_method(a, "valueOf"));
}

TEST_F(ArrayClassTest, LengthReadsAndWrites) {
    Value a = array({num(1), num(2), num(3)});
    expect_integer(length_of(a), 3);
    set_length(a, num(1));
    EXPECT_EQ(slots(a), "1");
    set_length(a, Value::number(-1.0));
    set_length(a, str(u"5"));
    set_length(a, Value::null());
    set_length(a, Value::number(1e30));  // past 2^64
    EXPECT_EQ(slots(a), "1");
    set_length(a, Value::number(4.9));
    EXPECT_EQ(slots(a), "1 _ _ _");
    set_length(a, num(-1));
    EXPECT_EQ(a.payload.array->length, max_length);
    expect_integer(length_of(a), -1);
}

// }====

// {==== join and toString

TEST_F(ArrayClassTest, JoinWritesElementsHolesAndSeparators) {
    Value a = array({num(1), num(2), num(3)});
    EXPECT_EQ(text(method(a, "join")), "1,2,3");
    EXPECT_EQ(text(method(a, "toString", {str(u"-")})), "1,2,3");  // toString takes no separator
    EXPECT_EQ(text(method(a, "join", {str(u" + ")})), "1 + 2 + 3");
    EXPECT_EQ(text(method(a, "join", {Value::boolean(true)})), "1true2true3");
    EXPECT_EQ(text(method(a, "join", {Value::undefined()})), "1undefined2undefined3");
    Value holes = array({num(1)}, 3);
    array_insert(engine, holes.payload.array, num(3), 2);
    EXPECT_EQ(text(method(holes, "join", {str(u"-")})), "1--3");
    EXPECT_EQ(text(method(array({}, 4), "join")), ",,,");
    EXPECT_EQ(text(method(array({Value::undefined(), Value::null()}), "join")), "undefined,undefined");
    EXPECT_EQ(text(method(array({}), "join")), "");
    Value inner = array({num(2), num(3)});
    EXPECT_EQ(text(method(array({num(1), inner}), "join", {str(u";")})), "1;2,3");
}

TEST_F(ArrayClassTest, JoinStaysWithinBounds) {
    // An array inside itself would join forever: the nesting is bounded.
    Value a = array({num(1)});
    array_insert(engine, a.payload.array, a, 1);
    ++a.payload.array->length;
    EXPECT_FALSE(try_method(a, "join"));
    EXPECT_STREQ(engine->message, "Runtime error: stack overflow");
    // Honest nesting within the bound joins.
    Value nested = array({num(7)});
    for (int i = 1; i < array_max_join_depth; ++i) {
        nested = array({nested});
    }
    EXPECT_EQ(text(method(nested, "join")), "7");

    // Separators alone past the longest string: refused before any work, whatever the length.
    for (uint64_t length : {(uint64_t{1} << 28) + 2, uint64_t{1} << 32, max_length}) {
        EXPECT_FALSE(try_method(array({num(1)}, length), "join"));
        EXPECT_STREQ(engine->message, "Runtime error: Out of memory");
    }
    EXPECT_FALSE(try_method(array({num(1)}, (uint64_t{1} << 26) + 2), "join", {str(u"abcd")}));
    EXPECT_STREQ(engine->message, "Runtime error: Out of memory");
    // The separators fill the longest string exactly: no room is left for the element's text.
    EXPECT_FALSE(try_method(array({num(1)}, (uint64_t{1} << 26) + 1), "join", {str(u"abcd")}));
    EXPECT_STREQ(engine->message, "Runtime error: Out of memory");
    // Without a separator only the elements count, however far apart they are.
    Value far = array({str(u"a")}, max_length);
    array_insert(engine, far.payload.array, str(u"b"), max_length - 1);
    EXPECT_EQ(text(method(far, "join", {str(u"")})), "ab");
}

// }====

// {==== Methods that change the array in place

TEST_F(ArrayClassTest, PushAndPop) {
    Value a = array({num(1)});
    expect_integer(method(a, "push", {num(2), num(3)}), 3);
    EXPECT_EQ(slots(a), "1 2 3");
    expect_integer(method(a, "pop"), 3);
    EXPECT_EQ(slots(a), "1 2");
    set_length(a, num(4));
    EXPECT_EQ(method(a, "pop").tag, Tag::Undefined);  // a hole
    EXPECT_EQ(slots(a), "1 2 _");
    Value empty = array({});
    EXPECT_EQ(method(empty, "pop").tag, Tag::Undefined);
    EXPECT_EQ(empty.payload.array->length, 0u);
    // push stops when the length reaches 2^32 - 1, and does nothing at 2^32 or more.
    Value full = array({}, 0xFFFFFFFEu);
    expect_integer(method(full, "push", {num(1), num(2), num(3)}), 0xFFFFFFFF);
    EXPECT_EQ(elements(full), (std::map<uint64_t, std::string>{{0xFFFFFFFEu, "1"}}));
    Value beyond = array({}, uint64_t{1} << 32);
    expect_integer(method(beyond, "push", {num(1)}), int64_t{1} << 32);
    EXPECT_EQ(beyond.payload.array->count, 0u);
}

TEST_F(ArrayClassTest, ReverseShiftAndUnshift) {
    Value a = array({num(1), num(2), num(3)});
    EXPECT_EQ(method(a, "reverse").tag, Tag::Undefined);
    EXPECT_EQ(slots(a), "3 2 1");
    Value holes = array({num(1)}, 4);
    array_insert(engine, holes.payload.array, num(3), 2);
    method(holes, "reverse");
    EXPECT_EQ(slots(holes), "_ 3 _ 1");

    expect_integer(method(a, "shift"), 3);
    EXPECT_EQ(slots(a), "2 1");
    EXPECT_EQ(method(holes, "shift").tag, Tag::Undefined);
    EXPECT_EQ(slots(holes), "3 _ 1");
    EXPECT_EQ(method(array({}), "shift").tag, Tag::Undefined);

    // The values land in reverse order.
    Value b = array({});
    expect_integer(method(b, "unshift", {num(1), num(2), num(3)}), 3);
    EXPECT_EQ(slots(b), "3 2 1");
    expect_integer(method(b, "unshift", {num(9)}), 4);
    EXPECT_EQ(slots(b), "9 3 2 1");
}

TEST_F(ArrayClassTest, SliceCopiesARange) {
    Value a = array({num(1), num(2), num(3), num(4)});
    EXPECT_EQ(slots(method(a, "slice", {num(-2)})), "3 4");
    EXPECT_EQ(slots(method(a, "slice", {num(3), num(1)})), "2 3");
    EXPECT_EQ(slots(method(a, "slice", {num(1), num(-1)})), "2 3");
    EXPECT_EQ(slots(method(a, "slice", {num(-10)})), "1 2 3 4");
    EXPECT_EQ(slots(method(a, "slice", {num(2), num(-10)})), "");  // the end becomes the start
    // Only Integer arguments count; a bound past the length gives a tail of holes.
    EXPECT_EQ(slots(method(a, "slice", {Value::number(2.0), str(u"3")})), "1 2 3 4");
    EXPECT_EQ(slots(method(array({num(1), num(2)}), "slice", {num(0), num(5)})), "1 2 _ _ _");
    EXPECT_EQ(slots(a), "1 2 3 4");
}

TEST_F(ArrayClassTest, SpliceRemovesAndInserts) {
    Value a = array({num(1), num(2), num(3), num(4)});
    EXPECT_EQ(slots(method(a, "splice", {num(1), num(2), str(u"a")})), "2 3");
    EXPECT_EQ(slots(a), "1 a 4");
    Value b = array({num(1), num(2), num(3), num(4)});
    EXPECT_EQ(slots(method(b, "splice", {num(1)})), "2 3 4");
    EXPECT_EQ(slots(b), "1");
    // More items than removed move the rest up; a negative start counts from the end.
    Value c = array({num(1), num(2), num(3)});
    EXPECT_EQ(slots(method(c, "splice", {num(-2), num(1), str(u"x"), str(u"y"), str(u"z")})), "2");
    EXPECT_EQ(slots(c), "1 x y z 3");
    EXPECT_EQ(slots(method(c, "splice", {num(1), num(-5)})), "");
    EXPECT_EQ(slots(c), "1 x y z 3");
    // A start at or past the end removes nothing and stores the items there.
    Value d = array({num(1), num(2), num(3)});
    EXPECT_EQ(slots(method(d, "splice", {num(10), num(0), str(u"x")})), "");
    EXPECT_EQ(slots(d), "1 2 3 _ _ _ _ _ _ _ x");
    // Holes move with their neighbours.
    Value e = array({num(1)}, 5);
    array_insert(engine, e.payload.array, num(4), 3);
    EXPECT_EQ(slots(method(e, "splice", {num(0), num(1)})), "1");
    EXPECT_EQ(slots(e), "_ _ 4 _");
}

TEST_F(ArrayClassTest, ConcatKeepsHolesAndOffsets) {
    Value b = array({num(2)}, 3);
    array_insert(engine, b.payload.array, num(4), 2);
    Value a = array({num(1)});
    Value c = method(a, "concat", {b, num(5)});
    EXPECT_EQ(slots(c), "1 2 _ 4 5");
    EXPECT_EQ(slots(a), "1");
    EXPECT_EQ(slots(method(a, "concat", {a, a})), "1 1 1");
    // An argument that would carry the length past 2^64 - 1 ends the work there.
    Value huge = array({num(1)}, max_length - 1);
    Value joined = method(huge, "concat", {array({num(2), num(3)}), num(4)});
    EXPECT_EQ(joined.payload.array->length, max_length - 1);
    EXPECT_EQ(elements(joined), (std::map<uint64_t, std::string>{{0, "1"}}));
    Value one_more = method(huge, "concat", {num(2), num(3)});
    EXPECT_EQ(one_more.payload.array->length, max_length);
    EXPECT_EQ(elements(one_more), (std::map<uint64_t, std::string>{{0, "1"}, {max_length - 1, "2"}}));
}

// Lengths of 2^32 and more: every method works over the stored elements and finishes at once.
TEST_F(ArrayClassTest, HugeLengthsStayCorrect) {
    const uint64_t big = (uint64_t{1} << 40) + 5;
    auto sample = [&] {
        Value a = array({num(0), num(1)}, big);
        array_insert(engine, a.payload.array, num(9), big - 1);
        return a;
    };
    Value a = sample();
    method(a, "reverse");
    EXPECT_EQ(elements(a), (std::map<uint64_t, std::string>{{0, "9"}, {big - 2, "1"}, {big - 1, "0"}}));
    expect_integer(method(a, "shift"), 9);
    EXPECT_EQ(a.payload.array->length, big - 1);
    expect_integer(method(a, "unshift", {num(5)}), static_cast<int64_t>(big));
    EXPECT_EQ(elements(a), (std::map<uint64_t, std::string>{{0, "5"}, {big - 2, "1"}, {big - 1, "0"}}));

    Value tail = method(sample(), "slice", {num(-2)});
    EXPECT_EQ(slots(tail), "_ 9");
    Value cut = sample();
    EXPECT_EQ(slots(method(cut, "splice", {num(1), num(1), str(u"x"), str(u"y")})), "1");
    EXPECT_EQ(cut.payload.array->length, big + 1);
    EXPECT_EQ(elements(cut), (std::map<uint64_t, std::string>{{0, "0"}, {1, "x"}, {2, "y"}, {big, "9"}}));
    Value all = method(sample(), "splice", {num(0)});
    EXPECT_EQ(all.payload.array->length, big);
    EXPECT_EQ(elements(all).size(), 3u);

    Value sorted = sample();
    method(sorted, "sort");
    EXPECT_EQ(sorted.payload.array->length, big);
    EXPECT_EQ(elements(sorted), (std::map<uint64_t, std::string>{{0, "0"}, {1, "1"}, {2, "9"}}));
    Value doubled = method(sample(), "concat", {sample()});
    EXPECT_EQ(doubled.payload.array->length, 2 * big);
    EXPECT_EQ(elements(doubled).size(), 6u);
    set_length(sorted, num(1));
    EXPECT_EQ(slots(sorted), "0");

    // Lengths that would pass 2^64 - 1.
    EXPECT_FALSE(try_method(array({}, max_length), "unshift", {num(1)}));
    EXPECT_STREQ(engine->message, "Runtime error: Out of memory");
    EXPECT_FALSE(try_method(array({}, max_length), "splice", {num(-1), num(0), num(1), num(2)}));
    EXPECT_STREQ(engine->message, "Runtime error: Out of memory");
}

// }====

// {==== sort

TEST_F(ArrayClassTest, DefaultOrderComparesTextsWithUndefinedLast) {
    Value a = array({num(10), num(9), num(1)});
    EXPECT_EQ(method(a, "sort").tag, Tag::Undefined);
    EXPECT_EQ(slots(a), "1 10 9");
    Value b = array({num(3), Value::undefined(), num(1), Value::undefined()});
    method(b, "sort");
    EXPECT_EQ(slots(b), "1 3 undefined undefined");
    // null is not undefined: it sorts by its text.
    Value c = array({str(u"w"), Value::null(), str(u"a"), str(u"ab"), str(u"")});
    method(c, "sort");
    EXPECT_EQ(slots(c), " a ab undefined w");
    // Holes vanish: the elements move to the front, the length stays.
    Value d = array({}, 6);
    array_insert(engine, d.payload.array, num(3), 1);
    array_insert(engine, d.payload.array, num(1), 4);
    method(d, "sort");
    EXPECT_EQ(slots(d), "1 3 _ _ _ _");
    // Arrays compare by their join.
    Value e = array({array({num(2), num(1)}), array({num(2)})});
    method(e, "sort");
    EXPECT_EQ(slots(e), "2 2,1");
}

// A host comparator: the difference of two Integers, after whatever `before` does.
struct HostComparator {
    std::function<void()> before;
    int calls = 0;
};

void compare_integers(ScriptEngine* engine, HostClass* cls, void*, Value* result, Value* args) {
    auto* comparator = static_cast<HostComparator*>(cls->user_data);
    ++comparator->calls;
    if (comparator->before) {
        comparator->before();
    }
    EXPECT_EQ(argument_count(args), 2u);
    *result = Value::integer(args[1].payload.integer - args[2].payload.integer);
    (void)engine;
}

TEST_F(ArrayClassTest, ComparatorsDecideTheOrder) {
    HostComparator host;
    HostClass* cls = new_host_class(engine);
    cls->call = compare_integers;
    cls->user_data = &host;
    global("byValue") = make_host_object(engine, cls, nullptr);
    Value a = array({num(10), num(9), num(1)});
    method(a, "sort", {global("byValue")});
    EXPECT_EQ(slots(a), "1 9 10");
    EXPECT_GT(host.calls, 0);

    // Script comparators, each returning a fixed answer or the difference of its arguments.
    load(
        [](vm::ModuleWriter& w) {
            w.begin_function("difference");
            w.emit(vm::Op::GET_ARG, 2);
            w.emit(vm::Op::GET_ARG, 3);
            w.emit(vm::Op::SUB);
            w.emit(vm::Op::RETURN);
            auto answer = [&](const char* name, uint32_t constant) {
                w.begin_function(name);
                w.emit(vm::Op::PUSH_CONST, constant);
                w.emit(vm::Op::RETURN);
            };
            answer("always", w.add_boolean(true));
            answer("never", w.add_boolean(false));
            answer("text", w.add_string(u"x"));
            answer("nan", w.add_number(std::numeric_limits<double>::quiet_NaN()));
            answer("less", w.add_number(-0.5));
        },
        [](vm::ModuleWriter&) {});
    Value b = array({num(10), num(9), num(1), num(9)});
    method(b, "sort", {global("difference")});
    EXPECT_EQ(slots(b), "1 9 9 10");
    // A positive answer takes the right element first, anything else the left one.
    for (auto [name, order] : std::initializer_list<std::pair<const char*, const char*>>{
             {"always", "3 2 1"}, {"text", "3 2 1"}, {"never", "1 2 3"}, {"nan", "1 2 3"}, {"less", "1 2 3"}}) {
        Value c = array({num(1), num(2), num(3)});
        method(c, "sort", {global(name)});
        EXPECT_EQ(slots(c), order) << name;
    }
    // A comparator that is neither a function nor a host object leaves the default order.
    Value d = array({num(10), num(9)});
    method(d, "sort", {num(1)});
    EXPECT_EQ(slots(d), "10 9");
}

// Equal elements keep the order they are gathered in: bucket by bucket, each chain from its most
// recent node.
TEST_F(ArrayClassTest, EqualElementsKeepTheGatheredOrder) {
    load(
        [](vm::ModuleWriter& w) {
            w.begin_function("same");
            w.emit(vm::Op::PUSH_0);
            w.emit(vm::Op::RETURN);
        },
        [](vm::ModuleWriter&) {});
    Value a = array({}, 300);
    for (int64_t index : {0, 127, 1, 254, 128}) {
        array_insert(engine, a.payload.array, num(index), static_cast<uint64_t>(index));
    }
    method(a, "sort", {global("same")});
    EXPECT_EQ(slots(method(a, "slice", {num(0), num(5)})), "254 127 0 128 1");
}

TEST_F(ArrayClassTest, AFailingComparatorLeavesTheArrayWhole) {
    load(
        [](vm::ModuleWriter& w) {
            w.begin_function("thrower");
            w.emit(vm::Op::PUSH_CONST, w.add_string(u"boom"));
            w.emit(vm::Op::THROW);
        },
        [](vm::ModuleWriter&) {});
    Value a = array({num(3)}, 5);
    array_insert(engine, a.payload.array, num(1), 2);
    array_insert(engine, a.payload.array, num(2), 4);
    EXPECT_FALSE(try_method(a, "sort", {global("thrower")}));
    EXPECT_STREQ(engine->message, "boom");
    EXPECT_EQ(slots(a), "3 _ 1 _ 2");
    // A host object that cannot be called fails the same way.
    global("uncallable") = make_host_object(engine, new_host_class(engine), nullptr);
    EXPECT_FALSE(try_method(a, "sort", {global("uncallable")}));
    EXPECT_STREQ(engine->message, "Warning: call a undefined function");
    EXPECT_EQ(slots(a), "3 _ 1 _ 2");
}

// While a comparator runs, a collection may happen, and the comparator may change the array: the
// gathered elements must survive both.
TEST_F(ArrayClassTest, ElementsSurviveCollectionsInsideTheComparator) {
    static std::map<int64_t, int> destroyed;
    destroyed.clear();
    HostClass* element_class = new_host_class(engine);
    element_class->destroy = [](HostClass*, void* instance) { ++destroyed[*static_cast<int64_t*>(instance)]; };
    static int64_t ids[6] = {5, 3, 4, 0, 2, 1};

    HostComparator host;
    HostClass* cls = new_host_class(engine);
    cls->user_data = &host;
    cls->call = [](ScriptEngine*, HostClass* c, void*, Value* result, Value* args) {
        auto* comparator = static_cast<HostComparator*>(c->user_data);
        comparator->before();
        int64_t left = *static_cast<int64_t*>(args[1].payload.host->instance);
        int64_t right = *static_cast<int64_t*>(args[2].payload.host->instance);
        *result = Value::integer(left - right);
    };
    global("comparator") = make_host_object(engine, cls, nullptr);

    Value a = array({});
    for (int64_t& id : ids) {
        array_put(engine, a.payload.array, static_cast<uint64_t>(&id - ids), make_host_object(engine, element_class, &id));
    }
    a.payload.array->length = 6;
    host.before = [&] {
        // What a script comparator may do: empty the array, then let a collection run.
        array_set_length(engine, a.payload.array, 0);
        collect(engine, engine->stack.saved_top);
    };
    method(a, "sort", {global("comparator")});
    EXPECT_TRUE(destroyed.empty());
    ASSERT_EQ(a.payload.array->length, 6u);
    for (uint64_t i = 0; i < 6; ++i) {
        Value* cell = array_get(a.payload.array, i);
        ASSERT_NE(cell, nullptr);
        ASSERT_EQ(cell->tag, Tag::HostObject);
        EXPECT_EQ(*static_cast<int64_t*>(cell->payload.host->instance), static_cast<int64_t>(i));
    }
    EXPECT_TRUE(gc_verify(engine));
}

// }====

}  // namespace
}  // namespace quill::testing
