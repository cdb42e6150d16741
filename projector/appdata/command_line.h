// What the command line gives the application data: movies named on it, and an options file
// ("/o:<file>") that replaces the settings and masks of the executable.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "projector/appdata/mask_list.h"
#include "projector/appdata/settings.h"

namespace tarpon::appdata {

struct CommandLine {
    std::vector<std::string> movies;           // every argument not beginning with "/", in order
    std::optional<std::string> options_file;   // the first "/o:" argument naming an existing file
};
CommandLine read_command_line(const std::vector<std::string>& arguments);

// An options file: a settings record followed directly by a mask list. False when the file cannot
// be opened. A record or list that is cut short counts as absent: the record stays zero-filled and
// the list empty.
bool read_options_file(const std::string& path, Settings& settings, std::vector<MaskEntry>& masks);

}  // namespace tarpon::appdata
