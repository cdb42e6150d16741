// A small text assembler that makes compiled modules for tests.
//
//   .function .main          ; starts a function at the current code offset
//   .source test.qls         ; debug: source name of the code that follows
//   .line 3                  ; debug: the next instruction begins line 3
//   loop:                    ; a label (may be followed by an instruction on the same line)
//     GET_GLOBAL print       ; name operands are bare words, or "quoted", or #N for a raw index
//     PUSH_CONST "a\n\u00e9" ; 42 Integer, 1.5 / 1e3 / Infinity Number, "text" String, /re/gim RegExp,
//                            ; null true false NaN, or #N for a raw constant index
//     JMP loop               ; a label, or a number for a raw displacement
//     .byte 0x21 0 255       ; raw code bytes
//
// Strings take the escapes \n \r \t \0 \" \\ \uXXXX; other text in them must be ASCII. A /pattern/
// is kept as written, its escapes (\/ too) left for the pattern compiler.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quill::vm::testing {

struct Assembly {
    std::vector<uint8_t> bytes;  // the module, when error is empty
    std::string error;           // "line N: what is wrong"
};

Assembly assemble(std::string_view source, uint32_t id_seed = 1);

// The module bytes; fails the current test on an assembler error.
std::vector<uint8_t> assemble_or_fail(std::string_view source, uint32_t id_seed = 1);

}  // namespace quill::vm::testing
