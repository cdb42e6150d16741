#include "host/system/folder_walk.h"

#include <cstring>

#include "host/system/path_normalisation.h"
#include "platform/owners.h"
#include "platform/windows.h"

namespace tarpon::host {

namespace {

bool is_dot_entry(const WIN32_FIND_DATAA& entry) {
    return std::strcmp(entry.cFileName, ".") == 0 || std::strcmp(entry.cFileName, "..") == 0;
}

bool is_folder(const WIN32_FIND_DATAA& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool fits(const std::string& path) { return path.size() < max_path_bytes; }

// Calls visit(entry) for every entry of the folder but "." and ".."; stops early when visit gives
// false. Gives the system error that ended the search early, or 0.
template <typename Visit> uint32_t for_each_entry(const std::string& folder, Visit&& visit) {
    const std::string pattern = join_path(folder, "*.*");
    if (!fits(pattern)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    WIN32_FIND_DATAA entry;
    platform::FindHandle search(FindFirstFileA(pattern.c_str(), &entry));
    if (!search) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : error; // a drive root with nothing on it
    }
    do {
        if (!is_dot_entry(entry) && !visit(entry)) {
            return 0;
        }
    } while (FindNextFileA(search.get(), &entry));
    const DWORD error = GetLastError();
    return error == ERROR_NO_MORE_FILES ? 0 : error;
}

} // namespace

uint64_t folder_size(const std::string& folder) {
    uint64_t total = 0;
    for_each_entry(folder, [&](const WIN32_FIND_DATAA& entry) {
        total += (uint64_t{entry.nFileSizeHigh} << 32) + entry.nFileSizeLow;
        if (is_folder(entry)) {
            const std::string below = join_path(folder, entry.cFileName);
            if (fits(below)) {
                total += folder_size(below);
            }
        }
        return true;
    });
    return total;
}

uint32_t copy_folder(const std::string& source, const std::string& destination) {
    if (!fits(source) || !fits(destination)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    const DWORD attributes = GetFileAttributesA(destination.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        if (!CreateDirectoryA(destination.c_str(), nullptr)) {
            return GetLastError();
        }
    }
    uint32_t failure = 0;
    const uint32_t search_failure = for_each_entry(source, [&](const WIN32_FIND_DATAA& entry) {
        const std::string from = join_path(source, entry.cFileName);
        const std::string to = join_path(destination, entry.cFileName);
        if (is_folder(entry)) {
            failure = copy_folder(from, to);
        } else if (!fits(from) || !fits(to)) {
            failure = ERROR_FILENAME_EXCED_RANGE;
        } else if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
            failure = GetLastError();
        }
        return failure == 0;
    });
    return failure != 0 ? failure : search_failure;
}

std::vector<std::string> folder_entries(const std::string& folder, EntryKind kind) {
    std::vector<std::string> paths;
    for_each_entry(folder, [&](const WIN32_FIND_DATAA& entry) {
        if (is_folder(entry) == (kind == EntryKind::Folders)) {
            paths.push_back(join_path(folder, entry.cFileName));
        }
        return true;
    });
    return paths;
}

} // namespace tarpon::host
