// FontObject: a logical font with a colour and a point size, the value the font dialog takes and
// gives. Colours cross to scripts as 0xRRGGBB and are held as the system's colour references.
#pragma once

#include <cstdint>

#include "engine/values/value.h"
#include "platform/windows.h"

namespace quill {
struct ScriptEngine;
}

namespace tarpon::host {

struct FontRecord {
    LOGFONTA font = {};  // the face name is always terminated within its 32 bytes
    COLORREF color = 0;  // 0x00BBGGRR
    int32_t size = 0;   // points
};

// A script's 0xRRGGBB and the system's 0x00BBGGRR are each other with the low and third bytes
// swapped.
constexpr uint32_t swap_red_blue(uint32_t colour) {
    return (colour & 0xFF00FF00u) | ((colour & 0xFFu) << 16) | ((colour >> 16) & 0xFFu);
}

// A new FontObject holding a copy of the record; null when the engine has no FontObject class.
quill::Value make_font_object(quill::ScriptEngine* engine, const FontRecord& record);
// The record of a FontObject, else null.
const FontRecord* font_record_of(const quill::Value& value);

}  // namespace tarpon::host
