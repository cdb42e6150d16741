// ICMP echo: the requests, the replies and the progress events of Inet.ping and isInetConnected.
#pragma once

#include <functional>
#include <string>

namespace tarpon::host::net {

// The progress codes of a ping, as the onPinging event receives them.
enum class PingEvent : int {
    TimedOut = 0,    // value 1000, "Request timed out"
    Unreachable = 1, // sending failed
    NotStarted = 2,  // unknown host, no socket
    Banner = 3,
    Reply = 4, // value: the round trip in milliseconds
};

using PingListener = std::function<void(PingEvent code, int value, const std::string& text)>;

enum class PingMethod {
    Automatic,     // a raw ICMP socket, else the system's ICMP service
    SystemService, // the system's ICMP service only
};

// Data bytes after the echo header and the send time.
inline constexpr int ping_data_bytes = 32;
// How long each request waits for its reply.
inline constexpr unsigned ping_timeout_ms = 1000;

// Sends `count` echo requests to the host (a name or a dotted address) one after the other and
// returns how many were answered. Events go to the listener when there is one.
int ping(const std::string& host, int count, const PingListener& listener,
         PingMethod method = PingMethod::Automatic);

} // namespace tarpon::host::net
