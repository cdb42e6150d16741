// The Array class: one class that is both the class object in the global slot "Array" (scripts call
// Array(3), new Array(1, 2)) and the per-type handler of Array values (a.push(x), a.length). It
// keeps no instance data; the handlers tell the two apart by the receiver, which is a HostObject
// only for the class object.
//
// Lengths are unsigned 64-bit and elements sparse, so every method works over the stored elements
// rather than over the positions below the length: an array of length 2^32 with a few elements
// slices, splices, reverses and joins as fast as a short one, and a result that would not fit
// (a join longer than the longest string, a length past 2^64 - 1) raises "Out of memory".
//
// GC note: no collection runs inside native code, but a method that runs script code (a sort
// comparator; the toString of an object element while joining or sorting) lets one run there. So
// while they call out, these methods keep what they hold in C++ on the stack (StackRoots), copy
// texts out to the plain heap at once, and look elements up again rather than keep cell pointers.
#include "engine/builtins/array.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/builtins/value_class.h"
#include "engine/values/array.h"
#include "engine/values/atoms.h"
#include "engine/values/class_declaration.h"
#include "engine/values/config.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/plain_heap.h"
#include "engine/values/protected_run.h"
#include "engine/values/stack_roots.h"
#include "engine/values/string_record.h"
#include "engine/vm/interpreter.h"
#include "engine/vm/services.h"

namespace quill {

namespace {

constexpr uint64_t max_length = std::numeric_limits<uint64_t>::max();

[[noreturn]] void out_of_memory(ScriptEngine* engine) { raise_error(engine, Message::OutOfMemory); }

// A position counted from the end when negative: position + length. False when that is still
// negative (the caller decides what such a position becomes).
bool position_in(int64_t position, uint64_t length, uint64_t* out) {
    if (position >= 0) {
        *out = static_cast<uint64_t>(position);
        return true;
    }
    uint64_t back = 0 - static_cast<uint64_t>(position);
    if (back > length) {
        return false;
    }
    *out = length - back;
    return true;
}

// The text of a string conversion, copied out of the collected heap.
std::u16string text_of(ScriptEngine* engine, const Value& value) {
    return std::u16string(to_string(engine, value).payload.string->view());
}

// {==== Construction

// Array(...) and new Array(...). One Integer argument is a length. A negative count is the
// compiler's mark of an array literal: its cells are the elements, whatever they hold.
void make_array(MemberCall& call) {
    Value* args = call.args.block();
    int64_t raw = args != nullptr && args[0].tag == Tag::Integer ? args[0].payload.integer : 0;
    if (raw == 1 && args[1].tag == Tag::Integer) {
        *call.result = Value::array(array_create(call.engine, static_cast<uint64_t>(args[1].payload.integer)));
        return;
    }
    uint64_t count = raw < 0 ? 0 - static_cast<uint64_t>(raw) : static_cast<uint64_t>(raw);
    *call.result = Value::array(array_create_from(call.engine, count > 0 ? args + 1 : nullptr, count));
}

// }====

// {==== join

thread_local int join_depth = 0;
// The most code units a join may make: what the join whose element is being converted has room for
// (its text will hold this one's), or the longest string when no join is converting an element.
thread_local size_t join_room = config::max_string_length;

// Counts the joins in progress on this thread; an array nested in itself would otherwise recurse
// until the native stack ran out. Also hands the room a join has left to the joins its elements'
// conversions make, so that nested joins together stay within the longest string instead of each
// building a text of its own up to that size.
class JoinNesting {
public:
    explicit JoinNesting(ScriptEngine* engine) : m_saved_room(join_room) {
        if (join_depth >= config::array_max_join_depth) {
            raise_error(engine, Message::StackOverflow);
        }
        ++join_depth;
    }
    ~JoinNesting() {
        --join_depth;
        join_room = m_saved_room;
    }
    JoinNesting(const JoinNesting&) = delete;
    JoinNesting& operator=(const JoinNesting&) = delete;

