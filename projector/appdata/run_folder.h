// The run folder: one folder per run for everything extracted, removed at shutdown. It is the
// folder named by TMP, else TEMP, else the Windows directory (each only when at most 259
// characters), then a fresh GUID in its registry form ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"),
// and always ends in a separator.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarpon::appdata {

// The folder the run folder is made in, with its trailing separator ("/" made the system's
// separator); empty when no candidate fits.
std::string run_folder_base(const std::optional<std::string>& tmp, const std::optional<std::string>& temp,
                            const std::string& windows_directory);
// The last candidate: the Windows directory (elsewhere the system's temporary folder).
std::string windows_directory();
// A freshly generated GUID in registry form.
std::string new_guid_text();
// Creates a new run folder and gives its path, or "" when it cannot be made.
std::string create_run_folder();
// Whether a folder name has the run folder's form: a GUID in registry form, braces included (hex
// digits of either case).
bool is_run_folder_name(std::string_view name);

}  // namespace tarpon::appdata
