// Loading: the format's rules, the verification of hostile code, and a corpus of broken modules.
#include "engine/vm/loader.h"

#include <random>

#include "engine/values/records.h"
#include "engine/vm/code_block.h"
#include "engine/vm/module.h"
#include "engine/vm/opcodes.h"
#include "tests/vm/vm_fixture.h"

namespace quill::vm::testing {
namespace {

class LoaderTest : public VmTest {
protected:
    bool load_bytes(const std::vector<uint8_t>& bytes) {
        return quill::run_compiled_bytes(handle, bytes.data(), bytes.size());
    }
    void expect_rejected(std::string_view source, const char* message) {
        SCOPED_TRACE(source);
        EXPECT_FALSE(run(source));
        EXPECT_STREQ(engine->message, message);
        EXPECT_TRUE(quill::last_run_unusable(handle));  // refused before any of it ran
    }
};

TEST_F(LoaderTest, RefusedModulesAreToldFromFailedRuns) {
    const uint8_t garbage[] = {'Q', 'S', '1', 'b', 1};
    EXPECT_FALSE(quill::run_compiled_bytes(handle, garbage, sizeof garbage));
    EXPECT_TRUE(quill::last_run_unusable(handle));
    // A module that throws once it runs failed as a script, not as a module. Every function is
    // verified before .main starts, so a bad function refuses the whole module.
    EXPECT_FALSE(run(".function .main\nPUSH_1\nTHROW"));
    EXPECT_FALSE(quill::last_run_unusable(handle));
    EXPECT_FALSE(run(".function f\nPOP\n.function .main\nPUSH_1"));
    EXPECT_TRUE(quill::last_run_unusable(handle));
    EXPECT_TRUE(run(".function .main\nPUSH_1"));
    EXPECT_FALSE(quill::last_run_unusable(handle));
}

TEST_F(LoaderTest, HashLineAndIdBits) {
    std::vector<uint8_t> bytes = assemble_or_fail(".function .main\nPUSH_CONST 41\nINC", 12345);
    std::vector<uint8_t> with_line(bytes);
    const char line[] = "#!/usr/bin/quill\n";
    with_line.insert(with_line.begin(), line, line + sizeof line - 1);
    ASSERT_TRUE(load_bytes(with_line));
    EXPECT_EQ(text(engine->result), "42");
}

TEST_F(LoaderTest, MainAloneInstallsNoGlobals) {
    uint32_t atoms = engine->globals.count;
    EXPECT_EQ(eval_text("PUSH_TRUE"), "true");
    EXPECT_EQ(engine->globals.count, atoms);
    EXPECT_EQ(eval("").tag, Tag::Undefined);
}

TEST_F(LoaderTest, LoadingTwiceRenumbersAnonymousFunctions) {
    const char* source = R"(
.function @F_0
    PUSH_CONST "anonymous"
    RETURN
.function named
    GET_GLOBAL @F_0
    RETURN
.function .main
    PUSH_0
    GET_GLOBAL named
    CALL
    NIP 2
)";
    uint32_t constants = engine->constants.count;
    ASSERT_TRUE(run(source));
    uint32_t per_load = engine->constants.count - constants;
    Value first = engine->result;
    ASSERT_EQ(first.tag, Tag::Function);
    EXPECT_STREQ(first.payload.function->code->name, "@F_0");
    ASSERT_TRUE(run(source));
    Value second = engine->result;
    EXPECT_STREQ(second.payload.function->code->name, "@F_1");  // the name constant was renumbered too
    EXPECT_EQ(engine->constants.count - constants, 2 * per_load);
    EXPECT_EQ(engine->anonymous_functions, 2u);
    EXPECT_NE(global("@F_0").payload.function, global("@F_1").payload.function);
}

TEST_F(LoaderTest, StringConstants) {
    Value joined = eval("PUSH_CONST \"\"\nPUSH_CONST \"\\u00e9t\\u00e9\"\nADD");
    ASSERT_EQ(joined.tag, Tag::String);
    EXPECT_EQ(joined.payload.string->view(), u"\u00e9t\u00e9");
}

// The RegExp class makes them; a pattern it cannot compile fails the load.
TEST_F(LoaderTest, RegExpConstantsAreRegExpObjects) {
    EXPECT_EQ(eval_text("PUSH_CONST /a+/g"), "/a+/g");
    EXPECT_EQ(engine->result.tag, Tag::HostObject);
    expect_rejected(".function .main\nPUSH_CONST /a(/g", "Runtime error: Unimplemented Quill Script bytecode");
}

TEST_F(LoaderTest, FunctionNamesAndLines) {
    EXPECT_FALSE(run(R"(
.source demo.qls
.function where
.line 4
    PUSH_1
.line 5
    PUSH_CONST "x"
    THROW
.function .main
    PUSH_0
.line 9
    GET_GLOBAL where
    CALL
)"));
    // The throw saved its code position: it lies in "where", on line 5.
    EXPECT_STREQ(function_name_at(engine, engine->stack.saved_code), "where");
    const char* source = nullptr;
    EXPECT_EQ(line_at(engine, &source), 5);
    EXPECT_STREQ(source, "demo.qls");
    EXPECT_STREQ(function_name_at(engine, nullptr), ".main");
}

TEST_F(LoaderTest, HostileCodeIsRejected) {
    struct Case {
        const char* code;
        const char* reason;
    } cases[] = {
        {"POP", "instruction reads below its function's stack cells"},
        {"PUSH_1\nPOPN 2", "instruction reads below its function's stack cells"},
        {"PUSH_1\nNIP 1", "instruction reads below its function's stack cells"},
        {"RESERVE 2\nGET_LOCAL 2", "local slot outside the reserved cells"},
        {"RESERVE 1\nSET_LOCAL 0", "local slot outside the reserved cells"},
        {"GET_ARG -1", "negative frame slot"},
        {"PUSH_1\nSET_ARG -2", "negative frame slot"},
        {"PUSH_CONST #9", "constant index out of range"},
        {"PUSH_CONST 7\nGET_GLOBAL #0", "name operand is not a name constant"},
        {"JMP 1", "jump target is not an instruction of the function"},
        {"JMP -6", "jump target is not an instruction of the function"},
        {"TRY_PUSH 100", "jump target is not an instruction of the function"},
        {".byte 0x59 0 0", "truncated instruction"},
        {"loop:\nPUSH_1\nPOP\nPOP\nJMP loop", "instruction reads below its function's stack cells"},
        // A loop that pops one more cell each time round.
        {"PUSH_1\nPUSH_1\nloop:\nPOP\nPUSH_TRUE\nJT_BOOL loop", "instruction reads below its function's stack cells"},
        // Padding moves the frame: not under a try record saved before it, and never twice.
        {"TRY_PUSH l\nPUSH_0\nARGS_PAD 3\nPUSH_0\nTHROW\nl:\nGET_SCOPED x", "ARGS_PAD outside its function's prologue"},
        {"again:\nPUSH_0\nARGS_PAD 3\nPUSH_TRUE\nJT_BOOL again", "ARGS_PAD outside its function's prologue"},
        {"PUSH_0\nARGS_PAD 3\nPUSH_0\nARGS_PAD 4", "ARGS_PAD outside its function's prologue"},
        {"PUSH_0\nPUSH_TRUE\nJT_BOOL on\non:\nARGS_PAD 3", "ARGS_PAD outside its function's prologue"},
    };
    for (const Case& c : cases) {
        std::string message = std::string("Runtime error: Invalid compiled module: ") + c.reason;
        expect_rejected(".function .main\n" + std::string(c.code), message.c_str());
    }
    // Unreachable code is not held against a function.
    EXPECT_EQ(eval_text("PUSH_2\nJMP over\nPOP\nPOP\nPOP\nover:"), "2");
}

TEST_F(LoaderTest, FrameCellsAreOutOfReach) {
    // Slots past the passed arguments read as Undefined and are not written.
    EXPECT_EQ(eval("GET_ARG 100").tag, Tag::Undefined);
    EXPECT_EQ(eval("GET_ARG 3").tag, Tag::Undefined);
    EXPECT_EQ(eval_text("PUSH_1\nSET_ARG 3\nPUSH_1\nSET_ARG 120\nPUSH_CONST 4"), "4");
    EXPECT_EQ(eval("PUSH_CONST 2\nGET_FRAME_SLOT").tag, Tag::Function);  // the cell run_code pushed
    EXPECT_EQ(eval("PUSH_CONST 3\nGET_FRAME_SLOT").tag, Tag::Undefined);
    EXPECT_EQ(eval("PUSH_CONST -5\nGET_FRAME_SLOT").tag, Tag::Undefined);
    EXPECT_EQ(eval("PUSH_CONST \"1\"\nGET_FRAME_SLOT").tag, Tag::Undefined);
    // A caller that lies about its argument count cannot move frames around.
    ASSERT_TRUE(run(R"(
.function f
    GET_ARG 1
    ADD2
    ARGS_PAD 9
    GET_ARG 8
    RETURN
.function .main
    PUSH_CONST 1000000
    GET_GLOBAL f
    CALL
    NIP 2
    PUSH_CONST -77
    GET_GLOBAL f
    CALL
    NIP 2
    ADD
)")) << engine->message;
    EXPECT_EQ(engine->result.tag, Tag::NaN);
    // Nor can it hand a native method, which converts its arguments in place, the frame cells above
    // the arguments it really passed: such a call gets no arguments.
    ASSERT_TRUE(run(R"(
.function f
    GET_ARG 1
    ADD2
    ARGS_PAD 2
    PUSH_CONST "b"
    PUSH_CONST 11
    PUSH_CONST "a"
    CALL_METHOD concat
    NIP 3
    RETURN
.function .main
    PUSH_0
    GET_GLOBAL f
    CALL
    NIP 2
    PUSH_CONST "c"
    PUSH_1
    PUSH_CONST "x"
    CALL_METHOD concat
    NIP 3
    ADD
)")) << engine->message;
    EXPECT_EQ(text(engine->result), "axc");
}

// Mutations of valid modules must be rejected or run without touching memory they do not own
// (the sanitizer build checks that). Modules whose code jumps backward are loaded without running
// them, since a mutated loop need not end.
TEST_F(LoaderTest, BrokenModulesNeverCrash) {
    const std::string sources[] = {
        std::string(R"(
.source corpus.qls
.function add
.line 1
    GET_ARG 1
    ADD2
    ARGS_PAD 4
    RESERVE 2
    GET_ARG 2
    GET_ARG 3
    ADD
    SET_LOCAL 0
    TRY_PUSH catch
    GET_LOCAL 0
    PUSH_CONST "s"
    ADD
    TRY_POP 1
    RETURN
catch:
    RETURN
.function .main
.line 2
    PUSH_CONST 1.5
    PUSH_CONST 2
    PUSH_2
    GET_GLOBAL add
    CALL
    NIP 4
    DUP
    WITH_PUSH
    GET_SCOPED length
    PUSH_NULL
    DELETE_NAME x
    POP
    WITH_POP 1
    TYPEOF
    PUSH_0
    SWAP
    CALL_METHOD toString
    NIP 2
    PUSH_TRUE
    JF_BOOL end
    PUSH_CONST "abc"
    PUSH_1
    GET_ELEM
    ADD
end:
)"),
    };
    std::mt19937 random(20261208);
    int loaded = 0;
    for (const std::string& source : sources) {
        std::vector<uint8_t> valid = assemble_or_fail(source);
        ASSERT_TRUE(load_bytes(valid)) << engine->message;
        for (size_t cut = 0; cut < valid.size(); ++cut) {
            load_bytes(std::vector<uint8_t>(valid.begin(), valid.begin() + static_cast<ptrdiff_t>(cut)));
        }
        for (int round = 0; round < 3000; ++round) {
            std::vector<uint8_t> bytes = valid;
            int changes = 1 + static_cast<int>(random() % 4);
            for (int k = 0; k < changes; ++k) {
                bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
            }
            std::optional<Module> module = read_module(bytes.data(), bytes.size());
            ParsedModule parsed;
            if (!module || parse_module(*module, &parsed) != ParseError::None) {
                load_bytes(bytes);
                continue;
            }
            bool loops = false;
            for (uint32_t offset = 0; offset < parsed.code.size();) {
                Instruction in;
                if (!decode_instruction(parsed.code, offset, static_cast<uint32_t>(parsed.code.size()), &in)) {
                    break;
                }
                if (is_opcode(in.opcode) && is_jump(static_cast<Op>(in.opcode)) && in.operand < 0) {
                    loops = true;
                }
                offset += in.size;
            }
            if (loops) {
                continue;
            }
            loaded += load_bytes(bytes) ? 1 : 0;
        }
    }
    EXPECT_GT(loaded, 0);
    // The engine is still whole.
    EXPECT_EQ(eval_text("PUSH_CONST 6\nPUSH_CONST 7\nMUL"), "42");
}

}  // namespace
}  // namespace quill::vm::testing
