// Building QS1b modules: the last stage of the compiler, and how tests make modules of their own.
//
// The writer lays a module out in one fixed shape (the reader accepts others):
//
//   offset 0   "QS1b"
//          4   { id, offset, size } code        each id: 24 pseudo-random bits << 8 | section type
//         16   { id, offset, size } constants
//         28   { id, offset, size } function table
//         40   { id, offset, size } debug        size 0 without debug records
//         52   0xFFFFFFFF
//         56   code, constants, function table, debug, back to back
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/vm/module.h"
#include "engine/vm/opcodes.h"

namespace quill::vm {

class ModuleWriter {
public:
    // The upper bits of the section ids come from a generator seeded with `id_seed`, so that one
    // seed always gives the same bytes.
    explicit ModuleWriter(uint32_t id_seed);
    // Seeds the id bits from the system's random source.
    ModuleWriter();

    // Constants. A constant identical to one added before (same type and the same payload bits;
    // numbers compare by bit pattern, so 0.0 and -0.0 differ) gives the earlier index.
    // Names are written as given: the compiler keeps them within max_name_length bytes.
    // Requires: a name has no zero byte.
    uint32_t add_null();
    uint32_t add_nan();
    uint32_t add_boolean(bool value);
    uint32_t add_integer(int64_t value);
    uint32_t add_number(double value);
    uint32_t add_string(std::u16string_view text);
    uint32_t add_name(std::string_view name);
    uint32_t add_regexp(std::u16string_view pattern, uint8_t flags);
    uint32_t add_constant(const ModuleConstant& constant);
    uint32_t constant_count() const { return m_constant_count; }

    // Function table entries, written in the order they are added (the reader wants them sorted
    // by offset). begin_function names the code from the current end of the code on.
    void add_function(std::string_view name, uint32_t offset);
    void begin_function(std::string_view name) { add_function(name, code_size()); }

    // The code section. Callers may append bytes directly; emit encodes one instruction by the
    // opcode table and returns its offset.
    std::vector<uint8_t>& code() { return m_code; }
    uint32_t code_size() const { return static_cast<uint32_t>(m_code.size()); }
    uint32_t emit(Op op);
    // Requires: the operand fits its kind (signed or unsigned 8 bits for Byte, 16 for Short,
    // 32 for the others); only its low bits are written.
    uint32_t emit(Op op, int64_t operand);
    // Points the jump instruction at offset `jump` to the instruction at offset `target`.
    void patch_jump(uint32_t jump, uint32_t target);

    // Debug records, in the order added: the source name of the code that follows, and the line
    // that begins at a code offset.
    void add_source(std::string_view name);
    void add_line(uint32_t offset, uint32_t line);

    // The module bytes.
    std::vector<uint8_t> finish() const;
    // The size of the module finish() gives.
    size_t module_size() const;
    // The module's bytes handed to `sink` in pieces, in order (the header, then each section), so
    // that a module written to a file is never held whole. Returns false as soon as the sink does.
    bool write(const std::function<bool(const uint8_t* bytes, size_t size)>& sink) const;

private:
    // The index of the record in m_record: an earlier one with the same bytes, or a new one.
    uint32_t intern();
    void begin_record(ConstantType type);
    void put_record_utf16(std::u16string_view text);

    uint32_t m_id_seed;
    std::vector<uint8_t> m_code;
    std::vector<uint8_t> m_constants;          // the records, back to back
    uint32_t m_constant_count = 0;
    std::string m_record;                      // the record being added
    // The records added so far, found by their bytes: where each starts in m_constants, and an
    // open-addressed table of record numbers + 1 (0: a free slot), at most half full. The bytes
    // are the ones in m_constants, held once.
    std::string_view record_bytes(uint32_t index) const;
    void grow_index();
    std::vector<uint32_t> m_record_starts;
    std::vector<uint32_t> m_index;
    std::vector<uint8_t> m_functions;          // the entries, without the count
    uint32_t m_function_count = 0;
    std::vector<uint8_t> m_debug;
};

}  // namespace quill::vm
