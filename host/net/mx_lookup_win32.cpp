// DNS over TCP: the query and the response each go with a two-byte big-endian length.
#include "host/net/mx_lookup.h"

#include <optional>

#include "host/net/winsock.h"

namespace tarpon::host::net {

namespace {

// Connects within the time-out: a blocking connect to a silent address could take much longer.
bool connect_within(SOCKET socket, const sockaddr_in& to, unsigned milliseconds) {
    u_long non_blocking = 1;
    ioctlsocket(socket, FIONBIO, &non_blocking);
    if (connect(socket, reinterpret_cast<const sockaddr*>(&to), sizeof to) == SOCKET_ERROR) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) {
            return false;
        }
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(socket, &writable);
        FD_SET(socket, &failed);
        timeval wait{static_cast<long>(milliseconds / 1000), static_cast<long>(milliseconds % 1000 * 1000)};
        if (select(0, nullptr, &writable, &failed, &wait) != 1 || !FD_ISSET(socket, &writable)) {
            return false;
        }
        int error = 0;
        int size = sizeof error;
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) ==
                SOCKET_ERROR ||
            error != 0) {
            return false;
        }
    }
    non_blocking = 0;
    ioctlsocket(socket, FIONBIO, &non_blocking);
    return true;
}

bool send_all(SOCKET socket, const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const int n = send(socket, reinterpret_cast<const char*>(bytes.data() + sent),
                           static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool receive_all(SOCKET socket, uint8_t* into, size_t size) {
    size_t received = 0;
    while (received < size) {
        const int n =
            recv(socket, reinterpret_cast<char*>(into + received), static_cast<int>(size - received), 0);
        if (n <= 0) {
            return false; // closed early, an error or the time-out
        }
        received += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::vector<dns::MailExchanger> find_mail_exchangers(const std::string& domain, const std::string& server,
                                                     uint16_t port) {
    const std::optional<std::vector<uint8_t>> query = dns::mx_query(domain);
    if (!query) {
        return {};
    }
    WinsockSession winsock;
    const std::optional<uint32_t> address = resolve_ipv4(server);
    if (!winsock.started() || !address) {
        return {};
    }
    Socket connection(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!connection) {
        return {};
    }
    set_timeouts(connection.get(), dns_timeout_ms);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = *address;
    if (!connect_within(connection.get(), to, dns_timeout_ms)) {
        return {};
    }
    std::vector<uint8_t> framed{static_cast<uint8_t>(query->size() >> 8),
                                static_cast<uint8_t>(query->size())};
    framed.insert(framed.end(), query->begin(), query->end());
    uint8_t prefix[2];
    if (!send_all(connection.get(), framed) || !receive_all(connection.get(), prefix, sizeof prefix)) {
        return {};
    }
    std::vector<uint8_t> response(static_cast<size_t>(prefix[0] << 8 | prefix[1]));
    if (response.empty() || !receive_all(connection.get(), response.data(), response.size())) {
        return {};
    }
    return dns::parse_mx_response(response);
}

} // namespace tarpon::host::net
