#include "projector/window/link_window.h"

#include <shellapi.h>

namespace tarpon::projector {

namespace {

// What one link window keeps; made on WM_NCCREATE, freed on WM_NCDESTROY.
struct Link {
    std::string address;
    COLORREF colour = RGB(0, 0, 255);
    COLORREF visited_colour = RGB(128, 0, 128);
    bool visited = false;
    bool pressed = false;
    HFONT font = nullptr;  // an underlined copy of the font given by WM_SETFONT; owned
};

Link* link_of(HWND window) { return reinterpret_cast<Link*>(GetWindowLongPtrA(window, GWLP_USERDATA)); }

bool is_link_window(HWND window) {
    char name[32] = {};
    return window != nullptr && GetClassNameA(window, name, sizeof name) > 0 &&
           lstrcmpiA(name, link_window_class) == 0 && link_of(window) != nullptr;
}

// The font drawn with: the given font (or the system's GUI font) with the underline on.
void set_underlined_font(Link& link, HFONT base) {
    if (base == nullptr) {
        base = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    LOGFONTA description{};
    if (GetObjectA(base, sizeof description, &description) == 0) {
        return;
    }
    description.lfUnderline = TRUE;
    HFONT underlined = CreateFontIndirectA(&description);
    if (underlined == nullptr) {
        return;  // the previous font stays
    }
    if (link.font != nullptr) {
        DeleteObject(link.font);
    }
    link.font = underlined;
}

void paint(HWND window, Link& link) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    if (dc == nullptr) {
        return;
    }
    RECT client{};
    GetClientRect(window, &client);
    // The background the parent gives its static texts (the dialog's face colour by default).
    HWND parent = GetParent(window);
    auto brush = reinterpret_cast<HBRUSH>(
        parent != nullptr ? SendMessageA(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                         reinterpret_cast<LPARAM>(window))
                          : 0);
    FillRect(dc, &client, brush != nullptr ? brush : GetSysColorBrush(COLOR_BTNFACE));

    char text[1024] = {};
    int length = GetWindowTextA(window, text, sizeof text);
    HGDIOBJ old_font = link.font != nullptr ? SelectObject(dc, link.font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, link.visited ? link.visited_colour : link.colour);
    DrawTextA(dc, text, length, &client, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (old_font != nullptr) {
        SelectObject(dc, old_font);
    }
    EndPaint(window, &paint);
}

void follow(HWND window, Link& link) {
    if (link.address.empty()) {
        return;
    }
    ShellExecuteA(GetParent(window), "open", link.address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    link.visited = true;
    InvalidateRect(window, nullptr, TRUE);
}

LRESULT CALLBACK link_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* link = new Link;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(link));
        set_underlined_font(*link, nullptr);
        return DefWindowProcA(window, message, wparam, lparam);
    }
    Link* link = link_of(window);
    if (link == nullptr) {
        return DefWindowProcA(window, message, wparam, lparam);
    }
    switch (message) {
    case WM_NCDESTROY:
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        if (link->font != nullptr) {
            DeleteObject(link->font);
        }
        delete link;
        return DefWindowProcA(window, message, wparam, lparam);
    case WM_SETFONT:
        set_underlined_font(*link, reinterpret_cast<HFONT>(wparam));
        if (LOWORD(lparam) != 0) {
            InvalidateRect(window, nullptr, TRUE);
        }
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(link->font);
    case WM_SETTEXT: {
        LRESULT result = DefWindowProcA(window, message, wparam, lparam);
        InvalidateRect(window, nullptr, TRUE);
        return result;
    }
    case WM_ERASEBKGND:
        return 1;  // painted whole in WM_PAINT
    case WM_PAINT:
        paint(window, *link);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_LBUTTONDOWN:
        link->pressed = true;
        SetCapture(window);
        return 0;
    case WM_LBUTTONUP: {
        // Followed when the button comes up over the link it went down on.
        bool was_pressed = link->pressed;
        link->pressed = false;
        if (GetCapture() == window) {
            ReleaseCapture();
        }
        RECT client{};
        GetClientRect(window, &client);
        POINT point{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
        if (was_pressed && PtInRect(&client, point)) {
            follow(window, *link);
        }
        return 0;
    }
    case WM_CAPTURECHANGED:
        link->pressed = false;
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

}  // namespace

bool register_link_window_class(HINSTANCE instance) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExA(instance, link_window_class, &existing)) {
        return true;
    }
    WNDCLASSEXA link{};
    link.cbSize = sizeof link;
    link.lpfnWndProc = link_window_procedure;
    link.hInstance = instance;
    link.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
    link.lpszClassName = link_window_class;
    return RegisterClassExA(&link) != 0;
}

bool set_link(HWND window, const std::string& address, COLORREF colour, COLORREF visited_colour) {
    if (!is_link_window(window)) {
        return false;
    }
    Link& link = *link_of(window);
    link.address = address;
    link.colour = colour;
    link.visited_colour = visited_colour;
    link.visited = false;
    InvalidateRect(window, nullptr, TRUE);
    return true;
}

std::string link_address(HWND window) {
    return is_link_window(window) ? link_of(window)->address : std::string();
}

std::string mail_link_address(const std::string& mail_address) { return "mailto:" + mail_address; }

}  // namespace tarpon::projector
