#include "projector/player_host/control_site.h"

#include <olectl.h>

#include "platform/wide_text.h"

namespace tarpon::projector {

// The sink of one event dispinterface: hands each event to the owner's handler while the owner is
// there; a control that fires after the owner let go reaches nothing.
class EventSink final : public platform::DispatchObject {
public:
    EventSink(const IID& events, ControlSite::EventHandler* handler) : DispatchObject(events), m_handler(handler) {}

    void detach() { m_handler = nullptr; }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        if (m_handler != nullptr && *m_handler && params != nullptr) {
            AddRef();  // the handler may end the control and with it this sink's last reference
            (*m_handler)(id, *params);
            Release();
        }
        return S_OK;
    }

private:
    ~EventSink() override = default;
    ControlSite::EventHandler* m_handler;
};

// The site object the control talks to: client site, in-place site and frame, and the ambient
// properties. It outlives its owner when the control keeps a reference; then it answers without it.
class SiteObject final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame, public IDispatch {
public:
    explicit SiteObject(ControlSite* owner) : m_owner(owner) {}

    void detach() {
        m_owner = nullptr;
        set_active(nullptr);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
            *object = static_cast<IOleClientSite*>(this);
        } else if (IsEqualIID(iid, IID_IOleInPlaceSite) || IsEqualIID(iid, IID_IOleWindow)) {
            *object = static_cast<IOleInPlaceSite*>(this);
        } else if (IsEqualIID(iid, IID_IOleInPlaceFrame) || IsEqualIID(iid, IID_IOleInPlaceUIWindow)) {
            *object = static_cast<IOleInPlaceFrame*>(this);
        } else if (IsEqualIID(iid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --m_references;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker != nullptr) {
            *moniker = nullptr;
        }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
        if (container != nullptr) {
            *container = nullptr;
        }
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (the site's and the frame's): the parent window.
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (window == nullptr) {
            return E_POINTER;
        }
        *window = m_owner != nullptr ? m_owner->m_parent : nullptr;
        return *window != nullptr ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return m_owner != nullptr ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr || info == nullptr) {
            return E_POINTER;
        }
        *frame = nullptr;
        *document = nullptr;  // no document window between the frame and the control
        if (m_owner == nullptr) {
            return E_FAIL;
        }
        AddRef();
        *frame = this;
        *position = m_owner->m_rectangle;
        if (!GetClientRect(m_owner->m_parent, clip)) {
            *clip = *position;
        }
        info->fMDIApp = FALSE;
        info->hwndFrame = m_owner->m_parent;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT rectangle) override {
        if (m_owner != nullptr && rectangle != nullptr) {
            m_owner->move(*rectangle);
        }
        return S_OK;
    }

    // IOleInPlaceUIWindow, IOleInPlaceFrame: no tool space, menus or status line.
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
        set_active(object);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDispatch: the ambient properties. The control runs in user mode; every other ambient is the
    // control's own default.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
        if (id == DISPID_AMBIENT_USERMODE && (flags & DISPATCH_PROPERTYGET) != 0 && result != nullptr) {
            VariantInit(result);
            result->vt = VT_BOOL;
            result->boolVal = VARIANT_TRUE;
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    ~SiteObject() { set_active(nullptr); }
    void set_active(IOleInPlaceActiveObject* object) {
        if (object != nullptr) {
            object->AddRef();
        }
        if (m_active != nullptr) {
            m_active->Release();
        }
        m_active = object;
    }

    ControlSite* m_owner;
    ULONG m_references = 1;
    IOleInPlaceActiveObject* m_active = nullptr;
};

ControlSite::ControlSite() = default;

ControlSite::~ControlSite() { destroy(); }

void ControlSite::set_event_sink(const IID& events, EventHandler handler) {
    m_events_iid = events;
    m_event_handler = std::move(handler);
}

HRESULT ControlSite::create(IUnknown* control, HWND parent, int id, const RECT& rectangle) {
    destroy();
    if (control == nullptr || parent == nullptr || !IsWindow(parent)) {
        return E_INVALIDARG;
    }
    m_parent = parent;
    m_rectangle = rectangle;
    control->AddRef();
    m_object = ComPtr<IUnknown>(control);
    m_ole = m_object.query<IOleObject>(IID_IOleObject);
    if (!m_ole) {
        destroy();
        return E_NOINTERFACE;
    }
    m_site = new SiteObject(this);
    HRESULT status = m_ole->SetClientSite(static_cast<IOleClientSite*>(m_site));
    if (FAILED(status)) {
        destroy();
        return status;
    }
    // Connected before activation: a control may fire as soon as it runs.
    if (m_event_handler) {
        if (auto container = m_object.query<IConnectionPointContainer>(IID_IConnectionPointContainer)) {
            if (SUCCEEDED(container->FindConnectionPoint(m_events_iid, m_point.put()))) {
                m_sink = new EventSink(m_events_iid, &m_event_handler);
                if (FAILED(m_point->Advise(static_cast<IDispatch*>(m_sink), &m_cookie))) {
                    m_cookie = 0;
                }
            }
        }
    }
    RECT position = rectangle;
    status = m_ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(m_site), 0, parent,
                           &position);
    if (FAILED(status)) {
        destroy();
        return status;
    }
    m_in_place = m_object.query<IOleInPlaceObject>(IID_IOleInPlaceObject);
    HWND window = nullptr;
    if (!m_in_place || FAILED(m_in_place->GetWindow(&window)) || window == nullptr || !IsWindow(window)) {
        destroy();
        return E_FAIL;  // a control without a window of its own cannot be placed
    }
    m_window = window;
    SetWindowLongPtrW(window, GWLP_ID, static_cast<LONG_PTR>(id));
    if (!IsWindowVisible(window)) {
        ShowWindow(window, SW_SHOWNA);
    }
    return S_OK;
}

