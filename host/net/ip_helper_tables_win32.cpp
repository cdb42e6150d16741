// The interface table from the IP Helper: the same MIB-II rows the agent serves.
#include <algorithm>
#include <vector>

#include "host/net/interface_table.h"
#include "platform/windows.h"
#include <iphlpapi.h>

namespace tarpon::host::net {

namespace {

// Calls `get(buffer, &size)` with a buffer grown to the size it asks for; empty on failure.
template <typename Get> std::vector<uint8_t> read_table(Get&& get) {
    ULONG size = 0;
    std::vector<uint8_t> buffer;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD status = get(buffer.empty() ? nullptr : buffer.data(), &size);
        if (status == NO_ERROR && !buffer.empty()) {
            return buffer;
        }
        if (status != ERROR_INSUFFICIENT_BUFFER || size == 0) {
            return {};
        }
        buffer.assign(size, 0); // the table may have grown between the calls: ask again
    }
    return {};
}

} // namespace

std::vector<InterfaceRow> interfaces_from_ip_helper() {
    std::vector<InterfaceRow> rows;
    const std::vector<uint8_t> interfaces = read_table([](uint8_t* buffer, ULONG* size) {
        return GetIfTable(reinterpret_cast<MIB_IFTABLE*>(buffer), size, FALSE);
    });
    if (interfaces.empty()) {
        return rows;
    }
    const auto* if_table = reinterpret_cast<const MIB_IFTABLE*>(interfaces.data());
    for (DWORD i = 0; i < if_table->dwNumEntries; ++i) {
        const MIB_IFROW& entry = if_table->table[i];
        InterfaceRow row;
        row.index = entry.dwIndex;
        const size_t description = std::min<size_t>(entry.dwDescrLen, sizeof entry.bDescr);
        row.description.assign(reinterpret_cast<const char*>(entry.bDescr), description);
        row.description = row.description.substr(0, std::min(row.description.find('\0'), max_description));
        row.type = entry.dwType;
        row.speed = entry.dwSpeed;
        row.status = entry.dwOperStatus;
        const size_t physical =
            std::min<size_t>({entry.dwPhysAddrLen, sizeof entry.bPhysAddr, max_physical_address});
        row.physical_address.assign(entry.bPhysAddr, entry.bPhysAddr + physical);
        rows.push_back(std::move(row));
    }

    const std::vector<uint8_t> addresses = read_table([](uint8_t* buffer, ULONG* size) {
        return GetIpAddrTable(reinterpret_cast<MIB_IPADDRTABLE*>(buffer), size, FALSE);
    });
    if (!addresses.empty()) {
        const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(addresses.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            add_address(rows, table->table[i].dwIndex, table->table[i].dwAddr, table->table[i].dwMask);
        }
    }

    const std::vector<uint8_t> routes = read_table([](uint8_t* buffer, ULONG* size) {
        return GetIpForwardTable(reinterpret_cast<MIB_IPFORWARDTABLE*>(buffer), size, FALSE);
    });
    if (!routes.empty()) {
        const auto* table = reinterpret_cast<const MIB_IPFORWARDTABLE*>(routes.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_IPFORWARDROW& route = table->table[i];
            add_route(rows, route.dwForwardIfIndex, route.dwForwardDest, route.dwForwardNextHop);
        }
    }
    return rows;
}

} // namespace tarpon::host::net
