// The mark-and-sweep collector: roots, marking, and the collection run between instructions.
#pragma once

#include <cstddef>

#include "engine/values/engine.h"
#include "engine/values/value.h"

namespace quill {

// Marks what the value reaches. Safe to call from a class mark handler during a collection: values
// go to the collector's work stack, so marking never recurses however deep the structures are.
void mark_value(ScriptEngine* engine, const Value& value);

// Marks a bare collected block that carries no values (code blocks, character buffers).
void mark_plain_block(void* block);

// A full collection with the stack occupied above `top` (cells top + 1 to the stack end), then the
// hook with the code 2: a non-zero answer n raises "hook break n". Sets the growth allowance for the
// next collection from the live bytes, and returns them.
size_t collect(ScriptEngine* engine, Value* top);

// Whether the bytes handed out since the last collection reached both the threshold and the growth
// the last collection's survivors allow. Asked after many instructions, so it is inline.
inline bool collection_due(const ScriptEngine* engine) {
    const Heap& heap = engine->heap;
    return heap.allocated_bytes >= heap.threshold && heap.allocated_bytes >= heap.growth_allowance;
}

}  // namespace quill
