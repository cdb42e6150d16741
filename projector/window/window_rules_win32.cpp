#include "projector/window/window_rules.h"

#include <vector>

#include "platform/owners.h"
#include "projector/app/projector_state.h"
#include "projector/appdata/safe_name.h"
#include "projector/window/window_layout.h"

namespace tarpon::projector {

namespace {

// Mask files are small (a few rectangles per pixel row); anything larger is not one.
constexpr DWORD largest_mask_file = 64u << 20;

std::optional<std::vector<uint8_t>> read_small_file(const std::string& path) {
    platform::KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > largest_mask_file) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(size_t(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.get(), bytes.data(), DWORD(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        return std::nullopt;
    }
    return bytes;
}

layout::Rect window_rect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return layout::Rect{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

layout::Size client_size(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return layout::Size{r.right - r.left, r.bottom - r.top};
}

// Where the client area's top-left corner lies within the window rectangle.
layout::Size client_origin(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    return layout::Size{origin.x - r.left, origin.y - r.top};
}

BOOL CALLBACK add_monitor(HMONITOR, HDC, LPRECT area, LPARAM list) {
    reinterpret_cast<std::vector<layout::Rect>*>(list)->push_back(
        layout::Rect{area->left, area->top, area->right - area->left, area->bottom - area->top});
    return TRUE;
}

// The rectangles of the screens, or the virtual screen when they cannot be listed.
std::vector<layout::Rect> screen_rects() {
    std::vector<layout::Rect> screens;
    EnumDisplayMonitors(nullptr, nullptr, add_monitor, reinterpret_cast<LPARAM>(&screens));
    if (screens.empty()) {
        screens.push_back(layout::Rect{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                                       GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)});
    }
    return screens;
}

}  // namespace

void apply_style(HWND window, const appdata::Settings& settings) {
    ShowWindow(window, SW_HIDE);
    SetMenu(window, nullptr);
    const layout::FrameStyle frame = layout::frame_style(settings.frame_flags, settings.caption_buttons);
    const auto style = static_cast<uint32_t>(GetWindowLongA(window, GWL_STYLE));
    const auto ex_style = static_cast<uint32_t>(GetWindowLongA(window, GWL_EXSTYLE));
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(frame.apply(style)));
    SetWindowLongA(window, GWL_EXSTYLE, static_cast<LONG>(frame.apply_ex(ex_style)));
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetWindowTextA(window, settings.caption.c_str());
    SendMessageA(window, message::set_scale_mode, 0, static_cast<LPARAM>(settings.scale_mode));
}

void place_window(HWND window, const appdata::Settings& settings, std::optional<SIZE> movie_frame) {
    const layout::Size screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    layout::PlacementSettings fields;
    fields.size_mode = settings.size_mode;
    fields.width = settings.width;
    fields.height = settings.height;
    fields.position = settings.position;
    fields.x = settings.x;
    fields.y = settings.y;

    // A maximized or minimized window would go back to its old restored rectangle when shown
    // normally, undoing the move; restore it first so the move sets the rectangle it keeps.
    if (settings.size_mode != 2 && (IsZoomed(window) || IsIconic(window))) {
        ShowWindow(window, SW_RESTORE);
    }

    const layout::Rect current = window_rect(window);
    const layout::Size client = client_size(window);
    const layout::Size non_client{current.width - client.width, current.height - client.height};
    std::optional<layout::Size> movie;
    if (movie_frame) {
        movie = layout::Size{movie_frame->cx, movie_frame->cy};
    }
    layout::Placement placement = layout::compute_placement(fields, screen, current, non_client, movie);
    if (fields.position == 9 || fields.position == 10) {
        placement.rect = layout::keep_reachable(placement.rect, screen_rects());
    }
    const layout::Rect& r = placement.rect;
    switch (placement.move) {
    case layout::PlacementMove::Repaint:
    case layout::PlacementMove::FullScreen:
        MoveWindow(window, r.x, r.y, r.width, r.height, TRUE);
        ShowWindow(window, SW_SHOWNORMAL);
        break;
    case layout::PlacementMove::NoRepaint:
        MoveWindow(window, r.x, r.y, r.width, r.height, FALSE);
        ShowWindow(window, SW_SHOWMAXIMIZED);
        break;
    case layout::PlacementMove::ShowOnly:
        ShowWindow(window, SW_SHOW);
        break;
    }
}

void apply_shape(HWND window, const appdata::Settings& settings, const std::string& run_folder, int scale_mode,
                 SIZE movie_size) {
    if (settings.shape_mode != 2) {
        SetWindowRgn(window, nullptr, TRUE);
        return;
    }
    std::optional<std::vector<layout::MaskRect>> rects;
    // The mask name comes from the settings record: only a plain name inside the run folder.
    if (!run_folder.empty() && appdata::is_safe_component(settings.mask + ".msk")) {
        if (auto file = read_small_file(run_folder + settings.mask + ".msk")) {
            rects = layout::read_mask_file(*file);
        }
    }
    if (!rects) {
        SetWindowRgn(window, nullptr, TRUE);
        return;
    }
    const layout::MaskTransform map = layout::mask_transform(scale_mode, layout::Size{movie_size.cx, movie_size.cy},
                                                             client_size(window), client_origin(window));
    XFORM transform{};
    transform.eM11 = map.scale_x;
    transform.eM22 = map.scale_y;
    transform.eDx = map.offset_x;
    transform.eDy = map.offset_y;
    const std::vector<uint8_t> data = layout::region_data(*rects);
    HRGN region = ExtCreateRegion(&transform, DWORD(data.size()), reinterpret_cast<const RGNDATA*>(data.data()));
    if (!region) {
        return;  // the previous region stays
    }
    // The window owns the region from here on.
    if (!SetWindowRgn(window, region, TRUE)) {
        DeleteObject(region);
        return;
    }
    UpdateWindow(window);
}

void redraw_for_shape(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void apply_placement_flags(HWND window, uint32_t window_flags, bool show) {
    if (window_flags & 0x10) {
        ShowWindow(window, SW_MINIMIZE);
    }
    HWND order = (window_flags & 0x100) ? HWND_TOPMOST : HWND_NOTOPMOST;
    SetWindowPos(window, order, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | (show ? SWP_SHOWWINDOW : SWP_NOREDRAW));
}

void keep_ratio_after_sizing(HWND window, const RECT& before, float ratio) {
    const layout::Rect now = window_rect(window);
    // A plain move keeps the size; working the ratio out again would only round it off.
    if (ratio <= 0 || (now.width == before.right - before.left && now.height == before.bottom - before.top)) {
        return;
    }
    const layout::Size size =
        layout::keep_ratio(ratio, before.right - before.left, layout::Size{now.width, now.height}, client_size(window));
    if (size.width != now.width || size.height != now.height) {
        SetWindowPos(window, nullptr, 0, 0, size.width, size.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

float client_aspect_ratio(HWND window) {
    const layout::Size client = client_size(window);
    if (client.height <= 0) {
        return 0.0f;  // no ratio to keep
    }
    return float(client.width) / float(client.height);
}

}  // namespace tarpon::projector
