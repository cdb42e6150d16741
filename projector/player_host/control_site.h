// A minimal ActiveX container for one control: the client site, the in-place site and frame, the
// ambient properties a control asks its site for, and an optional sink for one event dispinterface.
// It hosts any control object with a window of its own; the player host and the controls scripts
// place over the movie are both built on it.
//
//   ControlSite site;
//   site.set_event_sink(events_iid, [](DISPID id, const DISPPARAMS& params) { ... });
//   ComPtr<IUnknown> object;
//   create_control_object(clsid, nullptr, {}, object);
//   HRESULT status = site.create(object.get(), parent, id, rectangle);
//   site.move(new_rectangle);
//   site.destroy();
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/com.h"
#include "platform/windows.h"

#include <oaidl.h>
#include <ocidl.h>
#include <ole2.h>

namespace tarpon::projector {

using platform::ComPtr;

class SiteObject;
class EventSink;

class ControlSite {
public:
    using EventHandler = std::function<void(DISPID id, const DISPPARAMS& params)>;

    ControlSite();
    ~ControlSite();  // destroys the control (if still there)
    ControlSite(const ControlSite&) = delete;
    ControlSite& operator=(const ControlSite&) = delete;

    // The events of dispinterface `events` go to the handler; set before create().
    void set_event_sink(const IID& events, EventHandler handler);

    // Sites the control object and activates it in place as child `id` of `parent` over the
    // rectangle (client coordinates of the parent), visible. S_OK, or the failing call's status; on
    // failure everything done so far is undone.
    HRESULT create(IUnknown* control, HWND parent, int id, const RECT& rectangle);
    // Disconnects the events, deactivates and closes the control, releases it and makes sure its
    // window is gone. Safe to call twice.
    void destroy();

    bool exists() const { return static_cast<bool>(m_object); }
    HWND window() const { return m_window; }
    IUnknown* object() const { return m_object.get(); }
    template <typename T>
    ComPtr<T> query(REFIID iid) const {
        return m_object.template query<T>(iid);
    }

    // Moves the control over the rectangle (client coordinates of the parent).
    void move(const RECT& rectangle);

private:
    friend class SiteObject;
    HWND m_parent = nullptr;
    HWND m_window = nullptr;
    RECT m_rectangle{};
    ComPtr<IUnknown> m_object;
    ComPtr<IOleObject> m_ole;
    ComPtr<IOleInPlaceObject> m_in_place;
    SiteObject* m_site = nullptr;
    EventSink* m_sink = nullptr;
    IID m_events_iid{};
    EventHandler m_event_handler;
    ComPtr<IConnectionPoint> m_point;
    DWORD m_cookie = 0;
};

// A new control object: from `factory` when given (its licensed creation when `licence_key` is not
// empty and the factory offers it), else from the system's registration of `clsid`.
HRESULT create_control_object(const CLSID& clsid, IClassFactory* factory, const std::wstring& licence_key,
                              ComPtr<IUnknown>& object);

// An event argument that is a string, as BSTRs arrive (by value or by reference); nothing for any
// other type or a null string.
std::optional<std::wstring> event_string(const VARIANT& argument);

// The command and arguments of an FSCommand event (two string arguments, given in reverse order),
// in ANSI text; nothing when the event does not carry a command.
std::optional<std::pair<std::string, std::string>> fs_command_of(const DISPPARAMS& params);

}  // namespace tarpon::projector
