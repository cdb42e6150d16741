// The hidden window that receives the notifications of every socket of the Socket class.
#include "host/net/socket_window.h"

#include <unordered_map>

namespace tarpon::host::net {

namespace {

// The message numbers of watches: a range of the application's own messages, handed out in turn
// so that a number comes back only after every other one was used.
constexpr UINT first_watch_message = WM_APP + 0x100;
constexpr UINT last_watch_message = 0xBFFF;

struct Watch {
    SOCKET socket;
    SocketNotify notify;
    void* context;
};

// Used on the user-interface thread only.
struct SocketWindow {
    HWND handle = nullptr;
    UINT next_message = first_watch_message;
    std::unordered_map<UINT, Watch> watches;
};

SocketWindow window;

LRESULT CALLBACK socket_window_procedure(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message >= first_watch_message && message <= last_watch_message) {
        const auto found = window.watches.find(message);
        // A notification of a watch that ended, or of another socket than the watch's: dropped.
        if (found != window.watches.end() && found->second.socket == static_cast<SOCKET>(wparam)) {
            const Watch watch = found->second;
            watch.notify(watch.context, WSAGETSELECTEVENT(lparam), WSAGETSELECTERROR(lparam));
        }
        return 0;
    }
    return DefWindowProcA(handle, message, wparam, lparam);
}

HWND socket_window() {
    if (window.handle != nullptr && IsWindow(window.handle)) {
        return window.handle;
    }
    static const char class_name[] = "TarponSocketNotifications";
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = socket_window_procedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = class_name;
    // A second registration fails harmlessly: the class is already there.
    RegisterClassA(&window_class);
    // A message-only window: never shown, never enumerated, but its messages flow through the
    // thread's loop like any window's.
    window.handle = CreateWindowExA(0, class_name, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
    return window.handle;
}

UINT free_message() {
    const UINT count = last_watch_message - first_watch_message + 1;
    for (UINT tried = 0; tried < count; ++tried) {
        const UINT message = window.next_message;
        window.next_message = message == last_watch_message ? first_watch_message : message + 1;
        if (!window.watches.contains(message)) {
            return message;
        }
    }
    return 0;
}

} // namespace

unsigned watch_socket(SOCKET socket, long events, SocketNotify notify, void* context) {
    HWND handle = socket_window();
    if (handle == nullptr) {
        WSASetLastError(static_cast<int>(GetLastError()));
        return 0;
    }
    const UINT message = free_message();
    if (message == 0) {
        WSASetLastError(WSAEMFILE);
        return 0;
    }
    if (WSAAsyncSelect(socket, handle, message, events) != 0) {
        return 0;
    }
    window.watches[message] = Watch{socket, notify, context};
    return message;
}

bool change_watch(unsigned watch, long events) {
    const auto found = window.watches.find(watch);
    if (found == window.watches.end()) {
        WSASetLastError(WSAENOTSOCK);
        return false;
    }
    return WSAAsyncSelect(found->second.socket, window.handle, watch, events) == 0;
}

void unwatch_socket(unsigned watch) {
    const auto found = window.watches.find(watch);
    if (found == window.watches.end()) {
        return;
    }
    // No new notifications; the queued ones find no watch and are dropped.
    WSAAsyncSelect(found->second.socket, window.handle, 0, 0);
    window.watches.erase(found);
}

void post_notification(unsigned watch, uint16_t event, uint16_t error) {
    const auto found = window.watches.find(watch);
    if (found != window.watches.end()) {
        PostMessageA(window.handle, watch, static_cast<WPARAM>(found->second.socket),
                     WSAMAKESELECTREPLY(event, error));
    }
}

} // namespace tarpon::host::net
