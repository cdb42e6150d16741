// What Mail asks of the system: its temporary message file, whole files read and written, the
// content type the registry gives a file name, and the seed of boundaries.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/net/mime_writer.h"
#include "platform/owners.h"

namespace tarpon::host {

// A new temporary file in the user's temporary folder, deleted when its handle is closed; none when
// it cannot be made.
platform::KernelHandle create_message_file();
// Replaces the whole content of the open file.
bool replace_file_content(HANDLE file, std::string_view content);

// A file's whole content; nothing when it cannot be opened or read.
std::optional<std::string> read_whole_file(const std::string& path);
// Creates (or truncates) the file and writes the content.
bool write_whole_file(const std::string& path, std::string_view content);

// The name a file is attached as: its path after the last backslash or slash.
std::string_view file_name_of(std::string_view path);
// The "Content Type" the registry gives the name's extension, "application/octet-stream" when it
// gives none.
std::string content_type_of(std::string_view file_name);

// This process and this moment, for the boundaries of a message written now.
mime::BoundarySeed boundary_seed();

}  // namespace tarpon::host
