// DNS servers from the TCP/IP parameters in the registry, else from the IP Helper.
#include "host/net/dns_servers.h"

#include <algorithm>
#include <vector>

#include "host/net/winsock.h"
#include "platform/owners.h"
#include <iphlpapi.h>

namespace tarpon::host::net {

namespace {

constexpr const char* parameters_key = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
constexpr const char* server_values[] = {"NameServer", "DhcpNameServer"};

class ServerList {
  public:
    void add(const std::string& address) {
        if (m_servers.size() < max_dns_servers &&
            std::find(m_servers.begin(), m_servers.end(), address) == m_servers.end()) {
            m_servers.push_back(address);
        }
    }
    void add_all(const std::vector<std::string>& addresses) {
        for (const std::string& address : addresses) {
            add(address);
        }
    }
    std::vector<std::string>& servers() { return m_servers; }

  private:
    std::vector<std::string> m_servers;
};

// A REG_SZ value of at least two bytes, as text.
std::string string_value(HKEY key, const char* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ ||
        size < 2) {
        return {};
    }
    std::string text(size, '\0');
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    text.resize(std::min<size_t>(size, text.size()));
    text.resize(std::find(text.begin(), text.end(), '\0') - text.begin());
    return text;
}

void add_key_servers(HKEY root, const std::string& path, ServerList& list) {
    platform::RegistryKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return;
    }
    for (const char* value : server_values) {
        list.add_all(dns_servers_in_text(string_value(key.get(), value)));
    }
}

void add_interface_servers(ServerList& list) {
    const std::string interfaces = std::string(parameters_key) + "\\Interfaces";
    platform::RegistryKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, interfaces.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return;
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        const LONG status = RegEnumKeyExA(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) {
            continue; // no interface key has a name this long
        }
        if (status != ERROR_SUCCESS) {
            return;
        }
        add_key_servers(HKEY_LOCAL_MACHINE, interfaces + "\\" + std::string(name, size), list);
    }
}

void add_reported_servers(ServerList& list) {
    ULONG size = 0;
    if (GetNetworkParams(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) {
        return;
    }
    std::vector<uint8_t> buffer(size);
    auto* info = reinterpret_cast<FIXED_INFO*>(buffer.data());
    if (GetNetworkParams(info, &size) != ERROR_SUCCESS) {
        return;
    }
    for (const IP_ADDR_STRING* entry = &info->DnsServerList; entry != nullptr; entry = entry->Next) {
        list.add_all(dns_servers_in_text(std::string(
            entry->IpAddress.String, strnlen(entry->IpAddress.String, sizeof entry->IpAddress.String))));
    }
}

} // namespace

std::vector<std::string> dns_servers_in_text(const std::string& text) {
    std::vector<std::string> addresses;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find_first_of(" ,;\t", at), text.size());
        const std::string part = text.substr(at, end - at);
        at = end + 1;
        if (part.empty()) {
            continue;
        }
        const unsigned long address = inet_addr(part.c_str());
        if (address != INADDR_NONE && address != 0) {
            addresses.push_back(dotted(static_cast<uint32_t>(address)));
        }
    }
    return addresses;
}

std::vector<std::string> configured_dns_servers() {
    ServerList list;
    add_key_servers(HKEY_LOCAL_MACHINE, std::string(parameters_key) + "\\Transient", list);
    add_key_servers(HKEY_LOCAL_MACHINE, parameters_key, list);
    add_interface_servers(list);
    if (list.servers().empty()) {
        add_reported_servers(list);
    }
    return std::move(list.servers());
}

} // namespace tarpon::host::net
