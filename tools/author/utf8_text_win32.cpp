#include "tools/author/utf8_text.h"

#include "platform/windows.h"

namespace tarpon::author {

namespace {

std::string convert(std::string_view text, UINT from, UINT to) {
    if (text.empty()) {
        return {};
    }
    int units = MultiByteToWideChar(from, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(units), L'\0');
    MultiByteToWideChar(from, 0, text.data(), int(text.size()), wide.data(), units);
    int bytes = WideCharToMultiByte(to, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string result(size_t(bytes), '\0');
    WideCharToMultiByte(to, 0, wide.data(), units, result.data(), bytes, nullptr, nullptr);
    return result;
}

}  // namespace

std::string ansi_from_utf8(std::string_view utf8) { return convert(utf8, CP_UTF8, CP_ACP); }
std::string utf8_from_ansi(std::string_view ansi) { return convert(ansi, CP_ACP, CP_UTF8); }

}  // namespace tarpon::author
