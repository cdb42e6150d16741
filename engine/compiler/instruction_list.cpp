// Appending to the instruction list.
#include "engine/compiler/instruction_list.h"

namespace quill::compiler {

Instruction* InstructionList::make(int opcode, uint32_t line) {
    Instruction& record = *m_records.make();
    record.opcode = opcode;
    record.line = line;
    if (opcode < vm::first_opcode || opcode > vm::last_opcode) {
        return &record;
    }
    const vm::OpcodeInfo& info = vm::opcode_info(static_cast<uint8_t>(opcode));
    record.size = static_cast<uint8_t>(vm::encoded_size(info.operand));
    record.stack_effect = info.stack_effect;
    return &record;
}

void InstructionList::append(Instruction* instruction) {
    instruction->previous = m_last;
    instruction->next = nullptr;
    if (m_last != nullptr) {
        m_last->next = instruction;
    } else {
        m_first = instruction;
    }
    m_last = instruction;
}

Instruction* InstructionList::emit(vm::Op op, uint32_t line) {
    Instruction* instruction = make(static_cast<int>(op), line);
    append(instruction);
    return instruction;
}

Instruction* InstructionList::emit(vm::Op op, uint32_t line, int64_t operand) {
    Instruction* instruction = make(static_cast<int>(op), line);
    instruction->integer = operand;
    instruction->stack_effect = vm::stack_use(static_cast<uint8_t>(op), operand).effect;
    append(instruction);
    return instruction;
}

Instruction* InstructionList::emit_name(vm::Op op, uint32_t line, std::string_view name) {
    Instruction* instruction = make(static_cast<int>(op), line);
    instruction->name = m_names.keep(name);
    append(instruction);
    return instruction;
}

Instruction* InstructionList::emit_constant(uint32_t line, const vm::ModuleConstant& constant) {
    Instruction* instruction = make(static_cast<int>(vm::Op::PUSH_CONST), line);
    vm::ModuleConstant* copy = m_constants.make();
    *copy = constant;
    instruction->constant = copy;
    append(instruction);
    return instruction;
}

Instruction* InstructionList::emit_jump(vm::Op op, uint32_t line, Instruction* label) {
    Instruction* instruction = make(static_cast<int>(op), line);
    instruction->target = label;
    append(instruction);
    return instruction;
}

Instruction* InstructionList::new_label() {
    Instruction* label = make(target_label, 0);
    label->integer = m_label_count++;
    return label;
}

void InstructionList::place(Instruction* label) { append(label); }

Instruction* InstructionList::emit_entry(std::string_view name, uint32_t line) {
    Instruction* label = make(entry_label, line);
    label->name = m_names.keep(name);
    append(label);
    return label;
}

void InstructionList::remove(Instruction* instruction) {
    Instruction* before = instruction->previous;
    Instruction* after = instruction->next;
    if (before != nullptr) {
        before->next = after;
    } else {
        m_first = after;
    }
    if (after != nullptr) {
        after->previous = before;
    } else {
        m_last = before;
    }
    instruction->next = nullptr;
    instruction->previous = nullptr;
}

void InstructionList::relink() {
    Instruction* previous = nullptr;
    for (Instruction* i = m_first; i != nullptr; i = i->next) {
        i->previous = previous;
        previous = i;
    }
    m_last = previous;
}

void InstructionList::clear() {
    m_records.clear();
    m_constants.clear();
    m_names.clear();
    m_first = nullptr;
    m_last = nullptr;
}

}  // namespace quill::compiler
