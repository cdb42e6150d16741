#include "projector/player_host/player_host.h"

#include <optional>
#include <utility>
#include <vector>

#include <commctrl.h>

#include "platform/wide_text.h"
#include "player/control/guids.h"
#include "projector/appdata/item_source.h"
#include "projector/player_host/control_site.h"
#include "projector/player_host/movie_header.h"

namespace tarpon::projector {

struct PlayerHost::Impl {
    ControlSite site;
    ComPtr<player::IShockwaveFlash> flash;
    CommandHandler handler;
    PaintHook paint_hook;
    HWND subclassed = nullptr;  // the control window whose painting the hook sees
    int width = 0;
    int height = 0;
    int32_t background = -1;
    int zoom = 0;
    std::string module_path;
    HMODULE released_library = nullptr;  // a load to give back after the control (ModuleLifetime::Control)

    static LRESULT CALLBACK control_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                              UINT_PTR id, DWORD_PTR data);
    void hook_window(HWND window);
    void unhook_window();
};

namespace {
constexpr UINT_PTR paint_subclass_id = 1;
}  // namespace

LRESULT CALLBACK PlayerHost::Impl::control_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                                     UINT_PTR id, DWORD_PTR data) {
    auto* impl = reinterpret_cast<Impl*>(data);
    if (message == WM_PAINT && impl->paint_hook) {
        RECT update{};
        const bool has_update = GetUpdateRect(window, &update, FALSE) && !IsRectEmpty(&update);
        // The hook may change the control's properties, which repaints; it is called from a copy.
        PaintHook hook = impl->paint_hook;
        hook(has_update ? &update : nullptr);
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, control_procedure, id);
        if (impl->subclassed == window) {
            impl->subclassed = nullptr;
        }
    }
    return DefSubclassProc(window, message, wparam, lparam);
}

void PlayerHost::Impl::hook_window(HWND window) {
    unhook_window();
    if (window != nullptr && SetWindowSubclass(window, control_procedure, paint_subclass_id,
                                               reinterpret_cast<DWORD_PTR>(this))) {
        subclassed = window;
    }
}

void PlayerHost::Impl::unhook_window() {
    if (subclassed != nullptr) {
        if (IsWindow(subclassed)) {
            RemoveWindowSubclass(subclassed, control_procedure, paint_subclass_id);
        }
        subclassed = nullptr;
    }
}

namespace {

using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// The player's class factory from the module file, and the library's handle in `loaded`. The
// caller decides when the load is given back: the control's code must stay mapped as long as any
// object of it may live.
HRESULT module_factory(const std::string& module_path, ComPtr<IClassFactory>& factory, HMODULE& loaded) {
    loaded = nullptr;
    HMODULE library = LoadLibraryW(platform::ansi_to_wide(module_path).c_str());
    if (library == nullptr) {
        return REGDB_E_CLASSNOTREG;
    }
    auto get_class_object =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void (*)()>(GetProcAddress(library, "DllGetClassObject")));
    if (get_class_object == nullptr) {
        FreeLibrary(library);  // nothing of it is in use
        return CO_E_ERRORINDLL;
    }
    loaded = library;
    return get_class_object(player::clsid_shockwave_flash, IID_IClassFactory, factory.put_void());
}

// The header of a movie file, plain, compressed, or appended to a stand-alone player.
std::optional<MovieHeader> measure_movie_file(const std::string& path) {
    std::optional<std::vector<uint8_t>> bytes = appdata::read_file(path);
    if (!bytes) {
        return std::nullopt;
    }
    if (std::optional<MovieHeader> header = read_movie_header(*bytes)) {
        return header;
    }
    if (std::optional<std::span<const uint8_t>> movie = appended_movie(*bytes)) {
        return read_movie_header(*movie);
    }
    return std::nullopt;
}

}  // namespace

PlayerHost::PlayerHost() : m_impl(new Impl) {
    m_impl->site.set_event_sink(player::diid_shockwave_flash_events, [this](DISPID id, const DISPPARAMS& params) {
        if (id != player::dispid_fs_command || !m_impl->handler) {
            return;
        }
        if (std::optional<std::pair<std::string, std::string>> command = fs_command_of(params)) {
            // The handler may run scripts that destroy this host; it is called from a copy.
            CommandHandler handler = m_impl->handler;
            handler(command->first, command->second);
        }
    });
}

