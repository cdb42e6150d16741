// Instruction sequences the code generator emits, before any optimisation.
#include "engine/compiler/code_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/compiler/optimiser.h"
#include "engine/values/text_codec.h"

namespace quill::compiler {
namespace {

using Lines = std::vector<std::string>;

std::string constant_text(const vm::ModuleConstant& constant) {
    switch (constant.type) {
    case vm::ConstantType::Integer:
        return std::to_string(constant.integer);
    case vm::ConstantType::Number: {
        char text[32];
        std::snprintf(text, sizeof text, "%g", constant.number);
        return text;
    }
    case vm::ConstantType::RegExp:
        return "/" + utf16_to_narrow(constant.text) + "/" + std::to_string(constant.regexp_flags);
    default:
        return "\"" + utf16_to_narrow(constant.text) + "\"";
    }
}

// The list as text: "MNEMONIC operand", labels as "Ln:", function entries as "name:".
Lines render(const InstructionList& list) {
    Lines lines;
    for (const Instruction* i = list.first(); i != nullptr; i = i->next) {
        if (i->opcode == target_label) {
            lines.push_back("L" + std::to_string(i->integer) + ":");
            continue;
        }
        if (i->opcode == entry_label) {
            lines.push_back(std::string(i->name) + ":");
            continue;
        }
        const vm::OpcodeInfo& info = vm::opcode_info(static_cast<uint8_t>(i->opcode));
        std::string line = info.mnemonic;
        switch (info.operand) {
        case vm::OperandKind::None:
            break;
        case vm::OperandKind::Jump:
            line += " L" + std::to_string(i->target->integer);
            break;
        case vm::OperandKind::Name:
            line += " " + std::string(i->name);
            break;
        case vm::OperandKind::Constant:
            line += " " + constant_text(*i->constant);
            break;
        default:
            line += " " + std::to_string(i->integer);
            break;
        }
        lines.push_back(line);
    }
    return lines;
}

struct Generated {
    Lines code;
    std::string diagnostics;
    bool failed = false;
};

Generated generate(const std::string& source) {
    Compilation compilation;
    compilation.source = SourceText{"string", source};
    Generated out;
    try {
        generate_program(compilation);
    } catch (const CompileError&) {
        out.failed = true;
    }
    out.code = render(compilation.code);
    out.diagnostics = compilation.diagnostics.text();
    return out;
}

Lines code(const std::string& source) {
    Generated g = generate(source);
    EXPECT_FALSE(g.failed) << g.diagnostics;
    return g.code;
}

std::string error_of(const std::string& source) {
    Generated g = generate(source);
    EXPECT_TRUE(g.failed) << source;
    return g.diagnostics;
}

// Whether `run` appears in `all` as consecutive lines.
bool has_run(const Lines& all, const Lines& run) {
    return std::search(all.begin(), all.end(), run.begin(), run.end()) != all.end();
}

// The lines of one function, from its entry label up to the next entry label.
Lines function_code(const Lines& all, const std::string& name) {
    Lines out;
    bool inside = false;
    for (const std::string& line : all) {
        bool entry = !line.empty() && line.back() == ':' && line[0] != 'L';
        if (entry) {
            inside = line == name + ":";
        }
        if (inside) {
            out.push_back(line);
        }
    }
    return out;
}

TEST(CodeGenerator, MainKeepsTheLastExpressionValue) {
    EXPECT_EQ(code("1 + 2;"), (Lines{".main:", "PUSH_1", "PUSH_2", "ADD"}));
    EXPECT_EQ(code("x = 1;"), (Lines{".main:", "PUSH_1", "DUP", "SET_GLOBAL x"}));
    EXPECT_EQ(code("var x = 5, y;"), (Lines{".main:", "PUSH_CONST 5", "SET_GLOBAL x", "PUSH_UNDEFINED"}));
    // A switch ends with the POP of its discriminant, which is no expression value.
    EXPECT_EQ(code("switch (x) {}"), (Lines{".main:", "GET_GLOBAL x", "L0:", "POP", "PUSH_UNDEFINED"}));
    EXPECT_EQ(code(""), (Lines{"PUSH_UNDEFINED"}));
}

TEST(CodeGenerator, LiteralsAndOperators) {
    EXPECT_EQ(code("x = ~-a + 4 * 1.5 - 'si' % /r+/g;"),
              (Lines{".main:", "GET_GLOBAL a", "NEG", "PUSH_CONST -1", "BITXOR", "PUSH_CONST 4", "PUSH_CONST 1.5",
                     "MUL", "ADD", "PUSH_CONST \"si\"", "PUSH_CONST /r+/1", "MOD", "SUB", "DUP", "SET_GLOBAL x"}));
    EXPECT_EQ(code("[0, 1, 2, 3, 9223372036854775807, null, true, false, undefined, this];"),
              (Lines{".main:", "GET_ARG 0", "PUSH_UNDEFINED", "PUSH_FALSE", "PUSH_TRUE", "PUSH_NULL",
                     "PUSH_CONST 9223372036854775807", "PUSH_3", "PUSH_2", "PUSH_1", "PUSH_0", "PUSH_INT -10",
                     "GET_GLOBAL Array", "NEW", "SWAP", "NIP 12"}));
    EXPECT_EQ(code("+a, !b, typeof c, void 0;"),
              (Lines{".main:", "GET_GLOBAL a", "POP", "GET_GLOBAL b", "NOT", "POP", "GET_GLOBAL c", "TYPEOF", "POP",
                     "PUSH_0", "POP", "PUSH_UNDEFINED"}));
}

TEST(CodeGenerator, OperatorInstructions) {
    const std::pair<const char*, const char*> operators[] = {
        {"*", "MUL"},  {"/", "DIV"},   {"%", "MOD"},  {"+", "ADD"}, {"-", "SUB"},     {"<<", "SHL"},
        {">>", "SHR"}, {">>>", "USHR"}, {"&", "BITAND"}, {"^", "BITXOR"}, {"|", "BITOR"},
    };
    for (const auto& [op, mnemonic] : operators) {
        EXPECT_EQ(code(std::string("a ") + op + " b;"), (Lines{".main:", "GET_GLOBAL a", "GET_GLOBAL b", mnemonic}))
            << op;
        EXPECT_EQ(code(std::string("a ") + op + "= b;"),
                  (Lines{".main:", "GET_GLOBAL a", "GET_GLOBAL b", mnemonic, "DUP", "SET_GLOBAL a"}))
            << op;
    }
    const std::pair<const char*, const char*> comparisons[] = {
        {"<", "LT"}, {">", "GT"}, {"<=", "LE"}, {">=", "GE"},
        {"==", "EQ"}, {"!=", "NE"}, {"===", "STRICT_EQ"}, {"!==", "STRICT_NE"},
    };
    for (const auto& [op, mnemonic] : comparisons) {
        EXPECT_EQ(code(std::string("a ") + op + " b;"), (Lines{".main:", "GET_GLOBAL a", "GET_GLOBAL b", mnemonic}))
            << op;
    }
}

TEST(CodeGenerator, AssignmentsIncrementsAndDelete) {
    EXPECT_EQ(code("a.b += 1; a[i]++; --x; y *= 2;"),
              (Lines{".main:",
                     "GET_GLOBAL a", "GET_PROP b", "PUSH_1", "ADD", "DUP", "GET_GLOBAL a", "SET_PROP b", "POP",
                     "GET_GLOBAL a", "GET_GLOBAL i", "GET_ELEM", "DUP", "PUSH_1", "ADD", "GET_GLOBAL a",
                     "GET_GLOBAL i", "SET_ELEM", "POP",
                     "GET_GLOBAL x", "PUSH_1", "SUB", "DUP", "SET_GLOBAL x", "POP",
                     "GET_GLOBAL y", "PUSH_2", "MUL", "DUP", "SET_GLOBAL y"}));
    // delete of anything else is evaluated and gives true.
    EXPECT_EQ(code("delete a.b; delete a[1]; delete n; delete f();"),
              (Lines{".main:", "GET_GLOBAL a", "DELETE_PROP b", "POP", "GET_GLOBAL a", "PUSH_1", "DELETE_ELEM", "POP",
                     "PUSH_NULL", "DELETE_NAME n", "POP", "PUSH_0", "GET_GLOBAL f", "CALL", "NIP 2", "POP",
                     "PUSH_TRUE"}));
}

TEST(CodeGenerator, CallsAndConstruction) {
    EXPECT_EQ(code("o.m(1, 2); f(a)(b); new C; new C(x);"),
              (Lines{".main:",
                     "PUSH_2", "PUSH_1", "PUSH_2", "GET_GLOBAL o", "CALL_METHOD m", "NIP 4", "POP",
                     "GET_GLOBAL b", "PUSH_1", "GET_GLOBAL a", "PUSH_1", "GET_GLOBAL f", "CALL", "NIP 3", "CALL",
                     "NIP 3", "POP",
                     "PUSH_0", "GET_GLOBAL C", "NEW", "SWAP", "NIP 2", "POP",
                     "GET_GLOBAL x", "PUSH_1", "GET_GLOBAL C", "NEW", "SWAP", "NIP 3"}));
    // Counts past 3 are immediates.
    EXPECT_EQ(code("f(1, 2, 3, 4);")[5], "PUSH_INT 4");
}

TEST(CodeGenerator, ArrayAndObjectLiterals) {
    EXPECT_EQ(code("[1, , 3];"), (Lines{".main:", "PUSH_3", "PUSH_UNDEFINED", "PUSH_1", "PUSH_INT -3",
                                        "GET_GLOBAL Array", "NEW", "SWAP", "NIP 5"}));
    // Properties are stored last first; integer keys too wide for an immediate stay whole.
    EXPECT_EQ(code("({a: 1, 'b': 2, 7: x, 5000000000: y});"),
              (Lines{".main:", "PUSH_0", "GET_GLOBAL Object", "NEW", "SWAP", "NIP 2",
                     "DUP", "GET_GLOBAL y", "SWAP", "PUSH_CONST 5000000000", "SET_ELEM",
                     "DUP", "GET_GLOBAL x", "SWAP", "PUSH_INT 7", "SET_ELEM",
                     "DUP", "PUSH_2", "SWAP", "PUSH_CONST \"b\"", "SET_ELEM",
                     "DUP", "PUSH_1", "SWAP", "SET_PROP a"}));
}

TEST(CodeGenerator, FunctionsParametersAndLocals) {
    Lines all = code("function f(a, b) { var c = a; return this; }\nfunction g(a) { var a; return a; }");
    EXPECT_EQ(function_code(all, "f"), (Lines{"f:", "GET_ARG 1", "ADD2", "ARGS_PAD 4", "RESERVE 1", "GET_ARG 2",
                                              "SET_LOCAL 0", "GET_ARG 0", "RETURN", "PUSH_UNDEFINED", "RETURN"}));
    // A var of a parameter's name hides the parameter.
    EXPECT_EQ(function_code(all, "g"), (Lines{"g:", "GET_ARG 1", "ADD2", "ARGS_PAD 3", "RESERVE 1", "GET_LOCAL 0",
                                              "RETURN", "PUSH_UNDEFINED", "RETURN"}));
    EXPECT_EQ(function_code(all, ".main"), (Lines{".main:", "PUSH_UNDEFINED"}));
}

TEST(CodeGenerator, ArgumentsObject) {
    Lines f = function_code(code("function f(a) { return arguments[a]; }"), "f");
    EXPECT_EQ(f, (Lines{"f:", "GET_ARG 1", "ADD2", "ARGS_PAD 3", "RESERVE 1",
                        "PUSH_0", "GET_GLOBAL Object", "NEW", "SWAP", "NIP 2", "SET_LOCAL 0", "PUSH_0",
                        "L0:", "DUP", "GET_ARG 1", "GE", "JT_BOOL L1", "DUP", "DUP", "ADD2", "GET_FRAME_SLOT", "SWAP",
                        "GET_LOCAL 0", "SWAP", "SET_ELEM", "INC", "JMP L0",
                        "L1:", "GET_LOCAL 0", "SET_PROP length", "GET_GLOBAL f", "GET_LOCAL 0", "SET_PROP callee",
                        "GET_LOCAL 0", "GET_ARG 2", "GET_ELEM", "RETURN", "PUSH_UNDEFINED", "RETURN"}));
}

TEST(CodeGenerator, NestedFunctionBindings) {
    Lines all = code("function g() { function h() {} h(); }");
    EXPECT_EQ(function_code(all, "@F_0"), (Lines{"@F_0:", "GET_ARG 1", "ADD2", "ARGS_PAD 2", "PUSH_UNDEFINED",
                                                 "RETURN"}));
    // Inside g, a bare h is a global name.
    EXPECT_EQ(function_code(all, "g"),
              (Lines{"g:", "GET_ARG 1", "ADD2", "ARGS_PAD 2", "GET_GLOBAL @F_0", "GET_GLOBAL g", "SET_PROP h",
                     "PUSH_0", "GET_GLOBAL h", "CALL", "NIP 2", "POP", "PUSH_UNDEFINED", "RETURN"}));
    EXPECT_EQ(code("x = function () {};"), (Lines{"@F_0:", "GET_ARG 1", "ADD2", "ARGS_PAD 2", "PUSH_UNDEFINED",
                                                   "RETURN", ".main:", "GET_GLOBAL @F_0", "DUP", "SET_GLOBAL x"}));
}

TEST(CodeGenerator, NamesInsideWith) {
    EXPECT_EQ(code("with (o) { x = g(y); }"),
              (Lines{".main:", "GET_GLOBAL o", "WITH_PUSH", "GET_SCOPED y", "PUSH_1", "GET_SCOPED g",
                     "CALL_SCOPED g", "NIP 3", "DUP", "SET_SCOPED x", "POP", "WITH_POP 1", "PUSH_UNDEFINED"}));
    // Locals are never looked up in the scope objects, but a call through one is still scoped.
    Lines f = function_code(code("function f(p) { var l; with (p) { l = p; l(); } }"), "f");
    EXPECT_EQ(f, (Lines{"f:", "GET_ARG 1", "ADD2", "ARGS_PAD 3", "RESERVE 1", "GET_ARG 2", "WITH_PUSH", "GET_ARG 2",
                        "DUP", "SET_LOCAL 0", "POP", "PUSH_0", "GET_LOCAL 0", "CALL_SCOPED l", "NIP 2", "POP",
                        "WITH_POP 1", "PUSH_UNDEFINED", "RETURN"}));
    // A loop inside the with is still inside it; its break leaves no with-scope.
    EXPECT_EQ(code("with (o) { for (;;) { x = 1; break; } }"),
              (Lines{".main:", "GET_GLOBAL o", "WITH_PUSH", "L0:", "PUSH_TRUE", "JF_BOOL L2", "PUSH_1", "DUP",
                     "SET_SCOPED x", "POP", "JMP L2", "L1:", "JMP L0", "L2:", "WITH_POP 1", "PUSH_UNDEFINED"}));
}

TEST(CodeGenerator, ConditionsAndLoops) {
    // Conditions known to be Boolean use the Boolean jumps.
    EXPECT_EQ(code("if (a == b) x(); else y();"),
              (Lines{".main:", "GET_GLOBAL a", "GET_GLOBAL b", "EQ", "JF_BOOL L0", "PUSH_0", "GET_GLOBAL x", "CALL",
                     "NIP 2", "POP", "JMP L1", "L0:", "PUSH_0", "GET_GLOBAL y", "CALL", "NIP 2", "POP", "L1:",
                     "PUSH_UNDEFINED"}));
    EXPECT_EQ(code("while (a) b;"), (Lines{".main:", "L0:", "GET_GLOBAL a", "JF L1", "GET_GLOBAL b", "POP", "JMP L0",
                                           "L1:", "PUSH_UNDEFINED"}));
    EXPECT_EQ(code("do { continue; } while (a < 1 && b > 2);"),
              (Lines{".main:", "L0:", "JMP L1", "L1:", "GET_GLOBAL a", "PUSH_1", "LT", "DUP", "JF_BOOL L3", "POP",
                     "GET_GLOBAL b", "PUSH_2", "GT", "L3:", "JT_BOOL L0", "L2:", "PUSH_UNDEFINED"}));
    EXPECT_EQ(code("for (var i = 0; i < n; i++) continue;"),
              (Lines{".main:", "RESERVE 1", "PUSH_0", "SET_LOCAL 0", "L0:", "GET_LOCAL 0", "GET_GLOBAL n", "LT",
                     "JF_BOOL L2", "JMP L1", "L1:", "GET_LOCAL 0", "DUP", "PUSH_1", "ADD", "SET_LOCAL 0", "POP",
                     "JMP L0", "L2:", "PUSH_UNDEFINED"}));
    EXPECT_EQ(code("x = a || b ? c : d;"),
              (Lines{".main:", "GET_GLOBAL a", "DUP", "JT L2", "POP", "GET_GLOBAL b", "L2:", "JF L0", "GET_GLOBAL c",
                     "JMP L1", "L0:", "GET_GLOBAL d", "L1:", "DUP", "SET_GLOBAL x"}));
}

TEST(CodeGenerator, ForIn) {
    EXPECT_EQ(code("for (var k = 1 in o) f(k);"),
              (Lines{".main:", "RESERVE 1", "PUSH_1", "SET_LOCAL 0", "GET_GLOBAL o", "DUP", "PUSH_0", "SWAP", "PUSH_0",
                     "L0:", "FORIN_NEXT", "JF_BOOL L2", "SET_LOCAL 0",
                     "GET_LOCAL 0", "PUSH_1", "GET_GLOBAL f", "CALL", "NIP 3", "POP",
                     "L1:", "PUSH_1", "ADD", "DUP", "ROLL -3", "DUP", "ROLL 4", "SWAP", "JMP L0",
                     "L2:", "POP", "L3:", "POPN 2", "PUSH_UNDEFINED"}));
    EXPECT_EQ(code("for (k in o) ;"),
              (Lines{".main:", "GET_GLOBAL o", "DUP", "PUSH_0", "SWAP", "PUSH_0", "L0:", "FORIN_NEXT", "JF_BOOL L2",
                     "SET_GLOBAL k", "L1:", "PUSH_1", "ADD", "DUP", "ROLL -3", "DUP", "ROLL 4", "SWAP", "JMP L0",
                     "L2:", "POP", "L3:", "POPN 2", "PUSH_UNDEFINED"}));
}

TEST(CodeGenerator, Switch) {
    // The default clause comes first: the tests run before it, and a failed last test goes to it.
    EXPECT_EQ(code("switch (x) { default: d(); case 1: c(); case 2: }"),
              (Lines{".main:", "GET_GLOBAL x", "JMP L3",
                     "L1:", "PUSH_0", "GET_GLOBAL d", "CALL", "NIP 2", "POP", "JMP L2",
                     "L3:", "DUP", "PUSH_1", "STRICT_EQ", "JF_BOOL L5",
                     "L2:", "PUSH_0", "GET_GLOBAL c", "CALL", "NIP 2", "POP", "JMP L4",
                     "L5:", "DUP", "PUSH_2", "STRICT_EQ", "JF_BOOL L1",
                     "L4:", "JMP L0", "L0:", "POP", "PUSH_UNDEFINED"}));
    // A failed test skips the default clause in the middle; falling through enters it.
    EXPECT_EQ(code("switch (x) { case 1: a; default: b; case 2: c; }"),
              (Lines{".main:", "GET_GLOBAL x", "DUP", "PUSH_1", "STRICT_EQ", "JF_BOOL L4", "GET_GLOBAL a", "POP",
                     "JMP L1", "L2:", "L1:", "GET_GLOBAL b", "POP", "JMP L3", "L4:", "DUP", "PUSH_2", "STRICT_EQ",
                     "JF_BOOL L2", "L3:", "GET_GLOBAL c", "POP", "JMP L0", "L0:", "POP", "PUSH_UNDEFINED"}));
}

TEST(CodeGenerator, TryCatchFinally) {
    EXPECT_EQ(code("try { a(); } catch (e) { b(e); }"),
              (Lines{".main:", "RESERVE 1", "TRY_PUSH L1", "PUSH_0", "GET_GLOBAL a", "CALL", "NIP 2", "POP",
                     "TRY_POP 1", "PUSH_FALSE", "JMP L0",
                     "L1:", "PUSH_FALSE", "SWAP", "TRY_PUSH L2",
                     "L4:", "DUP", "SET_LOCAL 0",
                     "L5:", "SWAP", "POP", "PUSH_TRUE", "SWAP", "GET_LOCAL 0", "PUSH_1", "GET_GLOBAL b", "CALL",
                     "NIP 3", "POP",
                     "L3:", "TRY_POP 1", "SWAP", "JT_BOOL L6", "PUSH_TRUE", "JMP L0",
                     "L6:", "POP", "PUSH_FALSE", "JMP L0",
                     "L2:", "NIP 2", "PUSH_TRUE",
                     "L0:", "JF_BOOL L7", "THROW", "L7:", "PUSH_UNDEFINED"}));
    // A condition runs under a handler of its own: an exception there counts as false.
    EXPECT_EQ(code("try {} catch (e if e) {}"),
              (Lines{".main:", "RESERVE 1", "TRY_PUSH L1", "TRY_POP 1", "PUSH_FALSE", "JMP L0",
                     "L1:", "PUSH_FALSE", "SWAP", "TRY_PUSH L2",
                     "L4:", "DUP", "SET_LOCAL 0", "TRY_PUSH L6", "GET_LOCAL 0", "TRY_POP 1", "JF L3", "JMP L5",
                     "L6:", "POP", "JMP L3",
                     "L5:", "SWAP", "POP", "PUSH_TRUE", "SWAP",
                     "L3:", "TRY_POP 1", "SWAP", "JT_BOOL L7", "PUSH_TRUE", "JMP L0", "L7:", "POP", "PUSH_FALSE",
                     "JMP L0", "L2:", "NIP 2", "PUSH_TRUE",
                     "L0:", "JF_BOOL L8", "THROW", "L8:", "PUSH_UNDEFINED"}));
    // With a finally block both ways into it carry two cells.
    EXPECT_EQ(code("try { a(); } finally { b(); }"),
              (Lines{".main:", "TRY_PUSH L1", "PUSH_0", "GET_GLOBAL a", "CALL", "NIP 2", "POP", "TRY_POP 1",
                     "PUSH_UNDEFINED", "PUSH_FALSE", "JMP L0", "L1:", "PUSH_TRUE",
                     "L0:", "PUSH_0", "GET_GLOBAL b", "CALL", "NIP 2", "POP", "JF_BOOL L2", "THROW", "L2:", "POP",
                     "PUSH_UNDEFINED"}));
}

TEST(CodeGenerator, ReturnComputesItsValueInsideTheTry) {
    Lines f = function_code(code("function f() { while (c) try { return g(); } catch (e) {} }"), "f");
    EXPECT_TRUE(has_run(f, {"TRY_PUSH L3", "PUSH_0", "GET_GLOBAL g", "CALL", "NIP 2", "TRY_POP 1", "RETURN"}));
    EXPECT_EQ(function_code(code("function f() { return; }"), "f"),
              (Lines{"f:", "GET_ARG 1", "ADD2", "ARGS_PAD 2", "PUSH_UNDEFINED", "RETURN", "PUSH_UNDEFINED", "RETURN"}));
}

TEST(CodeGenerator, BreakAndContinueRemoveWhatTheyLeave) {
    EXPECT_TRUE(has_run(code("while (c) { with (o) { try { break; } catch (e) {} } }"),
                        {"TRY_PUSH L3", "WITH_POP 1", "TRY_POP 1", "JMP L1"}));

    // continue keeps the for-in cells it continues with and removes the switch's; a labelled break
    // leaves through the label, removing the switch's cell and the loop's two.
    EXPECT_EQ(code("L: for (var k in o) { switch (k) { case 1: continue; case 2: break L; } }"),
              (Lines{".main:", "RESERVE 1", "L0:", "GET_GLOBAL o", "DUP", "PUSH_0", "SWAP", "PUSH_0",
                     "L2:", "FORIN_NEXT", "JF_BOOL L4", "SET_LOCAL 0",
                     "GET_LOCAL 0", "DUP", "PUSH_1", "STRICT_EQ", "JF_BOOL L8", "POP", "JMP L3", "JMP L7",
                     "L8:", "DUP", "PUSH_2", "STRICT_EQ", "JF_BOOL L6", "L7:", "POPN 3", "JMP L1", "JMP L6",
                     "L6:", "POP",
                     "L3:", "PUSH_1", "ADD", "DUP", "ROLL -3", "DUP", "ROLL 4", "SWAP", "JMP L2",
                     "L4:", "POP", "L5:", "POPN 2", "L1:", "PUSH_UNDEFINED"}));
    // Leaving a for-in for a labelled block removes its two cells.
    EXPECT_TRUE(has_run(code("L: { for (k in o) { break L; } }"), {"SET_GLOBAL k", "POPN 2", "JMP L1"}));
    // The cells of catch clauses and finally blocks.
    EXPECT_TRUE(has_run(code("while (c) { try { x(); } catch (e) { continue; } }"),
                        {"PUSH_TRUE", "SWAP", "TRY_POP 1", "POPN 2", "JMP L0"}));
    EXPECT_EQ(code("while (c) { try {} finally { break; } }"),
              (Lines{".main:", "L0:", "GET_GLOBAL c", "JF L1", "TRY_PUSH L3", "TRY_POP 1", "PUSH_UNDEFINED",
                     "PUSH_FALSE", "JMP L2", "L3:", "PUSH_TRUE", "L2:", "POPN 2", "JMP L1", "JF_BOOL L4", "THROW",
                     "L4:", "POP", "JMP L0", "L1:", "PUSH_UNDEFINED"}));
}

TEST(CodeGenerator, LabelledContinue) {
    // continue L goes to the label before the statement, so even a labelled loop starts again.
    EXPECT_EQ(code("L: for (;;) { for (;;) { continue L; } }"),
              (Lines{".main:", "L0:", "L2:", "PUSH_TRUE", "JF_BOOL L4", "L5:", "PUSH_TRUE", "JF_BOOL L7", "JMP L0",
                     "L6:", "JMP L5", "L7:", "L3:", "JMP L2", "L4:", "L1:", "PUSH_UNDEFINED"}));
    EXPECT_EQ(code("L: { if (a) continue L; }"),
              (Lines{".main:", "L0:", "GET_GLOBAL a", "JF L2", "JMP L0", "JMP L3", "L2:", "L3:", "L1:",
                     "PUSH_UNDEFINED"}));
    // Without a label, continue passes labelled blocks by.
    EXPECT_EQ(code("while (c) { L: { continue; } }")[5], "JMP L0");
}

TEST(CodeGenerator, JumpErrors) {
    EXPECT_EQ(error_of("break;"), "error: line 0: invalid break\r\n");
    EXPECT_EQ(error_of("x;\ncontinue;"), "error: line 1: invalid continue\r\n");
    EXPECT_EQ(error_of("L: { continue; }"), "error: line 0: invalid continue\r\n");
    EXPECT_EQ(error_of("while (c) break M;"), "error: line 0: invalid break\r\n");
    EXPECT_EQ(error_of("switch (x) { case 1: continue; }"), "error: line 0: invalid continue\r\n");
    EXPECT_EQ(error_of("while (c) {}\nfunction f() { break; }"), "error: line 1: invalid break\r\n");
}

TEST(CodeGenerator, BlocksGetSlotsOfTheirOwn) {
    // The second block's b never shows the first block's a.
    EXPECT_EQ(function_code(code("function f() { { var a = 1; } { var b; return b; } }"), "f"),
              (Lines{"f:", "GET_ARG 1", "ADD2", "ARGS_PAD 2", "RESERVE 2", "PUSH_1", "SET_LOCAL 0", "GET_LOCAL 1",
                     "RETURN", "PUSH_UNDEFINED", "RETURN"}));
    // A name declared again in the same block keeps its slot; an inner block's name hides an outer one.
    EXPECT_EQ(function_code(code("function f() { var a; var a = 2; { var a = 3; } return a; }"), "f"),
              (Lines{"f:", "GET_ARG 1", "ADD2", "ARGS_PAD 2", "RESERVE 2", "PUSH_2", "SET_LOCAL 0", "PUSH_3",
                     "SET_LOCAL 1", "GET_LOCAL 0", "RETURN", "PUSH_UNDEFINED", "RETURN"}));
}

std::string names(const char* prefix, int count, const char* separator = ", ") {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += (i > 0 ? separator : "") + std::string(prefix) + std::to_string(i);
    }
    return out;
}

TEST(CodeGenerator, OperandLimitsAreRefused) {
    Lines most = code("f(" + names("a", 253) + ");");
    EXPECT_EQ(most.back(), "NIP 255");
    EXPECT_EQ(error_of("x;\nf(" + names("a", 254) + ");"), "error: line 1: too many arguments\r\n");
    EXPECT_EQ(error_of("new C(" + names("a", 254) + ");"), "error: line 0: too many arguments\r\n");

    EXPECT_EQ(code("function f(" + names("p", 126) + ") { return p125; }")[3], "ARGS_PAD 128");
    EXPECT_EQ(code("function f(" + names("p", 126) + ") { return p125; }")[4], "GET_ARG 127");
    EXPECT_EQ(error_of("function f(" + names("p", 127) + ") {}"), "error: line 0: too many parameters\r\n");

    // Counts past one byte are split, never cut.
    std::string loops;
    for (int i = 0; i < 130; ++i) {
        loops += "for (k in o) ";
    }
    EXPECT_TRUE(has_run(code("L: { " + loops + "break L; }"), {"POPN 255", "POPN 5", "JMP L1"}));

    EXPECT_EQ(code("function f() { var " + names("v", 65535) + "; }")[4], "RESERVE 65535");
    EXPECT_EQ(error_of("function f() { var " + names("v", 65536) + "; }"), "error: line 0: too many local variables\r\n");
}

TEST(CodeGenerator, LongArrayLiteralsAreStoredByIndex) {
    Lines array = code("[" + names("", 300) + "];");
    ASSERT_EQ(array.size(), 6u + 300u * 5u);
    EXPECT_EQ(Lines(array.begin(), array.begin() + 11),
              (Lines{".main:", "PUSH_INT 0", "GET_GLOBAL Array", "NEW", "SWAP", "NIP 2",
                     "DUP", "PUSH_CONST 299", "SWAP", "PUSH_INT 299", "SET_ELEM"}));
    EXPECT_EQ(Lines(array.end() - 5, array.end()), (Lines{"DUP", "PUSH_0", "SWAP", "PUSH_0", "SET_ELEM"}));
}

// Label numbers renumbered from 0 in each function, in the order they appear.
Lines with_labels_renumbered(const Lines& lines) {
    Lines out;
    std::vector<std::pair<std::string, std::string>> names;
    for (std::string line : lines) {
        bool entry = !line.empty() && line.back() == ':' && line[0] != 'L';
        if (entry) {
            names.clear();
        }
        size_t at = line.find('L');
        bool label = line[0] == 'L' && line.back() == ':';
        if (label || (at != std::string::npos && at > 0 && line[at - 1] == ' ')) {
            size_t start = label ? 0 : at;
            size_t end = label ? line.size() - 1 : line.size();
            std::string name = line.substr(start, end - start);
            auto found = std::find_if(names.begin(), names.end(), [&](const auto& n) { return n.first == name; });
            if (found == names.end()) {
                names.emplace_back(name, "L" + std::to_string(names.size()));
                found = names.end() - 1;
            }
            line.replace(start, end - start, found->second);
        }
        out.push_back(line);
    }
    return out;
}

// The driver takes the code in pieces while the parse goes on, some of ".main" optimised early; the
// pieces, each optimised unless it was already, must join into what the passes make of the whole
// program's code at once.
TEST(CodeGenerator, PiecesOptimiseAsTheWhole) {
    const char* sources[] = {
        "var t = 1;\nfunction f(a, b) { return a + b; }\nt = f(t, 3);\nt = f(t, 4);\nprint(t);",
        "x = y = 3; a = {}; a.b = x; a[1] = y; x++; -x++; z = !0; w = !1; x;",
        "a = 1; b = 2; try { throw 3; } catch (e) { r = e; } function g() { return 1; } q = r + a + b;",
        "a = 1; b = 2; c = 3; function f() { return 1; }",
        "a = 1; while (false) { a = 2; } b = a; if (b) { b = 3; } else { b = 4; } c = b; d = c;",
        "n = 0; for (var k in [1, 2]) { n += k; } m = n; o = m; p = o;",
        "s = 'a'; s += 'b'; t = s.length; u = t ? 1 : 2; v = u || 3; v = v && 4; v;",
        "x = 1; f = function (a) { return a * 2; }; y = f(x); z = y; switch (z) { case 2: z = 5; } z;",
        "a = 1; b = a = 2; c = (a, b); d = new Object(); d.x = c; delete d.x; typeof d;",
        // Held operands of every kind: strings, numbers, expressions, names, integers of any size.
        "s = 'x'; n = 1.5; r = /a+/gi; k = -7; m = 5000000000; p = -5000000000; q = 1 << 40; x.y = [1, -200, 70000];"
        "o = {a: 'x', 7: n}; delete o.a; s = 'x' + \"\\u00e9\"; z = null; w = undefined; 0;",
        "",  // replaced below by a long program
    };
    // Many statements over many lines: the held code runs over several blocks and hand-overs.
    std::string long_program;
    for (int i = 0; i < 6000; ++i) {
        long_program += "t" + std::to_string(i % 50) + " = f(t, " + std::to_string(i * 7919 - 20000) + ", 's" +
                        std::to_string(i % 9) + "');\n";
    }
    long_program += "function f(a, b, c) { return b; }\nt;";
    sources[std::size(sources) - 1] = long_program.c_str();
    for (const char* source : sources) {
        SCOPED_TRACE(std::string(source).substr(0, 200));
        for (uint32_t flags : {0u, CF_DEBUG_INFO}) {
            Compilation whole;
            whole.flags = flags | CF_ALL_PASSES;
            whole.source = SourceText{"string", source};
            ASSERT_NO_THROW(generate_program(whole)) << whole.diagnostics.text();
            optimise(whole.code, CF_ALL_PASSES);

            Compilation pieces;
            pieces.flags = flags | CF_ALL_PASSES;
            pieces.source = SourceText{"string", source};
            Lines joined;
            int taken_optimised = 0;
            pieces.take_code = [&](InstructionList& list, bool optimised) {
                if (!optimised) {
                    optimise(list, CF_ALL_PASSES);
                }
                Lines piece = render(list);
                joined.insert(joined.end(), piece.begin(), piece.end());
                taken_optimised += optimised ? 1 : 0;
            };
            ASSERT_NO_THROW(generate_program(pieces)) << pieces.diagnostics.text();
            EXPECT_EQ(pieces.code.first(), nullptr);
            if (source == sources[1]) {
                EXPECT_GT(taken_optimised, 0);  // the statements before the last went early
            }
            EXPECT_EQ(with_labels_renumbered(joined), with_labels_renumbered(render(whole.code)));
        }
    }
}

}  // namespace
}  // namespace quill::compiler
