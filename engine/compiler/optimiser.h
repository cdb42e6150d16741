// The optimiser's four passes over an instruction list, and layout.
#pragma once

#include <cstdint>

#include "engine/compiler/instruction_list.h"

namespace quill::compiler {

// Runs the passes the flags select, in this order: peephole (0x20), jump threading (0x40), dead local
// stores (0x100), label and dead-code cleanup (0x80).
void optimise(InstructionList& list, uint32_t passes);

// Whether the passes give the list's code the same result alone as with more code of the same
// function appended after it: it ends with a POP no rewrite spans, holds no jumps, jump targets,
// RETURN or slot accesses, and every DUP's scan ends inside it. (The passes never look back from
// the code appended, so that code is optimised alike as well.)
bool optimises_alone(const InstructionList& list);

// Gives every instruction the offset `start` plus the sum of the sizes of all instructions before
// it; returns the offset after the last one.
uint32_t layout(InstructionList& list, uint32_t start = 0);

}  // namespace quill::compiler
