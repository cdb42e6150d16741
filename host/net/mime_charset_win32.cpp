// The local text is the ANSI code page; any code page Windows has installed converts.
#include "host/net/mime_charset.h"

#include <climits>
#include <vector>

#include "platform/windows.h"

namespace tarpon::mime {

std::string local_charset() { return std::string(charset_for_code_page(GetACP())); }

std::optional<std::string> to_local_text(std::string_view charset, std::string_view bytes) {
    const uint32_t code_page = code_page_for_charset(charset);
    if (code_page == 0) {
        return std::nullopt;
    }
    if (code_page == GetACP() || bytes.empty()) {
        return std::string(bytes);
    }
    // Texts here are header words and message bodies: far below what an int counts.
    if (bytes.size() > static_cast<size_t>(INT_MAX / 2)) {
        return std::nullopt;
    }
    const int length = static_cast<int>(bytes.size());
    const int wide_length = MultiByteToWideChar(code_page, 0, bytes.data(), length, nullptr, 0);
    if (wide_length <= 0) {
        return std::nullopt;  // the code page is not installed, or the bytes do not fit it
    }
    std::vector<wchar_t> wide(static_cast<size_t>(wide_length));
    MultiByteToWideChar(code_page, 0, bytes.data(), length, wide.data(), wide_length);
    const int narrow_length =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    if (narrow_length <= 0) {
        return std::nullopt;
    }
    std::string out(static_cast<size_t>(narrow_length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, out.data(), narrow_length, nullptr, nullptr);
    return out;
}

size_t local_character_length(std::string_view text, size_t i) {
    return IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

}  // namespace tarpon::mime
