// The About box: the About information of the settings (title, version, description, company,
// legal notice, contact line), the company, home-page and e-mail links, the About fonts, the About
// picture, and the About movie or the current movie in a player control of its own.
#pragma once

#include <string>

#include "platform/windows.h"
#include "projector/app/projector_state.h"

namespace tarpon::projector {

// Shows the box modally over `owner`. A second request while the box is open brings it to the
// front instead.
void show_about_box(HWND owner, ProjectorState& state);

// The file the About picture is extracted to when the box opens (replaced at every opening, and
// removed with the run folder).
std::string about_picture_path(const ProjectorState& state);

// The movie the box shows, as the About flags choose it: the About movie (0x100) when it was
// extracted, else the movie in the main window's control (0x10), else none (empty).
std::string about_box_movie(const ProjectorState& state);

}  // namespace tarpon::projector
