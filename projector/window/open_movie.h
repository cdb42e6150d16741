// The open-movie command: the "Open" dialog, where a location is typed in or chosen with
// "&Browse...", and the movie loaded from it.
#pragma once

#include <optional>
#include <string>

#include "platform/windows.h"

namespace tarpon::projector {

class MainWindow;

// Shows the dialog modally over `owner`; the location on OK, nothing on Cancel or when the
// location is left empty.
std::optional<std::string> run_open_movie_dialog(HWND owner);

// The command itself: the dialog, then the location loaded into the control as the user's movie,
// the window placed for it by the size mode and position, and the ratio recorded again.
void open_movie(MainWindow& window);

}  // namespace tarpon::projector
