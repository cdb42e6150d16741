#include "tools/author/runtime_files.h"

#include <cstdlib>
#include <filesystem>

#ifdef _WIN32
#include "platform/windows.h"
#else
#include <unistd.h>
#endif

#ifndef TARPON_RUNTIME_DIR
#define TARPON_RUNTIME_DIR ""
#endif

namespace tarpon::author {

std::string own_folder() {
#ifdef _WIN32
    char buffer[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, length < MAX_PATH ? length : 0);
#else
    std::error_code error;
    std::string path = std::filesystem::read_symlink("/proc/self/exe", error).string();
#endif
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::vector<std::string> runtime_folders(const RuntimeSearch& search) {
    std::vector<std::string> folders;
    if (!search.runtime_dir.empty()) {
        folders.push_back(search.runtime_dir);
    }
    if (const char* env = std::getenv("TARPON_RUNTIME"); env && *env) {
        folders.push_back(env);
    }
    if (std::string own = own_folder(); !own.empty()) {
        folders.push_back(own);
    }
    if (*TARPON_RUNTIME_DIR) {
        folders.push_back(TARPON_RUNTIME_DIR);
    }
    return folders;
}

std::optional<std::string> find_runtime_file(const RuntimeSearch& search, const std::string& name) {
    for (const std::string& folder : runtime_folders(search)) {
        std::string path = folder + "/" + name;
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) {
            return path;
        }
    }
    return std::nullopt;
}

}  // namespace tarpon::author
