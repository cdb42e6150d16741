// Drawing: the movie mapped onto an area by scale mode, alignment and zoom, and the view-object
// interface that draws the current frame into any device context (the container builds window
// shapes from such pictures).
#include "player/control/player_control.h"

namespace tarpon::player {

swf::Matrix PlayerControl::view_for(int width, int height) const {
    if (!m_player.loaded()) {
        return {};
    }
    swf::Rect zoom = m_zoom.value_or(swf::Rect{});
    return swf::view_matrix(m_player.frame_rect(), width, height, static_cast<swf::ScaleMode>(m_scale_mode),
                            m_align_mode, m_zoom ? &zoom : nullptr);
}

void PlayerControl::draw_frame(FrameBuffer& buffer, int32_t background) const {
    swf::Canvas canvas = buffer.canvas();
    if (m_player.loaded()) {
        m_player.render(canvas, view_for(canvas.width, canvas.height), background);
        return;
    }
    const uint32_t pixel = 0xFF000000u | (background < 0 ? 0xFFFFFFu : static_cast<uint32_t>(background));
    for (int y = 0; y < canvas.height; ++y) {
        uint32_t* row = canvas.pixels + static_cast<size_t>(y) * canvas.stride;
        for (int x = 0; x < canvas.width; ++x) {
            row[x] = pixel;
        }
    }
}

HRESULT PlayerControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC draw_dc, LPCRECTL bounds,
                            LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT) {
        return DV_E_DVASPECT;
    }
    if (draw_dc == nullptr) {
        return E_INVALIDARG;
    }
    RECTL area{};
    if (bounds != nullptr) {
        area = *bounds;
    } else {
        // Without bounds the control draws itself as its window shows it.
        RECT client{};
        if (m_window == nullptr || !GetClientRect(m_window, &client)) {
            return E_INVALIDARG;
        }
        area = {client.left, client.top, client.right, client.bottom};
    }
    const LONGLONG width = static_cast<LONGLONG>(area.right) - area.left;
    const LONGLONG height = static_cast<LONGLONG>(area.bottom) - area.top;
    if (width < 0 || height < 0 || width > FrameBuffer::max_side || height > FrameBuffer::max_side) {
        return E_INVALIDARG;
    }
    if (width == 0 || height == 0) {
        return S_OK;
    }
    FrameBuffer buffer;
    if (!buffer.resize(static_cast<int>(width), static_cast<int>(height))) {
        return E_OUTOFMEMORY;
    }
    draw_frame(buffer, background_override());
    if (!BitBlt(draw_dc, area.left, area.top, static_cast<int>(width), static_cast<int>(height), buffer.dc(),
                0, 0, SRCCOPY)) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT PlayerControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
    if (colors == nullptr) {
        return E_POINTER;
    }
    *colors = nullptr;
    return S_FALSE; // true colour: no palette
}

HRESULT PlayerControl::Freeze(DWORD, LONG, void*, DWORD* freeze) {
    if (freeze != nullptr) {
        *freeze = 0;
    }
    return E_NOTIMPL;
}

HRESULT PlayerControl::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT PlayerControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    if (sink != nullptr) {
        sink->AddRef();
    }
    if (m_view_sink != nullptr) {
        m_view_sink->Release();
    }
    m_view_sink = sink;
    m_view_aspects = aspects;
    m_view_flags = flags;
    return S_OK;
}

HRESULT PlayerControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects != nullptr) {
        *aspects = m_view_aspects;
    }
    if (flags != nullptr) {
        *flags = m_view_flags;
    }
    if (sink != nullptr) {
        *sink = m_view_sink;
        if (m_view_sink != nullptr) {
            m_view_sink->AddRef();
        }
    }
    return S_OK;
}

HRESULT PlayerControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

} // namespace tarpon::player
