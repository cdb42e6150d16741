#include "projector/window/options_sheet.h"

#include <commctrl.h>

#include <array>
#include <string>

#include "projector/window/options_fields.h"
#include "projector/window/options_sheet_ids.h"

namespace tarpon::projector {

namespace {

using options::ControlKind;
using options::Page;

// What the pages share while the sheet is open: the values of every control (a page's are read
// back each time it is left) and whether the sheet was confirmed.
struct SheetState {
    options::Form form;
    bool confirmed = false;
};

struct PageContext {
    SheetState* sheet = nullptr;
    Page page = Page::SizeAndPosition;
};

constexpr std::array<int, options::page_count> page_templates = {
    TARPON_DLG_OPTIONS_SIZE, TARPON_DLG_OPTIONS_APPEARANCE, TARPON_DLG_OPTIONS_BEHAVIOUR,
    TARPON_DLG_OPTIONS_INTERACTION, TARPON_DLG_OPTIONS_MISC};

std::string control_text(HWND control) {
    int length = GetWindowTextLengthA(control);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int copied = GetWindowTextA(control, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

void fill_lists(HWND page, Page which) {
    for (const options::Control& control : options::controls()) {
        if (control.page != which) {
            continue;
        }
        HWND item = GetDlgItem(page, control.id);
        if (control.kind == ControlKind::Choice) {
            for (const char* label : control.items) {
                SendMessageA(item, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label));
            }
        } else if (control.kind == ControlKind::Text) {
            SendMessageA(item, EM_LIMITTEXT, 259, 0);
        }
    }
    if (which == Page::SizeAndPosition) {
        HWND sizes = GetDlgItem(page, IDC_OPT_FIXED_SIZE);
        for (const char* size : options::fixed_sizes()) {
            SendMessageA(sizes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(size));
        }
    }
}

void show_values(HWND page, Page which, const options::Form& form) {
    for (const options::Control& control : options::controls()) {
        if (control.page != which) {
            continue;
        }
        const options::ControlValue& value = form.at(control.id);
        switch (control.kind) {
        case ControlKind::Text:
        case ControlKind::Number:
        case ControlKind::Colour:
            SetDlgItemTextA(page, control.id, value.text.c_str());
            break;
        case ControlKind::Check:
            CheckDlgButton(page, control.id, value.choice != 0 ? BST_CHECKED : BST_UNCHECKED);
            break;
        case ControlKind::Choice:
            SendDlgItemMessageA(page, control.id, CB_SETCURSEL, static_cast<WPARAM>(value.choice), 0);
            break;
        }
    }
}

void read_values(HWND page, Page which, options::Form& form) {
    for (const options::Control& control : options::controls()) {
        if (control.page != which) {
            continue;
        }
        options::ControlValue& value = form[control.id];
        switch (control.kind) {
        case ControlKind::Text:
        case ControlKind::Number:
        case ControlKind::Colour:
            value.text = control_text(GetDlgItem(page, control.id));
            break;
        case ControlKind::Check:
            value.choice = IsDlgButtonChecked(page, control.id) == BST_CHECKED ? 1 : 0;
            break;
        case ControlKind::Choice: {
            LRESULT chosen = SendDlgItemMessageA(page, control.id, CB_GETCURSEL, 0, 0);
            // An item the list did not offer stays as it was unless the user chose another.
            if (chosen != CB_ERR) {
                value.choice = static_cast<int>(chosen);
            }
            break;
        }
        }
    }
}

// A fixed size picked fills in the custom width and height and chooses the custom size mode.
void take_fixed_size(HWND page) {
    HWND sizes = GetDlgItem(page, IDC_OPT_FIXED_SIZE);
    LRESULT chosen = SendMessageA(sizes, CB_GETCURSEL, 0, 0);
    if (chosen == CB_ERR || static_cast<size_t>(chosen) >= options::fixed_sizes().size()) {
        return;
    }
    if (auto size = options::parse_fixed_size(options::fixed_sizes()[static_cast<size_t>(chosen)])) {
        SetDlgItemInt(page, IDC_OPT_WIDTH, size->first, FALSE);
        SetDlgItemInt(page, IDC_OPT_HEIGHT, size->second, FALSE);
        SendDlgItemMessageA(page, IDC_OPT_SIZE_MODE, CB_SETCURSEL, 3, 0);
    }
}

// Leaving a page takes its values, or keeps the user on it with the reason shown at its foot and
// the control to put right focused.
bool leave_page(HWND page, const PageContext& context) {
    read_values(page, context.page, context.sheet->form);
    auto problem = options::check_page(context.sheet->form, context.page);
    SetDlgItemTextA(page, IDC_OPT_PROBLEM, problem ? problem->message.c_str() : "");
    if (problem) {
        HWND control = GetDlgItem(page, problem->control_id);
        SetFocus(control);
        SendMessageA(control, EM_SETSEL, 0, -1);
        MessageBeep(MB_ICONWARNING);
        return false;
    }
    return true;
}

INT_PTR CALLBACK page_procedure(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* context = reinterpret_cast<PageContext*>(GetWindowLongPtrA(page, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        const auto* sheet_page = reinterpret_cast<const PROPSHEETPAGEA*>(lparam);
        context = reinterpret_cast<PageContext*>(sheet_page->lParam);
        SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(context));
        fill_lists(page, context->page);
        show_values(page, context->page, context->sheet->form);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_OPT_FIXED_SIZE && HIWORD(wparam) == CBN_SELCHANGE) {
            take_fixed_size(page);
            return TRUE;
        }
        return FALSE;
    case WM_NOTIFY: {
        if (context == nullptr) {
            return FALSE;
        }
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (header->code == PSN_KILLACTIVE) {
            SetWindowLongPtrA(page, DWLP_MSGRESULT, leave_page(page, *context) ? FALSE : TRUE);
            return TRUE;
        }
        if (header->code == PSN_APPLY) {
            context->sheet->confirmed = true;
            SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

}  // namespace

bool run_options_sheet(HWND owner, appdata::Settings& settings) {
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&classes);

    SheetState sheet{options::to_form(settings)};
    std::array<PageContext, options::page_count> contexts{};
    std::array<PROPSHEETPAGEA, options::page_count> pages{};
    HINSTANCE instance = GetModuleHandleA(nullptr);
    for (size_t i = 0; i < pages.size(); ++i) {
        contexts[i] = PageContext{&sheet, static_cast<Page>(i)};
        PROPSHEETPAGEA& page = pages[i];
        page.dwSize = sizeof(page);
        page.dwFlags = PSP_USETITLE;
        page.hInstance = instance;
        page.pszTemplate = MAKEINTRESOURCEA(page_templates[i]);
        page.pszTitle = options::page_title(static_cast<Page>(i));
        page.pfnDlgProc = page_procedure;
        page.lParam = reinterpret_cast<LPARAM>(&contexts[i]);
    }
    PROPSHEETHEADERA header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
    header.hwndParent = owner;
    header.hInstance = instance;
    header.pszCaption = "Options";
    header.nPages = static_cast<UINT>(pages.size());
    header.ppsp = pages.data();
    INT_PTR result = PropertySheetA(&header);
    if (result <= 0 || !sheet.confirmed) {
        return false;
    }
    // The edits go to a copy, taken over whole.
    appdata::Settings edited = settings;
    options::apply_form(sheet.form, edited);
    settings = std::move(edited);
    return true;
}

}  // namespace tarpon::projector
