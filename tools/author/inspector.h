// `inspect` and `unpack`: what a built executable carries, listed, or written back as a project.
#pragma once

#include <string>

namespace tarpon::author {

int inspect_command(const std::string& executable);
int unpack_command(const std::string& executable, const std::string& project_dir);

}  // namespace tarpon::author
