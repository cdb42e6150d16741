#include "projector/window/about_box.h"

namespace tarpon::projector {

void show_about_box(HWND, ProjectorState&) {}

}  // namespace tarpon::projector
