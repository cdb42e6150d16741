#include "projector/window/open_movie.h"

#include <commdlg.h>

#include <vector>

#include "projector/app/projector_state.h"
#include "projector/window/main_window.h"
#include "projector/window/open_movie_ids.h"
#include "projector/window/settings_apply.h"

namespace tarpon::projector {

namespace {

std::string window_text(HWND window) {
    const int length = GetWindowTextLengthA(window);
    if (length <= 0) {
        return {};
    }
    std::vector<char> text(static_cast<size_t>(length) + 1);
    const int got = GetWindowTextA(window, text.data(), length + 1);
    return std::string(text.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

// Leading and trailing blanks are not part of a location.
std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

void browse(HWND dialog) {
    char file[MAX_PATH] = {};
    OPENFILENAMEA choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = dialog;
    choice.lpstrFilter = "Movies (*.swf)\0*.swf\0All files (*.*)\0*.*\0";
    choice.lpstrFile = file;
    choice.nMaxFile = sizeof file;
    choice.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (GetOpenFileNameA(&choice)) {
        SetDlgItemTextA(dialog, TARPON_OPEN_MOVIE_LOCATION, file);
    }
}

INT_PTR CALLBACK dialog_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lparam);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK: {
            auto* location = reinterpret_cast<std::optional<std::string>*>(GetWindowLongPtrA(dialog, DWLP_USER));
            std::string text = trimmed(window_text(GetDlgItem(dialog, TARPON_OPEN_MOVIE_LOCATION)));
            if (location != nullptr && !text.empty()) {
                *location = std::move(text);
            }
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case TARPON_OPEN_MOVIE_BROWSE:
            browse(dialog);
            return TRUE;
        default:
            break;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

}  // namespace

std::optional<std::string> run_open_movie_dialog(HWND owner) {
    std::optional<std::string> location;
    const INT_PTR result =
        DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(TARPON_DIALOG_OPEN_MOVIE), owner,
                        dialog_procedure, reinterpret_cast<LPARAM>(&location));
    if (result != IDOK) {
        return std::nullopt;
    }
    return location;
}

void open_movie(MainWindow& window) {
    const std::optional<std::string> location = run_open_movie_dialog(window.handle());
    if (!location || !window.player().exists()) {
        return;
    }
    ProjectorState& state = projector_state();
    // A movie the user picked is not the author's: the bridge holds its commands to the user's
    // rights, from its first frame on (which may run while it loads).
    const MovieOrigin before = state.movie_origin;
    state.movie_origin = MovieOrigin::User;
    if (!window.player().load_movie(*location, (state.settings.window_flags & 0x1) != 0)) {
        state.movie_origin = before;  // the movie there before stays
        return;
    }
    place_for_current_movie(window);
    // A mask is mapped by the movie's size: the new movie needs it mapped again.
    shape_for_current_movie(window);
    record_aspect_ratio(window);
}

}  // namespace tarpon::projector
