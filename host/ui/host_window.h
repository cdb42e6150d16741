// The windows a host lends to host objects: the main window of the projector, or, in a host without
// one (quill.exe), a hidden top-level window that stands in as the parent of windows the objects
// make (MCI playback windows and the like).
#pragma once

#include "platform/windows.h"

namespace tarpon::host {

// The projector names its main window once it exists, and null when it is gone.
void set_host_main_window(HWND window);

// The host's main window; null in a host without one. Dialogs are owned by it.
HWND host_main_window();

// The main window, or else the host's hidden top-level window, made on first use on the calling
// thread and destroyed with the process. Null only if the system refuses to make it.
HWND host_parent_window();

}  // namespace tarpon::host
