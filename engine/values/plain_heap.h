// Wrappers around the plain heap that report exhaustion as a runtime error.
#pragma once

#include <cstddef>
#include <memory>

namespace quill {

struct ScriptEngine;

// With an engine, a failed allocation writes "Out of memory" into its message buffer and raises a
// runtime error; without one (engine null) the wrapper returns null.
void* plain_allocate(ScriptEngine* engine, size_t size);
void* plain_allocate_zeroed(ScriptEngine* engine, size_t count, size_t size);
// A null block is allocated.
void* plain_reallocate(ScriptEngine* engine, void* block, size_t size);
// A null block is ignored.
void plain_free(ScriptEngine* engine, void* block);
char* plain_duplicate(ScriptEngine* engine, const char* text);
char16_t* plain_duplicate(ScriptEngine* engine, const char16_t* text);

// Owns a plain-heap block.
struct PlainFree {
    void operator()(void* block) const { plain_free(nullptr, block); }
};
template <typename T>
using PlainPtr = std::unique_ptr<T, PlainFree>;

}  // namespace quill
