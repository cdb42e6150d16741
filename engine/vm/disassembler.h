// Listing compiled modules as text: constants, then each function's instructions with decoded
// operands. Any input gives a listing; nothing in the bytes can make it fail.
//
//   constants (2)
//       0  name "print"
//       1  string "hi\n"
//
//   function ".main" [0, 11)
//       ; line 1
//       0  GET_GLOBAL  "print"
//       5  PUSH_CONST  "hi\n"
//      10  CALL
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/vm/module.h"

namespace quill::vm {

std::string disassemble(const ParsedModule& module);

// Reads and parses the bytes first. False, with the reason in `out`, when they are no readable
// module.
bool disassemble(const uint8_t* bytes, size_t length, std::string* out);

// One constant as the listing shows it: null, true, NaN, 42, 1.5, "text", /re/gi; names as "text".
std::string constant_text(const ModuleConstant& constant);

}  // namespace quill::vm
