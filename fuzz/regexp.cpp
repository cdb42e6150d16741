// A pattern and a subject through RegExp and the String methods that take one. The input is
// "flags, pattern, NUL, subject": the low three bits of the first byte pick 'g', 'i' and 'm'.
#include "fuzz/fuzz_engine.h"

namespace {

const char* const script = R"(
var r = new RegExp(pattern, flags);
if (r != null) {
    print(r.exec(subject), r.lastIndex, r.test(subject), r.source, r);
    r.lastIndex = 0;
    print(subject.match(r), subject.search(r), subject.split(r), subject.split(r, 2));
    print(subject.replace(r, "<$$ $& $` $' $+ $1 $9 $0 $>"), r(subject));
    print(RegExp.$1, RegExp.$9, RegExp.lastMatch, RegExp.lastParen, RegExp.leftContext,
          RegExp.rightContext, RegExp.input);
    r.compile(subject, flags);
    print(r.exec(pattern), r.test(), pattern.replace(r, "$1"), pattern.split(r));
}
)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    auto [pattern, subject] = quill::fuzz::split_at_nul(data + 1, size - 1);
    std::string flags;
    for (int bit = 0; bit < 3; ++bit) {
        if ((data[0] & (1 << bit)) != 0) {
            flags += "gim"[bit];
        }
    }
    quill::fuzz::InputEngine input;
    input.set_text("pattern", pattern);
    input.set_text("subject", subject);
    input.set_text("flags", flags);
    input.run_trusted_source(script);
    input.check_heap();
    return 0;
}
