// The optimiser passes.
#include "engine/compiler/optimiser.h"

#include "engine/compiler/compilation.h"

namespace quill::compiler {

namespace {

using vm::Op;

bool is(const Instruction* i, Op op) { return i != nullptr && i->opcode == static_cast<int>(op); }
bool is_jump(const Instruction* i) { return i != nullptr && !i->is_label() && vm::is_jump(i->op()); }

// The DUP scan stops at these: control leaves the straight line or the stack is used by a call.
bool ends_dup_scan(const Instruction* i) {
    if (i->is_label() || is_jump(i)) {
        return true;
    }
    switch (i->op()) {
    case Op::THROW:
    case Op::TRY_POP:
    case Op::NEW:
    case Op::RETURN:
    case Op::CALL:
    case Op::CALL_METHOD:
    case Op::DUP:
        return true;
    default:
        return false;
    }
}

// How the DUP scan from a DUP ends.
enum class DupScan {
    Elide,     // value, DUP, store, POP: the DUP and the POP go
    Keep,      // something between needs the copy, or control leaves the straight line
    ListEnds,  // the list ended first: code appended after it could still decide
};

// value, DUP, store, POP becomes value, store. The counter is the number of cells from the
// duplicated value up; an instruction between that reads down to the value itself (-x++ negates it)
// keeps the DUP. Sets `pop` to the POP that goes with the DUP.
DupScan scan_dup(const Instruction* dup, Instruction** pop) {
    int counter = 2;
    for (Instruction* scan = dup->next; scan != nullptr; scan = scan->next) {
        if (ends_dup_scan(scan)) {
            return DupScan::Keep;
        }
        if (scan->next == nullptr) {
            return DupScan::ListEnds;
        }
        if (vm::stack_use(static_cast<uint8_t>(scan->opcode), scan->integer).reads >= counter) {
            return DupScan::Keep;
        }
        counter += scan->stack_effect;
        if (counter <= 0) {
            return DupScan::Keep;
        }
        if (is(scan->next, Op::POP) && counter == 1) {
            *pop = scan->next;
            return DupScan::Elide;
        }
    }
    return DupScan::ListEnds;
}

// Returns whether it rewrote.
bool elide_dup(InstructionList& list, Instruction* dup) {
    Instruction* pop = nullptr;
    if (scan_dup(dup, &pop) != DupScan::Elide) {
        return false;
    }
    list.remove(pop);
    list.remove(dup);
    return true;
}

void peephole(InstructionList& list) {
    for (Instruction* current = list.first(); current != nullptr;) {
        Instruction* next = current->next;
        if (is(current, Op::DUP)) {
            if (elide_dup(list, current)) {
                current = next;
                continue;
            }
        } else if (is(current, Op::NIP) && is(next, Op::POP)) {
            current->opcode = static_cast<int>(Op::POPN);
            current->integer += 1;
            current->stack_effect = -static_cast<int>(current->integer);
            list.remove(next);
            current = current->next;
            continue;
        } else if ((is(current, Op::PUSH_TRUE) && (is(next, Op::JF) || is(next, Op::JF_BOOL))) ||
                   (is(current, Op::PUSH_FALSE) && (is(next, Op::JT) || is(next, Op::JT_BOOL)))) {
            Instruction* after = next->next;
            list.remove(next);
            list.remove(current);
            current = after;
            continue;
        } else if ((is(current, Op::PUSH_FALSE) && (is(next, Op::JF) || is(next, Op::JF_BOOL))) ||
                   (is(current, Op::PUSH_TRUE) && (is(next, Op::JT) || is(next, Op::JT_BOOL)))) {
            // The condition is constant: one unconditional jump.
            next->opcode = static_cast<int>(Op::JMP);
            next->stack_effect = 0;
            list.remove(current);
            current = next->next;
            continue;
        }
        current = next;
    }
}

Instruction* first_instruction_at(Instruction* label) {
    Instruction* i = label;
    while (i != nullptr && i->is_label()) {
        i = i->next;
    }
    return i;
}

void thread_jumps(InstructionList& list) {
    for (Instruction* i = list.first(); i != nullptr; i = i->next) {
        if (!is_jump(i) || i->target == nullptr) {
            continue;
        }
        Instruction* landing = first_instruction_at(i->target);
        if (is(landing, Op::JMP) && landing != i) {
            i->target = landing->target;
        }
    }
}

// Liveness of local slots below 32, backwards through each function, to a fixed point.
void compute_liveness(InstructionList& list, Instruction* begin, Instruction* end) {
    for (bool changed = true; changed;) {
        changed = false;
        // Walk from the function's last instruction back to its entry.
        Instruction* last = end != nullptr ? end->previous : list.last();
        for (Instruction* i = last; i != nullptr; i = i->previous) {
            Instruction* successor = i->next;
            uint32_t locals = successor != nullptr && successor != end ? successor->live_locals : 0;
            uint32_t frame = successor != nullptr && successor != end ? successor->live_frame : 0;
            if (!i->is_label()) {
                auto slot = static_cast<uint64_t>(i->integer);
                switch (i->op()) {
                case Op::GET_LOCAL:
                    if (slot < 32) locals |= 1u << slot;
                    break;
                case Op::SET_LOCAL:
                    if (slot < 32) locals &= ~(1u << slot);
                    break;
                case Op::GET_ARG:
                    if (slot < 32) frame |= 1u << slot;
                    break;
                case Op::SET_ARG:
                    if (slot < 32) frame &= ~(1u << slot);
                    break;
                default:
                    break;
                }
                if (is_jump(i) && i->target != nullptr) {
                    i->target->referenced = true;
                    locals |= i->target->live_locals;
                }
            }
            if (i->is_label() && i->referenced && (i->live_locals != locals || i->live_frame != frame)) {
                changed = true;
            }
            i->live_locals = locals;
            i->live_frame = frame;
            if (i == begin) {
                break;
            }
        }
    }
}

void remove_dead_stores(InstructionList& list) {
    list.relink();
    for (Instruction* i = list.first(); i != nullptr; i = i->next) {
        i->live_locals = 0;
        i->live_frame = 0;
        if (i->is_label()) {
            i->referenced = false;
        }
    }
    for (Instruction* begin = list.first(); begin != nullptr;) {
        Instruction* end = begin->next;
        while (end != nullptr && end->opcode != entry_label) {
            end = end->next;
        }
        compute_liveness(list, begin, end);
        begin = end;
    }
    for (Instruction* i = list.first(); i != nullptr;) {
        Instruction* get = i->next;
        if (is(i, Op::SET_LOCAL) && is(get, Op::GET_LOCAL) && i->integer == get->integer && i->integer < 32) {
            Instruction* after = get->next;
            uint32_t live = after != nullptr ? after->live_locals : 0;
            if ((live & (1u << i->integer)) == 0) {
                list.remove(get);
                list.remove(i);
                i = after;
                continue;
            }
        }
        i = i->next;
    }
}

bool cleanup_once(InstructionList& list) {
    bool changed = false;
    for (Instruction* i = list.first(); i != nullptr; i = i->next) {
        if (i->opcode == target_label) {
            i->referenced = false;
        }
    }
    for (Instruction* i = list.first(); i != nullptr; i = i->next) {
        if (is_jump(i) && i->target != nullptr) {
            i->target->referenced = true;
        }
    }
    for (Instruction* i = list.first(); i != nullptr;) {
        Instruction* next = i->next;
        if (i->opcode == target_label && !i->referenced && next != nullptr) {
            list.remove(i);
            changed = true;
        }
        i = next;
    }
    for (Instruction* i = list.first(); i != nullptr; i = i->next) {
        if (is(i, Op::JMP) || is(i, Op::RETURN)) {
            while (i->next != nullptr && !i->next->is_label()) {
                list.remove(i->next);
                changed = true;
            }
        }
    }
    for (Instruction* i = list.first(); i != nullptr;) {
        Instruction* next = i->next;
        if (is(i, Op::JMP) && i->target == next) {
            list.remove(i);
            changed = true;
        }
        i = next;
    }
    return changed;
}

}  // namespace

bool optimises_alone(const InstructionList& list) {
    const Instruction* last = list.last();
    const Instruction* before_last = nullptr;
    for (const Instruction* i = list.first(); i != nullptr && i != last; i = i->next) {
        before_last = i;
    }
    // The pairs the peephole rewrites start with DUP, NIP, PUSH_TRUE or PUSH_FALSE: the list ends
    // with a POP that none of them comes before, so no pair spans the end, before or after the POP
    // goes with a DUP.
    if (!is(last, Op::POP) || is(before_last, Op::DUP) || is(before_last, Op::NIP) ||
        is(before_last, Op::PUSH_TRUE) || is(before_last, Op::PUSH_FALSE)) {
        return false;
    }
    for (const Instruction* i = list.first(); i != nullptr; i = i->next) {
        // No jumps or jump targets (threading and cleanup), no unreachable code after a RETURN, no
        // local or frame slots (dead stores).
        if (i->opcode == target_label || is_jump(i)) {
            return false;
        }
        if (i->is_label()) {
            continue;
        }
        switch (i->op()) {
        case Op::RETURN:
        case Op::GET_LOCAL:
        case Op::SET_LOCAL:
        case Op::GET_ARG:
        case Op::SET_ARG:
            return false;
        case Op::DUP: {
            Instruction* pop = nullptr;
            if (scan_dup(i, &pop) == DupScan::ListEnds) {
                return false;
            }
            break;
        }
        default:
            break;
        }
    }
    return true;
}

void optimise(InstructionList& list, uint32_t passes) {
    list.relink();
    if ((passes & CF_PEEPHOLE) != 0) {
        peephole(list);
    }
    if ((passes & CF_JUMP_THREADING) != 0) {
        thread_jumps(list);
    }
    if ((passes & CF_DEAD_STORES) != 0) {
        remove_dead_stores(list);
    }
    if ((passes & CF_CLEANUP) != 0) {
        while (cleanup_once(list)) {
        }
    }
}

uint32_t layout(InstructionList& list, uint32_t start) {
    uint32_t offset = start;
    for (Instruction* i = list.first(); i != nullptr; i = i->next) {
        i->offset = offset;
        offset += i->size;
    }
    return offset;
}

}  // namespace quill::compiler
