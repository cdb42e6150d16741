// The machine's interfaces as IPConfig reports them: the rows of the MIB-II interface table with
// the addresses and default gateways of the address and route tables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarpon::host::net {

struct InterfaceRow {
    uint32_t index = 0;
    std::string description; // at most max_description bytes
    uint32_t type = 0;
    uint32_t speed = 0;
    uint32_t status = 0;
    std::vector<uint8_t> physical_address;
    std::vector<uint32_t> addresses; // network byte order, at most max_addresses
    std::vector<uint32_t> masks;     // one per address
    std::optional<uint32_t> gateway;
};

inline constexpr size_t max_description = 255;
inline constexpr size_t max_addresses = 2;
inline constexpr size_t max_physical_address = 8;

// The rows as the system's MIB-II extension agent ("inetmib1.dll") gives them; nothing when the
// agent cannot be loaded or its answers do not agree with each other (a table walk that skips
// rows, a count that is not the number of rows).
std::optional<std::vector<InterfaceRow>> interfaces_from_mib_agent();
// The same rows from the IP Helper's interface, address and route tables.
std::vector<InterfaceRow> interfaces_from_ip_helper();

// Adds an address to the row of its interface while that row holds fewer than max_addresses, and
// a default route's next hop as the gateway of its interface (the first one found).
void add_address(std::vector<InterfaceRow>& rows, uint32_t index, uint32_t address, uint32_t mask);
void add_route(std::vector<InterfaceRow>& rows, uint32_t index, uint32_t destination, uint32_t next_hop);

// The text forms IPConfig answers with.
std::string interface_type_name(uint32_t type);
std::string physical_address_text(const std::vector<uint8_t>& address);

} // namespace tarpon::host::net
