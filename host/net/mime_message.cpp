#include "host/net/mime_message.h"

#include <algorithm>

#include "host/net/mime_codec.h"
#include "host/net/mime_text.h"

namespace tarpon::mime {

std::string_view encoding_name(TransferEncoding encoding) {
    switch (encoding) {
    case TransferEncoding::QuotedPrintable:
        return "quoted-printable";
    case TransferEncoding::Base64:
        return "base64";
    case TransferEncoding::Binary:
        break;
    }
    return "binary";
}

TransferEncoding encoding_named(std::string_view name) {
    if (equal_ignoring_case(name, "quoted-printable")) {
        return TransferEncoding::QuotedPrintable;
    }
    if (equal_ignoring_case(name, "base64")) {
        return TransferEncoding::Base64;
    }
    return TransferEncoding::Binary;
}

std::string_view part_body(std::string_view message, const MimePart& part) {
    if (part.start < 0 || part.end < part.start || static_cast<uint64_t>(part.end) > message.size()) {
        return {};
    }
    return message.substr(static_cast<size_t>(part.start), static_cast<size_t>(part.end - part.start));
}

std::string decoded_body(std::string_view message, const MimePart& part) {
    const std::string_view body = part_body(message, part);
    switch (part.encoding) {
    case TransferEncoding::QuotedPrintable:
        return quoted_printable_decode(body);
    case TransferEncoding::Base64:
        return base64_decode(body);
    case TransferEncoding::Binary:
        break;
    }
    return std::string(body);
}

std::string item_name(std::string_view name, std::string_view content_id) {
    std::string joined(name);
    // '*' joins the two halves, so the name cannot hold one (no file name can either).
    std::replace(joined.begin(), joined.end(), '*', '_');
    if (!content_id.empty()) {
        joined += '*';
        joined += content_id;
    }
    return joined;
}

std::string_view item_file_name(std::string_view joined) { return joined.substr(0, joined.find('*')); }

std::string_view item_content_id(std::string_view joined) {
    const size_t star = joined.find('*');
    return star == std::string_view::npos ? std::string_view() : joined.substr(star + 1);
}

}  // namespace tarpon::mime
