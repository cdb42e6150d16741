// Runs every tests/scripts/**/*.qls file: its output and errors must match the expectations written
// in its comments. Each script runs twice: from source, and compiled to a module and loaded.
//
//   print(1 + 2);            // expect: 3
//   x = ;                    // expect error: syntax error: invalid expression
//   null.f();                // expect runtime error: Runtime error: ...
//   // skip: why the file is not run
//
// An error expectation names the line it stands on (lines count from 0, as the compiler's do).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/compiler/driver.h"
#include "engine/quill.h"
#include "engine/values/atoms.h"
#include "engine/values/conversions.h"
#include "engine/values/host_class.h"
#include "engine/values/protected_run.h"
#include "engine/values/string_record.h"
#include "engine/values/text_codec.h"

namespace quill::testing {
namespace {

namespace fs = std::filesystem;

struct Expectations {
    std::vector<std::string> output;
    std::string compile_error;  // "line N: text"
    std::string runtime_error;
    std::string skip;
};

std::string after(const std::string& line, const std::string& marker) {
    size_t at = line.find(marker);
    if (at == std::string::npos) {
        return {};
    }
    std::string rest = line.substr(at + marker.size());
    while (!rest.empty() && (rest.back() == '\r' || rest.back() == ' ')) {
        rest.pop_back();
    }
    return rest;
}

Expectations read_expectations(const std::string& source) {
    Expectations e;
    std::istringstream lines(source);
    std::string line;
    for (int number = 0; std::getline(lines, line); ++number) {
        if (line.find("// expect: ") != std::string::npos) {
            e.output.push_back(after(line, "// expect: "));
        } else if (line.find("// expect error: ") != std::string::npos) {
            e.compile_error = "line " + std::to_string(number) + ": " + after(line, "// expect error: ");
        } else if (line.find("// expect runtime error: ") != std::string::npos) {
            e.runtime_error = after(line, "// expect runtime error: ");
        } else if (line.find("// skip: ") != std::string::npos) {
            e.skip = after(line, "// skip: ");
        }
    }
    return e;
}

// Collects what print writes, one string per line.
struct Printed {
    std::vector<std::string> lines;
};

void print_call(ScriptEngine* engine, HostClass* cls, void*, Value*, Value* args) {
    auto* printed = static_cast<Printed*>(cls->user_data);
    std::string line;
    for (uint32_t i = 1; i <= argument_count(args); ++i) {
        line += (i > 1 ? " " : "") + utf16_to_narrow(to_string(engine, args[i]).payload.string->view());
    }
    std::istringstream parts(line);
    std::string part;
    bool any = false;
    while (std::getline(parts, part)) {
        printed->lines.push_back(part);
        any = true;
    }
    if (!any) {
        printed->lines.push_back("");
    }
}

class ScriptRun {
public:
    ScriptRun() : m_handle(quill::create_engine()) {
        ScriptEngine* engine = m_handle->engine;
        run_protected(engine, [&] {
            HostClass* cls = new_host_class(engine);
            cls->call = print_call;
            cls->user_data = &m_printed;
            set_global(engine, "print", make_host_object(engine, cls, nullptr));
        });
    }
    ~ScriptRun() { quill::destroy_engine(m_handle); }
    EngineHandle* handle() { return m_handle; }
    const std::vector<std::string>& printed() const { return m_printed.lines; }

private:
    Printed m_printed;
    EngineHandle* m_handle;
};

void check_run(const std::string& how, bool ok, ScriptRun& run, const Expectations& e) {
    SCOPED_TRACE(how);
    EXPECT_EQ(run.printed(), e.output);
    if (e.runtime_error.empty()) {
        EXPECT_TRUE(ok) << last_message(run.handle());
    } else {
        EXPECT_FALSE(ok);
        EXPECT_EQ(std::string(last_message(run.handle())), e.runtime_error);
    }
}

class ScriptTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ScriptTest, Runs) {
    fs::path path = fs::path(TARPON_SCRIPT_TESTS_DIR) / GetParam();
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << path;
    std::string source((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Expectations e = read_expectations(source);
    if (!e.skip.empty()) {
        GTEST_SKIP() << e.skip;
    }

    ScriptRun from_source;
    compiler::CompileOutput compiled = compiler::compile_text(
        from_source.handle()->engine, source, vm::compile_flags(from_source.handle()) | compiler::CF_DEBUG_INFO);
    if (!e.compile_error.empty()) {
        EXPECT_FALSE(compiled.ok);
        EXPECT_NE(compiled.diagnostics.find("error: " + e.compile_error), std::string::npos) << compiled.diagnostics;
        return;
    }
    ASSERT_TRUE(compiled.ok) << compiled.diagnostics;
    bool ok = vm::run_source_text(from_source.handle(), source.c_str());
    check_run("from source", ok, from_source, e);

    ScriptRun from_module;
    ok = run_compiled_bytes(from_module.handle(), compiled.module.data(), compiled.module.size());
    check_run("from the compiled module", ok, from_module, e);
}

std::vector<std::string> script_files() {
    std::vector<std::string> files;
    fs::path root(TARPON_SCRIPT_TESTS_DIR);
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(root, error)) {
        if (entry.is_regular_file() && entry.path().extension() == ".qls") {
            files.push_back(fs::relative(entry.path(), root).generic_string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string test_name(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param.substr(0, info.param.size() - 4);
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptTest, ::testing::ValuesIn(script_files()), test_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ScriptTest);

}  // namespace
}  // namespace quill::testing
