#include "tests/projector/e2e/probe/window_probe.h"

#include <cstdio>
#include <fstream>

#include <shellapi.h>

namespace tarpon::probe {

namespace {

bool same_ignoring_case(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::string class_of(HWND window) {
    char name[256] = {};
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

std::string caption_of(HWND window) {
    // A window of another process answers WM_GETTEXT through the system; GetWindowText alone would
    // not ask it. Bounded so that a hung program does not hang the probe.
    char text[1024] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                             2000, &length)) {
        return {};
    }
    return std::string(text, length < sizeof text ? length : sizeof text - 1);
}

std::string process_file_name(DWORD process_id) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
    if (process == nullptr) {
        return {};
    }
    char path[MAX_PATH * 2] = {};
    DWORD size = sizeof path;
    std::string name;
    if (QueryFullProcessImageNameA(process, 0, path, &size)) {
        name.assign(path, size);
        name = name.substr(name.find_last_of("\\/") + 1);
    }
    CloseHandle(process);
    return name;
}

bool matches(HWND window, const WindowQuery& query) {
    if (query.visible_only && !IsWindowVisible(window)) {
        return false;
    }
    if (query.process_id != 0) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != query.process_id) {
            return false;
        }
    }
    if (!query.process_name.empty()) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (!same_ignoring_case(process_file_name(process), query.process_name)) {
            return false;
        }
    }
    if (!query.class_name.empty() && !same_ignoring_case(class_of(window), query.class_name)) {
        return false;
    }
    if (!query.caption.empty() && caption_of(window) != query.caption) {
        return false;
    }
    return true;
}

struct Search {
    const WindowQuery* query;
    std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND window, LPARAM context) {
    Search* search = reinterpret_cast<Search*>(context);
    if (matches(window, *search->query)) {
        search->found.push_back(window);
    }
    return TRUE;
}

std::string rect_text(const RECT& r) {
    char text[96];
    std::snprintf(text, sizeof text, "%ld,%ld,%ld,%ld (%ldx%ld)", r.left, r.top, r.right, r.bottom, r.right - r.left,
                  r.bottom - r.top);
    return text;
}

LPARAM point_parameter(POINT p) {
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(p.x)), static_cast<WORD>(static_cast<short>(p.y)));
}

}  // namespace

std::vector<HWND> find_windows(const WindowQuery& query) {
    Search search{&query, {}};
    EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND find_window(const WindowQuery& query) {
    std::vector<HWND> found = find_windows(query);
    return found.empty() ? nullptr : found.front();
}

HWND wait_for_window(const WindowQuery& query, int timeout_ms) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms > 0 ? timeout_ms : 0);
    for (;;) {
        if (HWND window = find_window(query)) {
            return window;
        }
        if (GetTickCount64() >= end) {
            return nullptr;
        }
        Sleep(50);
    }
}

bool wait_until_gone(HWND window, int timeout_ms) {
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms > 0 ? timeout_ms : 0);
    while (IsWindow(window)) {
        if (GetTickCount64() >= end) {
            return false;
        }
        Sleep(50);
    }
    return true;
}

std::optional<std::vector<RECT>> window_region(HWND window) {
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    if (region == nullptr) {
        return std::nullopt;
    }
    std::optional<std::vector<RECT>> result;
    int kind = GetWindowRgn(window, region);
    if (kind != ERROR) {
        std::vector<RECT> rects;
        DWORD size = GetRegionData(region, 0, nullptr);
        if (size >= sizeof(RGNDATAHEADER)) {
            std::vector<uint8_t> buffer(size);
            RGNDATA* data = reinterpret_cast<RGNDATA*>(buffer.data());
            if (GetRegionData(region, size, data) == size) {
                const RECT* first = reinterpret_cast<const RECT*>(data->Buffer);
                const DWORD available = (size - data->rdh.dwSize) / sizeof(RECT);
                const DWORD count = data->rdh.nCount < available ? data->rdh.nCount : available;
                rects.assign(first, first + count);
            }
        }
        result = std::move(rects);
    }
    DeleteObject(region);
    return result;
}

