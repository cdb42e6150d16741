// Bytes from a peer through the Socket class's decoders, as they arrive: in pieces of any size, cut
// where the charset says a character is complete. Whatever the bytes, the cuts stay inside them,
// the pieces decode to what the whole decodes to, and line ends lie inside the bytes. The first
// byte picks the charset, the second the size of the pieces.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/net/socket_text.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

bool lead_byte(unsigned char byte) { return byte >= 0x81 && byte <= 0x9F; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarpon::host::net;
    if (size < 2) {
        return 0;
    }
    const auto charset = static_cast<Charset>(data[0] % 4);
    const size_t piece = data[1] % 16 + 1;
    const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

    ByteQueue queue;
    std::u16string decoded;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        queue.append(std::string_view(bytes).substr(at, piece));
        const size_t complete = complete_prefix(charset, queue.bytes(), lead_byte);
        if (complete > queue.size() || queue.size() - complete > 3) {
            finding("a cut outside the bytes or too far back");
        }
        decoded += decode_bytes(charset, queue.take_bytes(complete));
    }
    decoded += decode_bytes(charset, queue.take_bytes(queue.size()));
    if (charset != Charset::Ansi && decoded != decode_bytes(charset, bytes)) {
        finding("pieces decode to other text than the whole");
    }

    const std::optional<std::string> encoded = encode_text(charset, decoded);
    if (charset == Charset::Binary && encoded != bytes) {
        finding("binary does not round-trip");
    }
    if (charset == Charset::Utf8 && (!encoded || decode_bytes(charset, *encoded) != decoded)) {
        finding("UTF-8 text does not survive its own encoding");
    }

    std::string_view rest(bytes);
    while (const std::optional<LineEnd> end = find_line_end(charset, rest)) {
        if (end->text_length > end->total_length || end->total_length > rest.size() ||
            end->total_length == 0) {
            finding("a line end outside the bytes");
        }
        rest.remove_prefix(end->total_length);
    }
    const size_t first = first_character_length(charset, bytes, lead_byte);
    if (first > bytes.size() || first > 4) {
        finding("a first character longer than the bytes");
    }
    return 0;
}
