// Primitive operations on array records, for the interpreter, the Array class and host objects.
//
// An array keeps its elements sparse: memory follows the stored elements, not the length, so an
// array of length 2^32 with one element costs one node. Every operation here keeps the record's
// chains, both indexes and the counts in step (records.h); code outside this file reads elements
// through array_get and the visitors below and changes them only through these operations.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/values/records.h"
#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;

// A new array of the given length without elements; its own table has "__proto__" set to the
// Array class's prototype table when that class is registered.
ArrayRecord* array_create(ScriptEngine* engine, uint64_t length);

// The value cell of element `index`, or null for a hole. The cell stays valid until the element is
// removed or the array renumbered. Costs the same however many elements the array holds.
Value* array_get_spread(ArrayRecord* array, uint64_t index);
inline Value* array_get(ArrayRecord* array, uint64_t index) {
    if (index < array->direct_capacity) {
        ArrayNode* node = array->direct[index];
        return node != nullptr ? &node->value : nullptr;
    }
    return array_get_spread(array, index);
}

// Adds a node holding a copy of the value at the head of its chain, for callers that know `index`
// is free (use array_put to store at any index); where an element exists after all, its value is
// replaced instead. Does not touch the length.
void array_insert(ScriptEngine* engine, ArrayRecord* array, const Value& value, uint64_t index);

// Stores a value: replaces the element's value, or inserts a node at a hole. Does not touch the
// length.
void array_put(ScriptEngine* engine, ArrayRecord* array, uint64_t index, const Value& value);

// Unlinks the node at `index`, if any. The length stays.
void array_remove(ArrayRecord* array, uint64_t index);

// When index < length: removes the element at `index` (a hole there too), lowers every higher
// index by one, rebuilds the chains and lowers the length by one; what `delete a[i]` does, so the
// gap closes. Otherwise nothing happens.
void array_remove_and_close(ScriptEngine* engine, ArrayRecord* array, uint64_t index);

// Adds `delta` to every element's index and to the length, and rebuilds the chains.
// Requires: no index and not the length leaves 0 .. 2^64 - 1 (callers check before they shift).
void array_shift_all(ScriptEngine* engine, ArrayRecord* array, int64_t delta);

// Inserts every element of `source` into `target` at offset + its index (in storage order). The
// target's length stays; its indexes there must be free. The source may be the target.
void array_copy_all(ScriptEngine* engine, ArrayRecord* target, ArrayRecord* source, uint64_t offset);

// Sets the length. When it drops, the elements from the new length up to the old one are removed.
void array_set_length(ScriptEngine* engine, ArrayRecord* array, uint64_t length);

// {==== For the Array class: whole-array work in one pass

// Calls visit(node) for every node in storage order: bucket 0 to 126, each chain from its head (the
// most recently inserted node first). `visit` must not change the array.
template <typename Visit>
void array_for_each_node(const ArrayRecord* array, Visit&& visit) {
    for (ArrayNode* head : array->buckets) {
        for (ArrayNode* node = head; node != nullptr; node = node->next) {
            visit(node);
        }
    }
}

// The nodes whose index lies in [from, to), in index order. Costs the width of the range or, past
// the direct block when that is less, a pass over the spread table and a sort of those found.
std::vector<ArrayNode*> array_nodes_in_range(ArrayRecord* array, uint64_t from, uint64_t to);

// Unlinks every node whose index lies in [from, to). The length stays.
void array_remove_range(ArrayRecord* array, uint64_t from, uint64_t to);

// Gives every node the index map(index) and rebuilds the chains in one pass over all nodes into a
// fresh set of buckets (each node going to the head of its new chain), then both indexes. The
// length stays; the map must send no two stored indexes to the same one.
using ArrayIndexMap = uint64_t (*)(uint64_t index, const void* context);
void array_renumber(ScriptEngine* engine, ArrayRecord* array, ArrayIndexMap map, const void* context);
template <typename Map>
void array_renumber(ScriptEngine* engine, ArrayRecord* array, const Map& map) {
    array_renumber(
        engine, array, [](uint64_t index, const void* context) { return (*static_cast<const Map*>(context))(index); },
        &map);
}

// The elements of `source` become those of `target`, whose own elements are dropped; `source` is
// left without elements. Neither length changes. Allocates nothing but the target's direct index.
void array_take_elements(ScriptEngine* engine, ArrayRecord* target, ArrayRecord* source);

// }====

}  // namespace quill
