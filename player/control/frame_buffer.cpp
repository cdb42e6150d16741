#include "player/control/frame_buffer.h"

namespace tarpon::player {

bool FrameBuffer::resize(int width, int height) {
    if (width == m_width && height == m_height && m_dc != nullptr) {
        return true;
    }
    reset();
    if (width <= 0 || height <= 0 || width > max_side || height > max_side) {
        return false;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (m_bitmap == nullptr || bits == nullptr) {
        reset();
        return false;
    }
    m_dc = CreateCompatibleDC(nullptr);
    if (m_dc == nullptr) {
        reset();
        return false;
    }
    m_previous = SelectObject(m_dc, m_bitmap);
    m_pixels = static_cast<uint32_t*>(bits);
    m_width = width;
    m_height = height;
    return true;
}

void FrameBuffer::reset() {
    if (m_dc != nullptr) {
        if (m_previous != nullptr) {
            SelectObject(m_dc, m_previous);
        }
        DeleteDC(m_dc);
    }
    if (m_bitmap != nullptr) {
        DeleteObject(m_bitmap);
    }
    m_dc = nullptr;
    m_bitmap = nullptr;
    m_previous = nullptr;
    m_pixels = nullptr;
    m_width = 0;
    m_height = 0;
}

} // namespace tarpon::player
