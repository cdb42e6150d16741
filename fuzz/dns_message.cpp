// DNS responses through the MX reader: whatever the bytes, the reader stays inside them, ends, and
// gives names no longer than a name can be. The first two bytes pick the identifier the response
// is read against, so that answers are reached.
#include <cstdio>
#include <cstdlib>

#include "host/net/dns_message.h"

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarpon::host::dns;
    const std::span<const uint8_t> response(data, size);
    const uint16_t id = size >= 2 ? static_cast<uint16_t>(data[0] << 8 | data[1]) : query_id;
    for (const MailExchanger& exchanger : parse_mx_response(response, id)) {
        if (exchanger.name.size() > max_name_length) {
            finding("a name longer than a name can be");
        }
    }
    // Every place as the start of a name.
    for (size_t at = 0; at < size; ++at) {
        size_t offset = at;
        if (const std::optional<std::string> name = read_name(response, offset)) {
            if (name->size() > max_name_length || offset <= at || offset > size) {
                finding("a name read outside its bytes");
            }
        }
    }
    return 0;
}
