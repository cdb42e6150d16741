#include "projector/window/window_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarpon::projector::layout {

FrameStyle frame_style(uint32_t frame_flags, uint32_t caption_buttons) {
    FrameStyle result;
    result.remove = style::popup | style::caption | style::system_menu | style::sizing_border |
                    style::minimize_box | style::maximize_box;
    result.remove_ex = ex_style::app_window | ex_style::context_help | ex_style::tool_window | ex_style::transparent;

    uint32_t buttons = caption_buttons;
    if (frame_flags & frame::no_border) {
        result.add |= style::popup;
        result.remove_ex |= ex_style::client_edge;
        // A pop-up has no title bar to hold these.
        buttons &= ~(button::maximize | button::context_help);
    } else if (frame_flags & frame::single) {
        result.add |= style::caption;
    } else if (frame_flags & frame::resizable) {
        result.add |= style::caption | style::sizing_border;
    }
    if ((frame_flags & frame::tool_caption) && !(result.add & style::popup)) {
        result.add_ex |= ex_style::tool_window;
    }
    if (buttons & button::maximize) {
        result.add |= style::maximize_box;
    }
    if (buttons & button::minimize) {
        result.add |= style::minimize_box;
    }
    if (buttons & button::system_menu) {
        result.add |= style::system_menu;
    }
    if (buttons & button::context_help) {
        result.add_ex |= ex_style::context_help;
    }
    if (!(frame_flags & frame::no_task_bar_button)) {
        result.add_ex |= ex_style::app_window;
    }
    return result;
}

