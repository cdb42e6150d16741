// Convenience forms of the text conversions, shared by every platform.
#include "engine/values/text_codec.h"

namespace quill {

std::u16string narrow_to_utf16(std::string_view narrow) {
    std::u16string wide(narrow_to_utf16_length(narrow), u'\0');
    narrow_to_utf16(narrow, wide.data(), wide.size());
    return wide;
}

std::string utf16_to_narrow(std::u16string_view wide) {
    std::string narrow(utf16_to_narrow_length(wide), '\0');
    utf16_to_narrow(wide, narrow.data(), narrow.size());
    return narrow;
}

}  // namespace quill
