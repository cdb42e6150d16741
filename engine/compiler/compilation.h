// The state one compilation shares between the lexer, the parser, the code generator and the
// driver: the engine, the compile flags, the source, the diagnostics and the instruction list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "engine/compiler/instruction_list.h"

namespace quill {
struct ScriptEngine;
}

namespace quill::compiler {

// Compile flags.
inline constexpr uint32_t CF_OPTION0 = 0x1;
inline constexpr uint32_t CF_LISTING_REWIND = 0x2;
inline constexpr uint32_t CF_DEBUG_INFO = 0x4;
inline constexpr uint32_t CF_PEEPHOLE = 0x20;
inline constexpr uint32_t CF_JUMP_THREADING = 0x40;
inline constexpr uint32_t CF_CLEANUP = 0x80;
inline constexpr uint32_t CF_DEAD_STORES = 0x100;
inline constexpr uint32_t CF_ALL_PASSES = CF_PEEPHOLE | CF_JUMP_THREADING | CF_CLEANUP | CF_DEAD_STORES;
inline constexpr uint32_t CF_WARN_MISSING_SEMICOLON = 0x100000;
inline constexpr uint32_t CF_WARN_LINE_TERMINATORS = 0x200000;

// Thrown by Diagnostics::fail; only the driver's trap catches it.
struct CompileError {};

// The diagnostic text: one line per warning or error, "warning: line N: text\r\n" or
// "error: line N: text\r\n". Messages are formatted into 256 bytes (printf rules) first.
class Diagnostics {
public:
    void warn(uint32_t line, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    [[noreturn]] void fail(uint32_t line, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    const std::string& text() const { return m_text; }

    // An error held back: the lines from `position` on are taken out of the text, and fail_held
    // puts them back and ends the compilation when their turn comes.
    std::string take_from(size_t position);
    [[noreturn]] void fail_held(const std::string& lines);

private:
    std::string m_text;
};

// The source text: narrow bytes (the ANSI code page) and the name diagnostics and debug records
// use ("string" for a text in memory, the path for a file). A file's text is not held whole: the
// lexer reads `bytes`, then the rest of `file` a block at a time as it goes.
struct SourceText {
    std::string name;
    std::string bytes;
    std::FILE* file = nullptr;  // not owned; its read error is the caller's to check
};

struct Compilation {
    ScriptEngine* engine = nullptr;
    uint32_t flags = 0;
    SourceText source;
    Diagnostics diagnostics;
    InstructionList code;
    // When set, the code generator hands over the program's code in pieces, in program order, each
    // ending where a function entry follows (".main", built aside, comes last), and empties the list
    // after each: a program's instructions are never all held at once, and neither is its syntax
    // tree, whose nodes are given back as soon as their code is generated. The list is left empty.
    // A piece handed over as `optimised` has been through the passes already (as part of the
    // function it ends up in) and is laid out and written as it is.
    std::function<void(InstructionList&, bool optimised)> take_code;
};

// Fails at the line when the name is longer than a module's name records hold. Every name the
// compiler writes into a module passes here first.
void check_name(Compilation& compilation, uint32_t line, std::string_view name);

// Lexes, parses and generates code for the whole source into compilation.code (or through
// compilation.take_code), first every function, then ".main". Errors end it through
// compilation.diagnostics.fail.
void generate_program(Compilation& compilation);

}  // namespace quill::compiler
