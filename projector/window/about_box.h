// The About box: the About information, the company, home-page and e-mail links, and the About
// movie or the current movie in a player control of its own.
#pragma once

#include "platform/windows.h"
#include "projector/app/projector_state.h"

namespace tarpon::projector {

// Shows the box modally over `owner`.
void show_about_box(HWND owner, ProjectorState& state);

}  // namespace tarpon::projector
