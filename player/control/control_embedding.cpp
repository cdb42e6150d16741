// Embedding: the client site, verbs, extent, advise sinks and status bits the container reads
// before it activates the control in place.
#include "player/control/guids.h"
#include "player/control/player_control.h"

namespace tarpon::player {

HRESULT PlayerControl::SetClientSite(IOleClientSite* site) {
    if (site != nullptr) {
        site->AddRef();
    }
    if (m_client_site != nullptr) {
        m_client_site->Release();
    }
    m_client_site = site;
    return S_OK;
}

HRESULT PlayerControl::GetClientSite(IOleClientSite** site) {
    if (site == nullptr) {
        return E_POINTER;
    }
    *site = m_client_site;
    if (m_client_site != nullptr) {
        m_client_site->AddRef();
    }
    return S_OK;
}

HRESULT PlayerControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT PlayerControl::Close(DWORD) {
    // The object stays usable: a later DoVerb activates it again.
    InPlaceDeactivate();
    if (m_advise_holder != nullptr) {
        m_advise_holder->SendOnClose();
    }
    return S_OK;
}

HRESULT PlayerControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

HRESULT PlayerControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker != nullptr) {
        *moniker = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT PlayerControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

HRESULT PlayerControl::GetClipboardData(DWORD, IDataObject** data) {
    if (data != nullptr) {
        *data = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT PlayerControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT position) {
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
        return in_place_activate(site, parent, position, false);
    case OLEIVERB_UIACTIVATE:
        return in_place_activate(site, parent, position, true);
    case OLEIVERB_HIDE:
        if (m_window != nullptr) {
            ShowWindow(m_window, SW_HIDE);
        }
        return S_OK;
    case OLEIVERB_OPEN:
    case OLEIVERB_DISCARDUNDOSTATE:
        return E_NOTIMPL;
    default:
        return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
    }
}

HRESULT PlayerControl::EnumVerbs(IEnumOLEVERB** verbs) {
    if (verbs != nullptr) {
        *verbs = nullptr;
    }
    return OLE_S_USEREG;
}

HRESULT PlayerControl::Update() { return S_OK; }

HRESULT PlayerControl::IsUpToDate() { return S_OK; }

HRESULT PlayerControl::GetUserClassID(CLSID* clsid) {
    if (clsid == nullptr) {
        return E_POINTER;
    }
    *clsid = clsid_shockwave_flash;
    return S_OK;
}

HRESULT PlayerControl::GetUserType(DWORD, LPOLESTR* type) {
    if (type != nullptr) {
        *type = nullptr;
    }
    return OLE_S_USEREG;
}

HRESULT PlayerControl::SetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) {
        return DV_E_DVASPECT;
    }
    if (size == nullptr) {
        return E_POINTER;
    }
    if (size->cx < 0 || size->cy < 0) {
        return E_INVALIDARG;
    }
    m_extent = *size;
    return S_OK;
}

HRESULT PlayerControl::GetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) {
        return DV_E_DVASPECT;
    }
    if (size == nullptr) {
        return E_POINTER;
    }
    *size = m_extent;
    return S_OK;
}

HRESULT PlayerControl::Advise(IAdviseSink* sink, DWORD* connection) {
    if (connection == nullptr) {
        return E_POINTER;
    }
    *connection = 0;
    if (m_advise_holder == nullptr && FAILED(CreateOleAdviseHolder(&m_advise_holder))) {
        m_advise_holder = nullptr;
        return E_OUTOFMEMORY;
    }
    return m_advise_holder->Advise(sink, connection);
}

HRESULT PlayerControl::Unadvise(DWORD connection) {
    if (m_advise_holder == nullptr) {
        return OLE_E_NOCONNECTION;
    }
    return m_advise_holder->Unadvise(connection);
}

HRESULT PlayerControl::EnumAdvise(IEnumSTATDATA** advise) {
    if (advise == nullptr) {
        return E_POINTER;
    }
    *advise = nullptr;
    if (m_advise_holder == nullptr) {
        return S_OK;
    }
    return m_advise_holder->EnumAdvise(advise);
}

HRESULT PlayerControl::GetMiscStatus(DWORD aspect, DWORD* status) {
    if (status == nullptr) {
        return E_POINTER;
    }
    *status = 0;
    if (aspect != DVASPECT_CONTENT) {
        return S_OK;
    }
    *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
              OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
    return S_OK;
}

HRESULT PlayerControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

} // namespace tarpon::player
