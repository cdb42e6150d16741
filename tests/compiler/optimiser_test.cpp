#include "engine/compiler/optimiser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/compiler/compilation.h"

namespace quill::compiler {
namespace {

using vm::Op;

// The list as text: mnemonics with their operands, labels as "Ln:".
std::vector<std::string> render(const InstructionList& list) {
    std::vector<std::string> lines;
    for (const Instruction* i = list.first(); i != nullptr; i = i->next) {
        if (i->opcode == target_label) {
            lines.push_back("L" + std::to_string(i->integer) + ":");
        } else if (i->opcode == entry_label) {
            lines.push_back(std::string(i->name) + ":");
        } else {
            std::string line = vm::opcode_info(static_cast<uint8_t>(i->opcode)).mnemonic;
            if (i->target != nullptr) {
                line += " L" + std::to_string(i->target->integer);
            } else if (!i->name.empty()) {
                line += " " + std::string(i->name);
            } else if (vm::opcode_info(static_cast<uint8_t>(i->opcode)).operand != vm::OperandKind::None) {
                line += " " + std::to_string(i->integer);
            }
            lines.push_back(line);
        }
    }
    return lines;
}

using Lines = std::vector<std::string>;

TEST(Optimiser, AssignmentStatementsLoseTheirDupAndPop) {
    InstructionList list;
    list.emit_entry(".main", 0);
    list.emit(Op::PUSH_1, 0);
    list.emit(Op::DUP, 0);
    list.emit_name(Op::SET_GLOBAL, 0, "x");
    list.emit(Op::POP, 0);
    // a = b++; as a statement: the old value was never needed.
    list.emit_name(Op::GET_GLOBAL, 0, "b");
    list.emit(Op::DUP, 0);
    list.emit(Op::PUSH_1, 0);
    list.emit(Op::ADD, 0);
    list.emit_name(Op::SET_GLOBAL, 0, "b");
    list.emit(Op::POP, 0);
    // x && y keeps its DUP: the scan stops at the jump.
    Instruction* end = list.new_label();
    list.emit_name(Op::GET_GLOBAL, 0, "x");
    list.emit(Op::DUP, 0);
    list.emit_jump(Op::JF, 0, end);
    list.emit(Op::POP, 0);
    list.emit_name(Op::GET_GLOBAL, 0, "y");
    list.place(end);
    optimise(list, CF_ALL_PASSES);
    EXPECT_EQ(render(list), (Lines{".main:", "PUSH_1", "SET_GLOBAL x", "GET_GLOBAL b", "PUSH_1", "ADD", "SET_GLOBAL b",
                                   "GET_GLOBAL x", "DUP", "JF L0", "POP", "GET_GLOBAL y", "L0:"}));
}

TEST(Optimiser, DupScanStopsAtCallsAndJumps) {
    InstructionList list;
    list.emit_entry(".main", 0);
    list.emit(Op::PUSH_1, 0);
    list.emit(Op::DUP, 0);
    list.emit(Op::CALL, 0);
    list.emit(Op::POP, 0);
    optimise(list, CF_PEEPHOLE);
    EXPECT_EQ(render(list), (Lines{".main:", "PUSH_1", "DUP", "CALL", "POP"}));
}

TEST(Optimiser, ConstantConditions) {
    // while (true) body: the test disappears.
    InstructionList loop;
    loop.emit_entry(".main", 0);
    Instruction* top = loop.new_label();
    Instruction* end = loop.new_label();
    loop.place(top);
    loop.emit(Op::PUSH_TRUE, 0);
    loop.emit_jump(Op::JF_BOOL, 0, end);
    loop.emit_name(Op::GET_GLOBAL, 0, "f");
    loop.emit(Op::POP, 0);
    loop.emit_jump(Op::JMP, 0, top);
    loop.place(end);
    loop.emit(Op::PUSH_UNDEFINED, 0);
    optimise(loop, CF_ALL_PASSES);
    // Nothing after an endless loop can run.
    EXPECT_EQ(render(loop), (Lines{".main:", "L0:", "GET_GLOBAL f", "POP", "JMP L0"}));

    // if (false) a(); leaves nothing of the call.
    InstructionList branch;
    branch.emit_entry(".main", 0);
    Instruction* skip = branch.new_label();
    branch.emit(Op::PUSH_FALSE, 0);
    branch.emit_jump(Op::JF_BOOL, 0, skip);
    branch.emit(Op::PUSH_0, 0);
    branch.emit_name(Op::GET_GLOBAL, 0, "a");
    branch.emit(Op::CALL, 0);
    branch.emit(Op::NIP, 0, 2);
    branch.emit(Op::POP, 0);
    branch.place(skip);
    branch.emit(Op::PUSH_UNDEFINED, 0);
    optimise(branch, CF_ALL_PASSES);
    EXPECT_EQ(render(branch), (Lines{".main:", "PUSH_UNDEFINED"}));
}

TEST(Optimiser, NipThenPopBecomesPopn) {
    InstructionList list;
    list.emit_entry(".main", 0);
    list.emit(Op::PUSH_0, 0);
    list.emit_name(Op::GET_GLOBAL, 0, "f");
    list.emit(Op::CALL, 0);
    list.emit(Op::NIP, 0, 2);
    list.emit(Op::POP, 0);
    optimise(list, CF_PEEPHOLE);
    EXPECT_EQ(render(list), (Lines{".main:", "PUSH_0", "GET_GLOBAL f", "CALL", "POPN 3"}));
    EXPECT_EQ(list.last()->stack_effect, -3);
}

TEST(Optimiser, JumpsToJumpsAreThreaded) {
    InstructionList list;
    list.emit_entry(".main", 0);
    Instruction* first = list.new_label();
    Instruction* second = list.new_label();
    list.emit(Op::PUSH_1, 0);
    list.emit_jump(Op::JT, 0, first);
    list.emit(Op::PUSH_2, 0);
    list.emit(Op::RETURN, 0);
    list.place(first);
    list.emit_jump(Op::JMP, 0, second);
    list.place(second);
    list.emit(Op::PUSH_3, 0);
    optimise(list, CF_JUMP_THREADING);
    EXPECT_EQ(list.first()->next->next->target, second);
}

TEST(Optimiser, DeadLocalStores) {
    InstructionList list;
    list.emit_entry("f", 0);
    list.emit(Op::PUSH_1, 0);
    list.emit(Op::SET_LOCAL, 0, 3);   // read once, right away: both go
    list.emit(Op::GET_LOCAL, 0, 3);
    list.emit(Op::PUSH_2, 0);
    list.emit(Op::SET_LOCAL, 0, 4);   // read again later: stays
    list.emit(Op::GET_LOCAL, 0, 4);
    list.emit(Op::GET_LOCAL, 0, 4);
    list.emit(Op::PUSH_3, 0);
    list.emit(Op::SET_LOCAL, 0, 40);  // slots from 32 up are never touched
    list.emit(Op::GET_LOCAL, 0, 40);
    list.emit(Op::RETURN, 0);
    optimise(list, CF_DEAD_STORES);
    EXPECT_EQ(render(list), (Lines{"f:", "PUSH_1", "PUSH_2", "SET_LOCAL 4", "GET_LOCAL 4", "GET_LOCAL 4", "PUSH_3",
                                   "SET_LOCAL 40", "GET_LOCAL 40", "RETURN"}));
}

TEST(Optimiser, StoresReadAroundALoopStay) {
    InstructionList list;
    list.emit_entry("f", 0);
    Instruction* top = list.new_label();
    Instruction* done = list.new_label();
    list.place(top);
    list.emit(Op::GET_LOCAL, 0, 0);
    list.emit_jump(Op::JF, 0, done);
    list.emit(Op::PUSH_0, 0);
    list.emit(Op::SET_LOCAL, 0, 0);   // read by the loop test after the jump back
    list.emit(Op::GET_LOCAL, 0, 0);
    list.emit(Op::POP, 0);
    list.emit_jump(Op::JMP, 0, top);
    list.place(done);
    list.emit(Op::PUSH_UNDEFINED, 0);
    list.emit(Op::RETURN, 0);
    optimise(list, CF_DEAD_STORES);
    Lines lines = render(list);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "SET_LOCAL 0"), lines.end());
}

