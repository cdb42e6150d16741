// A 32-bit top-down DIB section selected into a memory device context: the control draws each frame
// into it and copies it to the screen or to a caller's device context in one blit.
#pragma once

#include "platform/windows.h"

#include <cstdint>

#include "player/swf/movie_player.h"

namespace tarpon::player {

class FrameBuffer {
  public:
    // Sizes beyond this are refused: a caller's bounds never drive an unbounded allocation.
    static constexpr int max_side = 16384;

    FrameBuffer() = default;
    FrameBuffer(const FrameBuffer&) = delete;
    FrameBuffer& operator=(const FrameBuffer&) = delete;
    ~FrameBuffer() { reset(); }

    // Makes the buffer exactly width x height (kept when it already is). False when the size is
    // empty or too large, or the system has no memory for it.
    bool resize(int width, int height);
    void reset();

    swf::Canvas canvas() const { return {m_pixels, m_width, m_height, m_width}; }
    HDC dc() const { return m_dc; }
    int width() const { return m_width; }
    int height() const { return m_height; }

  private:
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    uint32_t* m_pixels = nullptr;
    int m_width = 0;
    int m_height = 0;
};

} // namespace tarpon::player
