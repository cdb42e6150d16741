// Stand-ins for the window rules, built only while their own library is not part of the build: the
// caption is set and the window shown, nothing more.
#include "projector/window/window_rules.h"

#include "projector/app/projector_state.h"

namespace tarpon::projector {

void apply_style(HWND window, const appdata::Settings& settings) {
    ShowWindow(window, SW_HIDE);
    SetMenu(window, nullptr);
    SetWindowTextA(window, settings.caption.c_str());
    SendMessageA(window, message::set_scale_mode, 0, static_cast<LPARAM>(settings.scale_mode));
}

void place_window(HWND window, const appdata::Settings&, std::optional<SIZE>) {
    ShowWindow(window, SW_SHOWNORMAL);
}

void apply_shape(HWND, const appdata::Settings&, const std::string&, int, SIZE) {}

void apply_placement_flags(HWND, uint32_t, bool) {}

float client_aspect_ratio(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return client.bottom > 0 ? static_cast<float>(client.right) / static_cast<float>(client.bottom) : 0.0f;
}

}  // namespace tarpon::projector
