// Module bytes through the reader, the disassembler, the verifying loader and the interpreter (under
// the instruction budget).
#include "fuzz/fuzz_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quill;
    std::string listing;
    list_module(data, size, &listing);

    fuzz::InputEngine input;
    quill::run_compiled_bytes(input.handle(), data, size);
    input.check_heap();
    return 0;
}
