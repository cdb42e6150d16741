// The Dialogs class: the system's modal dialogs for scripts (message box, file open and save,
// colour and font pickers, folder browser), owned by the host's main window when there is one. It
// has no state of its own: the class object and objects made with `new Dialogs()` behave alike.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/values/conversions.h"
#include "host/common/class.h"
#include "host/common/host_messages.h"
#include "host/common/system_error.h"
#include "host/ui/font_object.h"
#include "host/ui/host_window.h"
#include "host/ui/ui_classes.h"
#include "platform/windows.h"

#include <cderr.h>
#include <commdlg.h>
#include <shlobj.h>

namespace tarpon::host {

namespace {

// The file-name buffers of the open and save dialogs: one path, or a folder and many names.
constexpr size_t single_path_buffer = 261;
constexpr size_t multiple_path_buffer = 4096;

constexpr DWORD file_dialog_flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY;
// Saving asks before a file is replaced.
constexpr DWORD save_dialog_flags = file_dialog_flags | OFN_OVERWRITEPROMPT;

// Leaves the text of the common dialog's extended error as the engine's error text: ours for the
// codes the dialogs define, since the system's message table has none for them.
void store_dialog_error(ScriptEngine* engine) {
    const DWORD code = CommDlgExtendedError();
    std::optional<HostMessage> message;
    switch (code) {
    case 0:
        message = HostMessage::DialogCancelled;
        break;
    case CDERR_DIALOGFAILURE:
        message = HostMessage::DialogFailure;
        break;
    case CDERR_STRUCTSIZE:
    case CDERR_INITIALIZATION:
    case CDERR_NOTEMPLATE:
    case CDERR_NOHINSTANCE:
    case CDERR_NOHOOK:
        message = HostMessage::DialogBadSetup;
        break;
    case CDERR_LOADSTRFAILURE:
    case CDERR_FINDRESFAILURE:
    case CDERR_LOADRESFAILURE:
    case CDERR_LOCKRESFAILURE:
        message = HostMessage::DialogResources;
        break;
    case CDERR_MEMALLOCFAILURE:
    case CDERR_MEMLOCKFAILURE:
        message = HostMessage::DialogMemory;
        break;
    case CDERR_REGISTERMSGFAIL:
        message = HostMessage::DialogRegisterMessage;
        break;
    case CFERR_NOFONTS:
        message = HostMessage::DialogNoFonts;
        break;
    case CFERR_MAXLESSTHANMIN:
        message = HostMessage::DialogFontSizeRange;
        break;
    case FNERR_SUBCLASSFAILURE:
        message = HostMessage::DialogSubclass;
        break;
    case FNERR_INVALIDFILENAME:
        message = HostMessage::DialogInvalidFileName;
        break;
    case FNERR_BUFFERTOOSMALL:
        message = HostMessage::DialogBufferTooSmall;
        break;
    default:
        break;
    }
    if (message) {
        store_host_message(engine, *message);
    } else {
        store_system_error(engine, code);
    }
}

// msgBox(text, title, type): the code of the button pressed.
void dialogs_msg_box(MemberCall& call) {
    const std::string text = call.args.has(0) ? ansi_of(call.engine, call.args[0]) : std::string();
    const std::string title = call.args.has(1) ? ansi_of(call.engine, call.args[1]) : std::string("Tarpon");
    const UINT type = static_cast<UINT>(call.args.integer(2).value_or(0));
    *call.result = Value::integer(MessageBoxA(host_main_window(), text.c_str(), title.c_str(), type));
}

// The filter text with every "|" a NUL, ending in two NULs whatever the script wrote.
std::string filter_text(const std::string& filter) {
    std::string text = filter;
    std::replace(text.begin(), text.end(), '|', '\0');
    text.append(2, '\0');
    return text;
}

// What the open and save dialogs share: filter, default extension, initial file name.
struct FileDialog {
    std::optional<std::string> filter;
    std::optional<std::string> extension;
    std::vector<char> buffer;
    OPENFILENAMEA setup = {};

