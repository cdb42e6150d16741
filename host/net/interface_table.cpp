// The interface rows shared by both sources, and their text forms.
#include "host/net/interface_table.h"

#include <cstdio>

namespace tarpon::host::net {

namespace {

InterfaceRow* row_of(std::vector<InterfaceRow>& rows, uint32_t index) {
    for (InterfaceRow& row : rows) {
        if (row.index == index) {
            return &row;
        }
    }
    return nullptr;
}

} // namespace

void add_address(std::vector<InterfaceRow>& rows, uint32_t index, uint32_t address, uint32_t mask) {
    InterfaceRow* row = row_of(rows, index);
    if (row != nullptr && row->addresses.size() < max_addresses) {
        row->addresses.push_back(address);
        row->masks.push_back(mask);
    }
}

void add_route(std::vector<InterfaceRow>& rows, uint32_t index, uint32_t destination, uint32_t next_hop) {
    InterfaceRow* row = row_of(rows, index);
    if (row != nullptr && destination == 0 && !row->gateway) {
        row->gateway = next_hop;
    }
}

std::string interface_type_name(uint32_t type) {
    switch (type) {
    case 1:
        return "other";
    case 6:
        return "ethernet";
    case 9:
        return "token ring";
    case 15:
        return "fddi";
    case 23:
        return "ppp";
    case 24:
        return "loopback";
    case 28:
        return "slip";
    default:
        return "";
    }
}

std::string physical_address_text(const std::vector<uint8_t>& address) {
    std::string text;
    for (uint8_t byte : address) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", byte);
        if (!text.empty()) {
            text.push_back('-');
        }
        text += pair;
    }
    return text;
}

} // namespace tarpon::host::net
