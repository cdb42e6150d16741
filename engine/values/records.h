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

// An element of an array: its index, its value, the next node of its bucket chain.
struct ArrayNode {
    uint64_t index;
    Value value;
    ArrayNode* next;
};

// A slot of an array's spread table: a node and a copy of its index, so that a search reads the
// table alone until it finds its node. A null node marks a free slot.
struct ArraySlot {
    uint64_t index;
    ArrayNode* node;
};

// An array: its length is independent of the stored elements; element k lives in bucket k mod 127,
// each chain most recently inserted node first. The chains are the array: they hold every node, and
// their order is what sort's gather order shows.
//
// Beside them two indexes find a node by its index without walking a chain. `direct` covers the low
// indexes: for k < direct_capacity, direct[k] is the node of element k, or null for a hole. It grows
// with the stored elements and never costs more than a few words per element. `spread` holds every
// node at direct_capacity or above: an open-addressing hash table keyed by the node's index
// (spread_capacity slots, a power of two, at most half of them used). Both are collected
// blocks (marked by visit_array) that only point at nodes of the chains (engine/values/array.cpp).
// Every operation of engine/values/array.h keeps the chains, both indexes and the counts in step:
// change an array only through them. Under those operations no node lies at or past the length,
// unless a caller of array_insert puts one there.
struct ArrayRecord {
    uint64_t length;
    ArrayNode* buckets[array_bucket_count];
    PropertyTable* properties;
    ArrayNode** direct;        // null when direct_capacity is 0
    uint64_t direct_capacity;  // entries of direct
    uint64_t count;            // nodes in the chains
    ArraySlot* spread;         // null when spread_capacity is 0
    uint64_t spread_capacity;  // slots of spread: 0 or a power of two of at least 16
    uint64_t spread_count;     // nodes in spread: those at direct_capacity and above
};

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
