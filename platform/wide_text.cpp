#include "platform/wide_text.h"

#include "engine/values/text_codec.h"

namespace tarpon::platform {

std::wstring to_wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::u16string from_wide(std::wstring_view text) {
    std::u16string out(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        out[i] = static_cast<char16_t>(text[i]);
    }
    return out;
}

std::wstring ansi_to_wide(std::string_view text) { return to_wide(quill::narrow_to_utf16(text)); }

std::string wide_to_ansi(std::wstring_view text) { return quill::utf16_to_narrow(from_wide(text)); }

}  // namespace tarpon::platform