WindowInfo window_info(HWND window) {
    WindowInfo info;
    if (!IsWindow(window)) {
        return info;
    }
    info.handle = window;
    GetWindowThreadProcessId(window, &info.process_id);
    info.class_name = class_of(window);
    info.caption = caption_of(window);
    info.style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
    info.ex_style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE));
    GetWindowRect(window, &info.window_rect);
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    info.client_rect = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    info.visible = IsWindowVisible(window) != FALSE;
    info.enabled = IsWindowEnabled(window) != FALSE;
    info.minimized = IsIconic(window) != FALSE;
    info.maximized = IsZoomed(window) != FALSE;
    info.topmost = (info.ex_style & WS_EX_TOPMOST) != 0;
    if (auto region = window_region(window)) {
        info.has_region = true;
        info.region = std::move(*region);
    }
    return info;
}

std::string describe(const WindowInfo& info) {
    char line[160];
    std::string text;
    std::snprintf(line, sizeof line, "handle: 0x%llX\nprocess: %lu\n",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(info.handle)), info.process_id);
    text += line;
    text += "class: " + info.class_name + "\n";
    text += "caption: " + info.caption + "\n";
    std::snprintf(line, sizeof line, "style: 0x%08lX\nexstyle: 0x%08lX\n", info.style, info.ex_style);
    text += line;
    text += "window: " + rect_text(info.window_rect) + "\n";
    text += "client: " + rect_text(info.client_rect) + "\n";
    text += std::string("visible: ") + (info.visible ? "yes" : "no") + "\n";
    text += std::string("enabled: ") + (info.enabled ? "yes" : "no") + "\n";
    text += std::string("state: ") + (info.minimized ? "minimized" : info.maximized ? "maximized" : "normal") + "\n";
    text += std::string("topmost: ") + (info.topmost ? "yes" : "no") + "\n";
    if (!info.has_region) {
        text += "region: none\n";
    } else {
        std::snprintf(line, sizeof line, "region: %zu rectangles\n", info.region.size());
        text += line;
        for (const RECT& r : info.region) {
            text += "  " + rect_text(r) + "\n";
        }
    }
    return text;
}

