// Source text through the compiler, with and without line information; what compiles must load and
// runs under the instruction budget.
#include <cstring>

#include "fuzz/fuzz_engine.h"

namespace {

// The loader's refusals reach the message buffer as runtime errors. An unknown constant (a
// regular-expression literal the matcher refuses, say) is the loader's too: compiled code never
// runs an unknown opcode.
bool refused_by_loader(const char* message) {
    const char invalid[] = "Runtime error: Invalid compiled module";
    return std::strncmp(message, invalid, sizeof invalid - 1) == 0 ||
           std::strcmp(message, "Runtime error: Unimplemented Quill Script bytecode") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quill;
    fuzz::InputEngine input;
    std::string_view source(reinterpret_cast<const char*>(data), size);
    CompiledModule plain = compile_source_text(input.handle(), source);
    CompiledModule debug = compile_source_text(input.handle(), source, true);
    if (plain.ok != debug.ok) {
        fuzz::finding("line information changes whether the source compiles", debug.diagnostics.c_str());
    }
    if (!debug.ok) {
        return 0;
    }
    if (!quill::run_compiled_bytes(input.handle(), debug.module.data(), debug.module.size()) &&
        refused_by_loader(quill::last_message(input.handle()))) {
        fuzz::finding("the loader refuses what the compiler made", quill::last_message(input.handle()));
    }
    input.check_heap();
    return 0;
}
