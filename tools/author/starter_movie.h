// The movie a new project starts with.
#pragma once

#include <string>

namespace tarpon::author {

// Writes a small starter movie to `path` (a panel and a button that closes the presentation);
// false when the file cannot be written.
bool write_starter_movie(const std::string& path);

}  // namespace tarpon::author
