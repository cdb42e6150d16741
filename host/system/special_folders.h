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

}  // namespace tarpon::host
