#include "tests/projector/e2e/probe/dialog_probe.h"

#include <commctrl.h>

namespace tarpon::probe {

namespace {

constexpr UINT message_timeout = 5000;

// A message to another program's window that gives up when that program hangs.
LRESULT send(HWND window, UINT message, WPARAM wparam, LPARAM lparam, bool* answered = nullptr) {
    DWORD_PTR result = 0;
    bool ok = SendMessageTimeoutA(window, message, wparam, lparam, SMTO_ABORTIFHUNG, message_timeout, &result) != 0;
    if (answered != nullptr) {
        *answered = ok;
    }
    return ok ? static_cast<LRESULT>(result) : 0;
}

struct IdSearch {
    int id;
    HWND found = nullptr;
};

BOOL CALLBACK find_by_id(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<IdSearch*>(context);
    if (GetDlgCtrlID(window) == search->id) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND current_page(HWND sheet) {
    return reinterpret_cast<HWND>(send(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

bool select_page(HWND sheet, int index) {
    if (send(sheet, PSM_SETCURSEL, static_cast<WPARAM>(index), 0) == 0) {
        return false;
    }
    // Refused, the sheet keeps showing the page it had.
    HWND page = current_page(sheet);
    return page != nullptr && send(sheet, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page), 0) == index;
}

HWND dialog_control(HWND window, int id) {
    if (HWND page = current_page(window)) {
        if (HWND control = GetDlgItem(page, id)) {
            return control;
        }
    }
    IdSearch search{id};
    EnumChildWindows(window, find_by_id, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool set_control_text(HWND window, int id, const std::string& text) {
    HWND control = dialog_control(window, id);
    return control != nullptr && send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) != 0;
}

std::string control_text(HWND window, int id) {
    HWND control = dialog_control(window, id);
    if (control == nullptr) {
        return {};
    }
    char buffer[1024] = {};
    LRESULT length = send(control, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer));
    return std::string(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

bool set_checked(HWND window, int id, bool checked) {
    HWND control = dialog_control(window, id);
    bool answered = false;
    if (control != nullptr) {
        send(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0, &answered);
    }
    return answered;
}

bool is_checked(HWND window, int id) {
    HWND control = dialog_control(window, id);
    return control != nullptr && send(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool choose_item(HWND window, int id, int index) {
    HWND control = dialog_control(window, id);
    if (control == nullptr || send(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0) != index) {
        return false;
    }
    send(GetParent(control), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
    return true;
}

int chosen_item(HWND window, int id) {
    HWND control = dialog_control(window, id);
    return control != nullptr ? static_cast<int>(send(control, CB_GETCURSEL, 0, 0)) : -1;
}

bool press_sheet_button(HWND sheet, SheetButton button) {
    return IsWindow(sheet) &&
           PostMessageA(sheet, PSM_PRESSBUTTON, button == SheetButton::Ok ? PSBTN_OK : PSBTN_CANCEL, 0) != FALSE;
}

}  // namespace tarpon::probe
