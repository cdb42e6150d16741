#include "host/ui/host_window.h"

namespace tarpon::host {

namespace {

const char hidden_window_class[] = "Tarpon_Host_Window";

HWND main_window = nullptr;
HWND hidden_window = nullptr;

HWND make_hidden_window() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA window_class{};
    if (!GetClassInfoA(instance, hidden_window_class, &window_class)) {
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.hInstance = instance;
        window_class.lpszClassName = hidden_window_class;
        if (RegisterClassA(&window_class) == 0) {
            return nullptr;
        }
    }
    return CreateWindowExA(0, hidden_window_class, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, instance,
                           nullptr);
}

}  // namespace

void set_host_main_window(HWND window) {
    main_window = window;
}

HWND host_main_window() {
    return main_window;
}

HWND host_parent_window() {
    if (main_window != nullptr) {
        return main_window;
    }
    if (hidden_window == nullptr || !IsWindow(hidden_window)) {
        hidden_window = make_hidden_window();
    }
    return hidden_window;
}

}  // namespace tarpon::host
