// The options sheet "Options": a property sheet whose pages (Size and Position, Appearance,
// Behaviour, Interaction, Miscellaneous) edit the settings record.
#pragma once

#include "platform/windows.h"
#include "projector/appdata/settings.h"

namespace tarpon::projector {

// Shows the sheet modally over `owner`. True when the user confirmed it: only then has `settings`
// been changed.
bool run_options_sheet(HWND owner, appdata::Settings& settings);

}  // namespace tarpon::projector
