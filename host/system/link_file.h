// The file behind a link object (shell link or Internet shortcut): loaded at construction and
// saved by save, both through the object's IPersistFile.
#pragma once

#include <string>

#include "platform/windows.h"

#include <unknwn.h>

namespace quill {
struct StringRecord;
}

namespace tarpon::host {

// The path as the link's file calls take it: the full path (a relative one taken from the current
// folder now), at most 259 UTF-16 characters and the terminator. Empty when it does not fit or
// holds a NUL; such a link is neither loaded nor saved.
std::wstring link_file_path(const quill::StringRecord* path);
// Loads the file with read access; false when it is missing or cannot be read.
bool load_link_file(IUnknown* link, const std::wstring& file);
// Saves to the file and makes it the link's current file. Failures are not reported.
void save_link_file(IUnknown* link, const std::wstring& file);

}  // namespace tarpon::host
