// Leaks on purpose. Its ctest test passes only when LeakSanitizer reports the leak, which shows that
// leak checking is on for every test of the sanitizer build.
#include <cstdio>
#include <cstdlib>

void* volatile kept;

int main() {
    kept = std::malloc(64);
    kept = nullptr;
    std::puts("leaked 64 bytes");
    return 0;
}
