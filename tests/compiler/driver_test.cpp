#include "engine/compiler/driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "engine/quill.h"
#include "engine/values/conversions.h"
#include "engine/values/string_record.h"
#include "engine/values/text_codec.h"
#include "engine/vm/module.h"
#include "engine/vm/opcodes.h"

namespace quill::compiler {
namespace {

namespace fs = std::filesystem;

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override { handle = quill::create_engine(); }
    void TearDown() override {
        quill::destroy_engine(handle);
        for (const fs::path& path : files) {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    }
    std::string result_text() { return last_result_text(handle); }
    fs::path write_file(const std::string& name, const std::string& bytes) {
        fs::path path = fs::temp_directory_path() / ("quill_driver_test_" + name);
        std::ofstream(path, std::ios::binary) << bytes;
        files.push_back(path);
        return path;
    }

    EngineHandle* handle = nullptr;
    std::vector<fs::path> files;
};

TEST_F(DriverTest, ProgramsLeaveTheirLastExpression) {
    ASSERT_TRUE(quill::run_source_text(handle, "1 + 2;"));
    EXPECT_EQ(result_text(), "3");
    ASSERT_TRUE(quill::run_source_text(handle, "var x = 5;"));
    EXPECT_EQ(last_result(handle).tag, Tag::Undefined);
    ASSERT_TRUE(quill::run_source_text(handle, ""));
    EXPECT_EQ(last_result(handle).tag, Tag::Undefined);
}

TEST_F(DriverTest, DiagnosticLines) {
    CompileOutput error = compile_text(handle->engine, "x = ;", 0);
    EXPECT_FALSE(error.ok);
    EXPECT_EQ(error.diagnostics, "error: line 0: syntax error: invalid expression\r\n");
    EXPECT_STREQ(handle->engine->message, error.diagnostics.c_str());

    CompileOutput warning = compile_text(handle->engine, "a = 1\nb = 2;", CF_WARN_MISSING_SEMICOLON);
    EXPECT_TRUE(warning.ok);
    EXPECT_EQ(warning.diagnostics, "warning: line 0: missing ;\r\n");

    // A failed run from source leaves the diagnostics as its message.
    EXPECT_FALSE(quill::run_source_text(handle, "\n\nfor (;;"));
    EXPECT_EQ(std::string(last_message(handle)).rfind("error: line 2: ", 0), 0u) << last_message(handle);
}

// Code is generated while the parse goes on, but the diagnostics read as if the whole source were
// parsed first and then every function generated before ".main": a syntax error anywhere wins, the
// parser's warnings come before a code-generation error, and a function's error before ".main"'s.
TEST_F(DriverTest, DiagnosticsInTheOrderOfParseThenFunctionsThenMain) {
    struct Case {
        const char* source;
        uint32_t flags;
        const char* diagnostics;
    } cases[] = {
        {"function f() { break; }\nx = ;", 0, "error: line 1: syntax error: invalid expression\r\n"},
        {"break;\nx = ;", 0, "error: line 1: syntax error: invalid expression\r\n"},
        {"break;\nfunction g() { continue; }", 0, "error: line 1: invalid continue\r\n"},
        {"break;\ncontinue;", 0, "error: line 0: invalid break\r\n"},
        {"function f() { function g() { break; } continue; }", 0, "error: line 0: invalid break\r\n"},
        {"function f() { break; }\na = 1\nb = 2;\nc = 3\n", CF_WARN_MISSING_SEMICOLON,
         "warning: line 1: missing ;\r\nwarning: line 3: missing ;\r\nerror: line 0: invalid break\r\n"},
    };
    for (const Case& c : cases) {
        CompileOutput output = compile_text(handle->engine, c.source, c.flags);
        EXPECT_FALSE(output.ok) << c.source;
        EXPECT_EQ(output.diagnostics, c.diagnostics) << c.source;
    }
}

// Program statements are generated between the functions the parse meets: neither sees the other's
// names, and ".main" keeps its local slots and its last value across them.
TEST_F(DriverTest, ProgramStatementsAroundFunctions) {
    ASSERT_TRUE(quill::run_source_text(handle,
                                       "try { throw 1; } catch (e) { r = e; }\n"
                                       "function f() { return typeof e; }\n"
                                       "try { throw 2; } catch (e2) { function h() { return typeof e2; } q = h() + e2; }\n"
                                       "g = function (a) { return a + 1; };\n"
                                       "f() + \",\" + q + \",\" + r + \",\" + g(4);"));
    EXPECT_EQ(result_text(), "undefined,undefined2,1,5");
    ASSERT_TRUE(quill::run_source_text(handle, "x = 7; function f() { return 1; }"));
    EXPECT_EQ(result_text(), "7");
}

TEST_F(DriverTest, CompilationsDifferOnlyInSectionIds) {
    CompileOutput a = compile_text(nullptr, "function f(x) { return x * 2; } f(4);", 0);
    CompileOutput b = compile_text(nullptr, "function f(x) { return x * 2; } f(4);", 0);
    ASSERT_TRUE(a.ok && b.ok);
    ASSERT_EQ(a.module.size(), b.module.size());
    for (size_t i = 0; i < a.module.size(); ++i) {
        bool id_bits = i >= 4 && i < 52 && (i - 4) % 12 >= 1 && (i - 4) % 12 <= 3;
        if (!id_bits) {
            EXPECT_EQ(a.module[i], b.module[i]) << "byte " << i;
        }
    }
    // Without debug information the debug section is empty.
    EXPECT_EQ(a.module[48] | a.module[49] | a.module[50] | a.module[51], 0);
    CompileOutput debug = compile_text(nullptr, "1;\n2;", CF_DEBUG_INFO);
    EXPECT_NE(debug.module[48] | debug.module[49], 0);
}

// Each function's code is written as soon as it is generated: the pieces must join into one code
// section whose function table, jumps and shared constants read as if written at once.
TEST_F(DriverTest, FunctionsWrittenOneAfterAnother) {
    const char* sources[] = {
        // Functions only: the code ends with the last function's RETURN.
        "function a(n) { var s = 0; for (var i = 0; i < n; i++) { s += i; } return s; }\n"
        "function b(t) { while (t > 3) { t -= 2; } return \"x\" + t; }\n"
        "function c(u) { if (u) { return \"x\"; } return u; }\n",
        // Functions, then program statements.
        "function a(n) { return n > 1 ? \"x\" : n; }\n"
        "function b(t) { do { t--; } while (t > 0); return t; }\n"
        "var r = 0; for (var k = 0; k < 3; k++) { r += b(k); } a(r);\n",
    };
    for (const char* source : sources) {
        SCOPED_TRACE(source);
        for (uint32_t flags : {0u, CF_DEBUG_INFO}) {
            CompileOutput output = compile_text(nullptr, source, flags);
            ASSERT_TRUE(output.ok) << output.diagnostics;
            std::optional<vm::Module> module = vm::read_module(output.module.data(), output.module.size());
            ASSERT_TRUE(module);
            vm::ParsedModule parsed;
            ASSERT_EQ(vm::parse_module(*module, &parsed), vm::ParseError::None);
            ASSERT_GE(parsed.functions.size(), 2u);
            EXPECT_EQ(parsed.functions[0].name, "a");
            EXPECT_EQ(parsed.functions[1].name, "b");
            EXPECT_EQ(parsed.functions[0].offset, 0u);
            // "x" is one constant, however many functions push it.
            EXPECT_EQ(std::count_if(parsed.constants.begin(), parsed.constants.end(),
                                    [](const vm::ModuleConstant& c) { return c.type == vm::ConstantType::String; }),
                      1);
            for (const vm::ModuleFunction& function : parsed.functions) {
                SCOPED_TRACE(function.name);
                ASSERT_LT(function.offset, function.end);
                uint32_t last_opcode = 0;
                for (uint32_t at = function.offset; at < function.end;) {
                    vm::Instruction instruction;
                    ASSERT_TRUE(vm::decode_instruction(parsed.code, at, function.end, &instruction)) << at;
                    if (vm::is_jump(static_cast<vm::Op>(instruction.opcode))) {
                        int64_t target = static_cast<int64_t>(at) + instruction.size + instruction.operand;
                        EXPECT_GE(target, function.offset) << "jump at " << at;
                        EXPECT_LT(target, function.end) << "jump at " << at;
                    }
                    last_opcode = instruction.opcode;
                    at += instruction.size;
                }
                if (function.name != ".main") {
                    EXPECT_EQ(last_opcode, static_cast<uint32_t>(vm::Op::RETURN));
                }
            }
        }
        // And they run.
        ASSERT_TRUE(quill::run_source_text(handle, (std::string(source) + "a(4) + b(5);").c_str())) << result_text();
    }
}

TEST_F(DriverTest, NumbersThatPrintAlikeStayApart) {
    // Interning by printed text would make these one constant.
    ASSERT_TRUE(quill::run_source_text(handle, "a = 1e-40; b = 2e-40; b / a;"));
    EXPECT_EQ(result_text(), "2");
}

TEST_F(DriverTest, EvalAndEvals) {
    ASSERT_TRUE(quill::run_source_text(handle, "eval('1+1');"));
    EXPECT_EQ(result_text(), "2");
    ASSERT_TRUE(quill::run_source_text(handle, "eval(5);"));
    EXPECT_EQ(result_text(), "5");
    ASSERT_TRUE(quill::run_source_text(handle, "typeof eval();"));
    EXPECT_EQ(result_text(), "undefined");
    // A text that does not compile does not stop the script.
    ASSERT_TRUE(quill::run_source_text(handle, "eval('x = ;'); 7;"));
    EXPECT_EQ(result_text(), "7");

    fs::path source = write_file("evals.txt", "40 + 2;");
    ASSERT_TRUE(quill::run_source_text(handle, ("evals('" + source.generic_string() + "');").c_str()));
    EXPECT_EQ(result_text(), "42");
}

TEST_F(DriverTest, ScriptFilesByExtensionAndContent) {
    CompileOutput compiled = compile_text(nullptr, "6 * 7;", 0);
    ASSERT_TRUE(compiled.ok);
    std::string module(compiled.module.begin(), compiled.module.end());
    EXPECT_TRUE(quill::run_script_file(handle, write_file("upper.QSC", module).string().c_str()));
    EXPECT_EQ(result_text(), "42");
    EXPECT_TRUE(quill::run_script_file(handle, write_file("noext", "#!quill\n" + module).string().c_str()));
    EXPECT_EQ(result_text(), "42");
    EXPECT_TRUE(quill::run_script_file(handle, write_file("source.Qls", "'text';").string().c_str()));
    EXPECT_EQ(result_text(), "text");
    EXPECT_TRUE(quill::run_script_file(handle, write_file("plain.txt", "1 + 1;").string().c_str()));
    EXPECT_EQ(result_text(), "2");
    EXPECT_FALSE(quill::run_script_file(handle, "no/such/file.js"));
    EXPECT_STREQ(last_message(handle), "can't open the script file: no/such/file.js\n");
}

bool same_but_ids(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        bool id_bits = i >= 4 && i < 52 && (i - 4) % 12 >= 1 && (i - 4) % 12 <= 3;
        if (!id_bits && a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

// A file is read a block at a time while it compiles: tokens, comments and lines that straddle
// the blocks' edges compile as in a text held whole, and so do the diagnostics' lines. With an
// output file the module goes there, not into the result.
TEST_F(DriverTest, FilesReadAsTheyCompile) {
    std::string text;
    for (int i = 0; text.size() < 300000; ++i) {
        text += "v" + std::to_string(i) + " = 0x" + std::to_string(i % 977) + " >>> 1.5e" + std::to_string(i % 3) +
                " + \"s\\t" + std::to_string(i) + "\"; /* c" + std::to_string(i) + " */ w" + std::to_string(i % 13) +
                " >>>= " + std::to_string(i) + "; // " + std::string(static_cast<size_t>(i % 37), '-') + "\n";
        if (i % 500 == 0) {
            text += "function g" + std::to_string(i) + "(a) { if (a) { return a; } return g0; }\n";
        }
    }
    const std::string module_path = (fs::temp_directory_path() / "quill_driver_test_read.qsc").string();
    files.push_back(module_path);
    CompileOutput whole = compile_text(nullptr, text, CF_WARN_MISSING_SEMICOLON);
    ASSERT_TRUE(whole.ok) << whole.diagnostics;
    const std::string source = write_file("read.qls", text).string();
    CompileOutput read = compile_file(nullptr, source.c_str(), CF_WARN_MISSING_SEMICOLON);
    ASSERT_TRUE(read.ok) << read.diagnostics;
    EXPECT_TRUE(same_but_ids(whole.module, read.module));
    EXPECT_EQ(whole.diagnostics, read.diagnostics);

    CompileOutput written = compile_file(nullptr, source.c_str(), CF_WARN_MISSING_SEMICOLON, nullptr, module_path.c_str());
    ASSERT_TRUE(written.ok) << written.diagnostics;
    EXPECT_TRUE(written.module.empty());
    std::ifstream in(module_path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(same_but_ids(whole.module, bytes));

    // An error far into the file names its line as the text held whole does.
    CompileOutput broken = compile_file(nullptr, write_file("broken.qls", text + "x = ;\n").string().c_str(), 0);
    EXPECT_FALSE(broken.ok);
    EXPECT_EQ(broken.diagnostics, compile_text(nullptr, text + "x = ;\n", 0).diagnostics);
    // A directory opens on some systems, but reads as no script.
    CompileOutput directory = compile_file(nullptr, fs::temp_directory_path().string().c_str(), 0);
    EXPECT_FALSE(directory.ok);
    EXPECT_EQ(directory.diagnostics, "can't open the script file: " + fs::temp_directory_path().string() + "\n");
}

// '@' stands for the name; the line the error names is the line the name stands on.
std::string with_name(std::string text, const std::string& name) {
    return text.replace(text.find('@'), 1, name);
}
std::string line_of_name(const std::string& text) {
    return std::to_string(std::count(text.begin(), text.begin() + static_cast<long>(text.find('@')), '\n'));
}

// A module holds names of at most 255 bytes: every longer name it would get is refused at its line.
TEST_F(DriverTest, NamesTheModuleCannotHoldAreCompileErrors) {
    const char* written[] = {
        "x = 1;\n@ = 1;",                           // a global
        "x = typeof\n@;",                           // read
        "o = {};\no.\n@ = 1;",                      // a property
        "o = {};\ntry { o\n.@(); } catch (e) {}",   // a method
        "o = {\n@: 1};",                            // a key
        "function\n@() {}",                         // a function
        "function f() {\nfunction @() {}\n}\nf();", // a nested function's property
        "o = {};\nwith (o) {\n@ = 3;\n}",           // a scoped name
        "delete\n@;",
    };
    for (const char* text : written) {
        SCOPED_TRACE(text);
        CompileOutput fits = compile_text(handle->engine, with_name(text, std::string(255, 'n')), 0);
        ASSERT_TRUE(fits.ok) << fits.diagnostics;
        EXPECT_TRUE(run_compiled_bytes(handle, fits.module.data(), fits.module.size()))
            << last_message(handle);
        CompileOutput too_long = compile_text(handle->engine, with_name(text, std::string(256, 'n')), 0);
        EXPECT_FALSE(too_long.ok);
        EXPECT_EQ(too_long.diagnostics,
                  "error: line " + line_of_name(text) + ": name longer than 255 bytes\r\n");
    }
    // Parameters and local variables live in slots: their names never reach the module.
    const std::string local(1000, 'n');
    ASSERT_TRUE(quill::run_source_text(handle, ("function f(" + local + ") { var " + local + "2 = " + local +
                                             "; return " + local + "2; } f(6 * 7);")
                                                .c_str()))
        << last_message(handle);
    EXPECT_EQ(result_text(), "42");
}

// Regular-expression literals are checked as the RegExp class will compile them when the module
// loads; the error names the literal's line and gives the library's reason.
TEST_F(DriverTest, LiteralsTheMatcherRefusesAreCompileErrors) {
    const std::pair<const char*, const char*> refused[] = {
        {"print(1);\nre = /(/;", "Unmatched marking parenthesis ( or \\(."},
        {"if (false) {\n  /[b/gi;\n}", "Unmatched [ or [^ in character class declaration."},
        {"/a{2/m;", "Unmatched quantified repeat operator { or \\{."},
        {"x = 1;\n/\\x28/;", "Unmatched marking parenthesis ( or \\(."}, // escapes are decoded first
    };
    for (auto [text, reason] : refused) {
        SCOPED_TRACE(text);
        CompileOutput output = compile_text(nullptr, text, 0);
        EXPECT_FALSE(output.ok);
        const std::string source(text);
        const auto line =
            std::count(source.begin(), source.begin() + static_cast<long>(source.rfind('/')), '\n');
        EXPECT_EQ(output.diagnostics,
                  "error: line " + std::to_string(line) + ": invalid regular expression: " + reason + "\r\n");
    }
    // What the extended syntax accepts, with the constructor's escapes in lists.
    ASSERT_TRUE(
        quill::run_source_text(handle, "[/\\(/.test('('), /[\\]]/.test(']'), /(a|b){2}c/gim.test('ABc')];"))
        << last_message(handle);
    EXPECT_EQ(result_text(), "true,true,true");
}

TEST(CompileFlags, FromTheOptionWord) {
    // The default options switch on three optimiser passes; the driver adds the fourth itself.
    EXPECT_EQ(compile_flags_from_options(0x58200, 4096), 0x1u | 0x20 | 0x40 | 0x100);
    EXPECT_EQ(compile_flags_from_options(0x10 | 0x20 | 0x1000 | 0x2000, 0), 0x2u | 0x4 | 0x100000 | 0x200000);
}

}  // namespace
}  // namespace quill::compiler
