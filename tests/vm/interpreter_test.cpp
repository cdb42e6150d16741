#include "engine/vm/interpreter.h"

#include <cmath>

#include "engine/values/array.h"
#include "engine/values/host_class.h"
#include "engine/values/property_table.h"
#include "engine/vm/loader.h"
#include "engine/vm/services.h"
#include "tests/vm/vm_fixture.h"

namespace quill::vm::testing {
namespace {

using InterpreterTest = VmTest;

struct Expectation {
    const char* code;
    Tag tag;
    const char* text;
};

void check(VmTest& test, const Expectation& e) {
    SCOPED_TRACE(e.code);
    Value result = test.eval(e.code);
    EXPECT_EQ(result.tag, e.tag);
    EXPECT_EQ(test.text(result), e.text);
}

TEST_F(InterpreterTest, Arithmetic) {
    const Expectation cases[] = {
        {"PUSH_CONST 7\nPUSH_2\nDIV", Tag::Number, "3.5"},
        {"PUSH_CONST 7\nPUSH_2\nMOD", Tag::Integer, "1"},
        {"PUSH_CONST -7\nPUSH_2\nMOD", Tag::Integer, "-1"},
        {"PUSH_CONST 6\nPUSH_CONST 7\nMUL", Tag::Integer, "42"},
        {"PUSH_1\nPUSH_CONST 40\nSHL", Tag::Integer, "1099511627776"},
        {"PUSH_CONST -1\nPUSH_0\nUSHR", Tag::Integer, "-1"},
        {"PUSH_1\nPUSH_CONST 64\nSHL", Tag::Integer, "0"},
        {"PUSH_CONST -8\nPUSH_CONST 65\nSHR", Tag::Integer, "-1"},
        {"PUSH_CONST \"2\"\nPUSH_3\nADD", Tag::String, "23"},
        {"PUSH_CONST \"2\"\nPUSH_3\nSUB", Tag::Integer, "-1"},
        {"PUSH_TRUE\nPUSH_1\nADD", Tag::Integer, "2"},
        {"PUSH_UNDEFINED\nPUSH_1\nADD", Tag::NaN, "NaN"},
        {"PUSH_CONST 9223372036854775807\nPUSH_1\nADD", Tag::Integer, "-9223372036854775808"},
        {"PUSH_CONST 1.5\nPUSH_1\nADD", Tag::Number, "2.5"},
        {"PUSH_0\nPUSH_0\nDIV", Tag::NaN, "NaN"},
        {"PUSH_1\nPUSH_0\nDIV", Tag::Number, "inf"},
        {"PUSH_CONST Infinity\nPUSH_0\nMUL", Tag::NaN, "NaN"},
        {"PUSH_CONST 5.5\nPUSH_2\nMOD", Tag::Number, "1.5"},
        {"PUSH_CONST 5\nPUSH_0\nMOD", Tag::NaN, "NaN"},
        {"PUSH_CONST -9223372036854775808\nPUSH_CONST -1\nMOD", Tag::Integer, "0"},
        {"PUSH_CONST 3\nNEG", Tag::Integer, "-3"},
        {"PUSH_CONST \"4\"\nNEG", Tag::Integer, "-4"},
        {"PUSH_CONST 12\nPUSH_CONST 10\nBITAND", Tag::Integer, "8"},
        {"PUSH_CONST \"12\"\nPUSH_CONST 3\nBITOR", Tag::Integer, "15"},
        {"PUSH_CONST 5\nINC\nADD2", Tag::Integer, "8"},
        // Only compiled counters are Integers; anything else is added to like ADD, not through its
        // payload (for an object, a pointer).
        {"PUSH_CONST \"s\"\nINC", Tag::String, "s1"},
        {"PUSH_CONST 1.5\nADD2", Tag::Number, "3.5"},
        {"PUSH_0\nGET_GLOBAL Object\nNEW\nSWAP\nNIP 2\nINC", Tag::NaN, "NaN"},
    };
    for (const Expectation& e : cases) {
        check(*this, e);
    }
}

TEST_F(InterpreterTest, Comparisons) {
    const Expectation cases[] = {
        {"PUSH_1\nPUSH_2\nLT", Tag::Boolean, "true"},
        {"PUSH_CONST \"b\"\nPUSH_CONST \"abc\"\nGT", Tag::Boolean, "true"},
        {"PUSH_CONST \"10\"\nPUSH_CONST 9\nGT", Tag::Boolean, "true"},
        {"PUSH_CONST NaN\nPUSH_1\nLT", Tag::Undefined, "undefined"},
        {"PUSH_CONST 1.5\nPUSH_1\nGE", Tag::Boolean, "true"},
        {"PUSH_NULL\nPUSH_UNDEFINED\nEQ", Tag::Boolean, "true"},
        {"PUSH_NULL\nPUSH_0\nEQ", Tag::Boolean, "false"},
        {"PUSH_CONST \"1\"\nPUSH_1\nEQ", Tag::Boolean, "true"},
        {"PUSH_TRUE\nPUSH_1\nEQ", Tag::Boolean, "true"},
        {"PUSH_CONST NaN\nPUSH_CONST NaN\nEQ", Tag::Boolean, "false"},
        {"PUSH_CONST NaN\nPUSH_CONST NaN\nNE", Tag::Boolean, "true"},
        {"PUSH_1\nPUSH_CONST 1.0\nSTRICT_EQ", Tag::Boolean, "true"},
        {"PUSH_CONST \"1\"\nPUSH_1\nSTRICT_EQ", Tag::Boolean, "false"},
        {"PUSH_CONST \"ab\"\nPUSH_CONST \"ab\"\nSTRICT_NE", Tag::Boolean, "false"},
    };
    for (const Expectation& e : cases) {
        check(*this, e);
    }
    // The Undefined of a NaN comparison counts as false in a Boolean jump.
    EXPECT_EQ(eval_text("PUSH_CONST NaN\nPUSH_1\nLT\nJT_BOOL yes\nPUSH_CONST \"no\"\nJMP done\n"
                        "yes: PUSH_CONST \"yes\"\ndone:"),
              "no");
}

TEST_F(InterpreterTest, StackInstructions) {
    EXPECT_EQ(eval_text("PUSH_1\nPUSH_2\nPUSH_3\nROLL 3\nPOP\nPOP"), "3");   // 3 1 2 -> top 2... bottom 3
    EXPECT_EQ(eval_text("PUSH_1\nPUSH_2\nPUSH_3\nROLL -3"), "1");
    EXPECT_EQ(eval_text("PUSH_1\nPUSH_2\nPUSH_3\nNIP 2"), "3");
    EXPECT_EQ(eval_text("PUSH_1\nPUSH_2\nPUSH_3\nPOPN 2"), "1");
    EXPECT_EQ(eval_text("PUSH_1\nPUSH_2\nSWAP\nSUB"), "1");
    EXPECT_EQ(eval_text("PUSH_CONST 5\nDUP\nMUL"), "25");
    EXPECT_EQ(eval_text("PUSH_CONST \"x\"\nTYPEOF"), "string");
    EXPECT_EQ(eval_text("GET_GLOBAL nothing\nTYPEOF"), "undefined");
    EXPECT_EQ(eval_text("PUSH_NULL\nTYPEOF"), "object");
    EXPECT_EQ(eval_text(""), "undefined");  // nothing on the stack: the result is Undefined
}

TEST_F(InterpreterTest, GlobalsAndWarnings) {
    EXPECT_EQ(eval_text("PUSH_CONST 4\nSET_GLOBAL g\nGET_GLOBAL g\nGET_GLOBAL g\nADD"), "8");
    EXPECT_TRUE(warnings.empty());
    engine->flags |= engine_flag_warn_undefined;
    eval("GET_GLOBAL missing");
    EXPECT_EQ(warnings, std::vector<std::string>{"Warning: using undefined variable \"missing\""});
}

// A function with three parameters and one local: returns "a|c" as text.
constexpr const char* three_parameters = R"(
.function f
    GET_ARG 1
    ADD2
    ARGS_PAD 5
    RESERVE 1
    GET_ARG 4
    TYPEOF
    SET_LOCAL 0
    GET_ARG 2
    PUSH_CONST "|"
    ADD
    GET_LOCAL 0
    ADD
    RETURN
)";

TEST_F(InterpreterTest, MissingArgumentsArePaddedAndTheCallerSeesItsCells) {
    // 100 stays under the call; the call leaves args, count, this and the result; NIP 3 keeps the result.
    std::string code = std::string(three_parameters) + R"(
.function .main
    PUSH_CONST 100
    PUSH_CONST "a"
    PUSH_1
    GET_GLOBAL f
    CALL
    NIP 3
    SWAP
    TYPEOF
    ADD
)";
    ASSERT_TRUE(run(code)) << engine->message;
    EXPECT_EQ(text(engine->result), "a|undefinednumber");
}

