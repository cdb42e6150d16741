// ICMP echo through a raw socket, or through the system's ICMP service where raw sockets are not
// allowed (normal users on NT-family Windows have none).
#include "host/net/ping.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <optional>

#include "host/net/winsock.h"
#include <iphlpapi.h>
// The ICMP service's declarations use the IP Helper's types.
#include <icmpapi.h>

namespace tarpon::host::net {

namespace {

constexpr uint8_t type_echo_reply = 0;
constexpr uint8_t type_echo_request = 8;
constexpr size_t echo_header = 8;
constexpr size_t echo_size = echo_header + 4 + ping_data_bytes; // 44 bytes
constexpr size_t receive_size = 1024;

void emit(const PingListener& listener, PingEvent code, int value, const std::string& text) {
    if (listener) {
        listener(code, value, text);
    }
}

std::string reply_text(const std::string& address, int milliseconds, int ttl, unsigned sequence) {
    char text[128];
    std::snprintf(text, sizeof text, "Reply from %s: bytes=%d time=%dms TTL=%d icmp_seq=%u", address.c_str(),
                  ping_data_bytes, milliseconds, ttl, sequence);
    return text;
}

void timed_out(const PingListener& listener) {
    emit(listener, PingEvent::TimedOut, 1000, "Request timed out");
}
void unreachable(const PingListener& listener) {
    emit(listener, PingEvent::Unreachable, 0, "Destination host unreachable");
}

// The data bytes every request carries: 32 to 63.
std::array<uint8_t, ping_data_bytes> echo_data() {
    std::array<uint8_t, ping_data_bytes> data{};
    for (int i = 0; i < ping_data_bytes; ++i) {
        data[static_cast<size_t>(i)] = static_cast<uint8_t>(32 + i);
    }
    return data;
}

// The Internet checksum: the one's complement of the one's-complement sum of 16-bit words.
uint16_t internet_checksum(const uint8_t* data, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2) {
        sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    }
    if (size % 2 != 0) {
        sum += static_cast<uint32_t>(data[size - 1] << 8);
    }
    while (sum >> 16) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<uint16_t>(~sum);
}

void put16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}
uint16_t get16(const uint8_t* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

std::array<uint8_t, echo_size> echo_request(uint16_t identifier, uint16_t sequence, uint32_t sent) {
    std::array<uint8_t, echo_size> message{};
    message[0] = type_echo_request;
    put16(&message[4], identifier);
    put16(&message[6], sequence);
    std::memcpy(&message[echo_header], &sent, 4);
    const auto data = echo_data();
    std::memcpy(&message[echo_header + 4], data.data(), data.size());
    put16(&message[2], internet_checksum(message.data(), message.size()));
    return message;
}

// Waits for the echo reply to one request until its time is up; true when it came. Our own
// request (the loopback hands it to raw sockets too), other processes' replies and other ICMP
// messages are passed over.
bool await_reply(SOCKET socket, uint16_t identifier, uint16_t sequence, const PingListener& listener) {
    const DWORD start = GetTickCount();
    std::array<uint8_t, receive_size> datagram{};
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ping_timeout_ms) {
            timed_out(listener);
            return false;
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket, &readable);
        const DWORD remaining = ping_timeout_ms - elapsed;
        timeval wait{static_cast<long>(remaining / 1000), static_cast<long>(remaining % 1000 * 1000)};
        sockaddr_in from{};
        int from_size = sizeof from;
        const int ready = select(0, &readable, nullptr, nullptr, &wait);
        const int size = ready == 1 ? recvfrom(socket, reinterpret_cast<char*>(datagram.data()),
                                               static_cast<int>(datagram.size()), 0,
                                               reinterpret_cast<sockaddr*>(&from), &from_size)
                                    : SOCKET_ERROR;
        if (size == SOCKET_ERROR) {
            // A time-out, or a receive error, which would only repeat.
            timed_out(listener);
            return false;
        }
        const size_t ip_header = static_cast<size_t>(datagram[0] & 0x0F) * 4;
        if (static_cast<size_t>(size) < ip_header + echo_header + 4 || ip_header < 20) {
            continue;
        }
        const uint8_t* icmp = datagram.data() + ip_header;
        if (icmp[0] != type_echo_reply || get16(icmp + 4) != identifier || get16(icmp + 6) != sequence) {
            continue;
        }
        uint32_t sent = 0;
        std::memcpy(&sent, icmp + echo_header, 4);
        const int round_trip = static_cast<int>(GetTickCount() - sent);
        const int ttl = datagram[8];
        emit(listener, PingEvent::Reply, round_trip,
             reply_text(dotted(from.sin_addr.s_addr), round_trip, ttl, sequence));
        return true;
    }
}

