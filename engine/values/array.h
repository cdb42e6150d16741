// Primitive operations on array records, for the interpreter, the Array class and host objects.
//
// An array keeps its elements sparse: memory follows the stored elements, not the length, so an
// array of length 2^32 with one element costs one node. Every operation here keeps the record's
// dense block, its spread table, the stamps and the counts in step (records.h); code outside this
// file reads elements through array_get and the visitors below and changes them only through these
// operations.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/values/records.h"
#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;

// A new array of the given length without elements. Its own table, made on first need, has
// "__proto__" set to the Array class's prototype table of this moment, when that class is
// registered.
ArrayRecord* array_create(ScriptEngine* engine, uint64_t length);

// A new array of length n whose elements 0 .. n - 1 are copies of the n values, inserted in that
// order (what an array literal makes).
ArrayRecord* array_create_from(ScriptEngine* engine, const Value* values, uint64_t n);

// The array's own table, made now if it was not yet.
PropertyTable* array_own_table(ScriptEngine* engine, ArrayRecord* array);

// Where a lookup of a name (other than "__proto__") in the array's own table, own or inherited, goes:
// the table when it is made, else the prototype table it will get, which a table holding nothing but
// that "__proto__" would lead to. Null when there is neither.
inline PropertyTable* array_lookup_table(const ArrayRecord* array) {
    return array->properties != nullptr ? array->properties : array->prototype;
}

// The value cell of element `index`, or null for a hole. The cell stays valid until the array
// changes (an element stored at a hole may move every cell). Costs the same however many elements
// the array holds.
Value* array_get_spread(ArrayRecord* array, uint64_t index);
inline Value* array_get(ArrayRecord* array, uint64_t index) {
    if (index < array->dense_capacity) {
        Value* cell = array->dense + index;
        return cell->tag != array_hole ? cell : nullptr;
    }
    return array_get_spread(array, index);
}

// Stores a value into the dense block when that needs no allocation and no renumbering: replaces
// an element there, or fills a hole there. Returns false, changing nothing, when the index lies
// past the block or the array must number its elements afresh first (then array_put does it).
// Does not touch the length.
inline bool array_store_quick(ArrayRecord* array, uint64_t index, const Value& value) {
    if (index >= array->dense_capacity) {
        return false;
    }
    Value* cell = array->dense + index;
    if (cell->tag == array_hole) {
        if (array->next_stamp >= array_stamp_limit) {
            return false;
        }
        array_dense_stamps(array)[index] = static_cast<uint32_t>(array->next_stamp++);
        ++array->count;
    }
    *cell = value;
    return true;
}

// The length at which push stops (it stops at every length of 2^32 or more too).
inline constexpr uint64_t array_push_limit = 0xFFFFFFFFu;

// push of one value: stores it at the length and raises the length by one. Returns false, changing
// nothing, once the length has reached array_push_limit.
// array_push_quick does it only where no allocation is needed (the dense block has room at the
// length) and otherwise returns false, changing nothing.
void array_push_slow(ScriptEngine* engine, ArrayRecord* array, const Value& value);
inline bool array_push_quick(ArrayRecord* array, const Value& value) {
    if (array->length >= array_push_limit || !array_store_quick(array, array->length, value)) {
        return false;
    }
    ++array->length;
    return true;
}
inline bool array_push(ScriptEngine* engine, ArrayRecord* array, const Value& value) {
    if (array_push_quick(array, value)) {
        return true;
    }
    if (array->length >= array_push_limit) {
        return false;
    }
    array_push_slow(engine, array, value);
    ++array->length;
    return true;
}

// pop: removes the element at length - 1 and lowers the length by one; the result is that element,
// or Undefined for a hole or an empty array (which stays as it is).
Value array_pop_slow(ArrayRecord* array);
inline Value array_pop(ArrayRecord* array) {
    uint64_t last = array->length - 1;
    if (array->length == 0 || last >= array->dense_capacity) {
        return array_pop_slow(array);
    }
    array->length = last;
    Value* cell = array->dense + last;
    if (cell->tag == array_hole) {
        return Value::undefined();
    }
    Value result = *cell;
    *cell = Value();
    cell->tag = array_hole;
    --array->count;
    return result;
}