void ControlSite::destroy() {
    if (m_point) {
        if (m_cookie != 0) {
            m_point->Unadvise(m_cookie);
        }
        m_point.reset();
    }
    m_cookie = 0;
    if (m_sink != nullptr) {
        m_sink->detach();
        m_sink->Release();
        m_sink = nullptr;
    }
    if (m_in_place) {
        m_in_place->InPlaceDeactivate();
        m_in_place.reset();
    }
    if (m_ole) {
        m_ole->Close(OLECLOSE_NOSAVE);
        m_ole->SetClientSite(nullptr);
        m_ole.reset();
    }
    m_object.reset();
    if (m_site != nullptr) {
        m_site->detach();
        m_site->Release();
        m_site = nullptr;
    }
    // A control that keeps its window after closing still must not leave it in the parent.
    if (m_window != nullptr && IsWindow(m_window) && GetParent(m_window) == m_parent) {
        DestroyWindow(m_window);
    }
    m_window = nullptr;
    m_parent = nullptr;
}

void ControlSite::move(const RECT& rectangle) {
    m_rectangle = rectangle;
    if (m_in_place) {
        RECT clip;
        if (!GetClientRect(m_parent, &clip)) {
            clip = rectangle;
        }
        m_in_place->SetObjectRects(&rectangle, &clip);
    }
    // Whatever the control did with the rectangles, its window covers it.
    if (m_window != nullptr && IsWindow(m_window)) {
        RECT now;
        GetWindowRect(m_window, &now);
        MapWindowPoints(nullptr, m_parent, reinterpret_cast<POINT*>(&now), 2);
        if (!EqualRect(&now, &rectangle)) {
            MoveWindow(m_window, rectangle.left, rectangle.top, rectangle.right - rectangle.left,
                       rectangle.bottom - rectangle.top, TRUE);
        }
    }
}

HRESULT create_control_object(const CLSID& clsid, IClassFactory* factory, const std::wstring& licence_key,
                              ComPtr<IUnknown>& object) {
    object.reset();
    if (factory == nullptr) {
        return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                object.put_void());
    }
    if (!licence_key.empty()) {
        ComPtr<IClassFactory2> licensed;
        if (SUCCEEDED(factory->QueryInterface(IID_IClassFactory2, licensed.put_void())) && licensed) {
            BSTR key = SysAllocStringLen(licence_key.data(), static_cast<UINT>(licence_key.size()));
            if (key == nullptr) {
                return E_OUTOFMEMORY;
            }
            HRESULT status = licensed->CreateInstanceLic(nullptr, nullptr, IID_IUnknown, key, object.put_void());
            SysFreeString(key);
            return status;
        }
    }
    return factory->CreateInstance(nullptr, IID_IUnknown, object.put_void());
}

std::optional<std::wstring> event_string(const VARIANT& argument) {
    BSTR text = nullptr;
    if (argument.vt == VT_BSTR) {
        text = argument.bstrVal;
    } else if (argument.vt == (VT_BSTR | VT_BYREF) && argument.pbstrVal != nullptr) {
        text = *argument.pbstrVal;
    }
    if (text == nullptr) {
        return std::nullopt;
    }
    return std::wstring(text, SysStringLen(text));
}

std::optional<std::pair<std::string, std::string>> fs_command_of(const DISPPARAMS& params) {
    if (params.cArgs < 2 || params.rgvarg == nullptr) {
        return std::nullopt;
    }
    // Arguments arrive last first: [1] is the command, [0] its arguments.
    std::optional<std::wstring> command = event_string(params.rgvarg[1]);
    if (!command) {
        return std::nullopt;
    }
    std::optional<std::wstring> arguments = event_string(params.rgvarg[0]);
    return std::pair{platform::wide_to_ansi(*command), platform::wide_to_ansi(arguments.value_or(std::wstring()))};
}

}  // namespace tarpon::projector
