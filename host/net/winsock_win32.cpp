// Winsock helpers shared by ping and the mail-exchanger lookup.
#include "host/net/winsock.h"

#include <cstring>

namespace tarpon::host::net {

std::optional<uint32_t> resolve_ipv4(const std::string& host) {
    if (host.empty()) {
        return std::nullopt;
    }
    const hostent* entry = gethostbyname(host.c_str());
    if (entry != nullptr && entry->h_addrtype == AF_INET && entry->h_length == 4 &&
        entry->h_addr_list != nullptr && entry->h_addr_list[0] != nullptr) {
        uint32_t address = 0;
        std::memcpy(&address, entry->h_addr_list[0], 4);
        return address;
    }
    const unsigned long address = inet_addr(host.c_str());
    // inet_addr answers INADDR_NONE both for bad text and for 255.255.255.255 itself.
    if (address == INADDR_NONE && host != "255.255.255.255") {
        return std::nullopt;
    }
    return static_cast<uint32_t>(address);
}

std::string dotted(uint32_t address) {
    const auto* b = reinterpret_cast<const uint8_t*>(&address);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
           std::to_string(b[3]);
}

void set_timeouts(SOCKET socket, DWORD milliseconds) {
    const char* value = reinterpret_cast<const char*>(&milliseconds);
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, value, sizeof milliseconds);
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, value, sizeof milliseconds);
}

} // namespace tarpon::host::net
