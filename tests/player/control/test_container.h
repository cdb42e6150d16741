// A small control container for the player control's tests: a plain top-level window, one site
// object with the client, in-place and frame interfaces, and an event sink that records what the
// control fires. The control comes from the DLL through DllGetClassObject, never from the registry.
#pragma once

#include "platform/windows.h"

#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/owners.h"
#include "tests/host/host_engine.h"
#include "player/control/shockwave_flash.h"

namespace tarpon::player::test {

using platform::ComPtr;

struct RecordedEvents {
    struct Command {
        std::wstring command;
        std::wstring argument;
    };
    std::vector<Command> fs_commands;
    std::vector<long> ready_states;
    std::vector<long> progress;
    // Called inside FSCommand, after it is recorded.
    std::function<void(const Command&)> on_fs_command;
};

// A function the library exports, as its type.
template <typename F> F library_export(HMODULE library, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// The player DLL, loaded once for the test program.
HMODULE player_library();
// The control's class factory from the DLL's export, or null with the HRESULT in *status.
ComPtr<IClassFactory> player_factory(HRESULT* status = nullptr);

class Container {
  public:
    // A visible host window with a client area of width x height at the top left of the screen,
    // with a control created, advised and in-place active over the whole client area.
    Container(int width, int height);
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;
    ~Container();

    bool ok() const { return m_flash.get() != nullptr && control_window() != nullptr; }
    IShockwaveFlash* flash() const { return m_flash.get(); }
    IOleObject* ole() const { return m_ole.get(); }
    HWND host_window() const { return m_host; }
    HWND control_window() const;
    RecordedEvents& events();

    HRESULT load(const std::wstring& path);
    // Resizes the host window and tells the control its new rectangle.
    void resize(int width, int height);

    // Handles the thread's messages for `ms` milliseconds.
    static void pump(int ms);
    // Handles messages until `condition` holds or `timeout_ms` has passed; the condition's value.
    static bool wait_for(const std::function<bool()>& condition, int timeout_ms = 5000);

    // The control's window as it is on the screen (0xRRGGBB per pixel, top-down rows).
    std::vector<uint32_t> screenshot() const;
    uint32_t screen_pixel(int x, int y) const;
    // The control drawn through its view object into a memory device context of width x height.
    std::vector<uint32_t> view_draw(int width, int height, HRESULT* status = nullptr) const;

    int width() const { return m_width; }
    int height() const { return m_height; }

  private:
    HWND m_host = nullptr;
    int m_width;
    int m_height;
    class Site* m_site = nullptr;
    class EventSink* m_sink = nullptr;
    ComPtr<IShockwaveFlash> m_flash;
    ComPtr<IOleObject> m_ole;
    ComPtr<IConnectionPoint> m_point;
    DWORD m_cookie = 0;
};

// A file in the temporary folder, removed at the end of the scope.
class TempFile {
  public:
    TempFile(const std::wstring& name, const std::vector<uint8_t>& bytes);
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile();
    const std::wstring& path() const { return m_path; }

  private:
    std::wstring m_path;
};

// Runs a script that waits in processMsg for at most five seconds until its condition holds; the
// condition's value at the end.
std::string wait_in_script(host::testing::HostEngine& engine, const std::string& condition);

// Invoke through IDispatch by name, as a script host calls the control; the arguments (in declared
// order) are cleared afterwards.
HRESULT invoke_by_name(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> arguments,
                       VARIANT* result);
VARIANT long_variant(long value);
VARIANT text_variant(const wchar_t* value);

} // namespace tarpon::player::test
