// The mail-exchanger lookup of Inet.mxfind: one MX query over TCP to a DNS server.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/net/dns_message.h"

namespace tarpon::host::net {

inline constexpr uint16_t dns_port = 53;
// The bound on connecting, sending and receiving.
inline constexpr unsigned dns_timeout_ms = 10000;

// The mail exchangers of the domain as the server (a name or a dotted address) answers; none on
// any failure.
std::vector<dns::MailExchanger> find_mail_exchangers(const std::string& domain, const std::string& server,
                                                     uint16_t port = dns_port);

} // namespace tarpon::host::net
