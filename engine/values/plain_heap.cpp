// Plain-heap wrappers.
#include "engine/values/plain_heap.h"

#include <cstdlib>
#include <cstring>

#include "engine/values/engine.h"
#include "engine/values/errors.h"

namespace quill {

namespace {

void* checked(ScriptEngine* engine, void* block) {
    if (block == nullptr && engine != nullptr) {
        raise_error(engine, Message::OutOfMemory);
    }
    return block;
}

}  // namespace

void* plain_allocate(ScriptEngine* engine, size_t size) {
    return checked(engine, std::malloc(size == 0 ? 1 : size));
}

void* plain_allocate_zeroed(ScriptEngine* engine, size_t count, size_t size) {
    // calloc refuses a product that overflows.
    return checked(engine, std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size));
}

void* plain_reallocate(ScriptEngine* engine, void* block, size_t size) {
    return checked(engine, std::realloc(block, size == 0 ? 1 : size));
}

void plain_free(ScriptEngine*, void* block) { std::free(block); }

char* plain_duplicate(ScriptEngine* engine, const char* text) {
    size_t length = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(plain_allocate(engine, length));
    if (copy != nullptr) {
        std::memcpy(copy, text, length);
    }
    return copy;
}

char16_t* plain_duplicate(ScriptEngine* engine, const char16_t* text) {
    size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    auto* copy = static_cast<char16_t*>(plain_allocate(engine, (length + 1) * sizeof(char16_t)));
    if (copy != nullptr) {
        std::memcpy(copy, text, (length + 1) * sizeof(char16_t));
    }
    return copy;
}

}  // namespace quill
