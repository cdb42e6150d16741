// The items the probe test packs into the probe and the probe then looks for with the system's
// resource functions. Both sides make each item's bytes from its size and seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tarpon::pe::probe {

struct ProbeItem {
    const char* type; // "#n" is number n, as for FindResource
    const char* name;
    uint16_t language;
    uint32_t size;
    uint8_t seed;
};

// Numbered and named types and names, one name in two languages, names whose order differs between
// a code-unit and a linguistic comparison, an empty item and a large one. Names given in lower case
// are stored upper-case and found in either case.
inline constexpr ProbeItem probe_items[] = {
    {"TARPON", "ID", 0, 48, 1},
    {"TARPON", "ST", 0, 700, 2},
    {"TARPON", "ML", 0, 200000, 3},
    {"TARPON", "CS", 0, 16, 4},
    {"TARPON", "rg", 0, 0, 5},
    {"TARPON", "#5", 0, 33, 6},
    {"TARPON", "BA", 0, 3, 7},
    {"TARPON", "B_", 0, 4, 8},
    {"TARPON", "B", 0, 5, 9},
    {"QUILL", "MAIN_SCRIPT", 0x409, 1000, 10},
    {"QUILL", "MAIN_SCRIPT", 0x407, 1001, 11},
    {"support", "$1", 0, 77, 12},
    {"#300", "#1", 0x409, 9, 13},
};

// Appended after the packed probe's last section.
// (text, then a trailer as an archive would end: a length and a flag, NULs included).
inline constexpr char probe_overlay_bytes[] = "appended data of the probe\0\x1a\x00\x00\x00\x01\x00\x00\x00";
inline constexpr std::string_view probe_overlay(probe_overlay_bytes, sizeof probe_overlay_bytes - 1);

inline std::vector<uint8_t> probe_bytes(const ProbeItem& item) {
    std::vector<uint8_t> bytes(item.size);
    uint32_t state = item.seed * 2654435761u + 1;
    for (uint8_t& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    return bytes;
}

} // namespace tarpon::pe::probe
