#ifdef _WIN32

#include "tests/host/ui_dialogs/dialog_driver.h"

#include <vector>

namespace tarpon::host::testing {

namespace {

struct DialogSearch {
    HWND except;
    HWND found = nullptr;
};

BOOL CALLBACK find_dialog(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<DialogSearch*>(data);
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (window != search->except && IsWindowVisible(window) && std::string(name) == "#32770") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND find_dialog_of(DWORD thread, HWND except) {
    DialogSearch search{except};
    EnumThreadWindows(thread, find_dialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

HWND wait_for_dialog(DWORD thread, HWND except, std::chrono::milliseconds wait) {
    const auto until = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < until) {
        if (HWND dialog = find_dialog_of(thread, except)) {
            // Let the dialog finish setting itself up before it is driven.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            return dialog;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

std::string window_text(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

bool set_control_text(HWND dialog, int id, const std::string& text) {
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr && SetWindowTextA(control, text.c_str()) != FALSE;
}

void press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

DialogDriver::DialogDriver(std::function<void(HWND dialog)> steps) : m_thread(GetCurrentThreadId()) {
    m_worker = std::thread([this, steps = std::move(steps)] {
        if (HWND dialog = wait_for_dialog(m_thread)) {
            m_acted = true;
            steps(dialog);
        }
        // Anything still open, or opened later, is cancelled until the test is done with it.
        while (!m_stop) {
            if (HWND left = find_dialog_of(m_thread, nullptr)) {
                press(left, IDCANCEL);
                PostMessageA(left, WM_CLOSE, 0, 0);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
}

DialogDriver::~DialogDriver() {
    m_stop = true;
    m_worker.join();
}

}  // namespace tarpon::host::testing

#endif
