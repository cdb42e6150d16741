#include "test_container.h"

#include <algorithm>

#include "player/control/guids.h"

namespace tarpon::player::test {

using platform::Bstr;

class EventSink final : public IDispatch {
  public:
    RecordedEvents events;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, diid_shockwave_flash_events)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --m_references;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        auto text = [&](UINT index) {
            VARIANT& v = params->rgvarg[index];
            BSTR value = v.vt == VT_BSTR ? v.bstrVal : v.vt == (VT_BSTR | VT_BYREF) ? *v.pbstrVal : nullptr;
            return value != nullptr ? std::wstring(value, SysStringLen(value)) : std::wstring();
        };
        switch (id) {
        case dispid_fs_command:
            if (params->cArgs == 2) {
                events.fs_commands.push_back({text(1), text(0)});
                if (events.on_fs_command) {
                    events.on_fs_command(events.fs_commands.back());
                }
            }
            return S_OK;
        case dispid_on_ready_state_change:
            if (params->cArgs == 1 && params->rgvarg[0].vt == VT_I4) {
                events.ready_states.push_back(params->rgvarg[0].lVal);
            }
            return S_OK;
        case dispid_on_progress:
            if (params->cArgs == 1 && params->rgvarg[0].vt == VT_I4) {
                events.progress.push_back(params->rgvarg[0].lVal);
            }
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

  private:
    ULONG m_references = 1;
};

class Site final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
  public:
    explicit Site(HWND window) : m_window(window) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
            *object = static_cast<IOleClientSite*>(this);
        } else if (IsEqualIID(iid, IID_IOleInPlaceSite) || IsEqualIID(iid, IID_IOleWindow)) {
            *object = static_cast<IOleInPlaceSite*>(this);
        } else if (IsEqualIID(iid, IID_IOleInPlaceFrame) || IsEqualIID(iid, IID_IOleInPlaceUIWindow)) {
            *object = static_cast<IOleInPlaceFrame*>(this);
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
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
        *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        *window = m_window;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override {
        ++in_place_activations;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               LPRECT position, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO info) override {
        AddRef();
        *frame = this;
        *document = nullptr; // no document window, as plain containers have none
        GetClientRect(m_window, position);
        *clip = *position;
        info->fMDIApp = FALSE;
        info->hwndFrame = m_window;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
        ++in_place_deactivations;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow, IOleInPlaceFrame
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
        if (object != nullptr) {
            object->AddRef();
        }
        if (m_active != nullptr) {
            m_active->Release();
        }
        m_active = object;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    int in_place_activations = 0;
    int in_place_deactivations = 0;

  private:
    ~Site() {
        if (m_active != nullptr) {
            m_active->Release();
        }
    }
    HWND m_window;
    ULONG m_references = 1;
    IOleInPlaceActiveObject* m_active = nullptr;
};

namespace {

const wchar_t host_class[] = L"TarponPlayerTestHost";

void register_host_class() {
    static bool done = false;
    if (done) {
        return;
    }
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = host_class;
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RegisterClassW(&window_class);
    done = true;
}

std::vector<uint32_t> read_pixels(HDC source, int x, int y, int width, int height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
    const auto* data = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = data[i] & 0xFFFFFF;
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return pixels;
}

} // namespace

HMODULE player_library() {
    static HMODULE library = [] {
        wchar_t path[MAX_PATH];
        DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring folder(path, length);
        folder.erase(folder.find_last_of(L"\\/") + 1);
        return LoadLibraryW((folder + L"tarpon-player.dll").c_str());
    }();
    return library;
}

ComPtr<IClassFactory> player_factory(HRESULT* status) {
    ComPtr<IClassFactory> factory;
    HRESULT result = E_FAIL;
    if (HMODULE library = player_library()) {
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        auto get = library_export<GetClassObject>(library, "DllGetClassObject");
        result = get != nullptr ? get(clsid_shockwave_flash, IID_IClassFactory, factory.put_void())
                                : CO_E_ERRORINDLL;
    } else {
        result = REGDB_E_CLASSNOTREG;
    }
    if (status != nullptr) {
        *status = result;
    }
    return factory;
}

Container::Container(int width, int height) : m_width(width), m_height(height) {
    register_host_class();
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, WS_POPUP, FALSE, WS_EX_TOPMOST);
    m_host = CreateWindowExW(WS_EX_TOPMOST, host_class, L"Player test",
                             WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, frame.right - frame.left,
                             frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ComPtr<IClassFactory> factory = player_factory();
    if (m_host == nullptr || !factory) {
        return;
    }
    if (FAILED(factory->CreateInstance(nullptr, iid_shockwave_flash, m_flash.put_void()))) {
        return;
    }
    m_ole = m_flash.query<IOleObject>(IID_IOleObject);
    m_site = new Site(m_host);
    m_sink = new EventSink;
    m_ole->SetClientSite(m_site);
    auto container = m_flash.query<IConnectionPointContainer>(IID_IConnectionPointContainer);
    if (container && SUCCEEDED(container->FindConnectionPoint(diid_shockwave_flash_events, m_point.put()))) {
        m_point->Advise(static_cast<IDispatch*>(m_sink), &m_cookie);
    }
    RECT client{0, 0, width, height};
    m_ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, m_site, 0, m_host, &client);
    UpdateWindow(m_host);
    pump(20);
}