int ping_raw(SOCKET socket, uint32_t address, int count, const PingListener& listener) {
    const uint16_t identifier = static_cast<uint16_t>(GetCurrentProcessId());
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    int replies = 0;
    for (int i = 0; i < count; ++i) {
        const uint16_t sequence = static_cast<uint16_t>(i);
        const auto request = echo_request(identifier, sequence, GetTickCount());
        if (sendto(socket, reinterpret_cast<const char*>(request.data()), static_cast<int>(request.size()), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof to) == SOCKET_ERROR) {
            unreachable(listener);
            continue;
        }
        if (await_reply(socket, identifier, sequence, listener)) {
            ++replies;
        }
    }
    return replies;
}

struct IcmpHandleTraits {
    using type = HANDLE;
    static HANDLE none() { return INVALID_HANDLE_VALUE; }
    static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { IcmpCloseHandle(h); }
};
using IcmpHandle = platform::Owner<IcmpHandleTraits>;

int ping_service(HANDLE icmp, uint32_t address, int count, const PingListener& listener) {
    auto data = echo_data();
    // The reply, its echoed data and room for an ICMP error's payload.
    std::array<uint8_t, sizeof(ICMP_ECHO_REPLY) + ping_data_bytes + 8 + 64> buffer{};
    int replies = 0;
    for (int i = 0; i < count; ++i) {
        buffer.fill(0);
        const DWORD answers =
            IcmpSendEcho(icmp, address, data.data(), static_cast<WORD>(data.size()), nullptr, buffer.data(),
                         static_cast<DWORD>(buffer.size()), ping_timeout_ms);
        ICMP_ECHO_REPLY reply;
        std::memcpy(&reply, buffer.data(), sizeof reply);
        if (answers > 0 && reply.Status == IP_SUCCESS) {
            const int round_trip = static_cast<int>(reply.RoundTripTime);
            emit(listener, PingEvent::Reply, round_trip,
                 reply_text(dotted(reply.Address), round_trip, reply.Options.Ttl, static_cast<unsigned>(i)));
            ++replies;
        } else if ((answers == 0 && GetLastError() == IP_REQ_TIMED_OUT) ||
                   (answers > 0 && reply.Status == IP_REQ_TIMED_OUT)) {
            timed_out(listener);
        } else {
            unreachable(listener);
        }
    }
    return replies;
}

std::string banner(const std::string& host, uint32_t address) {
    char text[512];
    std::snprintf(text, sizeof text, "Pinging %.300s [%s]: with %d bytes of data:\n\n", host.c_str(),
                  dotted(address).c_str(), ping_data_bytes);
    return text;
}

} // namespace

int ping(const std::string& host, int count, const PingListener& listener, PingMethod method) {
    WinsockSession winsock;
    Socket raw;
    IcmpHandle service;
    const char* failure = nullptr;
    if (method == PingMethod::Automatic) {
        const protoent* icmp = getprotobyname("icmp");
        if (icmp == nullptr) {
            failure = "getprotobyname error";
        } else {
            raw.reset(socket(AF_INET, SOCK_RAW, icmp->p_proto));
            if (!raw) {
                failure = "socket error";
            }
        }
    }
    if (!raw) {
        service.reset(IcmpCreateFile());
        if (!service) {
            emit(listener, PingEvent::NotStarted, 0, failure != nullptr ? failure : "socket error");
            return 0;
        }
    } else {
        set_timeouts(raw.get(), ping_timeout_ms);
    }
    const std::optional<uint32_t> address = resolve_ipv4(host);
    if (!address) {
        emit(listener, PingEvent::NotStarted, 0, "Unkown host " + host);
        return 0;
    }
    emit(listener, PingEvent::Banner, 0, banner(host, *address));
    return raw ? ping_raw(raw.get(), *address, count, listener)
               : ping_service(service.get(), *address, count, listener);
}

} // namespace tarpon::host::net
