#include "projector/window/transparent_shape.h"

#include <vector>

#include "projector/window/shape_scan.h"
#include "projector/window/window_layout.h"

namespace tarpon::projector {

namespace {

constexpr long white = 0xFFFFFF;
constexpr long black = 0x000000;

// A region the caller owns: deleted when it goes out of scope unless handed on.
class OwnedRegion {
public:
    explicit OwnedRegion(HRGN region = nullptr) : m_region(region) {}
    ~OwnedRegion() {
        if (m_region != nullptr) {
            DeleteObject(m_region);
        }
    }
    OwnedRegion(const OwnedRegion&) = delete;
    OwnedRegion& operator=(const OwnedRegion&) = delete;
    HRGN get() const { return m_region; }
    HRGN release() {
        HRGN region = m_region;
        m_region = nullptr;
        return region;
    }

private:
    HRGN m_region;
};

// The client area's top-left corner within the window rectangle.
POINT client_origin(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    return POINT{origin.x - r.left, origin.y - r.top};
}

}  // namespace

int TransparentShape::bitmap_count() const {
    return (m_surfaces[0].bitmap != nullptr ? 1 : 0) + (m_surfaces[1].bitmap != nullptr ? 1 : 0);
}

void TransparentShape::release() {
    for (Surface& surface : m_surfaces) {
        if (surface.dc != nullptr) {
            if (surface.previous != nullptr) {
                SelectObject(surface.dc, surface.previous);
            }
            DeleteDC(surface.dc);
        }
        if (surface.bitmap != nullptr) {
            DeleteObject(surface.bitmap);
        }
        surface = Surface{};
    }
    m_size = SIZE{0, 0};
}

bool TransparentShape::prepare(int count, SIZE size) {
    if (m_size.cx != size.cx || m_size.cy != size.cy) {
        release();
    }
    m_size = size;
    for (int i = 0; i < count; ++i) {
        Surface& surface = m_surfaces[i];
        if (surface.bitmap != nullptr) {
            continue;
        }
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size.cx;
        info.bmiHeader.biHeight = -size.cy;  // rows top to bottom
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HDC dc = bitmap != nullptr ? CreateCompatibleDC(nullptr) : nullptr;
        if (dc == nullptr) {
            if (bitmap != nullptr) {
                DeleteObject(bitmap);
            }
            return false;  // what was made before stays for the next try
        }
        surface.previous = SelectObject(dc, bitmap);
        surface.dc = dc;
        surface.bitmap = bitmap;
        surface.bits = static_cast<uint32_t*>(bits);
    }
    return true;
}

bool TransparentShape::draw(IViewObject* view, const Surface& surface, SIZE size, const RECT& clip) {
    RECTL bounds{0, 0, size.cx, size.cy};
    const int saved = SaveDC(surface.dc);
    IntersectClipRect(surface.dc, clip.left, clip.top, clip.right, clip.bottom);
    const HRESULT status =
        view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, surface.dc, &bounds, nullptr, nullptr, 0);
    RestoreDC(surface.dc, saved);
    return SUCCEEDED(status);
}

bool TransparentShape::reshape(HWND window, int mode, IViewObject* view, player::IShockwaveFlash* flash,
                               int32_t movie_background, const RECT* update) {
    if ((mode != 1 && mode != 3) || view == nullptr || flash == nullptr || window == nullptr) {
        return false;
    }
    RECT client{};
    GetClientRect(window, &client);
    const SIZE size{client.right, client.bottom};
    if (size.cx <= 0 || size.cy <= 0) {
        return false;
    }

    long key = -1;
    if (mode == 1) {
        flash->get_BackgroundColor(&key);
        if (key < 0) {
            key = movie_background;
        }
        if (key < 0) {
            return false;  // nothing says which colour is the transparent one
        }
    }

    // The part to draw and scan. A part of the window is only enough when there is a region of
    // ours to keep outside it.
    OwnedRegion previous(CreateRectRgn(0, 0, 0, 0));
    if (previous.get() == nullptr) {
        return false;
    }
    const bool has_region = GetWindowRgn(window, previous.get()) != ERROR;
    RECT area = client;
    if (update != nullptr && has_region) {
        IntersectRect(&area, update, &client);
    }
    const bool partial = !EqualRect(&area, &client);

    if (!prepare(mode == 1 ? 1 : 2, size)) {
        return false;
    }
    std::vector<layout::MaskRect> rects;
    const shape::Area scan{area.left, area.top, area.right, area.bottom};
    if (mode == 1) {
        if (!draw(view, m_surfaces[0], size, area)) {
            return false;
        }
        GdiFlush();
        rects = shape::keyed_rectangles(shape::Picture{m_surfaces[0].bits, size.cx, size.cy, size.cx},
                                        static_cast<uint32_t>(key), scan);
    } else {
        long colour = -1;
        flash->get_BackgroundColor(&colour);
        flash->put_BackgroundColor(white);
        bool drawn = draw(view, m_surfaces[0], size, area);
        flash->put_BackgroundColor(black);
        drawn = drawn && draw(view, m_surfaces[1], size, area);
        flash->put_BackgroundColor(colour);
        if (!drawn) {
            return false;
        }
        GdiFlush();
        rects = shape::double_drawn_rectangles(shape::Picture{m_surfaces[0].bits, size.cx, size.cy, size.cx},
                                               shape::Picture{m_surfaces[1].bits, size.cx, size.cy, size.cx}, scan);
    }

    const std::vector<uint8_t> data = layout::region_data(rects);
    OwnedRegion region(ExtCreateRegion(nullptr, DWORD(data.size()), reinterpret_cast<const RGNDATA*>(data.data())));
    if (region.get() == nullptr) {
        return false;
    }
    const POINT origin = client_origin(window);
    OffsetRgn(region.get(), origin.x, origin.y);
    if (partial) {
        // Outside the part painted, the window keeps the shape it had.
        OwnedRegion painted(CreateRectRgn(area.left + origin.x, area.top + origin.y, area.right + origin.x,
                                          area.bottom + origin.y));
        if (painted.get() == nullptr ||
            CombineRgn(previous.get(), previous.get(), painted.get(), RGN_DIFF) == ERROR ||
            CombineRgn(region.get(), region.get(), previous.get(), RGN_OR) == ERROR) {
            return false;
        }
    } else if (has_region && EqualRgn(region.get(), previous.get())) {
        return true;  // unchanged: setting it again would only repaint the frame
    }
    // Set while the control is about to paint: no redrawing of the window, or every paint would
    // cause the next one. The window owns the region from here on.
    if (!SetWindowRgn(window, region.get(), FALSE)) {
        return false;
    }
    region.release();
    return true;
}

}  // namespace tarpon::projector
