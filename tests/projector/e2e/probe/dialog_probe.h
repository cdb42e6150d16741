// Drives another program's dialogs and property sheets from outside, as a person would: shows a
// sheet's page as a click on its tab does, types into edit fields, ticks check boxes, chooses list
// items, reads texts back, and presses the sheet's buttons.
#pragma once

#include <string>

#include "platform/windows.h"

namespace tarpon::probe {

// The page a property sheet shows now, or null.
HWND current_page(HWND sheet);
// Shows the sheet's page at `index` (PSM_SETCURSEL). False when the page shown now kept the user
// on it (a value it refused) or there is no such page.
bool select_page(HWND sheet, int index);
// The control with this id on the sheet's current page, else anywhere below `window`.
HWND dialog_control(HWND window, int id);

// Replaces an edit field's text.
bool set_control_text(HWND window, int id, const std::string& text);
// The control's text (an edit field's content, a label's words); empty when there is no control.
std::string control_text(HWND window, int id);
bool set_checked(HWND window, int id, bool checked);
bool is_checked(HWND window, int id);
// Chooses a drop-down list's item by its index, telling the dialog as a pick with the mouse does.
bool choose_item(HWND window, int id, int index);
int chosen_item(HWND window, int id);

enum class SheetButton { Ok, Cancel };
// Presses the sheet's OK or Cancel button (posted: the sheet may close at once).
bool press_sheet_button(HWND sheet, SheetButton button);

}  // namespace tarpon::probe
