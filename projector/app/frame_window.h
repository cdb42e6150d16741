// The frame-window pattern of the application layer: a registered window class whose one static
// window procedure finds the C++ object behind each window (stored in GWLP_USERDATA when the window
// is made) and hands it the message.
//
//   class MyFrame : public FrameWindow {
//       LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam) override { ... }
//   };
//   FrameWindow::register_class(instance, "MyFrame", 0, icon);
//   frame.create("MyFrame", "", WS_OVERLAPPEDWINDOW, 0, owner);
#pragma once

#include "platform/windows.h"

namespace tarpon::projector {

class FrameWindow {
public:
    FrameWindow() = default;
    virtual ~FrameWindow();
    FrameWindow(const FrameWindow&) = delete;
    FrameWindow& operator=(const FrameWindow&) = delete;

    // Registers a class whose windows are FrameWindow objects. True when the class exists afterwards
    // (registered now or before).
    static bool register_class(HINSTANCE instance, const char* class_name, UINT class_style = 0, HICON icon = nullptr);

    // Makes the window with the default rectangle and no menu. False when the system refused or the
    // object's WM_CREATE handling failed the creation.
    bool create(HINSTANCE instance, const char* class_name, const char* title, DWORD style, DWORD ex_style,
                HWND parent);

    HWND handle() const { return m_window; }

protected:
    // Every message of the window after WM_NCCREATE. The default passes it to DefWindowProc.
    virtual LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);
    // After WM_NCDESTROY: the window is gone; the object may go on living.
    virtual void window_gone() {}

    LRESULT default_handling(UINT message, WPARAM wparam, LPARAM lparam);

private:
    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    HWND m_window = nullptr;
};

}  // namespace tarpon::projector
