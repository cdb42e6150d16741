// The streams' decoders on any bytes: inflating stays within its bound and what it gives packs and
// unpacks again to the same bytes; every charset decodes the bytes the same whether they come
// whole or in two pieces, and what UTF-16LE and binary decode encodes back to the bytes; base64
// that reads encodes back to text that reads the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/data/stream_codec.h"

namespace {

using namespace tarpon::host::data;

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

// A bound small enough that bombs in the corpus are caught quickly.
constexpr size_t fuzz_inflate_limit = size_t{1} << 22;

void check_inflate(std::string_view bytes) {
    const std::optional<std::string> out = zlib_uncompress(bytes, fuzz_inflate_limit);
    if (!out) {
        return;
    }
    if (out->size() > fuzz_inflate_limit || out->size() > bytes.size() * inflate_ratio_bound) {
        finding("inflated past the bound");
    }
    const std::optional<std::string> again = zlib_compress(*out, 6);
    if (!again || zlib_uncompress(*again, fuzz_inflate_limit) != out) {
        finding("inflated bytes did not pack and unpack to themselves");
    }
}

void check_charset(Charset charset, std::string_view bytes, size_t cut) {
    const Decoded whole = decode_text(charset, bytes, true);
    if (whole.used != bytes.size()) {
        finding("the whole input was not used at the end");
    }
    Decoded first = decode_text(charset, bytes.substr(0, cut), false);
    if (first.used > cut) {
        finding("a decoder used more bytes than it had");
    }
    const std::string rest = std::string(bytes.substr(first.used, cut - first.used)) + std::string(bytes.substr(cut));
    const Decoded second = decode_text(charset, rest, true);
    if (first.text + second.text != whole.text) {
        finding("a decoder read differently in two pieces");
    }
    if (charset == Charset::Utf16Le || charset == Charset::Binary) {
        if (bytes.size() % 2 == 0 || charset == Charset::Binary) {
            if (encode_text(charset, whole.text) != std::string(bytes)) {
                finding("decoded text did not encode back to its bytes");
            }
        }
    }
    if (charset == Charset::Utf8) {
        const std::optional<std::string> encoded = encode_text(charset, whole.text);
        if (!encoded || decode_text(charset, *encoded, true).text != whole.text) {
            finding("UTF-8 text did not read back the same");
        }
    }
}

void check_base64(std::string_view text) {
    const std::optional<std::string> bytes = base64_decode(text);
    if (bytes && base64_decode(base64_encode(*bytes)) != bytes) {
        finding("base64 did not read back the same");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the cut point for the two-piece reads.
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t cut = bytes.empty() ? 0 : data[0] % (bytes.size() + 1);
    check_inflate(bytes);
    for (const Charset charset : {Charset::Ansi, Charset::Utf8, Charset::Utf16Le, Charset::Binary}) {
        check_charset(charset, bytes, cut);
    }
    check_base64(bytes);
    return 0;
}
