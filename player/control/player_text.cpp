#include "player/control/player_text.h"

#include <climits>

namespace tarpon::player {

std::string movie_text(const wchar_t* text, size_t length) {
    if (text == nullptr || length == 0 || length > INT_MAX / 4) {
        return {};
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return {};
    }
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr, nullptr);
    return out;
}

std::string movie_text(BSTR text) {
    return text != nullptr ? movie_text(text, SysStringLen(text)) : std::string();
}

std::wstring wide_text(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    UINT code_page = CP_UTF8;
    int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (size <= 0) {
        code_page = CP_ACP;
        size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
        if (size <= 0) {
            return {};
        }
    }
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(code_page, 0, text.data(), length, out.data(), size);
    return out;
}

BSTR new_bstr(const std::wstring& text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

BSTR new_bstr(std::string_view text) { return new_bstr(wide_text(text)); }

bool same_ascii_text(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i] >= L'A' && a[i] <= L'Z' ? a[i] + 32 : a[i];
        wchar_t y = b[i] >= L'A' && b[i] <= L'Z' ? b[i] + 32 : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

} // namespace tarpon::player
