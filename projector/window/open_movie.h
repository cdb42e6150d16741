// The "Open" dialog of the open-movie command: a location typed in or chosen with "&Browse...".
#pragma once

#include <optional>
#include <string>

#include "platform/windows.h"

namespace tarpon::projector {

// Shows the dialog modally over `owner`; the location on OK, nothing on Cancel.
std::optional<std::string> run_open_movie_dialog(HWND owner);

}  // namespace tarpon::projector
