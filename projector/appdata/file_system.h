// The few file-system operations the application data needs, on paths in the ANSI code page (the
// system's own narrow paths on Windows, UTF-8 elsewhere).
#pragma once

#include <string>

namespace tarpon::appdata {

bool file_exists(const std::string& path);    // a file or a folder
bool folder_exists(const std::string& path);
// Creates the folder; true when it exists afterwards.
bool make_folder(const std::string& path);
bool remove_file(const std::string& path);
// The folder, every file in it and its sub-folders. Files still open are left behind.
void remove_tree(const std::string& path);

}  // namespace tarpon::appdata