    // Joins made while the next element converts may make at most `room` code units.
    void allow(size_t room) { join_room = room; }

private:
    size_t m_saved_room;
};

// Every position 0 .. length - 1 in turn: a stored element appends its string conversion, a hole
// nothing, and a separator follows every position but the last. The work follows the stored
// elements; the separators between them are appended in runs.
Value join_array(ScriptEngine* engine, const Value& receiver, std::u16string_view separator) {
    ArrayRecord* array = receiver.payload.array;
    uint64_t length = array->length;
    if (length == 0) {
        return make_static_string(engine, u"");
    }
    uint64_t separators = length - 1;
    size_t limit = join_room;
    if (!separator.empty() && separators > limit / separator.size()) {
        out_of_memory(engine);
    }
    // What the element texts together may add without passing the limit.
    size_t room = limit - static_cast<size_t>(separators) * separator.size();

    JoinNesting nesting(engine);
    StackRoots roots(engine, {receiver});
    std::vector<uint64_t> indexes = array_indexes_in_range(array, 0, length);
    std::u16string text;
    // Runs of holes: n is at most `separators`, which the check above bounds.
    auto append_separators = [&](uint64_t n) {
        if (separator.size() == 1) {
            text.append(static_cast<size_t>(n), separator[0]);
            return;
        }
        for (; n > 0 && !separator.empty(); --n) {
            text.append(separator);
        }
    };
    uint64_t position = 0;  // positions before it have their separators
    for (uint64_t index : indexes) {
        append_separators(index - position);
        position = index;
        // A toString run by an earlier element may have changed the array: look the element up now.
        Value* cell = array_get(array, index);
        if (cell == nullptr) {
            continue;
        }
        nesting.allow(room);
        // A copy: the conversion may change the array and move its cells.
        Value element = *cell;
        Value string = to_string(engine, element);
        std::u16string_view piece = string.payload.string->view();
        if (piece.size() > room) {
            out_of_memory(engine);
        }
        room -= piece.size();
        text.append(piece);
    }
    append_separators(length - 1 - position);
    return make_string_copy(engine, text);
}

// }====

// {==== sort

// What a comparator's return value says: a Number by its sign (NaN is 0); any other value by its
// 64-bit payload, so true is 1 and false 0.
int comparator_answer(const Value& value) {
    if (value.tag == Tag::Number) {
        double d = value.payload.number;
        return d < 0 ? -1 : (d > 0 ? 1 : 0);
    }
    int64_t bits = value.payload.integer;
    return bits < 0 ? -1 : (bits > 0 ? 1 : 0);
}

// Whether the string conversion of a value can run no script code and so may be made once per
// element and kept: the primitives. Arrays, objects, functions and host objects convert anew at
// every comparison.
bool has_fixed_text(const Value& value) {
    switch (value.tag) {
    case Tag::Null:
    case Tag::Boolean:
    case Tag::Integer:
    case Tag::String:
    case Tag::Number:
    case Tag::NaN:
        return true;
    default:
        return false;
    }
}

// A top-down merge sort of the gathered elements. It orders positions into `elements`, which hold
// copies of the values: the caller keeps them all reachable for the collector.
class Sorter {
public:
    Sorter(ScriptEngine* engine, const std::vector<Value>& elements, const Value& comparator, bool custom)
        : m_engine(engine), m_elements(elements), m_values(elements.data()), m_comparator(comparator),
          m_custom(custom), m_order(elements.size()), m_texts(custom ? 0 : elements.size()),
          m_made(custom ? 0 : elements.size(), false) {
        for (size_t i = 0; i < m_order.size(); ++i) {
            m_order[i] = i;
        }
        m_scratch = m_order;
    }

