// Text at the boundary between scripts and the system: script strings to and from 8-bit text in the
// ANSI code page and, on Windows, UTF-16 WCHAR text. Every conversion goes through the engine's one
// code-page pair; host code converts text only through these.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/values/arguments.h"
#include "engine/values/value.h"

namespace quill {
struct ScriptEngine;
struct StringRecord;
}  // namespace quill

namespace tarpon::host {

// A string's text in the ANSI code page (NULs inside it kept).
std::string ansi_text(const quill::StringRecord* string);
// Argument i when it is a String ("must be a String"), as ANSI text; nothing otherwise.
std::optional<std::string> ansi_argument(const quill::Arguments& args, uint32_t i);
// Any value converted with ToString, as ANSI text (may raise, as the conversion does).
std::string ansi_of(quill::ScriptEngine* engine, const quill::Value& value);
// A string value from ANSI text (NULs inside it kept).
quill::Value ansi_string(quill::ScriptEngine* engine, std::string_view text);
// The same up to the first NUL: for buffers the system filled with terminated text.
quill::Value ansi_string_z(quill::ScriptEngine* engine, const char* text);
// An Array of strings from ANSI texts, in order.
quill::Value ansi_string_array(quill::ScriptEngine* engine, const std::vector<std::string>& texts);
quill::Value ansi_string_array(quill::ScriptEngine* engine, const std::vector<std::string_view>& texts);

// Whether two texts are equal when ASCII letters are compared without regard to case (names of
// keys, roots and the like, which are plain ASCII, so the locale is not asked).
bool equal_ignoring_ascii_case(std::string_view a, std::string_view b);

#ifdef _WIN32
// A string's text as WCHAR text, unit for unit.
std::wstring wide_text(const quill::StringRecord* string);
std::optional<std::wstring> wide_argument(const quill::Arguments& args, uint32_t i);
std::wstring wide_of(quill::ScriptEngine* engine, const quill::Value& value);
quill::Value wide_string(quill::ScriptEngine* engine, std::wstring_view text);
#endif

}  // namespace tarpon::host
