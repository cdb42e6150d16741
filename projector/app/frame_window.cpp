#include "projector/app/frame_window.h"

namespace tarpon::projector {

FrameWindow::~FrameWindow() {
    if (m_window != nullptr) {
        // The object goes first: the window must not reach it any more.
        SetWindowLongPtrA(m_window, GWLP_USERDATA, 0);
        DestroyWindow(m_window);
    }
}

bool FrameWindow::register_class(HINSTANCE instance, const char* class_name, UINT class_style, HICON icon) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExA(instance, class_name, &existing)) {
        return true;
    }
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = class_style;
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.hIcon = icon;
    window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = class_name;
    return RegisterClassExA(&window_class) != 0;
}

bool FrameWindow::create(HINSTANCE instance, const char* class_name, const char* title, DWORD style,
                         DWORD ex_style, HWND parent) {
    HWND window = CreateWindowExA(ex_style, class_name, title, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, parent, nullptr, instance, this);
    return window != nullptr && window == m_window;
}

LRESULT FrameWindow::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    return default_handling(message, wparam, lparam);
}

LRESULT FrameWindow::default_handling(UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcA(m_window, message, wparam, lparam);
}

LRESULT CALLBACK FrameWindow::window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    FrameWindow* frame = nullptr;
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
        frame = static_cast<FrameWindow*>(create->lpCreateParams);
        if (frame != nullptr) {
            frame->m_window = window;
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(frame));
        }
    } else {
        frame = reinterpret_cast<FrameWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    if (frame == nullptr) {
        return DefWindowProcA(window, message, wparam, lparam);
    }
    if (message == WM_NCDESTROY) {
        LRESULT result = frame->handle_message(message, wparam, lparam);
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        frame->m_window = nullptr;
        frame->window_gone();
        return result;
    }
    return frame->handle_message(message, wparam, lparam);
}

}  // namespace tarpon::projector
