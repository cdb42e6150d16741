#include "tools/author/starter_movie.h"

namespace tarpon::author {

// TODO(swf): write the starter movie with the SWF writer once it is part of the build.
bool write_starter_movie(const std::string& path) {
    (void)path;
    return false;
}

}  // namespace tarpon::author
