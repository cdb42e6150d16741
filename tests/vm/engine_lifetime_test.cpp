// Engines made, used and destroyed over and over leave the process's memory where it was.
#include <gtest/gtest.h>

#if defined(__linux__)

#include <malloc.h>

#include <cstdio>

#include "engine/quill.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILL_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QUILL_TEST_ASAN 1
#endif
#if defined(QUILL_TEST_ASAN)
// The sanitizer runtime's allocator statistics (declared here: GCC ships no header for them).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace quill::vm::testing {
namespace {

// Bytes the C++ heap has handed out and not yet taken back. The sanitizer's allocator keeps freed
// blocks in quarantine, out of reach of the C library's counts, and has a count of its own.
size_t heap_bytes_in_use() {
#if defined(QUILL_TEST_ASAN)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// Resident pages, from /proc; 0 when unreadable.
size_t resident_bytes() {
    std::FILE* file = std::fopen("/proc/self/statm", "r");
    if (file == nullptr) {
        return 0;
    }
    unsigned long size = 0, resident = 0;
    int read = std::fscanf(file, "%lu %lu", &size, &resident);
    std::fclose(file);
    return read == 2 ? resident * 4096 : 0;
}

// What each engine does before it goes: objects, arrays, strings and a sort with a script
// comparator, collections, an exception caught, eval, a global function installed by a module, a
// run that fails and a source that does not compile.
const char* const script = R"(
function item(n) { this.n = n; this.s = "item " + n; }
var a = [];
for (var i = 0; i < 60; i++) { a.push(new item(i)); }
function by_n(x, y) { return y.n - x.n; }
a.sort(by_n);
var t = a.join(",").split(",").length + a[0].s.length;
try { null.f(); } catch (e) { t += String(e).length; }
eval("var z = 6 * 7;");
t += Math.max(z, 1) + (12.5).format("%5.1f").length;
)";

void use_and_destroy_an_engine() {
    quill::EngineHandle* engine = quill::create_engine();
    ASSERT_NE(engine, nullptr);
    engine->engine->heap.threshold = 8 * 1024;  // several collections in the run
    EXPECT_TRUE(quill::run_source_text(engine, script)) << quill::last_message(engine);
    EXPECT_FALSE(quill::run_source_text(engine, "a.pop(); throw new item(2);"));
    EXPECT_FALSE(quill::run_source_text(engine, "var = ;"));
    quill::destroy_engine(engine);
}

TEST(EngineLifetime, AThousandEnginesLeaveMemoryFlat) {
    // The first engines make what lives as long as the process (tables built on first use).
    for (int i = 0; i < 5; ++i) {
        use_and_destroy_an_engine();
    }
    size_t heap_before = heap_bytes_in_use();
    size_t resident_before = resident_bytes();
    for (int i = 0; i < 1000; ++i) {
        use_and_destroy_an_engine();
        if (::testing::Test::HasFailure()) {
            return;
        }
    }
    // Anything an engine failed to give back, even a few bytes, would show here a thousand times.
    size_t heap_after = heap_bytes_in_use();
    EXPECT_LT(heap_after, heap_before + 16 * 1024) << "heap bytes in use grew from " << heap_before;
#if !defined(QUILL_TEST_ASAN)
    // The sanitizer's quarantine holds freed memory back; elsewhere the pages are reused.
    EXPECT_LT(resident_bytes(), resident_before + 32 * 1024 * 1024)
        << "resident bytes grew from " << resident_before;
#else
    (void)resident_before;
#endif
}

}  // namespace
}  // namespace quill::vm::testing

#endif  // __linux__
