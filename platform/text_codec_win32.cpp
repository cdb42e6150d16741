// Narrow text is the system ANSI code page here (CP_ACP); characters it cannot represent are
// replaced by the system's default character.
#include "engine/values/text_codec.h"

#include "platform/windows.h"

#include <climits>

namespace quill {

namespace {

// The Win32 calls count in int; engine strings never come near that, but stay safe if one does.
int clamp_length(size_t length) { return length > INT_MAX ? INT_MAX : static_cast<int>(length); }

}  // namespace

size_t narrow_to_utf16_length(std::string_view narrow) {
    if (narrow.empty()) {
        return 0;
    }
    int units = MultiByteToWideChar(CP_ACP, 0, narrow.data(), clamp_length(narrow.size()), nullptr, 0);
    return units > 0 ? static_cast<size_t>(units) : 0;
}

void narrow_to_utf16(std::string_view narrow, char16_t* out, size_t out_length) {
    if (narrow.empty() || out_length == 0) {
        return;
    }
    MultiByteToWideChar(CP_ACP, 0, narrow.data(), clamp_length(narrow.size()), reinterpret_cast<WCHAR*>(out),
                        clamp_length(out_length));
}

size_t utf16_to_narrow_length(std::u16string_view wide) {
    if (wide.empty()) {
        return 0;
    }
    int bytes = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const WCHAR*>(wide.data()),
                                    clamp_length(wide.size()), nullptr, 0, nullptr, nullptr);
    return bytes > 0 ? static_cast<size_t>(bytes) : 0;
}

void utf16_to_narrow(std::u16string_view wide, char* out, size_t out_length) {
    if (wide.empty() || out_length == 0) {
        return;
    }
    WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const WCHAR*>(wide.data()), clamp_length(wide.size()), out,
                        clamp_length(out_length), nullptr, nullptr);
}

}  // namespace quill
