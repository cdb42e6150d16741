// The DNS servers the machine is configured with, for Inet.getDNS.
#pragma once

#include <string>
#include <vector>

namespace tarpon::host::net {

// At most this many servers are listed.
inline constexpr size_t max_dns_servers = 64;

// The dotted addresses of the "NameServer" and "DhcpNameServer" values of the TCP/IP parameters
// (the transient key, the parameters key, then each interface's key), without duplicates; when
// the registry names none, the servers the system reports.
std::vector<std::string> configured_dns_servers();

// The addresses of one registry value's text, split at blanks, commas, semicolons and tabs; parts
// that are not dotted addresses are left out.
std::vector<std::string> dns_servers_in_text(const std::string& text);

} // namespace tarpon::host::net