    // The positions of the elements in sorted order. A comparator runs under one protected frame
    // for the whole sort, as if each call had a frame of its own: a failure in any call ends the
    // sort and is raised again, as it stands, to the sort's caller.
    const std::vector<size_t>& sorted() {
        if (m_order.size() < 2) {
            return m_order;
        }
        size_t last = m_order.size() - 1;
        bool script = m_comparator.tag == Tag::Function && m_comparator.payload.function->code != nullptr;
        bool ok = true;
        if (!m_custom) {
            sort_range(m_order.data(), m_scratch.data(), 0, last,
                       [this](size_t left, size_t right) { return compare_texts(left, right); });
        } else if (script) {
            ok = run_protected(m_engine, [&] {
                vm::RepeatedCall comparator(m_engine, m_comparator);
                sort_range(m_order.data(), m_scratch.data(), 0, last, [&](size_t left, size_t right) {
                    comparator.call(m_values[left], m_values[right]);
                    return comparator_answer(m_engine->result);
                });
            });
        } else {
            ok = run_protected(m_engine, [&] {
                sort_range(m_order.data(), m_scratch.data(), 0, last, [this](size_t left, size_t right) {
                    Value block[3] = {Value::integer(2), m_values[left], m_values[right]};
                    vm::call_in_frame(m_engine, Value::null(), m_comparator, 3, block);
                    return comparator_answer(m_engine->result);
                });
            });
        }
        if (!ok) {
            raise_current_message(m_engine);
        }
        return m_order;
    }

private:
    // [lo, hi] is split at its middle, both halves sorted, and merged; the right element goes first
    // only when the comparison says left > right, so equal elements keep their gathered order.
    // `into` and `from` hold the same positions in [lo, hi] on entry; the sorted range ends up in
    // `into`. Each half is sorted into `from` (with `into` as its scratch space) and the halves are
    // merged from there, so no range is ever copied aside before its merge.
    template <typename Compare>
    static void sort_range(size_t* into, size_t* from, size_t lo, size_t hi, const Compare& compare) {
        if (lo >= hi) {
            return;
        }
        size_t mid = lo + (hi - lo) / 2;
        sort_range(from, into, lo, mid, compare);
        sort_range(from, into, mid + 1, hi, compare);
        size_t i = lo;
        size_t j = mid + 1;
        size_t k = lo;
        while (i <= mid && j <= hi) {
            into[k++] = compare(from[i], from[j]) > 0 ? from[j++] : from[i++];
        }
        while (i <= mid) {
            into[k++] = from[i++];
        }
        while (j <= hi) {
            into[k++] = from[j++];
        }
    }

    // The default order.
    int compare_texts(size_t left, size_t right) {
        const Value& a = m_elements[left];
        const Value& b = m_elements[right];
        // Undefined sorts after everything, even after another Undefined.
        if (a.tag == Tag::Undefined) {
            return 1;
        }
        if (b.tag == Tag::Undefined) {
            return -1;
        }
        // Conversions that may run script come first, so that a view of a kept text cannot be
        // disturbed by a script changing a string in place before the comparison.
        std::u16string left_text;
        std::u16string right_text;
        if (!has_fixed_text(a)) {
            left_text = text_of(m_engine, a);
        }
        if (!has_fixed_text(b)) {
            right_text = text_of(m_engine, b);
        }
        std::u16string_view x = has_fixed_text(a) ? fixed_text(left) : std::u16string_view(left_text);
        std::u16string_view y = has_fixed_text(b) ? fixed_text(right) : std::u16string_view(right_text);
        int order = x.compare(y);
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    }

    // The string conversion of a primitive element, made on first use.
    std::u16string_view fixed_text(size_t i) {
        const Value& value = m_elements[i];
        if (value.tag == Tag::String) {
            return value.payload.string->view();
        }
        if (!m_made[i]) {
            m_texts[i] = text_of(m_engine, value);
            m_made[i] = true;
        }
        return m_texts[i];
    }

