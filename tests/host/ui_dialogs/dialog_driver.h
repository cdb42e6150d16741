// Drives the modal dialogs a script opens on the test's thread, from a thread of its own: waits for
// a dialog window of that thread, fills it in and presses its buttons as a user would. Whatever it
// leaves open (or a dialog that appears after its steps, or after the wait ran out) it cancels, so
// that a test never hangs on a dialog.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/windows.h"

namespace tarpon::host::testing {

constexpr std::chrono::milliseconds dialog_wait{10000};

// A visible dialog window (class "#32770") of the thread other than `except`; null after the wait.
HWND wait_for_dialog(DWORD thread, HWND except = nullptr, std::chrono::milliseconds wait = dialog_wait);

// The text of a window.
std::string window_text(HWND window);
// Sets the text of a dialog control; false when the dialog has no such control.
bool set_control_text(HWND dialog, int id, const std::string& text);
// Presses the dialog's button as a click on it would (posted, so the dialog's thread runs it).
void press(HWND dialog, int id);

class DialogDriver {
  public:
    // Starts the driver for dialogs of the calling thread. `steps` runs once, with the first dialog
    // that appears; it is not run when none appears within the wait.
    explicit DialogDriver(std::function<void(HWND dialog)> steps);
    // Stops cancelling and waits for the driver's thread.
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Whether the steps ran (a dialog appeared in time).
    bool acted() const { return m_acted; }

  private:
    DWORD m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_acted{false};
    std::thread m_worker;
};

}  // namespace tarpon::host::testing
