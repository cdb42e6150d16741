// The player host: the main window's one child, the player control, held by a minimal ActiveX
// container of our own (client site, in-place site and frame, and the sink of the control's events).
//
//   PlayerHost host;
//   host.set_command_handler([](std::string_view command, std::string_view args) { ... });
//   HRESULT status = host.create(main_window, player_control_id, provisioned_path);
//   host.resize(client_rectangle);
//   host.load_movie(path, playing);   // also measures it: movie_width(), movie_height(), movie_background()
//
// Every player operation is a direct call on the control's dual interface.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/com.h"
#include "platform/windows.h"
#include "player/control/shockwave_flash.h"

#include <oleidl.h>

namespace tarpon::projector {

// How long a player module loaded by create() stays loaded. The main window's control keeps its
// module for the rest of the process; a further control (the About box's) gives its extra load
// back when it is destroyed, so opening it again and again does not pile up loads.
enum class ModuleLifetime { Process, Control };

class PlayerHost {
public:
    // command and arguments as the control's FSCommand event gives them, in ANSI text.
    using CommandHandler = std::function<void(std::string_view command, std::string_view arguments)>;
    // Called whenever the control's window is about to paint, before the control paints itself;
    // `update` is the rectangle to be painted (control coordinates), null when there is none.
    using PaintHook = std::function<void(const RECT* update)>;

    PlayerHost();
    ~PlayerHost();  // destroys the control (if still there)
    PlayerHost(const PlayerHost&) = delete;
    PlayerHost& operator=(const PlayerHost&) = delete;

    void set_command_handler(CommandHandler handler);
    void set_paint_hook(PaintHook hook);

    // Creates the control as child `id` of `parent` (visible child, empty rectangle): from the
    // module file `module_path` when it is not empty (LoadLibrary + DllGetClassObject; licensed
    // creation with `licence_key` when it is not empty; the library stays loaded until the process
    // ends), else from the system's registration of the class id. S_OK, or the COM status
    // (REGDB_E_CLASSNOTREG for a library that does not load, CO_E_ERRORINDLL for one without the
    // export). With ModuleLifetime::Control the load is released by destroy(), after the control.
    HRESULT create(HWND parent, int id, const std::string& module_path, const std::wstring& licence_key = {},
                   ModuleLifetime lifetime = ModuleLifetime::Process);
    // Deactivates and releases the control and destroys its window. Safe to call twice.
    void destroy();

    bool exists() const;
    // The module file the control was made from; empty when it came from the system's registration.
    const std::string& module_path() const;
    HWND window() const;  // the control's window, or null
    tarpon::player::IShockwaveFlash* control() const;  // the dual interface (no reference added), or null
    // The control's view object, through which it draws itself into any device context; null
    // without a control or when it has none.
    platform::ComPtr<IViewObject> view_object() const;

    // Moves the control's window over the rectangle (client coordinates of the parent).
    void resize(const RECT& rectangle);

    // Playing := playing, then Movie := path. When the control accepts it, the movie is measured
    // (the stand-alone player form included) and its width, height and background kept; a rejected
    // path leaves the previous figures. True when the control accepted the path.
    bool load_movie(const std::string& path, bool playing);

    int movie_width() const;
    int movie_height() const;
    int32_t movie_background() const;  // 0xRRGGBB, or -1

    // The zoom commands' step count: how many Zoom In steps are not yet taken back; 0 again when a
    // movie is loaded.
    int zoom_count() const;
    void set_zoom_count(int count);

private:
    HRESULT create_from(HWND parent, int id, const std::string& module_path, const std::wstring& licence_key);

    struct Impl;
    Impl* m_impl;
};

// Decides whether the player module carried in the application data must be used and prepares
// it: the installed player's version is read from its registration; at 6.0.79.0 or newer the
// result is empty (use it). Otherwise the FP item is written to "flash.ocx" in the run folder with
// the support libraries, and the run folder is added to the path; the result is that file's path,
// or empty when anything fails.
std::string provision_player();

}  // namespace tarpon::projector
