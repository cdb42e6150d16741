// Inet.getDNS from values the test writes into the TCP/IP parameters and removes again, and the
// system's own list when the registry names no server.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/net/dns_servers.h"
#include "platform/owners.h"
#include "platform/windows.h"
#include "tests/host/host_engine.h"
#include <iphlpapi.h>

namespace tarpon::host::testing {
namespace {

const std::string parameters = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
const std::string transient = parameters + "\\Transient";
const std::string test_interface = parameters + "\\Interfaces\\{TarponTest-getDNS}";

// A value the test sets, put back as it was (or removed) when the test ends.
class ScopedValue {
  public:
    ScopedValue(const std::string& key, const char* name, const std::string& text)
        : m_key(key), m_name(name) {
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        m_handle.put(), &m_disposition);
        DWORD size = 0;
        if (RegQueryValueExA(m_handle.get(), name, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
            m_old.resize(size);
            RegQueryValueExA(m_handle.get(), name, nullptr, &m_type, m_old.data(), &size);
            m_had_value = true;
        }
        RegSetValueExA(m_handle.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    }
    ~ScopedValue() {
        if (m_had_value) {
            RegSetValueExA(m_handle.get(), m_name, 0, m_type, m_old.data(), static_cast<DWORD>(m_old.size()));
        } else {
            RegDeleteValueA(m_handle.get(), m_name);
        }
        m_handle.reset();
        if (m_disposition == REG_CREATED_NEW_KEY) {
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, m_key.c_str());
        }
    }

  private:
    std::string m_key;
    const char* m_name;
    platform::RegistryKey m_handle;
    DWORD m_disposition = 0;
    DWORD m_type = 0;
    std::vector<BYTE> m_old;
    bool m_had_value = false;
};

std::vector<std::string> reported_servers() {
    ULONG size = 0;
    GetNetworkParams(nullptr, &size);
    std::vector<uint8_t> buffer(size);
    std::vector<std::string> servers;
    auto* info = reinterpret_cast<FIXED_INFO*>(buffer.data());
    if (size == 0 || GetNetworkParams(info, &size) != ERROR_SUCCESS) {
        return servers;
    }
    for (const IP_ADDR_STRING* entry = &info->DnsServerList; entry != nullptr; entry = entry->Next) {
        const std::string address = entry->IpAddress.String;
        if (!address.empty() && address != "0.0.0.0" &&
            std::find(servers.begin(), servers.end(), address) == servers.end()) {
            servers.push_back(address);
        }
    }
    return servers;
}

std::string joined(const std::vector<std::string>& texts) {
    std::string text;
    for (const std::string& part : texts) {
        text += (text.empty() ? "" : ",") + part;
    }
    return text;
}

TEST(GetDnsTest, ReadsEveryKeyInOrderWithoutDuplicates) {
    ScopedValue a(transient, "NameServer", "10.9.9.9");
    ScopedValue b(parameters, "NameServer", "10.1.2.3,10.1.2.4");
    ScopedValue c(parameters, "DhcpNameServer", "10.1.2.3");
    ScopedValue d(test_interface, "NameServer", "");
    ScopedValue e(test_interface, "DhcpNameServer", "10.1.2.4 10.1.2.5;bogus\t10.1.2.6");
    HostEngine engine;
    EXPECT_EQ(engine.run("new Inet().getDNS().join(',')"), "10.9.9.9,10.1.2.3,10.1.2.4,10.1.2.5,10.1.2.6");
}

TEST(GetDnsTest, WithoutRegistryValuesTheSystemsServersAreListed) {
    if (!net::configured_dns_servers().empty() && net::configured_dns_servers() != reported_servers()) {
        GTEST_SKIP() << "this machine names DNS servers in the registry";
    }
    HostEngine engine;
    EXPECT_EQ(engine.run("new Inet().getDNS().join(',')"), joined(reported_servers()));
}

TEST(GetDnsTest, ValueTextsSplitAtEverySeparator) {
    EXPECT_EQ(joined(net::dns_servers_in_text(" 1.2.3.4,,5.6.7.8;\t9.10.11.12 x 300.1.1.1 ")),
              "1.2.3.4,5.6.7.8,9.10.11.12");
    EXPECT_TRUE(net::dns_servers_in_text("").empty());
}

} // namespace
} // namespace tarpon::host::testing

#endif // _WIN32
