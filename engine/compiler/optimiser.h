// The optimiser's four passes over an instruction list, and layout.
#pragma once

#include <cstdint>

#include "engine/compiler/instruction_list.h"

namespace quill::compiler {

// Runs the passes the flags select, in this order: peephole (0x20), jump threading (0x40), dead local
// stores (0x100), label and dead-code cleanup (0x80).
void optimise(InstructionList& list, uint32_t passes);

// Gives every instruction the offset `start` plus the sum of the sizes of all instructions before
// it; returns the offset after the last one.
uint32_t layout(InstructionList& list, uint32_t start = 0);

}  // namespace quill::compiler
