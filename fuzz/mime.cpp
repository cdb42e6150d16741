// The MIME reader: any bytes as a message. Every part found must lie inside the message, and the
// message written again from what was read must read back to the same bodies.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_engine.h"
#include "host/net/mime_codec.h"
#include "host/net/mime_headers.h"
#include "host/net/mime_parser.h"
#include "host/net/mime_writer.h"

namespace {

using namespace tarpon::mime;
namespace fuzz = quill::fuzz;

void check_range(std::string_view message, const MimePart& part) {
    if (part.present() && (part.end < part.start || static_cast<uint64_t>(part.end) > message.size())) {
        fuzz::finding("a part's range lies outside the message");
    }
}

void check_same_body(std::string_view a_text, const MimePart& a, std::string_view b_text, const MimePart& b) {
    if (a.present() && decoded_body(a_text, a) != decoded_body(b_text, b)) {
        fuzz::finding("a body changed when the message was written again");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view message(reinterpret_cast<const char*>(data), size);
    const MessageHeaders headers = parse_headers(message);
    const ParsedMessage parts = parse_message(message);
    check_range(message, parts.text);
    check_range(message, parts.html);
    for (const MimePart& part : parts.attachments) {
        check_range(message, part);
    }
    for (const MimePart& part : parts.items) {
        check_range(message, part);
    }

    // The decoders and the encoders they undo.
    if (quoted_printable_decode(quoted_printable_encode(message)) != message) {
        fuzz::finding("quoted-printable does not read back");
    }
    if (base64_decode(base64_encode(message, base64_file_line)) != message) {
        fuzz::finding("base64 does not read back");
    }
    (void)quoted_printable_decode(message);
    (void)base64_decode(message);
    (void)decode_encoded_words(message);

    // Written again from what was read, and read once more.
    const WrittenMessage written = write_message(headers, content_of(message, parts), "utf-8", {1, 2});
    const ParsedMessage again = parse_message(written.text);
    check_same_body(message, parts.text, written.text, again.text);
    check_same_body(message, parts.html, written.text, again.html);
    if (again.attachments.size() != parts.attachments.size() || again.items.size() != parts.items.size()) {
        fuzz::finding("attachments or items were lost when the message was written again");
    }
    for (size_t i = 0; i < parts.attachments.size(); ++i) {
        check_same_body(message, parts.attachments[i], written.text, again.attachments[i]);
    }
    return 0;
}
