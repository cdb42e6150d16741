#include "projector/window/open_movie.h"

namespace tarpon::projector {

std::optional<std::string> run_open_movie_dialog(HWND) {
    return std::nullopt;
}

}  // namespace tarpon::projector