    FileDialog(const Arguments& args, size_t buffer_size, DWORD flags) : buffer(buffer_size, '\0') {
        if (std::optional<std::string> text = ansi_argument(args, 0)) {
            filter = filter_text(*text);
        }
        extension = ansi_argument(args, 1);
        if (std::optional<std::string> initial = ansi_argument(args, 2)) {
            const size_t length = std::min(std::strlen(initial->c_str()), buffer_size - 1);
            std::memcpy(buffer.data(), initial->data(), length);
        }
        setup.lStructSize = sizeof setup;
        setup.hwndOwner = host_main_window();
        setup.lpstrFilter = filter ? filter->c_str() : nullptr;
        setup.nFilterIndex = filter ? 1 : 0;
        setup.lpstrFile = buffer.data();
        setup.nMaxFile = static_cast<DWORD>(buffer.size());
        setup.lpstrDefExt = extension ? extension->c_str() : nullptr;
        setup.Flags = flags;
    }
    // The buffer's first text, terminated inside it whatever the dialog left.
    Value path(ScriptEngine* engine) const {
        return ansi_string(engine, std::string_view(buffer.data(), strnlen(buffer.data(), buffer.size())));
    }
    // The buffer's NUL-separated texts up to the empty one: the folder, then each name (or one
    // full path).
    Value parts(ScriptEngine* engine) const {
        std::vector<std::string_view> texts;
        size_t at = 0;
        while (at < buffer.size() && buffer[at] != '\0') {
            const size_t length = strnlen(buffer.data() + at, buffer.size() - at);
            texts.emplace_back(buffer.data() + at, length);
            at += length + 1;
        }
        return ansi_string_array(engine, texts);
    }
};

// fileOpen(filter, default extension, initial file name, multi-select): the chosen path, or with
// multi-select an Array of the folder and the names; false on cancel.
void dialogs_file_open(MemberCall& call) {
    const bool multiple = call.args.has(3) && to_boolean(call.args[3]);
    FileDialog dialog(call.args, multiple ? multiple_path_buffer : single_path_buffer,
                      file_dialog_flags | (multiple ? OFN_ALLOWMULTISELECT : 0));
    if (!GetOpenFileNameA(&dialog.setup)) {
        store_dialog_error(call.engine);
        *call.result = Value::boolean(false);
        return;
    }
    *call.result = multiple ? dialog.parts(call.engine) : dialog.path(call.engine);
}

// fileSave(filter, default extension, initial file name): the chosen path; false on cancel.
void dialogs_file_save(MemberCall& call) {
    FileDialog dialog(call.args, single_path_buffer, save_dialog_flags);
    if (!GetSaveFileNameA(&dialog.setup)) {
        store_dialog_error(call.engine);
        *call.result = Value::boolean(false);
        return;
    }
    *call.result = dialog.path(call.engine);
}

// chooseColor(initial colour): the chosen colour as 0xRRGGBB; false on cancel.
void dialogs_choose_color(MemberCall& call) {
    COLORREF custom[16] = {};  // black, and forgotten after the call
    CHOOSECOLORA setup = {};
    setup.lStructSize = sizeof setup;
    setup.hwndOwner = host_main_window();
    setup.lpCustColors = custom;
    setup.Flags = CC_FULLOPEN | CC_ANYCOLOR;
    if (std::optional<int64_t> initial = call.args.integer(0)) {
        setup.rgbResult = swap_red_blue(static_cast<uint32_t>(*initial)) & 0x00FFFFFFu;
        setup.Flags |= CC_RGBINIT;
    }
    if (!ChooseColorA(&setup)) {
        store_dialog_error(call.engine);
        *call.result = Value::boolean(false);
        return;
    }
    *call.result = Value::integer(swap_red_blue(setup.rgbResult));
}

// chooseFont(font): a new FontObject with the chosen font, colour and size, starting from the given
// one; null on cancel.
void dialogs_choose_font(MemberCall& call) {
    FontRecord chosen;
    chosen.font.lfCharSet = DEFAULT_CHARSET;
    CHOOSEFONTA setup = {};
    setup.lStructSize = sizeof setup;
    setup.hwndOwner = host_main_window();
    setup.lpLogFont = &chosen.font;
    setup.Flags = CF_SCREENFONTS | CF_EFFECTS;
    if (const FontRecord* initial = font_record_of(call.args[0])) {
        chosen = *initial;
        HDC screen = GetDC(nullptr);
        const int pixels_per_inch = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen != nullptr) {
            ReleaseDC(nullptr, screen);
        }
        chosen.font.lfHeight = -MulDiv(initial->size, pixels_per_inch, 72);
        setup.rgbColors = initial->color;
        setup.Flags |= CF_INITTOLOGFONTSTRUCT;
    }
    if (!ChooseFontA(&setup)) {
        store_dialog_error(call.engine);
        *call.result = Value::null();
        return;
    }
    chosen.color = setup.rgbColors;
    chosen.size = setup.iPointSize / 10;
    *call.result = make_font_object(call.engine, chosen);
}

// While the browser is open: selects the initial folder and shows the selection's path as status.
int CALLBACK browse_callback(HWND browser, UINT message, LPARAM parameter, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, data);
    } else if (message == BFFM_SELCHANGED) {
        char path[MAX_PATH] = {};
        if (SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(parameter), path)) {
            SendMessageA(browser, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
        }
    }
    return 0;
}

// browse(title, initial folder, computers): the chosen folder's path; false on cancel or when the
// choice is not a folder of the file system.
void dialogs_browse(MemberCall& call) {
    const std::optional<std::string> title = ansi_argument(call.args, 0);
    const std::optional<std::string> initial = ansi_argument(call.args, 1);
    const bool computers = call.args.has(2) && to_boolean(call.args[2]);
    char display_name[MAX_PATH] = {};
    BROWSEINFOA setup = {};
    setup.hwndOwner = host_main_window();
    setup.pszDisplayName = display_name;
    setup.lpszTitle = title ? title->c_str() : nullptr;
    setup.ulFlags =
        computers ? (BIF_BROWSEFORCOMPUTER | BIF_STATUSTEXT) : (BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT);
    if (initial) {
        setup.lpfn = browse_callback;
        setup.lParam = reinterpret_cast<LPARAM>(initial->c_str());
    }
    LPITEMIDLIST chosen = SHBrowseForFolderA(&setup);
    *call.result = Value::boolean(false);
    if (chosen == nullptr) {
        return;
    }
    char path[MAX_PATH] = {};
    const bool has_path = SHGetPathFromIDListA(chosen, path) != FALSE;
    CoTaskMemFree(chosen);
    if (has_path) {
        *call.result = ansi_string(call.engine, std::string_view(path, strnlen(path, sizeof path)));
    }
}

const Member dialogs_members[] = {
    method("msgBox", dialogs_msg_box),         method("fileOpen", dialogs_file_open),
    method("fileSave", dialogs_file_save),     method("chooseColor", dialogs_choose_color),
    method("chooseFont", dialogs_choose_font), method("browse", dialogs_browse),
};

const ClassDeclaration dialogs_class = {
    .name = "Dialogs",
    .class_text = "[object Dialogs]",
    .members = dialogs_members,
    .construct = construct_stateless,
};

}  // namespace

void register_dialogs_class(ScriptEngine* engine) { declare_class(engine, dialogs_class); }

}  // namespace tarpon::host
