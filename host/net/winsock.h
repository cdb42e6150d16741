// Winsock for the network classes: a session that keeps the library started while an operation
// runs, an owner for sockets, and IPv4 name resolution.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/owners.h"
#include "platform/windows.h"
#include <winsock2.h>

namespace tarpon::host::net {

// WSAStartup for version 1.1 when made, WSACleanup when it goes; the library counts the starts,
// so sessions nest with whatever else has started it.
class WinsockSession {
  public:
    WinsockSession() : m_started(WSAStartup(MAKEWORD(1, 1), &m_data) == 0) {}
    ~WinsockSession() {
        if (m_started) {
            WSACleanup();
        }
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool started() const { return m_started; }

  private:
    WSADATA m_data{};
    bool m_started;
};

struct SocketTraits {
    using type = SOCKET;
    static SOCKET none() { return INVALID_SOCKET; }
    static bool valid(SOCKET s) { return s != INVALID_SOCKET; }
    static void close(SOCKET s) { closesocket(s); }
};
using Socket = platform::Owner<SocketTraits>;

// The IPv4 address of a host given by name, else as a dotted address; in network byte order.
std::optional<uint32_t> resolve_ipv4(const std::string& host);
// The dotted text of an address in network byte order.
std::string dotted(uint32_t address);
// Sets the send and receive time-outs of a socket.
void set_timeouts(SOCKET socket, DWORD milliseconds);

} // namespace tarpon::host::net
