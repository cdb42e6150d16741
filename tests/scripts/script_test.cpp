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
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "engine/quill.h"
#include "host/common/console.h"
#include "host/host_classes.h"

#ifdef _WIN32
#include "platform/windows.h"
#endif

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

void collect_line(void* context, std::string_view text) {
    auto* printed = static_cast<Printed*>(context);
    std::istringstream parts{std::string(text)};
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

// An engine as quill makes it: every host class of the build, print and scriptArgs.
class ScriptRun {
public:
    ScriptRun() {
        EngineConfig config;
        std::span<const ClassRegistration> classes = tarpon::host::host_classes();
        config.host_classes = classes.data();
        config.host_class_count = classes.size();
        m_handle = quill::create_engine(&config);
        run_native(m_handle, [&](ScriptEngine* engine) {
            tarpon::host::define_console(engine, collect_line, &m_printed, {});
        });
    }
    ~ScriptRun() { quill::destroy_engine(m_handle); }
    EngineHandle* handle() { return m_handle; }
    const std::vector<std::string>& printed() const { return m_printed.lines; }

private:
    Printed m_printed;
    EngineHandle* m_handle = nullptr;
};

// Host scripts run in a folder of their own, made empty for each run and removed afterwards.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name) {
        std::error_code error;
        m_previous = fs::current_path(error);
        m_path = fs::temp_directory_path(error) / ("tarpon-test-" + name);
        fs::remove_all(m_path, error);
        fs::create_directories(m_path, error);
        fs::current_path(m_path, error);
    }
    ~ScratchFolder() {
        std::error_code error;
        fs::current_path(m_previous, error);
        fs::remove_all(m_path, error);
    }

private:
    fs::path m_previous;
    fs::path m_path;
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

// A test's name from its file's path: letters and digits kept, anything else an underscore.
std::string test_name_of(const std::string& path) {
    std::string name = path.substr(0, path.size() - 4);
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
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
    // Scripts under host/ use the host objects of the Windows build and work in a scratch folder;
    // those under host/data/ use the portable streams and run in every build.
    std::optional<ScratchFolder> scratch;
    if (GetParam().rfind("host/", 0) == 0) {
#ifndef _WIN32
        if (GetParam().rfind("host/data/", 0) != 0) {
            GTEST_SKIP() << "host objects of the Windows build";
        }
#endif
#ifdef TARPON_TEST_FIXTURES_DIR
        // The folder of the build's fixture files, for scripts to read from the environment.
        ASSERT_TRUE(SetEnvironmentVariableA("TARPON_TEST_FIXTURES", TARPON_TEST_FIXTURES_DIR));
#endif
        scratch.emplace(test_name_of(GetParam()));
    }

    ScriptRun from_source;
    CompiledModule compiled = compile_source_text(from_source.handle(), source, true);
    if (!e.compile_error.empty()) {
        EXPECT_FALSE(compiled.ok);
        EXPECT_NE(compiled.diagnostics.find("error: " + e.compile_error), std::string::npos) << compiled.diagnostics;
        return;
    }
    ASSERT_TRUE(compiled.ok) << compiled.diagnostics;
    bool ok = quill::run_source_text(from_source.handle(), source.c_str());
    check_run("from source", ok, from_source, e);

    if (scratch) {
        scratch.reset();
        scratch.emplace(test_name_of(GetParam()));
    }
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

std::string test_name(const ::testing::TestParamInfo<std::string>& info) { return test_name_of(info.param); }

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptTest, ::testing::ValuesIn(script_files()), test_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ScriptTest);

}  // namespace
}  // namespace quill::testing
