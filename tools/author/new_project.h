// `new`: a small working project.
#pragma once

#include <string>

namespace tarpon::author {

int new_command(const std::string& project_dir);

}  // namespace tarpon::author
