// The transparent window shapes (shape modes 1 and 3), rebuilt whenever the player control paints:
// the control draws itself through its view object into 32-bit bitmaps the size of the client area,
// and the opaque pixels become the window region (shape_scan.h).
//
//   TransparentShape shape;
//   shape.reshape(main_window, mode, view, flash, movie_background, update);  // before the control paints
//   shape.release();  // on every size change and when the window closes
#pragma once

#include <cstdint>

#include "platform/windows.h"
#include "player/control/shockwave_flash.h"

#include <oleidl.h>

namespace tarpon::projector {

class TransparentShape {
public:
    TransparentShape() = default;
    ~TransparentShape() { release(); }
    TransparentShape(const TransparentShape&) = delete;
    TransparentShape& operator=(const TransparentShape&) = delete;

    // Draws the control (which fills `window`'s client area) and sets `window`'s region from what
    // it drew. Mode 1: pixels of the control's BackgroundColor, or the movie's own background when
    // that is -1, are transparent; no region when both are -1. Mode 3: the control is drawn on
    // white and on black (its colour is put back after), and pixels that were white, then black
    // are transparent. With an `update` rectangle (client coordinates) only that part is drawn
    // and scanned, and the region outside it stays as it was. True when a region was set (or
    // the one set is the same); false leaves the previous region in place.
    bool reshape(HWND window, int mode, IViewObject* view, player::IShockwaveFlash* flash, int32_t movie_background,
                 const RECT* update);

    // Frees the bitmaps and their device contexts; the next reshape makes them again.
    void release();

    // How many bitmaps are held (0, 1 or 2).
    int bitmap_count() const;

private:
    struct Surface {
        HDC dc = nullptr;
        HBITMAP bitmap = nullptr;
        HGDIOBJ previous = nullptr;
        uint32_t* bits = nullptr;
    };
    bool prepare(int count, SIZE size);
    static bool draw(IViewObject* view, const Surface& surface, SIZE size, const RECT& clip);

    Surface m_surfaces[2];
    SIZE m_size{0, 0};
};

}  // namespace tarpon::projector
