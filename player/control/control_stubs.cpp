// The connection point container and the small class-information and persistence interfaces.
// The control keeps no persistent state of its own: it saves nothing and loads nothing, and the
// type information lives in no embedded type library.
#include "player/control/guids.h"
#include "player/control/player_control.h"

namespace tarpon::player {

HRESULT PlayerControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points != nullptr) {
        *points = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT PlayerControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    if (point == nullptr) {
        return E_POINTER;
    }
    *point = nullptr;
    if (!IsEqualIID(iid, diid_shockwave_flash_events) && !IsEqualIID(iid, IID_IDispatch)) {
        return CONNECT_E_NOCONNECTION;
    }
    m_events.AddRef();
    *point = &m_events;
    return S_OK;
}

HRESULT PlayerControl::GetClassInfo(ITypeInfo** info) {
    if (info != nullptr) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT PlayerControl::GetGUID(DWORD kind, GUID* guid) {
    if (guid == nullptr) {
        return E_POINTER;
    }
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID_NULL;
        return E_INVALIDARG;
    }
    *guid = diid_shockwave_flash_events;
    return S_OK;
}

HRESULT PlayerControl::GetClassID(CLSID* clsid) { return GetUserClassID(clsid); }

HRESULT PlayerControl::IsDirty() { return S_FALSE; }

HRESULT PlayerControl::Load(LPSTREAM stream) { return stream != nullptr ? S_OK : E_POINTER; }

HRESULT PlayerControl::Save(LPSTREAM stream, BOOL) { return stream != nullptr ? S_OK : E_POINTER; }

HRESULT PlayerControl::GetSizeMax(ULARGE_INTEGER* size) {
    if (size == nullptr) {
        return E_POINTER;
    }
    size->QuadPart = 0;
    return S_OK;
}

HRESULT PlayerControl::InitNew() { return S_OK; }

} // namespace tarpon::player
