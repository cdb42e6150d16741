// The opcode table.
#include "engine/vm/opcodes.h"

#include <cstring>

namespace quill::vm {

namespace {

constexpr OpcodeInfo no_opcode{nullptr, OperandKind::None, 0, StackRule::Fixed, 0, OperandSign::Signed};

constexpr OpcodeInfo table[opcode_count] = {
#define QUILL_OPCODE_INFO(name, number, mnemonic, kind, effect, rule, reads, sign) \
    {mnemonic, OperandKind::kind, effect, StackRule::rule, reads, OperandSign::sign},
    QUILL_OPCODES(QUILL_OPCODE_INFO)
#undef QUILL_OPCODE_INFO
};

// The table is indexed by number - 33: every number must appear once, in order.
constexpr bool numbered_in_order() {
    int expected = first_opcode;
#define QUILL_OPCODE_CHECK(name, number, mnemonic, kind, effect, rule, reads, sign) \
    if (number != expected++) return false;
    QUILL_OPCODES(QUILL_OPCODE_CHECK)
#undef QUILL_OPCODE_CHECK
    return expected == last_opcode + 1;
}
static_assert(numbered_in_order(), "opcodes are listed once each, in numeric order");

}  // namespace

const OpcodeInfo& opcode_info(uint8_t opcode) {
    return is_opcode(opcode) ? table[opcode - first_opcode] : no_opcode;
}

StackUse stack_use(uint8_t opcode, int64_t operand) {
    const OpcodeInfo& info = opcode_info(opcode);
    auto n = static_cast<int32_t>(operand);
    switch (info.rule) {
    case StackRule::PlusOperand:
        return {info.reads, n};
    case StackRule::MinusOperand:
        return {info.reads + n, -n};
    case StackRule::Fixed:
        break;
    }
    if (static_cast<Op>(opcode) == Op::ROLL) {
        int32_t cells = n < 0 ? -n : n;
        return {cells >= 2 ? cells : 0, 0};
    }
    return {info.reads, info.stack_effect};
}

int opcode_by_mnemonic(const char* mnemonic) {
    for (int op = first_opcode; op <= last_opcode; ++op) {
        if (std::strcmp(table[op - first_opcode].mnemonic, mnemonic) == 0) {
            return op;
        }
    }
    return -1;
}

}  // namespace quill::vm
