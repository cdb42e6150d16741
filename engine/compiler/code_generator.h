// The code generator: walks the syntax tree and appends instructions to the compilation's list,
// first every function of the program, then the program's statements as ".main" (generate_program,
// in compilation.h, runs the parser and the generator together).
#pragma once

#include "engine/compiler/ast.h"
#include "engine/compiler/compilation.h"

namespace quill::compiler {

// The operand limits of the instruction encodings, and what exceeds them is refused with.
//   NIP n+2 after a call or `new` with n arguments: one unsigned byte    "too many arguments"
//   parameters live in frame slots 2.. addressed by a signed byte       "too many parameters"
//   RESERVE n and the local slots: two unsigned bytes                   "too many local variables"
inline constexpr int max_call_arguments = 253;
inline constexpr int max_parameters = 126;
inline constexpr int max_local_slots = 65535;


}  // namespace quill::compiler
