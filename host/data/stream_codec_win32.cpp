#include "host/data/stream_codec.h"

#include "platform/windows.h"

namespace tarpon::host::data {

// In a double-byte code page a lead byte takes the byte after it; walking from the front is the
// only sure way to tell a lead byte from a trail byte of the same value.
size_t ansi_cut_tail(std::string_view bytes) {
    CPINFO info{};
    if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize < 2) {
        return 0;
    }
    size_t at = 0;
    while (at < bytes.size()) {
        at += IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(bytes[at])) ? 2 : 1;
    }
    return at > bytes.size() ? 1 : 0;
}

}  // namespace tarpon::host::data
