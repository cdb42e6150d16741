// The projector's process-wide state: what start-up creates and shutdown releases, shared by the
// application, the main window, the player host and the FSCommand bridge. There is one of it, on
// the user-interface thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows.h"
#include "projector/appdata/additional_files.h"
#include "projector/appdata/identity.h"
#include "projector/appdata/item_source.h"
#include "projector/appdata/movie_list.h"
#include "projector/appdata/settings.h"

namespace tarpon::projector {

class PlayerHost;
class Bridge;

// Where a loaded movie came from. The author's movies (carried, or named on the command line) may
// run any command; a movie the user opened through the open-movie command may not (the bridge
// refuses "exec", "Quill_Eval" and "Quill_File" for it).
enum class MovieOrigin { Author, User };

struct ProjectorState {
    // The executable's own resources (a ModuleItemSource in the projector).
    const appdata::ItemSource* items = nullptr;
    std::string exe_path;    // full path of the executable
    std::string exe_folder;  // its folder, ending in "\"
    appdata::Identity identity;  // registry key and profile name (the ID item)
    std::string run_folder;      // ends in "\"; empty when it could not be made

    appdata::Settings settings;
    appdata::MovieList movies;
    std::vector<std::string> masks;  // names of the extracted masks
    std::unique_ptr<appdata::AdditionalFiles> additional_files;  // null when there is no executable to read

    HWND owner_window = nullptr;
    HWND main_window = nullptr;
    PlayerHost* player = nullptr;  // the main window's player host; null before it exists and after it is gone
    Bridge* bridge = nullptr;      // the FSCommand bridge; lives as long as the main window
    MovieOrigin movie_origin = MovieOrigin::Author;  // of the movie in the control now

    bool open_movie_enabled = false;
    bool close_pending = false;  // a close came while a script ran; re-posted until the nesting count is 0
    float client_aspect_ratio = 0.0f;
};

// The one state of the process.
ProjectorState& projector_state();

// Private messages of the main window.
namespace message {
constexpr UINT set_scale_mode = 0x87D1;   // lParam: the scale-mode field
constexpr UINT set_background = 0x87D2;   // lParam: a COLORREF
constexpr UINT tray_notify = 0x87D3;      // wParam: icon id, lParam: mouse message
constexpr UINT reshape = 0x800A;          // re-apply the window shape
constexpr UINT close_request = 0x8064;    // run the close routine
}  // namespace message

// The control's child-window id in the main window.
constexpr int player_control_id = 1001;

}  // namespace tarpon::projector
