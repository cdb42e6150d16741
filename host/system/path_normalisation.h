// Paths as the file-system objects keep them: absolute, "\" as the separator, every component that
// exists spelt as it is stored on disk (its long name, in its letter case), and no longer than the
// 260 bytes the ANSI file functions take. Paths are 8-bit text in the ANSI code page: every scan
// steps over double-byte characters whole, so a trail byte that happens to be "\" never splits one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarpon::host {

// The longest path kept, its terminating NUL included (MAX_PATH).
inline constexpr size_t max_path_bytes = 260;

// The absolute, normalised form of the path:
//  - "/" becomes "\" and the path is made absolute against the current directory;
//  - a drive path keeps its prefix ("C:\") as written; a UNC path keeps "\\server\share\" as
//    written; a path of any other form ("\\?\", "\\.\", a server without a share) is kept whole
//    as the system made it absolute, with no component looked up;
//  - every further component is looked up on disk and replaced by the name found (an 8.3 name by
//    its long name, any letter case by the stored one); a component that is not found, or that
//    holds a wildcard, stays as written;
//  - the trailing "\" goes, unless the path is a drive root.
// Nothing when the path is empty, holds a NUL, cannot be made absolute, or would not fit in
// max_path_bytes.
std::optional<std::string> normalised_full_path(std::string_view path);

// "X:\" for a letter X.
bool is_drive_root(std::string_view path);
// The drive part of a normalised path: "C:" for a drive path, "\\server\share" for a UNC path, else
// nothing.
std::string_view path_drive(std::string_view path);
// The folder and the name with one "\" between them (none added after a drive root's).
std::string join_path(std::string_view folder, std::string_view name);
// The part after the last "\" (the whole path when there is none).
std::string_view path_name(std::string_view path);
// The part before the last "\" (the whole path when there is none).
std::string_view path_parent(std::string_view path);
// The short (8.3) form of an existing item's path, read whole whatever its length; nothing when the
// system cannot give it (its error stays the thread's last error).
std::optional<std::string> short_path_of(const std::string& path);
// Whether `inner` names `outer` itself or something below it, letter case ignored. Both are
// normalised paths.
bool path_within(std::string_view inner, std::string_view outer);

} // namespace tarpon::host