namespace {

struct ChildSearch {
    const std::string* class_name;
    const std::string* caption;
    HWND found = nullptr;
};

BOOL CALLBACK find_first_child(HWND window, LPARAM context) {
    ChildSearch* search = reinterpret_cast<ChildSearch*>(context);
    if ((search->class_name->empty() || same_ignoring_case(class_of(window), *search->class_name)) &&
        (search->caption->empty() || caption_of(window) == *search->caption)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND find_child(HWND parent, const std::string& class_name, const std::string& caption) {
    ChildSearch search{&class_name, &caption};
    EnumChildWindows(parent, find_first_child, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool set_text(HWND window, const std::string& text) {
    DWORD_PTR result = 0;
    return IsWindow(window) && SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                                   SMTO_ABORTIFHUNG, 5000, &result) != 0 && result != 0;
}

bool post_command(HWND window, UINT id) {
    return IsWindow(window) && PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), 0) != FALSE;
}

bool post_system_command(HWND window, UINT id) {
    return IsWindow(window) && PostMessageA(window, WM_SYSCOMMAND, id, 0) != FALSE;
}

bool tray_icon_present(HWND window, UINT id) {
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = id;
    // A change that changes nothing: no flags.
    data.uFlags = 0;
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

HWND child_at(HWND window, POINT client_point, POINT* child_point) {
    HWND target = window;
    POINT point = client_point;
    for (;;) {
        HWND child = ChildWindowFromPointEx(target, point, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
        if (child == nullptr || child == target) {
            break;
        }
        MapWindowPoints(target, child, &point, 1);
        target = child;
    }
    if (child_point != nullptr) {
        *child_point = point;
    }
    return target;
}

bool click(HWND window, int x, int y) {
    if (!IsWindow(window)) {
        return false;
    }
    POINT at{};
    HWND target = child_at(window, POINT{x, y}, &at);
    const LPARAM where = point_parameter(at);
    // A person's click: the pointer arrives, the button goes down and comes up again.
    bool sent = PostMessageA(target, WM_MOUSEMOVE, 0, where) != FALSE;
    sent = PostMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON, where) != FALSE && sent;
    sent = PostMessageA(target, WM_LBUTTONUP, 0, where) != FALSE && sent;
    return sent;
}

namespace {

bool click_through_input(HWND window, int x, int y, DWORD down, DWORD up) {
    POINT point{x, y};
    if (!IsWindow(window) || !ClientToScreen(window, &point)) {
        return false;
    }
    SetForegroundWindow(window);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    if (width <= 1 || height <= 1) {
        return false;
    }
    INPUT inputs[3] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = static_cast<LONG>((point.x - left) * 65535LL / (width - 1));
        input.mi.dy = static_cast<LONG>((point.y - top) * 65535LL / (height - 1));
        input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    }
    inputs[0].mi.dwFlags |= MOUSEEVENTF_MOVE;
    inputs[1].mi.dwFlags |= down;
    inputs[2].mi.dwFlags |= up;
    return SendInput(3, inputs, sizeof(INPUT)) == 3;
}

}  // namespace

bool click_with_input(HWND window, int x, int y) {
    return click_through_input(window, x, y, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
}

bool right_click_with_input(HWND window, int x, int y) {
    return click_through_input(window, x, y, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
}

bool press_key(HWND window, UINT virtual_key) {
    if (!IsWindow(window)) {
        return false;
    }
    // The focus of another thread is read through its input state.
    HWND target = window;
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    DWORD thread_id = GetWindowThreadProcessId(window, nullptr);
    if (GetGUIThreadInfo(thread_id, &thread) && thread.hwndFocus != nullptr &&
        (thread.hwndFocus == window || IsChild(window, thread.hwndFocus))) {
        target = thread.hwndFocus;
    }
    const UINT scan = MapVirtualKeyA(virtual_key, MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | static_cast<LPARAM>(scan) << 16;
    const LPARAM up = down | static_cast<LPARAM>(0xC0000000u);
    bool sent = PostMessageA(target, WM_KEYDOWN, virtual_key, down) != FALSE;
    sent = PostMessageA(target, WM_KEYUP, virtual_key, up) != FALSE && sent;
    return sent;
}

namespace {

// A mouse input at a screen point, in the absolute coordinates of the virtual screen.
std::optional<INPUT> mouse_at(POINT point, DWORD flags) {
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 1 || height <= 1) {
        return std::nullopt;
    }
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>((point.x - GetSystemMetrics(SM_XVIRTUALSCREEN)) * 65535LL / (width - 1));
    input.mi.dy = static_cast<LONG>((point.y - GetSystemMetrics(SM_YVIRTUALSCREEN)) * 65535LL / (height - 1));
    input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK | flags;
    return input;
}

bool send_one(std::optional<INPUT> input) {
    return input && SendInput(1, &*input, sizeof(INPUT)) == 1;
}

}  // namespace

bool drag_with_input(HWND window, int x, int y, int dx, int dy, int steps) {
    POINT start{x, y};
    if (!IsWindow(window) || !ClientToScreen(window, &start) || steps < 1) {
        return false;
    }
    SetForegroundWindow(window);
    bool sent = send_one(mouse_at(start, MOUSEEVENTF_MOVE));
    Sleep(100);
    sent = send_one(mouse_at(start, MOUSEEVENTF_LEFTDOWN)) && sent;
    Sleep(100);
    for (int i = 1; i <= steps; ++i) {
        // Each move on its own, with time for the window to follow before the next.
        const POINT at{start.x + dx * i / steps, start.y + dy * i / steps};
        sent = send_one(mouse_at(at, MOUSEEVENTF_MOVE)) && sent;
        Sleep(50);
    }
    const POINT end{start.x + dx, start.y + dy};
    sent = send_one(mouse_at(end, MOUSEEVENTF_LEFTUP)) && sent;
    return sent;
}

bool press_keys_with_input(HWND window, const std::vector<UINT>& virtual_keys) {
    if (!IsWindow(window)) {
        return false;
    }
    SetForegroundWindow(window);
    Sleep(100);
    std::vector<INPUT> inputs;
    for (UINT key : virtual_keys) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = static_cast<WORD>(key);
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
        inputs.push_back(input);
    }
    for (size_t i = virtual_keys.size(); i-- > 0;) {
        INPUT input = inputs[i];
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

bool request_close(HWND window) { return IsWindow(window) && PostMessageA(window, WM_CLOSE, 0, 0) != FALSE; }

bool end_session(HWND window, int timeout_ms, bool* agreed) {
    if (!IsWindow(window)) {
        return false;
    }
    const UINT wait = static_cast<UINT>(timeout_ms > 0 ? timeout_ms : 1);
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, wait, &answer)) {
        return false;
    }
    if (agreed != nullptr) {
        *agreed = answer != 0;
    }
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(window, WM_ENDSESSION, answer != 0 ? TRUE : FALSE, ENDSESSION_LOGOFF,
                               SMTO_ABORTIFHUNG, wait, &ignored) != 0 ||
           !IsWindow(window);
}

size_t Image::count(uint32_t rgb, RECT area) const {
    const LONG left = area.left < 0 ? 0 : area.left;
    const LONG top = area.top < 0 ? 0 : area.top;
    const LONG right = area.right > width ? width : area.right;
    const LONG bottom = area.bottom > height ? height : area.bottom;
    size_t n = 0;
    for (LONG y = top; y < bottom; ++y) {
        for (LONG x = left; x < right; ++x) {
            n += (at(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF);
        }
    }
    return n;
}

bool Image::save_bmp(const std::string& path) const {
    if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * height) {
        return false;
    }
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = -height;  // rows top down
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(pixels.size() * 4);
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(pixels.data()), static_cast<std::streamsize>(header.biSizeImage));
    return static_cast<bool>(out.flush());
}

std::optional<Image> screenshot(HWND window, bool client_only) {
    if (!IsWindow(window)) {
        return std::nullopt;
    }
    RECT area{};
    if (client_only) {
        RECT client{};
        GetClientRect(window, &client);
        POINT origin{0, 0};
        ClientToScreen(window, &origin);
        area = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    } else {
        GetWindowRect(window, &area);
    }
    Image image;
    image.width = area.right - area.left;
    image.height = area.bottom - area.top;
    if (image.width <= 0 || image.height <= 0 || image.width > 16384 || image.height > 16384) {
        return std::nullopt;
    }
    image.pixels.assign(static_cast<size_t>(image.width) * image.height, 0);

    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return std::nullopt;
    }
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool taken = false;
    if (memory != nullptr && bitmap != nullptr && bits != nullptr) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        taken = BitBlt(memory, 0, 0, image.width, image.height, screen, area.left, area.top, SRCCOPY) != FALSE;
        if (!taken) {
            taken = PrintWindow(window, memory, client_only ? PW_CLIENTONLY : 0) != FALSE;
        }
        GdiFlush();
        SelectObject(memory, previous);
        if (taken) {
            const uint32_t* source = static_cast<const uint32_t*>(bits);
            for (size_t i = 0; i < image.pixels.size(); ++i) {
                image.pixels[i] = source[i] & 0xFFFFFF;
            }
        }
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (memory != nullptr) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!taken) {
        return std::nullopt;
    }
    return image;
}

}  // namespace tarpon::probe