namespace {

int32_t clamp32(int64_t value) {
    return int32_t(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

Placement compute_placement(const PlacementSettings& settings, Size screen, Rect window, Size non_client,
                            std::optional<Size> movie_frame) {
    const int64_t W = screen.width, H = screen.height;
    int64_t w = 0, h = 0;
    switch (settings.size_mode) {
    case 0:
    case 2:
        if (movie_frame && movie_frame->width >= 1 && movie_frame->height >= 1) {
            w = int64_t(movie_frame->width) + non_client.width;
            h = int64_t(movie_frame->height) + non_client.height;
        } else {
            w = window.width;
            h = window.height;
        }
        break;
    case 3:
        w = settings.width;
        h = settings.height;
        break;
    case 4:
        w = int64_t(settings.height) * W / 100;
        h = int64_t(settings.height) * H / 100;
        break;
    default:
        break;
    }

    int64_t x = 0, y = 0;
    switch (settings.position) {
    case 0: break;
    case 1: x = (W - w) / 2; break;
    case 2: x = W - w; break;
    case 3: y = (H - h) / 2; break;
    case 4: x = (W - w) / 2; y = (H - h) / 2; break;
    case 5: x = W - w; y = (H - h) / 2; break;
    case 6: y = H - h; break;
    case 7: x = (W - w) / 2; y = H - h; break;
    case 8: x = W - w; y = H - h; break;
    case 9: x = settings.x; y = settings.y; break;
    case 10: x = int64_t(settings.x) * W / 100; y = int64_t(settings.y) * H / 100; break;
    default:
        x = window.x;
        y = window.y;
        w = window.width;
        h = window.height;
        break;
    }

    Placement result;
    result.rect = Rect{clamp32(x), clamp32(y), clamp32(w), clamp32(h)};
    switch (settings.size_mode) {
    case 0:
    case 3:
    case 4:
        result.move = PlacementMove::Repaint;
        break;
    case 1:
        result.move = PlacementMove::FullScreen;
        result.rect = Rect{0, 0, screen.width, screen.height};
        break;
    case 2:
        result.move = PlacementMove::NoRepaint;
        break;
    default:
        result.move = PlacementMove::ShowOnly;
        result.rect = window;
        break;
    }
    return result;
}

Rect keep_reachable(Rect window, std::span<const Rect> screens) {
    const int64_t left = window.x, top = window.y;
    const int64_t right = left + std::max(window.width, 0), bottom = top + std::max(window.height, 0);
    const Rect* nearest = nullptr;
    int64_t nearest_distance = std::numeric_limits<int64_t>::max();
    for (const Rect& screen : screens) {
        if (screen.width <= 0 || screen.height <= 0) {
            continue;
        }
        const int64_t s_left = screen.x, s_top = screen.y;
        const int64_t s_right = s_left + screen.width, s_bottom = s_top + screen.height;
        // How far apart the two rectangles are along each axis (0 when they overlap on it).
        const int64_t dx = std::max<int64_t>({s_left - right, left - s_right, 0});
        const int64_t dy = std::max<int64_t>({s_top - bottom, top - s_bottom, 0});
        const bool overlaps = left < s_right && s_left < right && top < s_bottom && s_top < bottom;
        if (overlaps) {
            return window;
        }
        const int64_t distance = dx * dx + dy * dy;
        if (distance < nearest_distance) {
            nearest_distance = distance;
            nearest = &screen;
        }
    }
    if (nearest == nullptr) {
        return window;
    }
    // Inside the screen where the size allows; a window larger than the screen starts at its
    // top-left corner, so its caption stays in view.
    auto inside = [](int64_t position, int64_t size, int64_t start, int64_t length) {
        return std::max(start, std::min(position, start + length - size));
    };
    Rect result = window;
    result.x = clamp32(inside(left, right - left, nearest->x, nearest->width));
    result.y = clamp32(inside(top, bottom - top, nearest->y, nearest->height));
    return result;
}

MaskTransform mask_transform(int scale_mode, Size movie, Size client, Size client_origin) {
    MaskTransform result;
    if (movie.width > 0 && movie.height > 0) {
        const float mw = float(movie.width), mh = float(movie.height);
        const float cw = float(client.width), ch = float(client.height);
        switch (scale_mode) {
        case 0:
        case 1: {
            float sx = cw / mw, sy = ch / mh;
            float s = scale_mode == 0 ? std::min(sx, sy) : std::max(sx, sy);
            result.scale_x = result.scale_y = s;
            result.offset_x = (cw - mw * s) / 2;
            result.offset_y = (ch - mh * s) / 2;
            break;
        }
        case 2:
            result.scale_x = cw / mw;
            result.scale_y = ch / mh;
            break;
        case 3:
            result.offset_x = (cw - mw) / 2;
            result.offset_y = (ch - mh) / 2;
            break;
        default:
            break;
        }
    }
    result.offset_x += float(client_origin.width);
    result.offset_y += float(client_origin.height);
    return result;
}

Size keep_ratio(float ratio, int32_t width_before, Size window, Size client) {
    if (!(ratio > 0) || !std::isfinite(ratio)) {
        return window;
    }
    const int32_t non_client_width = window.width - client.width;
    const int32_t non_client_height = window.height - client.height;
    Size result = window;
    if (window.width == width_before) {
        result.width = clamp32(int64_t(non_client_width) + int64_t(float(client.height) * ratio));
    } else {
        result.height = clamp32(int64_t(non_client_height) + int64_t(float(client.width) / ratio));
    }
    return result;
}

namespace {

constexpr uint32_t header_size = 32;
constexpr uint32_t rectangles_kind = 1;  // RDH_RECTANGLES
constexpr uint32_t rect_size = 16;
// Region coordinates are limited to 27 bits.
constexpr int32_t coordinate_limit = 1 << 27;

uint32_t get_u32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
int32_t get_i32(const uint8_t* p) { return int32_t(get_u32(p)); }
uint8_t* put_u32(uint8_t* out, uint32_t value) {
    out[0] = uint8_t(value);
    out[1] = uint8_t(value >> 8);
    out[2] = uint8_t(value >> 16);
    out[3] = uint8_t(value >> 24);
    return out + 4;
}

bool in_range(int32_t value) { return value >= -coordinate_limit && value <= coordinate_limit; }

}  // namespace

std::optional<std::vector<MaskRect>> read_mask_file(std::span<const uint8_t> file) {
    if (file.size() < 4) {
        return std::nullopt;
    }
    // The count, the file and the header must all tell the same length: the header and exactly
    // its rectangles, nothing after them.
    const uint32_t length = get_u32(file.data());
    if (length < header_size || length != file.size() - 4) {
        return std::nullopt;
    }
    const uint8_t* data = file.data() + 4;
    const uint32_t size = get_u32(data), kind = get_u32(data + 4), count = get_u32(data + 8);
    const uint32_t rects_bytes = get_u32(data + 12);
    if (size != header_size || kind != rectangles_kind || count == 0 ||
        uint64_t(count) * rect_size != uint64_t(length - header_size) ||
        (rects_bytes != 0 && uint64_t(rects_bytes) != uint64_t(count) * rect_size)) {
        return std::nullopt;
    }
    std::vector<MaskRect> rects;
    rects.reserve(count);
    const uint8_t* p = data + header_size;
    for (uint32_t i = 0; i < count; ++i, p += rect_size) {
        MaskRect r{get_i32(p), get_i32(p + 4), get_i32(p + 8), get_i32(p + 12)};
        if (!in_range(r.left) || !in_range(r.top) || !in_range(r.right) || !in_range(r.bottom) || r.left >= r.right ||
            r.top >= r.bottom) {
            return std::nullopt;
        }
        rects.push_back(r);
    }
    return rects;
}

std::vector<uint8_t> region_data(std::span<const MaskRect> rects) {
    MaskRect bounds{};
    if (!rects.empty()) {
        bounds = rects.front();
        for (const MaskRect& r : rects) {
            bounds.left = std::min(bounds.left, r.left);
            bounds.top = std::min(bounds.top, r.top);
            bounds.right = std::max(bounds.right, r.right);
            bounds.bottom = std::max(bounds.bottom, r.bottom);
        }
    }
    std::vector<uint8_t> out(header_size + rects.size() * rect_size);
    uint8_t* p = out.data();
    p = put_u32(p, header_size);
    p = put_u32(p, rectangles_kind);
    p = put_u32(p, uint32_t(rects.size()));
    p = put_u32(p, uint32_t(rects.size() * rect_size));
    for (int32_t v : {bounds.left, bounds.top, bounds.right, bounds.bottom}) {
        p = put_u32(p, uint32_t(v));
    }
    for (const MaskRect& r : rects) {
        p = put_u32(p, uint32_t(r.left));
        p = put_u32(p, uint32_t(r.top));
        p = put_u32(p, uint32_t(r.right));
        p = put_u32(p, uint32_t(r.bottom));
    }
    return out;
}

}  // namespace tarpon::projector::layout