TEST(Optimiser, LayoutCountsEncodedSizes) {
    InstructionList list;
    list.emit_entry(".main", 0);
    list.emit(Op::PUSH_1, 0);          // 1 byte
    list.emit(Op::GET_LOCAL, 0, 300);  // 3 bytes
    Instruction* label = list.new_label();
    list.emit_jump(Op::JMP, 0, label);  // 5 bytes
    list.place(label);
    list.emit(Op::POPN, 0, 2);          // 2 bytes
    EXPECT_EQ(layout(list), 11u);
    EXPECT_EQ(label->offset, 9u);
    // Laid out after code written before it.
    EXPECT_EQ(layout(list, 100), 111u);
    EXPECT_EQ(label->offset, 109u);
}

// A list emptied for the next function makes its records afresh: nothing of the marks, links,
// operands or names the passes left on the records before survives into the new ones.
TEST(InstructionList, ClearedListsStartAfresh) {
    InstructionList list;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::string name = "f" + std::to_string(round);
        list.emit_entry(name, 1);
        Instruction* top = list.new_label();
        list.place(top);
        vm::ModuleConstant text;
        text.type = vm::ConstantType::String;
        text.text = u"t";
        // Records enough for several blocks, so that clearing drops blocks as well as reusing one.
        for (int i = 0; i < 1500; ++i) {
            list.emit_name(Op::GET_GLOBAL, 2, name + "_" + std::to_string(i % 7));
            list.emit_constant(2, text);
            list.emit_jump(Op::JT, 2, top);
        }
        optimise(list, CF_ALL_PASSES);
        layout(list, 1000);
        list.clear();
        EXPECT_EQ(list.first(), nullptr);
        EXPECT_EQ(list.last(), nullptr);

        Instruction* fresh = list.emit(Op::PUSH_1, 3);
        EXPECT_EQ(fresh->name, "");
        EXPECT_EQ(fresh->constant, nullptr);
        EXPECT_EQ(fresh->target, nullptr);
        EXPECT_EQ(fresh->offset, 0u);
        EXPECT_FALSE(fresh->referenced);
        EXPECT_EQ(fresh->live_locals, 0u);
        EXPECT_EQ(fresh->previous, nullptr);
        Instruction* label = list.new_label();
        EXPECT_FALSE(label->referenced);
        EXPECT_EQ(label->next, nullptr);
        list.clear();
    }
    // Names handed to the list are its own copies.
    std::string changing = "x";
    Instruction* get = list.emit_name(Op::GET_GLOBAL, 0, changing);
    changing = "y";
    EXPECT_EQ(get->name, "x");
}

}  // namespace
}  // namespace quill::compiler
