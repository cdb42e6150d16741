#include "projector/appdata/run_folder.h"

#include <cstdint>
#include <cstdio>
#include <random>

namespace tarpon::appdata {

std::string windows_directory() { return "/tmp"; }

std::string new_guid_text() {
    std::random_device device;
    uint8_t b[16];
    for (int i = 0; i < 16; i += 4) {
        uint32_t word = device();
        for (int j = 0; j < 4; ++j) {
            b[i + j] = uint8_t(word >> (8 * j));
        }
    }
    b[6] = uint8_t((b[6] & 0x0F) | 0x40);  // version 4: random
    b[8] = uint8_t((b[8] & 0x3F) | 0x80);  // the standard variant
    char text[40];
    std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

}  // namespace tarpon::appdata
