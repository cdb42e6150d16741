// Names that come from application data (movie and plug-in entries, masks, archive entries, the
// help and About-movie files) are joined to a folder and written or opened there. These checks keep
// every such name inside its folder.
#pragma once

#include <string>
#include <string_view>

namespace tarpon::appdata {

// One file or folder name: not empty, not "." or "..", no separator, no drive or stream colon, no
// control or wildcard characters, no trailing dot or blank (which Windows drops, so "..." would
// name the parent), and not a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$,
// with or without an extension).
bool is_safe_component(std::string_view name);

// A relative path of safe components separated by "\" or "/": no leading separator, no empty part.
bool is_safe_relative_path(std::string_view path);

// The separator of file paths on this system, and a folder path joined with a name.
#ifdef _WIN32
constexpr char path_separator = '\\';
#else
constexpr char path_separator = '/';
#endif
// `folder` followed by `name`, with a separator between them unless `folder` is empty or already
// ends in one; separators inside `name` become this system's.
std::string join_path(std::string_view folder, std::string_view name);

// The part of a path after its last "\" or "/".
std::string_view bare_name(std::string_view path);

}  // namespace tarpon::appdata