    ScriptEngine* m_engine;
    const std::vector<Value>& m_elements;
    const Value* m_values;  // the elements' storage, read at every comparison
    Value m_comparator;
    bool m_custom;
    std::vector<size_t> m_order;
    std::vector<size_t> m_scratch;
    std::vector<std::u16string> m_texts;
    std::vector<bool> m_made;
};

// The stored elements are gathered in storage order (chain 0 to 126, each from its head),
// sorted, and written back as elements 0 .. n - 1, so holes vanish and the elements move to the
// front. Until the sort is done the array is left alone: a comparator that throws leaves it as it
// was. Meanwhile the gathered values live in a rooted array of their own, whose storage then
// becomes the array's.
void sort_array(ScriptEngine* engine, const Value& receiver, const Arguments& args) {
    ArrayRecord* array = receiver.payload.array;
    Value comparator;
    bool custom = args.count() >= 1 && (args[0].tag == Tag::Function || args[0].tag == Tag::HostObject);
    if (custom) {
        comparator = args[0];
    }
    std::vector<Value> elements;
    elements.reserve(array->count);
    array_for_each_element(array, [&](uint64_t, const Value& value) { elements.push_back(value); });
    if (elements.empty()) {
        return;
    }
    ArrayRecord* kept = array_create(engine, elements.size());
    array_reserve(engine, kept, elements.size());
    for (size_t i = 0; i < elements.size(); ++i) {
        array_insert(engine, kept, elements[i], i);
    }
    StackRoots roots(engine, {receiver, comparator, Value::array(kept)});
    Sorter sorter(engine, elements, comparator, custom);
    const std::vector<size_t>& order = sorter.sorted();
    for (size_t k = 0; k < order.size(); ++k) {
        *array_get(kept, k) = elements[order[k]];
    }
    array_take_elements(engine, array, kept);
    // A comparator may have shortened the array; the sorted elements still lie below its length.
    array->length = std::max<uint64_t>(array->length, elements.size());
}

// }====

// {==== The other methods

// The result receives this array's elements at their own indexes; then each argument in order: an
// array its elements at the offset plus their index (holes stay holes), any other value one element
// at the offset. The work stops at an argument that would carry the length past 2^64 - 1.
Value concat_arrays(ScriptEngine* engine, ArrayRecord* array, const Arguments& args) {
    // The final length first, so that the result's index is sized once.
    uint64_t length = array->length;
    uint32_t used = 0;
    for (; used < args.count(); ++used) {
        uint64_t adds = args[used].tag == Tag::Array ? args[used].payload.array->length : 1;
        if (adds > max_length - length) {
            break;
        }
        length += adds;
    }
    ArrayRecord* result = array_create(engine, length);
    array_copy_all(engine, result, array, 0);
    uint64_t offset = array->length;
    for (uint32_t i = 0; i < used; ++i) {
        const Value& value = args[i];
        if (value.tag == Tag::Array) {
            array_copy_all(engine, result, value.payload.array, offset);
            offset += value.payload.array->length;
        } else {
            array_insert(engine, result, value, offset);
            ++offset;
        }
    }
    return Value::array(result);
}

Value push_values(ScriptEngine* engine, ArrayRecord* array, const Arguments& args) {
    for (uint32_t i = 0; i < args.count() && array_push(engine, array, args[i]); ++i) {
    }
    return Value::integer(static_cast<int64_t>(array->length));
}

void reverse_array(ScriptEngine* engine, ArrayRecord* array) {
    uint64_t last = array->length - 1;
    array_renumber(engine, array, [last](uint64_t index) { return last - index; });
}

Value shift_array(ScriptEngine* engine, ArrayRecord* array) {
    if (array->length == 0) {
        return Value::undefined();
    }
    Value result;
    if (Value* cell = array_get(array, 0)) {
        result = *cell;
    }
    array_remove(array, 0);
    array_shift_all(engine, array, -1);
    return result;
}

// slice(start, end): a negative bound counts from the end (a start still negative becomes 0, an end
// still negative becomes the start); the bounds are swapped when end < start; neither is lowered to
// the length, so a bound past it gives a longer result whose tail is holes.
Value slice_array(ScriptEngine* engine, ArrayRecord* array, const Arguments& args) {
    uint64_t length = array->length;
    uint64_t start = 0;
    if (std::optional<int64_t> value = args.integer(0); value && !position_in(*value, length, &start)) {
        start = 0;
    }
    uint64_t end = length;
    if (std::optional<int64_t> value = args.integer(1); value && !position_in(*value, length, &end)) {
        end = start;
    }
    if (end < start) {
        std::swap(start, end);
    }
    ArrayRecord* result = array_create(engine, end - start);
    for (uint64_t index : array_indexes_in_range(array, start, end)) {
        array_insert(engine, result, *array_get(array, index), index - start);
    }
    return Value::array(result);
}

// splice(start, deleteCount, items...): removes up to deleteCount elements from start into the
// result, moves the elements after them to make room for exactly the items, and stores the items
// from start on. A start at or past the end deletes nothing, and the items land at start.
Value splice_array(ScriptEngine* engine, ArrayRecord* array, const Arguments& args) {
    uint64_t length = array->length;
    uint64_t start = 0;
    if (std::optional<int64_t> value = args.integer(0); value && !position_in(*value, length, &start)) {
        start = 0;
    }
    uint64_t count = length;
    if (std::optional<int64_t> value = args.integer(1)) {
        count = *value < 0 ? 0 : static_cast<uint64_t>(*value);
    }
    uint64_t base;
    if (start < length) {
        count = std::min(count, length - start);
        base = length - count;
    } else {
        count = 0;
        base = start;
    }
    uint64_t items = args.count() > 2 ? args.count() - 2 : 0;
    if (items > max_length - base) {
        out_of_memory(engine);
    }
    // The removed elements are copied before this array changes, so running out of memory there
    // leaves it whole.
    ArrayRecord* removed = array_create(engine, count);
    for (uint64_t index : array_indexes_in_range(array, start, start + count)) {
        array_insert(engine, removed, *array_get(array, index), index - start);
    }
    array_remove_range(array, start, start + count);
    array->length = base + items;
    if (items != count) {
        uint64_t from = start + count;
        uint64_t delta = items - count;  // modulo 2^64: adding it subtracts when fewer items come in
        array_renumber(engine, array, [from, delta](uint64_t index) { return index >= from ? index + delta : index; });
    }
    for (uint64_t k = 0; k < items; ++k) {
        array_put(engine, array, start + k, args[static_cast<uint32_t>(k + 2)]);
    }
    return Value::array(removed);
}

// unshift(values...): every element moves up by the number of values, then index i receives value
// n - 1 - i, so the values land in reverse order.
Value unshift_values(ScriptEngine* engine, ArrayRecord* array, const Arguments& args) {
    uint64_t n = args.count();
    if (n > max_length - array->length) {
        out_of_memory(engine);
    }
    array_shift_all(engine, array, static_cast<int64_t>(n));
    for (uint64_t i = 0; i < n; ++i) {
        array_insert(engine, array, args[static_cast<uint32_t>(n - 1 - i)], i);
    }
    return Value::integer(static_cast<int64_t>(array->length));
}

// }====

// {==== The members

// `length`: on an array its length, which a write with an Integer or a non-negative Number sets
// (the elements from the new length up to the old one go); other values are ignored. On the class
// object it reads 1, and a write there is left to the generic rules.
void array_length(MemberCall& call) {
    *call.result = is_class_object(call.receiver) ? Value::integer(1)
                                                  : Value::integer(static_cast<int64_t>(call.receiver.payload.array->length));
}

void set_array_length(MemberCall& call, const Value& value) {
    if (is_class_object(call.receiver)) {
        call.decline();
        return;
    }
    ArrayRecord* array = call.receiver.payload.array;
    if (value.tag == Tag::Integer) {
        array_set_length(call.engine, array, static_cast<uint64_t>(value.payload.integer));
    } else if (value.tag == Tag::Number) {
        // A length is a whole number below 2^64; a NaN, a negative or a larger Number is ignored.
        double d = value.payload.number;
        if (d >= 0 && d < 18446744073709551616.0) {
            array_set_length(call.engine, array, static_cast<uint64_t>(d));
        }
    }
}

ArrayRecord* array_of(const MemberCall& call) { return call.receiver.payload.array; }

void concat(MemberCall& call) { *call.result = concat_arrays(call.engine, array_of(call), call.args); }

void join(MemberCall& call) {
    std::u16string separator = call.args.has(0) ? text_of(call.engine, call.args[0]) : u",";
    *call.result = join_array(call.engine, call.receiver, separator);
}

// On an array its elements joined with ","; on the class object its class text.
void array_to_string(MemberCall& call) {
    *call.result = is_class_object(call.receiver) ? class_text(call.engine, call.cls)
                                                  : join_array(call.engine, call.receiver, u",");
}

void pop(MemberCall& call) { *call.result = array_pop(array_of(call)); }
void push(MemberCall& call) { *call.result = push_values(call.engine, array_of(call), call.args); }
void reverse(MemberCall& call) { reverse_array(call.engine, array_of(call)); }
void shift(MemberCall& call) { *call.result = shift_array(call.engine, array_of(call)); }
void slice(MemberCall& call) { *call.result = slice_array(call.engine, array_of(call), call.args); }
void splice(MemberCall& call) { *call.result = splice_array(call.engine, array_of(call), call.args); }
void sort(MemberCall& call) { sort_array(call.engine, call.receiver, call.args); }
void unshift(MemberCall& call) { *call.result = unshift_values(call.engine, array_of(call), call.args); }

// }====

constexpr Needs value = Needs::Value;

const Member array_members[] = {
    property("length", array_length, set_array_length),
    method("concat", concat, value),
    method("join", join, value),
    method("toString", array_to_string),
    method("pop", pop, value),
    method("push", push, value),
    method("reverse", reverse, value),
    method("shift", shift, value),
    method("slice", slice, value),
    method("splice", splice, value),
    method("sort", sort, value),
    method("unshift", unshift, value),
};

const ClassDeclaration array_class = {
    .name = "Array",
    .class_text = "[object Array]",
    .members = array_members,
    .construct = make_array,
    .call = make_array,
    .types = {Tag::Array},
};

}  // namespace

void register_array_class(ScriptEngine* engine) {
    engine->quick_array_class = declare_class(engine, array_class);
    engine->length_atom = intern(engine, "length");
    engine->array_push = intern(engine, "push");
    engine->array_pop = intern(engine, "pop");
}

}  // namespace quill
