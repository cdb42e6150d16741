#include "projector/window/about_box.h"

#include <algorithm>
#include <optional>

#include "platform/owners.h"
#include "platform/wide_text.h"
#include "projector/appdata/file_system.h"
#include "projector/appdata/item_source.h"
#include "projector/player_host/player_host.h"
#include "projector/window/about_box_ids.h"
#include "projector/window/link_window.h"

namespace tarpon::projector {

namespace {

// About flags.
constexpr uint32_t show_about_movie = 0x100;
constexpr uint32_t show_current_movie = 0x10;

// Sizes of the laid-out box, in pixels.
constexpr int text_column_width = 280;
constexpr int picture_limit = 160;  // larger pictures are scaled down to fit, keeping their shape
constexpr int movie_limit_width = 320;
constexpr int movie_limit_height = 240;

struct GdiObjectTraits {
    using type = HGDIOBJ;
    static HGDIOBJ none() { return nullptr; }
    static bool valid(HGDIOBJ h) { return h != nullptr; }
    static void close(HGDIOBJ h) { DeleteObject(h); }
};
using GdiObject = platform::Owner<GdiObjectTraits>;

// What one opening of the box holds. It outlives the dialog's windows: the fonts and the picture
// are deleted only after the controls using them are gone.
struct AboutBox {
    explicit AboutBox(ProjectorState& s) : state(s) {}
    ProjectorState& state;
    GdiObject text_font;
    GdiObject link_font;
    GdiObject picture;
    PlayerHost movie;
};

HWND open_box = nullptr;  // the box while it is open

std::string text_of(const std::optional<std::string>& text) { return text.value_or(std::string()); }

// The font of the settings, or nothing for a font left blank (no face and no height).
GdiObject font_of(const appdata::Font& font) {
    if (font.face_name.empty() && font.height == 0) {
        return {};
    }
    LOGFONTA description{};
    description.lfHeight = font.height;
    description.lfWidth = font.width;
    description.lfEscapement = font.escapement;
    description.lfOrientation = font.orientation;
    description.lfWeight = font.weight;
    description.lfItalic = font.italic;
    description.lfUnderline = font.underline;
    description.lfStrikeOut = font.strike_out;
    description.lfCharSet = font.char_set;
    description.lfOutPrecision = font.out_precision;
    description.lfClipPrecision = font.clip_precision;
    description.lfQuality = font.quality;
    description.lfPitchAndFamily = font.pitch_and_family;
    lstrcpynA(description.lfFaceName, font.face_name.c_str(), LF_FACESIZE);
    return GdiObject(CreateFontIndirectA(&description));
}

// The About picture, extracted from the application data and read; nothing when the
// presentation has none. A picture that cannot be unpacked or written is reported as every item.
GdiObject load_picture(const ProjectorState& state, HWND dialog) {
    if (state.items == nullptr || state.run_folder.empty() ||
        !state.items->raw_item(appdata::item::tarpon_type, appdata::item::about_picture)) {
        return {};
    }
    std::string path = about_picture_path(state);
    std::string error =
        appdata::extract_item(*state.items, appdata::item::tarpon_type, appdata::item::about_picture, path);
    if (!error.empty()) {
        char caption[256] = {};
        if (state.main_window != nullptr) {
            GetWindowTextA(state.main_window, caption, sizeof caption);
        }
        MessageBoxA(dialog, error.c_str(), caption, MB_OK | MB_ICONERROR);
        return {};
    }
    GdiObject bitmap(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    BITMAP size{};
    if (!bitmap || GetObjectA(bitmap.get(), sizeof size, &size) == 0) {
        return {};
    }
    if (size.bmWidth > picture_limit || size.bmHeight > picture_limit) {
        double scale = std::min(double(picture_limit) / size.bmWidth, double(picture_limit) / size.bmHeight);
        int width = std::max(1, int(size.bmWidth * scale));
        int height = std::max(1, int(size.bmHeight * scale));
        if (HANDLE scaled = CopyImage(bitmap.get(), IMAGE_BITMAP, width, height, 0)) {
            bitmap.reset(scaled);
        }
    }
    return bitmap;
}

SIZE window_size(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

// The height the text of a control needs in the column, word-wrapped, with its font.
int text_height(HWND control, bool single_line) {
    char text[2048] = {};
    int length = GetWindowTextA(control, text, sizeof text);
    HDC dc = GetDC(control);
    if (dc == nullptr) {
        return 16;
    }
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
    RECT rect{0, 0, text_column_width, 0};
    UINT format = DT_CALCRECT | DT_NOPREFIX | (single_line ? DT_SINGLELINE : DT_WORDBREAK);
    DrawTextA(dc, length > 0 ? text : " ", length > 0 ? length : 1, &rect, format);
    if (old != nullptr) {
        SelectObject(dc, old);
    }
    ReleaseDC(control, dc);
    return std::max<int>(rect.bottom - rect.top, 1);
}

// Places what is shown: the picture at the top left, the texts and links in a column beside it,
// the movie at the right, the OK button below; then sizes the box to hold them and centres it
// over its owner.
void lay_out(HWND dialog, AboutBox& box) {
    RECT units{7, 3, 0, 0};  // the usual dialog margin and the gap between lines
    MapDialogRect(dialog, &units);
    const int margin = units.left;
    const int gap = units.top;

    int column_x = margin;
    int bottom = margin;
    HWND picture = GetDlgItem(dialog, TARPON_ABOUT_PICTURE);
    if (box.picture) {
        SetWindowPos(picture, nullptr, margin, margin, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        SIZE size = window_size(picture);
        column_x += size.cx + margin;
        bottom = margin + size.cy;
    }

    int y = margin;
    for (int id : {TARPON_ABOUT_TITLE, TARPON_ABOUT_VERSION, TARPON_ABOUT_DESCRIPTION, TARPON_ABOUT_COMPANY,
                   TARPON_ABOUT_LEGAL_NOTICE, TARPON_ABOUT_CONTACT, TARPON_ABOUT_COMPANY_LINK,
                   TARPON_ABOUT_HOME_PAGE_LINK, TARPON_ABOUT_MAIL_LINK}) {
        HWND control = GetDlgItem(dialog, id);
        if (control == nullptr) {
            continue;
        }
        if (GetWindowTextLengthA(control) == 0) {
            ShowWindow(control, SW_HIDE);
            continue;
        }
        const bool is_link = id >= TARPON_ABOUT_COMPANY_LINK;
        int height = text_height(control, is_link);
        MoveWindow(control, column_x, y, text_column_width, height, FALSE);
        ShowWindow(control, SW_SHOWNA);
        y += height + gap;
    }
    bottom = std::max(bottom, y);
    int right = column_x + text_column_width;

    RECT movie_area{};
    if (box.movie.exists()) {
        int width = box.movie.movie_width() > 0 ? box.movie.movie_width() : movie_limit_width;
        int height = box.movie.movie_height() > 0 ? box.movie.movie_height() : movie_limit_height;
        double scale = std::min({1.0, double(movie_limit_width) / width, double(movie_limit_height) / height});
        width = std::max(1, int(width * scale));
        height = std::max(1, int(height * scale));
        movie_area = RECT{right + margin, margin, right + margin + width, margin + height};
        right = movie_area.right;
        bottom = std::max<int>(bottom, movie_area.bottom + gap);
    }

    HWND ok = GetDlgItem(dialog, IDOK);
    SIZE button = window_size(ok);
    const int button_y = bottom + margin;
    MoveWindow(ok, right - button.cx, button_y, button.cx, button.cy, FALSE);

    RECT frame{0, 0, right + margin, button_y + button.cy + margin};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT around{};
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner == nullptr || !IsWindowVisible(owner) || IsIconic(owner) || !GetWindowRect(owner, &around)) {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &around, 0);
    }
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int x = (around.left + around.right - width) / 2;
    int top = (around.top + around.bottom - height) / 2;
    // Kept on the work area, its caption reachable.
    x = std::max<int>(work.left, std::min<int>(x, work.right - width));
    top = std::max<int>(work.top, std::min<int>(top, work.bottom - height));
    SetWindowPos(dialog, nullptr, x, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    // The control clips its drawing to the box's client area as it is when placed: only now is
    // the box its final size.
    if (box.movie.exists()) {
        box.movie.resize(movie_area);
    }
    InvalidateRect(dialog, nullptr, TRUE);
}

void set_text(HWND dialog, int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }

void set_up_link(HWND dialog, int id, const std::string& text, const std::string& address,
                 const appdata::Settings& settings) {
    HWND link = GetDlgItem(dialog, id);
    if (address.empty()) {
        return;  // stays empty, so hidden
    }
    SetWindowTextA(link, text.empty() ? address.c_str() : text.c_str());
    set_link(link, address, settings.link_colour, settings.visited_link_colour);
}

void init_dialog(HWND dialog, AboutBox& box) {
    const appdata::Settings& s = box.state.settings;

    std::string title = text_of(s.title);
    char caption[256] = {};
    if (title.empty() && box.state.main_window != nullptr) {
        GetWindowTextA(box.state.main_window, caption, sizeof caption);
        title = caption;
    }
    SetWindowTextA(dialog, ("About " + title).c_str());

    set_text(dialog, TARPON_ABOUT_TITLE, text_of(s.title));
    set_text(dialog, TARPON_ABOUT_VERSION, text_of(s.version));
    set_text(dialog, TARPON_ABOUT_DESCRIPTION, text_of(s.description));
    set_text(dialog, TARPON_ABOUT_COMPANY, text_of(s.company));
    set_text(dialog, TARPON_ABOUT_LEGAL_NOTICE, text_of(s.legal_notice));
    set_text(dialog, TARPON_ABOUT_CONTACT, text_of(s.contact));

    // The company's link leads to the About box's home page (or the presentation's); the home-page
    // link shows the presentation's home page itself; the e-mail link writes to the address.
    std::string company_address = text_of(s.about_home_page);
    if (company_address.empty()) {
        company_address = text_of(s.home_page);
    }
    set_up_link(dialog, TARPON_ABOUT_COMPANY_LINK, text_of(s.about_company), company_address, s);
    set_up_link(dialog, TARPON_ABOUT_HOME_PAGE_LINK, text_of(s.home_page), text_of(s.home_page), s);
    std::string mail = text_of(s.about_mail_address);
    if (!mail.empty()) {
        std::string mail_caption = text_of(s.about_mail_caption);
        set_up_link(dialog, TARPON_ABOUT_MAIL_LINK, mail_caption.empty() ? mail : mail_caption,
                    mail_link_address(mail), s);
    }

    box.text_font = font_of(s.about_font);
    box.link_font = font_of(s.about_link_font);
    if (box.text_font) {
        for (int id : {TARPON_ABOUT_TITLE, TARPON_ABOUT_VERSION, TARPON_ABOUT_DESCRIPTION, TARPON_ABOUT_COMPANY,
                       TARPON_ABOUT_LEGAL_NOTICE, TARPON_ABOUT_CONTACT}) {
            SendDlgItemMessageA(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(box.text_font.get()), FALSE);
        }
    }
    // The links underline the font they are given: the link font, else the box's own.
    HGDIOBJ link_font = box.link_font ? box.link_font.get()
                                      : reinterpret_cast<HGDIOBJ>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    for (int id : {TARPON_ABOUT_COMPANY_LINK, TARPON_ABOUT_HOME_PAGE_LINK, TARPON_ABOUT_MAIL_LINK}) {
        SendDlgItemMessageA(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(link_font), FALSE);
    }

    box.picture = load_picture(box.state, dialog);
    if (box.picture) {
        HWND picture = GetDlgItem(dialog, TARPON_ABOUT_PICTURE);
        SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(box.picture.get()));
        ShowWindow(picture, SW_SHOWNA);
    }

    // The movie plays in a control of the box's own, made from the same player as the main
    // window's. Its commands go nowhere: the box has no bridge.
    std::string movie = about_box_movie(box.state);
    if (!movie.empty()) {
        std::string module = box.state.player != nullptr ? box.state.player->module_path() : std::string();
        if (SUCCEEDED(box.movie.create(dialog, TARPON_ABOUT_MOVIE, module, {}, ModuleLifetime::Control)) &&
            !box.movie.load_movie(movie, true)) {
            box.movie.destroy();
        }
    }

    lay_out(dialog, box);
}

INT_PTR CALLBACK about_box_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* box = reinterpret_cast<AboutBox*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        box = reinterpret_cast<AboutBox*>(lparam);
        SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(box));
        open_box = dialog;
        init_dialog(dialog, *box);
        SetFocus(GetDlgItem(dialog, IDOK));
        return FALSE;  // the focus is set
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wparam));
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        if (box != nullptr) {
            box->movie.destroy();  // the control, then the player load it took
        }
        if (open_box == dialog) {
            open_box = nullptr;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

std::string about_picture_path(const ProjectorState& state) {
    return state.run_folder.empty() ? std::string() : state.run_folder + "Tarpon.BK";
}

std::string about_box_movie(const ProjectorState& state) {
    const appdata::Settings& s = state.settings;
    if ((s.about_flags & show_about_movie) != 0) {
        return s.about_movie.extracted ? s.about_movie.path : std::string();
    }
    if ((s.about_flags & show_current_movie) == 0 || state.player == nullptr || state.player->control() == nullptr) {
        return {};
    }
    BSTR path = nullptr;
    if (FAILED(state.player->control()->get_Movie(&path)) || path == nullptr) {
        return {};
    }
    std::string movie = platform::wide_to_ansi(std::wstring_view(path, SysStringLen(path)));
    SysFreeString(path);
    return movie;
}

void show_about_box(HWND owner, ProjectorState& state) {
    if (open_box != nullptr) {
        SetForegroundWindow(open_box);
        return;
    }
    AboutBox box(state);
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(TARPON_DIALOG_ABOUT), owner, about_box_procedure,
                    reinterpret_cast<LPARAM>(&box));
}

}  // namespace tarpon::projector
