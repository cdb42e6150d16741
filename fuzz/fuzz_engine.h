// What the fuzz targets share: an engine for one input, and script runs with input texts as globals.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/quill.h"
#include "host/common/console.h"

namespace quill::fuzz {

// Stops the fuzzer with a finding: libFuzzer saves the input that got here.
[[noreturn]] inline void finding(const char* what, const char* detail = "") {
    std::fprintf(stderr, "finding: %s %s\n", what, detail);
    std::abort();
}

// An engine as the command-line host makes it, with the console's `print` (which converts its
// arguments) writing nothing; warnings are dropped. Made afresh for each input, so inputs cannot
// affect one another.
class InputEngine {
public:
    InputEngine() : m_handle(quill::create_engine()) {
        if (m_handle == nullptr) {
            finding("no engine");
        }
        ScriptEngine* engine = m_handle->engine;
        bool ok = run_native(m_handle, [](ScriptEngine* e) {
            tarpon::host::define_console(e, [](void*, std::string_view) {}, nullptr, {});
        });
        if (!ok) {
            finding("no print function", engine->message);
        }
        // Under collector stress (see config.h) every collection point collects, which makes long
        // runs quadratic: a smaller budget keeps each input short.
        if (engine->heap.verify) {
            engine->instructions_left = std::min<uint64_t>(engine->instructions_left, 5000);
        }
    }
    ~InputEngine() { quill::destroy_engine(m_handle); }
    InputEngine(const InputEngine&) = delete;
    InputEngine& operator=(const InputEngine&) = delete;

    EngineHandle* handle() { return m_handle; }
    ScriptEngine* engine() { return m_handle->engine; }

    // Sets a global to a string of the bytes, read in the ANSI code page.
    void set_text(const char* name, std::string_view bytes) {
        if (!run_native(m_handle, [&](ScriptEngine* engine) { set_global(engine, name, string_value(engine, bytes)); })) {
            finding("cannot set a global", last_message(m_handle));
        }
    }

    // A full collection from the stack top the last run left, then the heap's consistency check.
    void check_heap() {
        if (!collect_and_check_heap(m_handle)) {
            finding("heap inconsistent");
        }
    }

    // Compiles a source that must compile, and runs it. Returns whether the run succeeded.
    bool run_trusted_source(std::string_view source) {
        CompiledModule compiled = compile_source_text(m_handle, source);
        if (!compiled.ok) {
            finding("a target's own script does not compile", compiled.diagnostics.c_str());
        }
        return quill::run_compiled_bytes(m_handle, compiled.module.data(), compiled.module.size());
    }

private:
    EngineHandle* m_handle;
};

// The input read as a stream of choices, one byte each, for the targets that generate their input
// (a module, a script) instead of taking it as it is: the byte mutator then changes a decision, not a
// byte of the result. Once the input is used up every choice is 0, so generators make option 0 the
// one that ends soonest.
class Choices {
public:
    Choices(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool used_up() const { return m_next >= m_size; }
    uint8_t byte() { return m_next < m_size ? m_data[m_next++] : 0; }
    // One of n options (1 <= n <= 256).
    uint32_t below(uint32_t n) { return n <= 1 ? 0 : byte() % n; }
    // True once in n choices (false when the input is used up).
    bool one_in(uint32_t n) { return byte() % n == n - 1; }
    template <typename T, size_t N>
    const T& pick(const T (&options)[N]) {
        static_assert(N <= 256, "one choice byte picks among at most 256 options");
        return options[below(N)];
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_next = 0;
};

// The input cut at its first NUL byte: the part before it and the part after it (empty when there
// is no NUL).
inline std::pair<std::string_view, std::string_view> split_at_nul(const uint8_t* data, size_t size) {
    std::string_view all(reinterpret_cast<const char*>(data), size);
    size_t nul = all.find('\0');
    if (nul == std::string_view::npos) {
        return {all, {}};
    }
    return {all.substr(0, nul), all.substr(nul + 1)};
}

}  // namespace quill::fuzz
