// Code blocks: the translated word code of one function, with its name and line table.
#pragma once

#include <cstdint>

#include "engine/values/heap.h"

namespace quill {

// A line table entry: the instruction at word position `word` begins source line `line`.
struct LineEntry {
    uint32_t word;
    uint32_t line;
};

// Lives in the collected heap; `finalizer` is its first data word and frees the plain-heap parts.
struct CodeBlock {
    Finalizer finalizer;
    char* name;              // the function's global name, or ".main"
    uint32_t* code;          // word code, END appended
    uint32_t word_count;
    char* source_name;       // null without debug information
    LineEntry* lines;        // ascending word positions
    uint32_t line_count;
    uint32_t stack_growth;   // cells the function may push between two stack checks
};

}  // namespace quill
