// Where the settings and masks of a run come from: an options file named on the command line
// ("/o:<file>"), else the executable's own settings, replaced by the saved options of an earlier
// run when they were saved for the same settings.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "projector/appdata/item_source.h"
#include "projector/appdata/mask_list.h"
#include "projector/appdata/saved_options.h"
#include "projector/appdata/settings.h"

namespace tarpon::projector {

enum class SettingsSource {
    OptionsFile,  // the "/o:" file
    Embedded,     // the ST item (written as the saved options)
    Saved,        // the saved options of an earlier run
};

// An options file read whole: a settings record followed by a mask list (a file that ends right
// after the record has no masks). False, with both left empty, when the file cannot be read or
// either part is malformed.
bool read_options_file_whole(const std::string& path, appdata::Settings& settings,
                             std::vector<appdata::MaskEntry>& masks);

// Fills the settings and mask entries for the run. A malformed options file is ignored: the
// executable's settings are used then, as when no options file is named.
SettingsSource load_run_settings(const std::optional<std::string>& options_file, const appdata::ItemSource& items,
                                 appdata::OptionsStore& store, appdata::Settings& settings,
                                 std::vector<appdata::MaskEntry>& masks);

}  // namespace tarpon::projector
