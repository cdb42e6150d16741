// In-place activation: the control's child window inside the container's window, its position and
// clipping, and the small active-object and control interfaces.
#include "player/control/player_control.h"

namespace tarpon::player {

namespace {

template <typename T> void release(T*& pointer) {
    if (pointer != nullptr) {
        pointer->Release();
        pointer = nullptr;
    }
}

} // namespace

HRESULT PlayerControl::in_place_activate(IOleClientSite* site, HWND parent, LPCRECT position,
                                         bool ui_activate) {
    if (m_window == nullptr) {
        IOleClientSite* client = site != nullptr ? site : m_client_site;
        IOleInPlaceSite* in_place = nullptr;
        if (client != nullptr) {
            client->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&in_place));
        }
        if (in_place != nullptr) {
            if (in_place->CanInPlaceActivate() != S_OK) {
                in_place->Release();
                return E_FAIL;
            }
            in_place->OnInPlaceActivate();
        }
        HWND parent_window = nullptr;
        if (in_place == nullptr || FAILED(in_place->GetWindow(&parent_window)) || parent_window == nullptr) {
            parent_window = parent;
        }
        RECT where = position != nullptr ? *position : m_position;
        if (in_place != nullptr) {
            IOleInPlaceFrame* frame = nullptr;
            IOleInPlaceUIWindow* document = nullptr;
            RECT site_position{};
            RECT clip{};
            OLEINPLACEFRAMEINFO info{};
            info.cb = sizeof(info);
            if (SUCCEEDED(in_place->GetWindowContext(&frame, &document, &site_position, &clip, &info))) {
                if (position == nullptr) {
                    where = site_position;
                }
            }
            // The document window may be null; the control has no use for it either way.
            release(document);
            release(m_frame);
            m_frame = frame;
        }
        if (parent_window == nullptr || !IsWindow(parent_window)) {
            if (in_place != nullptr) {
                in_place->OnInPlaceDeactivate();
                in_place->Release();
            }
            release(m_frame);
            return E_UNEXPECTED;
        }
        release(m_in_place_site);
        m_in_place_site = in_place;
        m_position = where;
        if (!create_window(parent_window, where)) {
            InPlaceDeactivate();
            return E_OUTOFMEMORY;
        }
    } else if (position != nullptr) {
        SetObjectRects(position, position);
    }
    ShowWindow(m_window, SW_SHOWNA);
    if (ui_activate && !m_ui_active) {
        m_ui_active = true;
        if (m_in_place_site != nullptr) {
            m_in_place_site->OnUIActivate();
        }
        if (m_frame != nullptr) {
            m_frame->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), nullptr);
        }
        SetFocus(m_window);
    }
    return S_OK;
}

HRESULT PlayerControl::GetWindow(HWND* window) {
    if (window == nullptr) {
        return E_POINTER;
    }
    *window = m_window;
    return m_window != nullptr ? S_OK : E_FAIL;
}

HRESULT PlayerControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT PlayerControl::InPlaceDeactivate() {
    UIDeactivate();
    destroy_window();
    if (m_in_place_site != nullptr) {
        IOleInPlaceSite* site = m_in_place_site;
        m_in_place_site = nullptr;
        site->OnInPlaceDeactivate();
        site->Release();
    }
    release(m_frame);
    return S_OK;
}

HRESULT PlayerControl::UIDeactivate() {
    if (!m_ui_active) {
        return S_OK;
    }
    m_ui_active = false;
    if (m_frame != nullptr) {
        m_frame->SetActiveObject(nullptr, nullptr);
    }
    if (m_in_place_site != nullptr) {
        m_in_place_site->OnUIDeactivate(FALSE);
    }
    return S_OK;
}

HRESULT PlayerControl::SetObjectRects(LPCRECT position, LPCRECT clip) {
    if (position == nullptr) {
        return E_POINTER;
    }
    // Hosts may call this before the window exists: the position is kept for the window to come.
    m_position = *position;
    if (m_window == nullptr) {
        return S_OK;
    }
    const int width = position->right - position->left;
    const int height = position->bottom - position->top;
    SetWindowPos(m_window, nullptr, position->left, position->top, width > 0 ? width : 0,
                 height > 0 ? height : 0, SWP_NOZORDER | SWP_NOACTIVATE);
    // The part outside the clip rectangle is hidden (in window coordinates).
    RECT visible{};
    if (clip != nullptr && IntersectRect(&visible, position, clip) && !EqualRect(&visible, position)) {
        HRGN region = CreateRectRgn(visible.left - position->left, visible.top - position->top,
                                    visible.right - position->left, visible.bottom - position->top);
        if (SetWindowRgn(m_window, region, TRUE) == 0 && region != nullptr) {
            DeleteObject(region);
        }
    } else {
        SetWindowRgn(m_window, nullptr, TRUE);
    }
    return S_OK;
}

HRESULT PlayerControl::ReactivateAndUndo() { return E_NOTIMPL; }

HRESULT PlayerControl::TranslateAccelerator(LPMSG) { return S_FALSE; }

HRESULT PlayerControl::OnFrameWindowActivate(BOOL) { return S_OK; }

HRESULT PlayerControl::OnDocWindowActivate(BOOL) { return S_OK; }

HRESULT PlayerControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }

HRESULT PlayerControl::EnableModeless(BOOL) { return S_OK; }

HRESULT PlayerControl::GetControlInfo(CONTROLINFO* info) {
    if (info == nullptr) {
        return E_POINTER;
    }
    return E_NOTIMPL;
}

HRESULT PlayerControl::OnMnemonic(MSG*) { return S_OK; }

HRESULT PlayerControl::OnAmbientPropertyChange(DISPID) { return S_OK; }

HRESULT PlayerControl::FreezeEvents(BOOL freeze) {
    if (freeze) {
        ++m_frozen_events;
    } else if (m_frozen_events > 0) {
        --m_frozen_events;
    }
    return S_OK;
}

} // namespace tarpon::player
