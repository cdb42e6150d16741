// Texts through Date.parse and the Date constructor, and the parsed dates back to text.
#include "fuzz/fuzz_engine.h"

namespace {

const char* const script = R"(
var d = new Date(text);
print(Date.parse(text), d.getTime(), d.toString(), d.toGMTString(), d.getYear(), d.getDay(),
      d.getTimezoneOffset(), Date.parse(d.toString()), Date.parse(d.toGMTString()));
)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quill::fuzz::InputEngine input;
    input.set_text("text", std::string_view(reinterpret_cast<const char*>(data), size));
    input.run_trusted_source(script);
    input.check_heap();
    return 0;
}