Container::~Container() {
    if (m_point && m_cookie != 0) {
        m_point->Unadvise(m_cookie);
    }
    m_point.reset();
    if (m_ole) {
        if (auto in_place = m_ole.query<IOleInPlaceObject>(IID_IOleInPlaceObject)) {
            in_place->InPlaceDeactivate();
        }
        m_ole->Close(OLECLOSE_NOSAVE);
        m_ole->SetClientSite(nullptr);
    }
    m_ole.reset();
    m_flash.reset();
    if (m_sink != nullptr) {
        m_sink->Release();
    }
    if (m_site != nullptr) {
        m_site->Release();
    }
    if (m_host != nullptr) {
        DestroyWindow(m_host);
    }
    pump(0);
}

HWND Container::control_window() const {
    if (!m_flash) {
        return nullptr;
    }
    HWND window = nullptr;
    if (auto in_place = m_flash.query<IOleInPlaceObject>(IID_IOleInPlaceObject)) {
        in_place->GetWindow(&window);
    }
    return window;
}

RecordedEvents& Container::events() { return m_sink->events; }

HRESULT Container::load(const std::wstring& path) {
    Bstr movie(path.c_str());
    return m_flash->put_Movie(movie.get());
}

void Container::resize(int width, int height) {
    m_width = width;
    m_height = height;
    SetWindowPos(m_host, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    RECT client{0, 0, width, height};
    if (auto in_place = m_flash.query<IOleInPlaceObject>(IID_IOleInPlaceObject)) {
        in_place->SetObjectRects(&client, &client);
    }
    pump(20);
}

void Container::pump(int ms) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(std::max(ms, 0));
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (GetTickCount64() >= end) {
            break;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (true);
}

bool Container::wait_for(const std::function<bool()>& condition, int timeout_ms) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
    while (!condition()) {
        if (GetTickCount64() >= end) {
            return condition();
        }
        pump(5);
    }
    return true;
}

std::vector<uint32_t> Container::screenshot() const {
    HWND window = control_window();
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    pump(10);
    HDC dc = GetDC(window);
    std::vector<uint32_t> pixels = read_pixels(dc, 0, 0, m_width, m_height);
    ReleaseDC(window, dc);
    return pixels;
}

uint32_t Container::screen_pixel(int x, int y) const {
    return screenshot()[static_cast<size_t>(y) * m_width + x];
}

std::vector<uint32_t> Container::view_draw(int width, int height, HRESULT* status) const {
    auto view = m_flash.query<IViewObject2>(IID_IViewObject2);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    RECTL bounds{0, 0, width, height};
    HRESULT result = view ? view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory, &bounds,
                                       nullptr, nullptr, 0)
                          : E_NOINTERFACE;
    GdiFlush();
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    const auto* data = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = data[i] & 0xFFFFFF;
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(bitmap);
    if (status != nullptr) {
        *status = result;
    }
    return pixels;
}

TempFile::TempFile(const std::wstring& name, const std::vector<uint8_t>& bytes) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    // Named for this process too: tests of one program run side by side, each in a process of its
    // own, and one must not remove another's movie.
    m_path = std::wstring(folder) + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
    HANDLE file =
        CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
}

TempFile::~TempFile() { DeleteFileW(m_path.c_str()); }

std::string wait_in_script(host::testing::HostEngine& engine, const std::string& condition) {
    return engine.run("var start = new Date().getTime();\n"
                      "while (!(" + condition + ") && new Date().getTime() - start < 5000) processMsg();\n" +
                      condition);
}

HRESULT invoke_by_name(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> arguments,
                       VARIANT* result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT status = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(status)) {
        return status;
    }
    std::reverse(arguments.begin(), arguments.end());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{arguments.empty() ? nullptr : arguments.data(), nullptr,
                      static_cast<UINT>(arguments.size()), 0};
    if ((flags & DISPATCH_PROPERTYPUT) != 0) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    UINT argument_error = 0;
    status =
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, &argument_error);
    for (VARIANT& argument : arguments) {
        VariantClear(&argument);
    }
    return status;
}

VARIANT long_variant(long value) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT text_variant(const wchar_t* value) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(value);
    return v;
}

} // namespace tarpon::player::test
