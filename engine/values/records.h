// Layouts of the collected records that carry values: arrays, function objects, with-scope lists.
// The operations on them belong to the array class and the interpreter; the collector needs the
// layouts to mark them.
#pragma once

#include <cstdint>

#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;
struct PropertyTable;
struct CodeBlock;

inline constexpr int array_bucket_count = 127;

// The tag of a dense cell that holds no element. No script value carries it (it is one of the
// reserved tags), so a cell is a hole exactly when it has this tag.
inline constexpr Tag array_hole = Tag::Reserved8;

// Stamps are 32-bit; an array that has seen this many insertions numbers its elements afresh.
inline constexpr uint64_t array_stamp_limit = 0xFFFFFFFFu;

// An element stored past the dense block: its index, its value, its stamp.
struct ArrayNode {
    uint64_t index;
    Value value;
    uint64_t stamp;
};

// A slot of an array's spread table: a node and a copy of its index, so that a search reads the
// table alone until it finds its node. A null node marks a free slot.
struct ArraySlot {
    uint64_t index;
    ArrayNode* node;
};

// An array: its length is independent of the stored elements.
//
// The elements live in two places. `dense` covers the low indexes: a collected block of
// dense_capacity value cells (a hole has the tag array_hole), followed by as many 32-bit stamps,
// one per cell. It grows with the stored elements and never costs more than a few cells per
// element. `spread` holds every element at dense_capacity or above, each in a node of its own: an
// open-addressing hash table keyed by the node's index (spread_capacity slots, a power of two, at
// most half of them used).
//
// The order in which whole-array work visits the elements (sort gathers them that way, concat
// copies them that way) is the order of 127 chains: element k belongs to chain k mod 127, each
// chain most recently inserted element first, chain 0 to 126. The chains are not kept as lists:
// every element carries a stamp, the number of its insertion, and a chain is its elements by
// falling stamp (engine/values/array.cpp). Stamps are unique within an array and all below
// next_stamp. Every operation of engine/values/array.h keeps both places, the stamps and the
// counts in step: change an array only through them. Under those operations no element lies at or
// past the length, unless a caller of array_insert puts one there.
struct ArrayRecord {
    uint64_t length;
    // The own table of named properties, null until first needed (array_own_table). Until then
    // `prototype` keeps the Array class's prototype table of the moment the array was made, which
    // the table gets as its "__proto__" when it is made.
    PropertyTable* properties;
    PropertyTable* prototype;
    Value* dense;              // null when dense_capacity is 0
    uint64_t count;            // stored elements, in both places
    ArraySlot* spread;         // null when spread_capacity is 0
    uint32_t spread_capacity;  // slots of spread: 0 or a power of two of at least 16
    uint32_t spread_count;     // nodes in spread: the elements at dense_capacity and above
    uint32_t dense_capacity;   // cells of dense (at most config::array_dense_limit)
    uint32_t next_stamp;       // the stamp the next inserted element gets (below array_stamp_limit)
};
// The record fits a small heap block: it is most of what a short array costs.
static_assert(sizeof(ArrayRecord) <= 64, "an array record takes 64 bytes at most");

// The stamps of the dense cells, which follow the cells in their block.
inline uint32_t* array_dense_stamps(const ArrayRecord* array) {
    return reinterpret_cast<uint32_t*>(array->dense + array->dense_capacity);
}

// A script function: its code block (a collected block with a finalizer) and its own table, which
// is also the prototype of the objects it constructs.
struct FunctionObject {
    CodeBlock* code;
    PropertyTable* properties;
};

// A frame's with-scope list: a count and that many values, outermost with first.
struct WithList {
    uint32_t count;
    uint32_t capacity;
    Value* items() { return reinterpret_cast<Value*>(this + 1); }
};
static_assert(sizeof(WithList) % alignof(Value) == 0, "the values follow the header aligned");

void visit_array(ScriptEngine* engine, ArrayRecord* array);
void visit_function(ScriptEngine* engine, FunctionObject* function);
void visit_with_list(ScriptEngine* engine, WithList* list);

}  // namespace quill