PlayerHost::~PlayerHost() {
    destroy();
    delete m_impl;
}

void PlayerHost::set_command_handler(CommandHandler handler) { m_impl->handler = std::move(handler); }

void PlayerHost::set_paint_hook(PaintHook hook) { m_impl->paint_hook = std::move(hook); }

HRESULT PlayerHost::create(HWND parent, int id, const std::string& module_path, const std::wstring& licence_key,
                           ModuleLifetime lifetime) {
    destroy();
    HRESULT status = create_from(parent, id, module_path, licence_key);
    if (FAILED(status)) {
        // Whatever the failed attempt made is gone already; a load it took goes with it.
        destroy();
        return status;
    }
    m_impl->module_path = module_path;
    if (lifetime == ModuleLifetime::Process) {
        m_impl->released_library = nullptr;
    }
    return S_OK;
}

HRESULT PlayerHost::create_from(HWND parent, int id, const std::string& module_path, const std::wstring& licence_key) {
    ComPtr<IClassFactory> factory;
    if (!module_path.empty()) {
        HRESULT status = module_factory(module_path, factory, m_impl->released_library);
        if (FAILED(status)) {
            return status;
        }
    }
    ComPtr<IUnknown> object;
    HRESULT status = create_control_object(player::clsid_shockwave_flash, factory.get(), licence_key, object);
    factory.reset();
    if (FAILED(status)) {
        return status;
    }
    ComPtr<player::IShockwaveFlash> flash = object.query<player::IShockwaveFlash>(player::iid_shockwave_flash);
    if (!flash) {
        return E_NOINTERFACE;
    }
    RECT empty{0, 0, 0, 0};
    status = m_impl->site.create(object.get(), parent, id, empty);
    if (FAILED(status)) {
        return status;
    }
    m_impl->flash = std::move(flash);
    m_impl->hook_window(m_impl->site.window());
    return S_OK;
}

void PlayerHost::destroy() {
    m_impl->unhook_window();
    m_impl->flash.reset();
    m_impl->site.destroy();
    m_impl->module_path.clear();
    // Only after every object of the module is gone.
    if (HMODULE library = std::exchange(m_impl->released_library, nullptr)) {
        FreeLibrary(library);
    }
}

bool PlayerHost::exists() const { return m_impl->site.exists(); }

const std::string& PlayerHost::module_path() const { return m_impl->module_path; }

HWND PlayerHost::window() const { return m_impl->site.window(); }

player::IShockwaveFlash* PlayerHost::control() const { return m_impl->flash.get(); }

ComPtr<IViewObject> PlayerHost::view_object() const {
    if (!m_impl->site.exists()) {
        return {};
    }
    return m_impl->site.query<IViewObject>(IID_IViewObject);
}

void PlayerHost::resize(const RECT& rectangle) { m_impl->site.move(rectangle); }

bool PlayerHost::load_movie(const std::string& path, bool playing) {
    if (!m_impl->flash) {
        return false;
    }
    // Held for the calls: the movie's first frame may run a script that ends the control.
    ComPtr<player::IShockwaveFlash> flash = m_impl->flash;
    flash->put_Playing(playing ? VARIANT_TRUE : VARIANT_FALSE);
    std::wstring wide = platform::ansi_to_wide(path);
    BSTR movie = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (movie == nullptr) {
        return false;
    }
    HRESULT status = flash->put_Movie(movie);
    SysFreeString(movie);
    if (FAILED(status)) {
        return false;
    }
    // A new movie is shown whole: the zoom steps start again.
    m_impl->zoom = 0;
    // A movie that cannot be measured (a location, a damaged file) has no frame size of its own.
    m_impl->width = 0;
    m_impl->height = 0;
    m_impl->background = -1;
    if (std::optional<MovieHeader> header = measure_movie_file(path)) {
        m_impl->width = header->width();
        m_impl->height = header->height();
        m_impl->background = header->background;
    }
    return true;
}

int PlayerHost::movie_width() const { return m_impl->width; }

int PlayerHost::movie_height() const { return m_impl->height; }

int32_t PlayerHost::movie_background() const { return m_impl->background; }

int PlayerHost::zoom_count() const { return m_impl->zoom; }

void PlayerHost::set_zoom_count(int count) { m_impl->zoom = count; }

}  // namespace tarpon::projector
