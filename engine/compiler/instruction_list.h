// The compiler's instruction list: the code generator appends instructions and labels, the optimiser
// rewrites the list, layout gives each instruction its byte offset, and the driver writes the module.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/compiler/pool.h"
#include "engine/vm/module.h"
#include "engine/vm/opcodes.h"

namespace quill::compiler {

// Label pseudo-opcodes.
inline constexpr int entry_label = 1000;   // a function entry; its name is the function's global name
inline constexpr int target_label = 1001;  // a jump target

// One instruction or label. Records live as long as their list, and so do the names and constants
// they point at.
struct Instruction {
    int opcode = 0;          // 33..109, entry_label or target_label
    uint32_t line = 0;       // source line of the construct that emitted it
    int stack_effect = 0;    // change of the stack depth, as the optimiser counts it
    uint8_t size = 0;        // encoded size in bytes; 0 for labels
    bool referenced = false;    // labels: some jump targets it
    uint32_t live_locals = 0;   // dead-store pass: local slots below 32 read later
    uint32_t live_frame = 0;    // dead-store pass: frame slots below 32 read later
    uint32_t offset = 0;        // byte offset in the code section, from layout

    // The operand, by the opcode's operand kind:
    int64_t integer = 0;            // Byte, Short, Immediate; the number of a jump-target label
    std::string_view name;          // Name operands; the global name of an entry label
    const vm::ModuleConstant* constant = nullptr;  // Constant operands (PUSH_CONST)
    Instruction* target = nullptr;  // Jump operands: the target label

    Instruction* next = nullptr;
    Instruction* previous = nullptr;  // rebuilt by the optimiser when it needs it

    bool is_label() const { return opcode == entry_label || opcode == target_label; }
    vm::Op op() const { return static_cast<vm::Op>(opcode); }
};

class InstructionList {
public:
    InstructionList() = default;
    InstructionList(const InstructionList&) = delete;
    InstructionList& operator=(const InstructionList&) = delete;

    // Appends an instruction with the size and stack effect of the opcode table.
    Instruction* emit(vm::Op op, uint32_t line);
    // Counts, slots and immediates (Byte, Short, Immediate operands).
    Instruction* emit(vm::Op op, uint32_t line, int64_t operand);
    // Name operands.
    Instruction* emit_name(vm::Op op, uint32_t line, std::string_view name);
    // PUSH_CONST of a literal.
    Instruction* emit_constant(uint32_t line, const vm::ModuleConstant& constant);
    // Jump-group instructions (TRY_PUSH included) to a label made by new_label.
    Instruction* emit_jump(vm::Op op, uint32_t line, Instruction* label);

    // A jump-target label with the next number; not in the list until placed.
    Instruction* new_label();
    void place(Instruction* label);
    // A function-entry label.
    Instruction* emit_entry(std::string_view name, uint32_t line);

    // Unlinks an instruction (its record stays allocated until the list dies).
    void remove(Instruction* instruction);

    Instruction* first() const { return m_first; }
    Instruction* last() const { return m_last; }
    Instruction* before_last() const { return m_last != nullptr ? m_last->previous : nullptr; }

    // Rebuilds the previous links from the next links.
    void relink();

    // Empties the list, ending its records, names and constants; labels go on being numbered
    // from where they were.
    void clear();

private:
    Instruction* make(int opcode, uint32_t line);
    void append(Instruction* instruction);

    Pool<Instruction> m_records;
    Pool<vm::ModuleConstant, 256> m_constants;
    TextPool m_names;
    Instruction* m_first = nullptr;
    Instruction* m_last = nullptr;
    int64_t m_label_count = 0;
};

}  // namespace quill::compiler
