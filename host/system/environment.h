// The process environment as 8-bit text: variables read whole, the names of the environment block,
// and %NAME% expansion.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarpon::host {

// The variable's value, however long; nothing when it is not set.
std::optional<std::string> environment_variable(const std::string& name);
// The names of all variables in the order of the environment block; nothing when the block cannot
// be read. Each entry is cut at its first "=" after its first character, so the entries that begin
// with "=" (the current folders of drives) keep that "=".
std::optional<std::vector<std::string>> environment_names();
// The text with its %NAME% references expanded; nothing when the system fails.
std::optional<std::string> expand_environment_strings(const std::string& text);

}  // namespace tarpon::host