// Makes room for elements at 0 .. count - 1 in the dense block, as far as its budget allows, for a
// caller about to store them (an array literal). Changes no element.
void array_reserve(ScriptEngine* engine, ArrayRecord* array, uint64_t count);

// Adds an element holding a copy of the value at the head of its chain, for callers that know
// `index` is free (use array_put to store at any index); where an element exists after all, its
// value is replaced instead. Does not touch the length.
void array_insert(ScriptEngine* engine, ArrayRecord* array, const Value& value, uint64_t index);

// Stores a value: replaces the element's value, or inserts an element at a hole. Does not touch the
// length.
void array_put(ScriptEngine* engine, ArrayRecord* array, uint64_t index, const Value& value);

// Removes the element at `index`, if any. The length stays.
void array_remove(ArrayRecord* array, uint64_t index);

// When index < length: removes the element at `index` (a hole there too), lowers every higher
// index by one, renumbers the chains and lowers the length by one; what `delete a[i]` does, so the
// gap closes. Otherwise nothing happens.
void array_remove_and_close(ScriptEngine* engine, ArrayRecord* array, uint64_t index);

// Adds `delta` to every element's index and to the length, and renumbers the chains.
// Requires: no index and not the length leaves 0 .. 2^64 - 1 (callers check before they shift).
void array_shift_all(ScriptEngine* engine, ArrayRecord* array, int64_t delta);

// Inserts every element of `source` into `target` at offset + its index (in storage order). The
// target's length stays; its indexes there must be free. The source may be the target.
void array_copy_all(ScriptEngine* engine, ArrayRecord* target, ArrayRecord* source, uint64_t offset);

// Sets the length. When it drops, the elements from the new length up to the old one are removed.
void array_set_length(ScriptEngine* engine, ArrayRecord* array, uint64_t length);

// {==== For the Array class: whole-array work in one pass

// An element in storage order: its index and its cell.
struct ArrayElement {
    uint64_t index;
    Value* cell;
};

// Every element in storage order: chain 0 to 126 (index mod 127), each chain from its head (the
// most recently inserted element first). The cells stay valid until the array changes.
std::vector<ArrayElement> array_storage_order(ArrayRecord* array);

// Calls visit(index, value) for every element in storage order. `visit` must not change the array.
template <typename Visit>
void array_for_each_element(ArrayRecord* array, Visit&& visit) {
    for (const ArrayElement& element : array_storage_order(array)) {
        visit(element.index, *element.cell);
    }
}

// The indexes of the elements in [from, to), in index order. Costs the width of the range or, past
// the dense block when that is less, a pass over the spread table and a sort of those found.
std::vector<uint64_t> array_indexes_in_range(ArrayRecord* array, uint64_t from, uint64_t to);

// Removes every element whose index lies in [from, to). The length stays.
void array_remove_range(ArrayRecord* array, uint64_t from, uint64_t to);

// Gives every element the index map(index), taking the elements in storage order and putting each
// at the head of its new chain (so an element visited later comes first in its chain). The length
// stays; the map must send no two stored indexes to the same one.
using ArrayIndexMap = uint64_t (*)(uint64_t index, const void* context);
void array_renumber(ScriptEngine* engine, ArrayRecord* array, ArrayIndexMap map, const void* context);
template <typename Map>
void array_renumber(ScriptEngine* engine, ArrayRecord* array, const Map& map) {
    array_renumber(
        engine, array, [](uint64_t index, const void* context) { return (*static_cast<const Map*>(context))(index); },
        &map);
}

// The elements of `source` become those of `target`, whose own elements are dropped; `source` is
// left without elements. Neither length changes, and the elements keep their storage order.
// Allocates nothing.
void array_take_elements(ScriptEngine* engine, ArrayRecord* target, ArrayRecord* source);

// }====

}  // namespace quill
