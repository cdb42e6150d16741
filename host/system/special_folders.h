// Special folders by name: the shell's folders, the Windows and system directories, the folder for
// temporary files and the program files folder.
#pragma once

#include <optional>
#include <string>

namespace tarpon::host {

// The folder's path for a name of the table (compared after the name is converted to lower case);
// nothing for other names, for "recycle bin" (known, but no folder of the file system) and when the
// system cannot resolve the folder.
std::optional<std::string> special_folder_path(const std::string& name);

// The Windows and system directories, read whole however long; nothing when the call fails (its
// error is then the thread's last error).
std::optional<std::string> windows_directory();
std::optional<std::string> system_directory();

// Tells every top-level window that a setting changed (WM_WININICHANGE). A window that does not
// answer is skipped after a while rather than holding the script up.
void broadcast_setting_change();

}  // namespace tarpon::host
