// The QS1b compiled-module container: reading it from a file or from memory, parsing its constant,
// function and debug sections, and decoding instructions.
//
// Container layout (header little-endian, section contents big-endian unless stated):
//
//   [optional first line starting with '#', up to and including the first line feed]
//   "QS1b"
//   section table: 12-byte entries  { id u32 LE, offset u32 LE (from the magic), size u32 LE }
//   terminator:    id 0xFFFFFFFF
//   sections anywhere after the magic; the section type is the id's low byte (0 code, 1 constants,
//   2 function table, 3 debug); the upper 24 bits mean nothing.
//
//   constant record: type byte (the value tag it makes), then
//     1 Null, 13 NaN: nothing      2 Boolean: 1 byte       3 Integer: 8 bytes BE two's complement
//     5 Number: 8 bytes IEEE double LE                     4 String: u32 byte length L, L bytes UTF-16LE
//     10 Name: bytes up to a zero byte                     11 RegExp: flags byte, u32 L, L bytes UTF-16LE
//   function table: u32 count n, then n entries { name bytes, zero byte, u32 code offset }
//   debug record: 1 source name { u32 L, L bytes } | 2 line { u32 code offset, u32 line }
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace quill::vm {

inline constexpr uint8_t section_code = 0;
inline constexpr uint8_t section_constants = 1;
inline constexpr uint8_t section_functions = 2;
inline constexpr uint8_t section_debug = 3;

// Names in constants and function tables are at most this long (a zero byte ends them).
inline constexpr size_t max_name_length = 255;

struct Section {
    uint8_t type = 0;
    std::vector<uint8_t> bytes;  // copied out of the input
};

// The sections of a container that a module is read from, in table order: the first code, constants
// and function-table sections and the last debug section. Other entries (repeats, unknown types) are
// checked against the input but not kept.
struct Module {
    std::vector<Section> sections;

    // The first / last section of a type, or null.
    const Section* first(uint8_t type) const;
    const Section* last(uint8_t type) const;
};

// Reading gives nothing on a wrong magic, input too short (fewer than 8 bytes from the magic), an
// unterminated section table, or a section running past the input (a short read for files); the
// problem, when asked for, then says which in a few words. A file that cannot be read gives the
// system's reason as its problem.
std::optional<Module> read_module(const uint8_t* bytes, size_t length, const char** problem = nullptr);
std::optional<Module> read_module_file(std::FILE* file, const char** problem = nullptr);

// Constant types (equal to the tags of the values they make).
enum class ConstantType : uint8_t {
    Null = 1,
    Boolean = 2,
    Integer = 3,
    String = 4,
    Number = 5,
    Name = 10,
    RegExp = 11,
    NaN = 13,
};

// A decoded constant record; only the members of its type are meaningful.
struct ModuleConstant {
    ConstantType type = ConstantType::Null;
    bool boolean = false;
    int64_t integer = 0;
    double number = 0.0;
    std::u16string text;   // String, RegExp pattern (an odd trailing byte is ignored)
    std::string name;      // Name, as stored (before any "@F_" renumbering)
    uint8_t regexp_flags = 0;  // 1 global, 2 ignore case, 4 multiline
};

struct ModuleFunction {
    std::string name;  // ".main" for the top-level code
    uint32_t offset = 0;  // into the code section
    uint32_t end = 0;     // the next entry's offset, or the code size for the last one
};

struct DebugRecord {
    uint8_t type = 0;          // 1 source name, 2 line
    std::string source_name;   // type 1
    uint32_t offset = 0;       // type 2
    uint32_t line = 0;         // type 2
};

// The parts of a module the loader and the disassembler work from.
struct ParsedModule {
    std::vector<ModuleConstant> constants;  // of the first constants section
    std::vector<ModuleFunction> functions;  // of the first function table, in table order
    std::vector<uint8_t> code;              // the first code section
    std::vector<DebugRecord> debug;         // of the last debug section
    bool has_debug = false;                 // a debug section exists (even an empty one)
};

// Why parsing failed.
enum class ParseError {
    None,
    UnknownRecord,     // an unknown constant or debug record type
    Truncated,         // a record runs past its section
    NameTooLong,       // a name over 255 bytes
    BadFunctionTable,  // the count disagrees with the entries, or offsets are unsorted or past the code
};

// Parses the sections. Returns ParseError::None on success.
ParseError parse_module(const Module& module, ParsedModule* out);

// One decoded instruction of the byte code.
struct Instruction {
    uint32_t offset = 0;
    uint8_t opcode = 0;    // a byte outside 33..109 decodes as a one-byte non-instruction
    uint8_t size = 1;      // encoded size in bytes
    int64_t operand = 0;   // sign-extended for Byte/Short/Jump/Immediate, unsigned for Name/Constant
};

// Decodes the instruction at `offset` of `code`, whose end is `end` (at most the code size). False
// when its operand is cut off by the end (`out` then holds the opcode and the size it would need) or
// when `offset` is at or past the end.
bool decode_instruction(const std::vector<uint8_t>& code, uint32_t offset, uint32_t end, Instruction* out);

}  // namespace quill::vm
