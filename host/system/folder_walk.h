// Walks over a folder's tree for Folder: the size of everything below it, a recursive copy, and
// the lists of its files and sub-folders. Paths are ANSI text (path_normalisation.h); a path that
// would pass max_path_bytes is never handed to the system, which also bounds the depth of every
// walk (a junction that leads back up the tree ends there instead of recursing forever).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarpon::host {

// The sum of the 64-bit sizes of all files below the folder, its sub-folders walked.
uint64_t folder_size(const std::string& folder);

// Copies the folder's entries into the destination, creating it when it is not an existing folder:
// sub-folders recursively, files overwriting what is there. Stops at the first failure and gives
// its system error code; 0 when everything was copied. Requires: the destination does not lie
// inside the source (the caller checks, after normalising both).
uint32_t copy_folder(const std::string& source, const std::string& destination);

enum class EntryKind { Files, Folders };

// The full paths of the files, or of the sub-folders, directly in the folder, in the order the
// system enumerates them ("." and ".." left out).
std::vector<std::string> folder_entries(const std::string& folder, EntryKind kind);

} // namespace tarpon::host
