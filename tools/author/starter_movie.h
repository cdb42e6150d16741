// The movie a new project starts with.
#pragma once

#include <string>

namespace tarpon::author {

// Writes a small starter movie to `path`. Until the SWF writer is part of the build this writes
// nothing and returns false; `new` then leaves movies/ empty and says so.
bool write_starter_movie(const std::string& path);

}  // namespace tarpon::author
