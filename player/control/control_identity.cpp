// The control's identity: construction, reference counting and the one QueryInterface that maps
// every interface to the same object.
#include <new>

#include "player/control/guids.h"
#include "player/control/player_control.h"

namespace tarpon::player {

namespace {

// The extent of a control without a movie: 550 x 400 pixels at 96 dots per inch, in HIMETRIC.
constexpr LONG default_width_himetric = 550 * 2540 / 96;
constexpr LONG default_height_himetric = 400 * 2540 / 96;

} // namespace

PlayerControl::PlayerControl()
    : m_events(static_cast<IConnectionPointContainer*>(this)),
      m_player(
          swf::MoviePlayer::Events{[this](const std::string& command, const std::string& argument) {
                                       fire_fs_command(command, argument);
                                   },
                                   [this](const std::string& url, const std::string&) { open_url(url); }}) {
    m_extent = {default_width_himetric, default_height_himetric};
}

PlayerControl::~PlayerControl() {
    destroy_window();
    m_events.release_all();
    if (m_view_sink != nullptr) {
        m_view_sink->Release();
    }
    if (m_advise_holder != nullptr) {
        m_advise_holder->Release();
    }
    if (m_frame != nullptr) {
        m_frame->Release();
    }
    if (m_in_place_site != nullptr) {
        m_in_place_site->Release();
    }
    if (m_client_site != nullptr) {
        m_client_site->Release();
    }
}

HRESULT PlayerControl::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    void* found = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, iid_shockwave_flash)) {
        found = static_cast<IShockwaveFlash*>(this);
    } else if (IsEqualIID(iid, IID_IOleObject)) {
        found = static_cast<IOleObject*>(this);
    } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject)) {
        found = static_cast<IOleInPlaceObject*>(this);
    } else if (IsEqualIID(iid, IID_IOleInPlaceActiveObject)) {
        found = static_cast<IOleInPlaceActiveObject*>(this);
    } else if (IsEqualIID(iid, IID_IOleControl)) {
        found = static_cast<IOleControl*>(this);
    } else if (IsEqualIID(iid, IID_IViewObject) || IsEqualIID(iid, IID_IViewObject2)) {
        found = static_cast<IViewObject2*>(this);
    } else if (IsEqualIID(iid, IID_IConnectionPointContainer)) {
        found = static_cast<IConnectionPointContainer*>(this);
    } else if (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2)) {
        found = static_cast<IProvideClassInfo2*>(this);
    } else if (IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IPersistStreamInit)) {
        found = static_cast<IPersistStreamInit*>(this);
    }
    *object = found;
    if (found == nullptr) {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG PlayerControl::AddRef() { return ++m_references; }

ULONG PlayerControl::Release() {
    ULONG left = --m_references;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT create_player_control(IUnknown* outer, REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    auto* control = new (std::nothrow) PlayerControl;
    if (control == nullptr) {
        return E_OUTOFMEMORY;
    }
    HRESULT result = control->QueryInterface(iid, object);
    control->Release();
    return result;
}

} // namespace tarpon::player
