// The mark-and-sweep collector: roots, marking, and the collection run between instructions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/values/engine.h"
#include "engine/values/value.h"

namespace quill {

// Whether a value with this tag leads to collected records; the others hold nothing to follow.
// One test of a bit, so that loops over many values (an array's cells) can skip the rest inline.
constexpr bool reaches_records(Tag tag) {
    constexpr uint32_t tags = 1u << static_cast<int>(Tag::String) | 1u << static_cast<int>(Tag::Array) |
                              1u << static_cast<int>(Tag::Object) | 1u << static_cast<int>(Tag::HostObject) |
                              1u << static_cast<int>(Tag::Function);
    return (tags >> (static_cast<uint32_t>(tag) & 31u) & 1u) != 0;
}

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
