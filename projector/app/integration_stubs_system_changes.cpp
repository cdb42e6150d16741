// Stand-ins for the system changes, built only while their own file is not part of the build: the
// projector then changes nothing in the system.
#include "projector/app/system_changes.h"

namespace tarpon::projector {

void apply_mute(bool) {}
void restore_mute() {}
void apply_kiosk(uint32_t) {}
void undo_kiosk() {}
bool screen_saver_blocked() {
    return false;
}
void add_tray_icon(HWND, bool) {}
void remove_tray_icon() {}
bool tray_icon_present() {
    return false;
}
void install_crash_restore() {}
void remove_stale_run_folders(const std::string&) {}

}  // namespace tarpon::projector
