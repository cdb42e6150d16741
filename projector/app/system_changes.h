// The changes start-up makes to the system, remembered so that every exit path undoes them: the
// speaker mute, the kiosk changes (cursor, task switching, task bar, screen saver and display
// sleep), and the notification-area icon.
#pragma once

#include <cstdint>
#include <string>

#include "platform/windows.h"

namespace tarpon::projector {

// Saves the speaker mute state and forces it to `muted`; remembers whether it changed.
void apply_mute(bool muted);
// Writes the saved state back if apply_mute changed it.
void restore_mute();

// Applies the settings' kiosk flags (field 25) and remembers what changed.
void apply_kiosk(uint32_t kiosk_flags);
// Undoes every remembered kiosk change. Safe to call more than once and from an exception filter.
void undo_kiosk();
// True when kiosk flag 0x100 is applied: the screen-saver system command is then refused.
bool screen_saver_blocked();

// The notification-area icon: id 128, callback message 0x87D3 to `window`, tip the caption cut to
// 64 characters; a 16 x 16 icon from resource 128 when `own_icon`, else from resource 198.
void add_tray_icon(HWND window, bool own_icon);
void remove_tray_icon();
bool tray_icon_present();

// Installs an unhandled-exception filter that undoes the kiosk, task-bar and cursor changes.
void install_crash_restore();

// Removes run folders a crashed run left in `base` (older than a day, held by no process).
void remove_stale_run_folders(const std::string& base);

// The file in a run folder that marks it as a projector's and, while open, as in use.
constexpr const char* run_folder_lock_name = "Tarpon.lock";
// Creates the lock file in `run_folder` (which ends in "\") and keeps it open without delete
// sharing for the life of the run, so that remove_stale_run_folders leaves the folder alone.
bool hold_run_folder(const std::string& run_folder);
// Closes the lock file; shutdown calls it before it deletes the run folder.
void release_run_folder();

}  // namespace tarpon::projector
