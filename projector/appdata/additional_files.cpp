#include "projector/appdata/additional_files.h"

#include <vector>

#include "projector/appdata/archive.h"
#include "projector/appdata/file_system.h"
#include "projector/appdata/safe_name.h"

namespace tarpon::appdata {

namespace {

constexpr const char* extra_folder = "_extra";

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = char(x - 32);
        if (y >= 'a' && y <= 'z') y = char(y - 32);
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> split_parts(std::string_view path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) {
                parts.push_back(std::move(part));
            }
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) {
        parts.push_back(std::move(part));
    }
    return parts;
}

std::string with_separator(std::string folder) {
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') {
        folder += path_separator;
    }
    return folder;
}

}  // namespace

struct AdditionalFilesWalk {
    AdditionalFiles& files;
    const Archive& archive;

    bool extract_file(const ArchiveEntry& entry, const std::string& path) {
        if (files.m_extracted.count(path) && file_exists(path)) {
            return true;
        }
        files.m_extracted.erase(path);
        if (!archive.extract_file(entry, path)) {
            return false;
        }
        files.m_extracted.insert(path);
        return true;
    }

    // Every file and folder below `folder` into `path` (which ends in a separator). Corrupt files
    // are deleted and the rest goes on; false when any was.
    bool extract_folder(const ArchiveEntry& folder, const std::string& path, int depth) {
        if (depth > archive_max_depth) {
            return false;
        }
        auto entries = archive.entries(folder);
        if (!entries) {
            return false;
        }
        bool ok = true;
        for (const ArchiveEntry& entry : *entries) {
            std::string target = path + entry.name;
            if (entry.folder) {
                ok = make_folder(target) && extract_folder(entry, target + path_separator, depth + 1) && ok;
            } else {
                ok = extract_file(entry, target) && ok;
            }
        }
        return ok;
    }
};

std::string AdditionalFiles::get(std::string_view relative_path) {
    std::string relative;
    for (char c : relative_path) {
        relative += c == '/' ? '\\' : c;
    }
    std::string key;
    for (char c : relative) {
        key += (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    }
    if (auto given = m_given.find(key); given != m_given.end()) {
        if (m_extracted.count(given->second) && file_exists(given->second)) {
            return given->second;
        }
        m_given.erase(given);
    }
    auto archive = Archive::open(m_executable);
    if (!archive) {
        std::string beside = join_path(m_exe_folder, relative);
        return file_exists(beside) ? beside : std::string();
    }
    std::string destination = with_separator(m_run_folder) + extra_folder + path_separator;
    if (!make_folder(destination)) {
        return {};
    }
    AdditionalFilesWalk walk{*this, *archive};
    std::vector<std::string> parts = split_parts(relative);
    if (parts.size() > size_t(archive_max_depth)) {
        return {};
    }
    ArchiveEntry current = archive->root();
    for (size_t i = 0; i < parts.size(); ++i) {
        auto entries = archive->entries(current);
        if (!entries) {
            return {};
        }
        const ArchiveEntry* found = nullptr;
        for (const ArchiveEntry& entry : *entries) {
            if (same_name(entry.name, parts[i])) {
                found = &entry;
                break;
            }
        }
        if (!found) {
            return {};
        }
        if (!found->folder) {
            // A file ends the walk; a path that goes on below a file names nothing.
            if (i + 1 != parts.size()) {
                return {};
            }
            std::string path = destination + found->name;
            if (!walk.extract_file(*found, path)) {
                return {};
            }
            m_given[key] = path;
            return path;
        }
        destination += found->name;
        destination += path_separator;
        if (!make_folder(destination)) {
            return {};
        }
        current = *found;
    }
    // The path names a folder: all of it is extracted.
    return walk.extract_folder(current, destination, 0) ? destination : std::string();
}

}  // namespace tarpon::appdata