TEST_F(InterpreterTest, ExtraArgumentsAreIgnored) {
    std::string code = std::string(three_parameters) + R"(
.function .main
    PUSH_CONST "e"
    PUSH_CONST "d"
    PUSH_CONST "c"
    PUSH_CONST "b"
    PUSH_CONST "a"
    PUSH_CONST 5
    GET_GLOBAL f
    CALL
    NIP 7
)";
    ASSERT_TRUE(run(code)) << engine->message;
    EXPECT_EQ(text(engine->result), "a|string");
}

TEST_F(InterpreterTest, RecursionEndsInStackOverflowAndTheEngineStaysUsable) {
    Value* top = engine->stack.saved_top;
    EXPECT_FALSE(run(R"(
.function down
    PUSH_0
    GET_GLOBAL down
    CALL
    RETURN
.function .main
    PUSH_0
    GET_GLOBAL down
    CALL
)"));
    EXPECT_STREQ(engine->message, "Runtime error: stack overflow");
    EXPECT_EQ(engine->stack.saved_top, top);
    EXPECT_EQ(eval_text("PUSH_3"), "3");
}

TEST_F(InterpreterTest, TryCatchesThrowsFromNestedCalls) {
    EXPECT_TRUE(run(R"(
.function thrower
    PUSH_CONST "thrown"
    THROW
.function .main
    PUSH_CONST "below"
    TRY_PUSH caught
    PUSH_0
    GET_GLOBAL thrower
    CALL
    NIP 2
    TRY_POP 1
    JMP done
caught:
    PUSH_CONST "+"
    ADD
    ADD
done:
)")) << engine->message;
    EXPECT_EQ(text(engine->result), "belowthrown+");
    EXPECT_EQ(engine->protection, nullptr);
}

TEST_F(InterpreterTest, RuntimeErrorsBecomeCaughtStrings) {
    ASSERT_TRUE(run(R"(
.function down
    PUSH_0
    GET_GLOBAL down
    CALL
    RETURN
.function .main
    PUSH_CONST "kept"
    TRY_PUSH caught
    PUSH_0
    GET_GLOBAL down
    CALL
    JMP done
caught:
    SWAP
done:
)")) << engine->message;
    // The catch sees the stack as it was at TRY_PUSH, with the message on top.
    EXPECT_EQ(text(engine->result), "kept");
    EXPECT_EQ(eval_text(R"(
    TRY_PUSH caught
    PUSH_UNDEFINED
    PUSH_0
    GET_GLOBAL down
    CALL
caught:
)"),
              "Runtime error: stack overflow");
}

TEST_F(InterpreterTest, UncaughtThrowsEndTheRunWithTheirText) {
    EXPECT_FALSE(run(".function .main\nPUSH_CONST \"plain text\"\nTHROW"));
    EXPECT_STREQ(engine->message, "plain text");
    EXPECT_FALSE(run(".function .main\nPUSH_CONST 12\nTHROW"));
    EXPECT_STREQ(engine->message, "12");
}

// Padding moves only the cells a function owns: those its caller handed it, as the caller's count
// said when the call was made. Neither a count the callee makes up nor a native caller's cells
// above an entry frame can be shifted, so the caller finds its cells as it left them.
TEST_F(InterpreterTest, PaddingMovesOnlyTheFunctionsOwnCells) {
    // A comparator called by sort (an entry frame) that pads by far more than it was given.
    std::string pushes;
    for (int i = 1; i <= 200; ++i) {
        pushes += "    PUSH_INT " + std::to_string(i) + "\n";
    }
    std::string adds;
    for (int i = 1; i < 200; ++i) {
        adds += "    ADD\n";
    }
    ASSERT_TRUE(run(R"(
.function cmp
    PUSH_INT 254
    ARGS_PAD 255
    PUSH_0
    RETURN
.function .main
)" + pushes + R"(
    PUSH_CONST 2
    PUSH_1
    PUSH_3
    PUSH_3
    GET_GLOBAL Array
    NEW
    POP
    NIP 4
    SET_GLOBAL arr
    GET_GLOBAL cmp
    PUSH_1
    GET_GLOBAL arr
    CALL_METHOD sort
    NIP 3
    POP
)" + adds)) << engine->message;
    EXPECT_EQ(text(engine->result), "20100");

    // A callee that rewrites its count before padding, then throws to its caller's catch: the
    // caller's locals stay where they were.
    ASSERT_TRUE(run(R"(
.function f
    PUSH_INT 100
    SET_ARG 1
    GET_ARG 1
    ADD2
    ARGS_PAD 200
    PUSH_CONST "thrown"
    THROW
.function .main
    RESERVE 3
    PUSH_CONST "a"
    SET_LOCAL 0
    PUSH_CONST "b"
    SET_LOCAL 1
    PUSH_CONST "c"
    SET_LOCAL 2
    TRY_PUSH caught
    PUSH_0
    GET_GLOBAL f
    CALL
caught:
    GET_LOCAL 0
    ADD
    GET_LOCAL 1
    ADD
    GET_LOCAL 2
    ADD
)")) << engine->message;
    EXPECT_EQ(text(engine->result), "thrownabc");
}

TEST_F(InterpreterTest, TryPopLeavesTheCallersRecords) {
    ASSERT_TRUE(run(R"(
.function f
    TRY_POP 3
    PUSH_UNDEFINED
    RETURN
.function .main
    TRY_PUSH caught
    PUSH_0
    GET_GLOBAL f
    CALL
    PUSH_CONST "thrown"
    THROW
caught:
)")) << engine->message;
    EXPECT_EQ(text(engine->result), "thrown");
    EXPECT_EQ(engine->protection, nullptr);
}

// An error names the instruction that raised it: a stack overflow met by a script call, and an
// error after calls and returns that moved the code position into a function and back out.
TEST_F(InterpreterTest, ErrorsReportThePositionOfTheRaisingInstruction) {
    struct Case {
        const char* code;
        const char* function;
        int line;
    };
    const Case cases[] = {
        {R"(
.source demo.qls
.function down
.line 3
    PUSH_0
.line 4
    GET_GLOBAL down
    CALL
    RETURN
.function .main
.line 9
    PUSH_0
    GET_GLOBAL down
    CALL
)",
         "down", 4},
        {R"(
.source demo.qls
.function one
.line 3
    PUSH_1
    RETURN
.function f
.line 7
    PUSH_0
    GET_GLOBAL one
    CALL
.line 8
    PUSH_0
    GET_GLOBAL one
    CALL
.line 9
    PUSH_CONST "x"
    THROW
.function .main
    PUSH_0
    GET_GLOBAL f
    CALL
)",
         "f", 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        ASSERT_FALSE(run(c.code));
        EXPECT_STREQ(function_name_at(engine, engine->stack.saved_code), c.function);
        const char* source = nullptr;
        EXPECT_EQ(line_at(engine, &source), c.line);
    }
}

// A local compared with a local, an argument or an immediate, then JF_BOOL forward: the loader
// fuses the four into one instruction, which must decide as the four would for every operand.
TEST_F(InterpreterTest, FusedTestsDecideAsTheirInstructions) {
    const char* relations[] = {"LT", "LE", "GT", "GE"};
    const char* lefts[] = {"1", "2", "3", "-5", "1.5", "\"2\"", "\"abc\"", "NaN"};
    for (const char* relation : relations) {
        for (const char* left : lefts) {
            for (const char* second : {"GET_LOCAL 1", "GET_ARG 3", "PUSH_INT 2"}) {
                // g(x, y) compares its local 0 (x) with local 1 (y), its argument y or 2.
                std::string code = std::string(R"(
.function g
    GET_ARG 1
    ADD2
    ARGS_PAD 2
    RESERVE 2
    GET_ARG 2
    SET_LOCAL 0
    GET_ARG 3
    SET_LOCAL 1
    GET_LOCAL 0
    )") + second + "\n    " + relation + R"(
    JF_BOOL no
    PUSH_CONST "yes"
    RETURN
no:
    PUSH_CONST "no"
    RETURN
.function .main
    PUSH_2
    PUSH_CONST )" + left + R"(
    PUSH_2
    GET_GLOBAL g
    CALL
    NIP 4
)";
                // The same comparison, unfused: its value decides.
                std::string plain = std::string("PUSH_CONST ") + left + "\nPUSH_2\n" + relation +
                                    "\nJF_BOOL no\nPUSH_CONST \"yes\"\nJMP done\nno:\nPUSH_CONST \"no\"\ndone:";
                SCOPED_TRACE(code);
                ASSERT_TRUE(run(code)) << engine->message;
                std::string fused = text(engine->result);
                EXPECT_EQ(fused, eval_text(plain));
            }
        }
    }
    // A missing argument reads as Undefined: no Integer, so the comparison runs as written.
    EXPECT_EQ(eval_text("RESERVE 1\nPUSH_1\nSET_LOCAL 0\nGET_LOCAL 0\nGET_ARG 7\nLT\nJF_BOOL no\n"
                        "PUSH_CONST \"yes\"\nJMP done\nno:\nPUSH_CONST \"no\"\ndone:"),
              "no");
    // Immediates are signed.
    EXPECT_EQ(eval_text("RESERVE 1\nPUSH_CONST -3\nSET_LOCAL 0\nGET_LOCAL 0\nPUSH_INT -2\nLT\nJF_BOOL no\n"
                        "PUSH_CONST \"yes\"\nJMP done\nno:\nPUSH_CONST \"no\"\ndone:"),
              "yes");
}

// Fused sequences leave their instructions in place: code that jumps into the middle of one runs
// the rest as written, and a pair of locals pushes both in order.
TEST_F(InterpreterTest, JumpsIntoFusedSequencesRunTheRestAsWritten) {
    const char* prefix = "RESERVE 2\nPUSH_CONST 5\nSET_LOCAL 0\nPUSH_CONST 9\nSET_LOCAL 1\n";
    EXPECT_EQ(eval_text(std::string(prefix) + "GET_LOCAL 0\nGET_LOCAL 1\nSUB"), "-4");
    EXPECT_EQ(eval_text(std::string(prefix) + "GET_LOCAL 1\nGET_LOCAL 0\nGET_LOCAL 1\nSUB\nSUB"), "13");
    // Into the second instruction of a test: 20 stands for the first's value.
    EXPECT_EQ(eval_text(std::string(prefix) +
                        "PUSH_CONST 20\nJMP mid\nGET_LOCAL 0\nmid:\nGET_LOCAL 1\nLT\nJF_BOOL no\n"
                        "PUSH_CONST \"yes\"\nJMP done\nno:\nPUSH_CONST \"no\"\ndone:"),
              "no");
    // Into the comparison, and into the second local of a pair.
    EXPECT_EQ(eval_text(std::string(prefix) +
                        "PUSH_CONST 1\nPUSH_CONST 2\nJMP cmp\nGET_LOCAL 0\nGET_LOCAL 1\ncmp:\nGT\nJF_BOOL no\n"
                        "PUSH_CONST \"yes\"\nJMP done\nno:\nPUSH_CONST \"no\"\ndone:"),
              "no");
    EXPECT_EQ(eval_text(std::string(prefix) + "PUSH_CONST 100\nJMP second\nGET_LOCAL 0\nsecond:\nGET_LOCAL 1\nSUB"),
              "91");
    // A test whose jump goes backward is no fused test; it runs, and checks its room, as written.
    EXPECT_EQ(eval_text(std::string(prefix) +
                        "top:\nGET_LOCAL 0\nPUSH_1\nADD\nSET_LOCAL 0\nGET_LOCAL 0\nGET_LOCAL 1\nGE\nJF_BOOL top\n"
                        "GET_LOCAL 0"),
              "9");
    // The fused opcodes are word code only: in a module their bytes are no instructions.
    EXPECT_EQ(eval_text("PUSH_1\n.byte 110\n.byte 122\nPUSH_2\nADD"), "3");
}

}  // namespace
}  // namespace quill::vm::testing
