// Messages in tests are written with "\n" line ends, as raw strings; mail has "\r\n".
#pragma once

#include <string>
#include <string_view>

namespace tarpon::mime {

inline std::string crlf(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

}  // namespace tarpon::mime
