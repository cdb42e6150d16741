#include "projector/window/settings_apply.h"

#include <optional>

#include "projector/app/application.h"
#include "projector/app/projector_state.h"
#include "projector/app/system_changes.h"
#include "projector/window/main_window.h"
#include "projector/window/window_menus.h"
#include "projector/window/window_rules.h"

namespace tarpon::projector {

void place_for_current_movie(MainWindow& window) {
    PlayerHost& player = window.player();
    std::optional<SIZE> frame;
    if (player.movie_width() >= 1 && player.movie_height() >= 1) {
        frame = SIZE{player.movie_width(), player.movie_height()};
    }
    place_window(window.handle(), projector_state().settings, frame);
}

void shape_for_current_movie(MainWindow& window) {
    ProjectorState& state = projector_state();
    if (state.settings.shape_mode == 1 || state.settings.shape_mode == 3) {
        // Transparent shapes come from the control's drawing: a full repaint builds them again.
        redraw_for_shape(window.handle());
        return;
    }
    PlayerHost& player = window.player();
    int scale_mode = 0;
    if (player.control() != nullptr) {
        player.control()->get_ScaleMode(&scale_mode);
    }
    apply_shape(window.handle(), state.settings, state.run_folder, scale_mode,
                SIZE{player.movie_width(), player.movie_height()});
}

void record_aspect_ratio(MainWindow& window) {
    projector_state().client_aspect_ratio = client_aspect_ratio(window.handle());
}

void reapply_settings(MainWindow& window) {
    HWND main = window.handle();
    const appdata::Settings& settings = projector_state().settings;
    apply_style(main, settings);
    place_for_current_movie(window);
    shape_for_current_movie(window);
    undo_kiosk();
    apply_kiosk(settings.kiosk_flags);
    apply_placement_flags(main, settings.window_flags, true);
    build_system_menu(main, settings.menu_flags, window.system_menu_base());
    if (Application* application = Application::current()) {
        application->choose_help_file();
    }
    SendMessageA(main, message::set_background, 0, static_cast<LPARAM>(settings.background));
    apply_mute((settings.misc_flags & 0x100) != 0);
    record_aspect_ratio(window);
    bool wants_tray = (settings.window_flags & 0x1000) != 0;
    if (wants_tray && !tray_icon_present()) {
        add_tray_icon(main, (settings.window_flags & 0x2) != 0);
    } else if (!wants_tray && tray_icon_present()) {
        remove_tray_icon();
    }
}

}  // namespace tarpon::projector
