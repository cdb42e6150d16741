#include "projector/appdata/file_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace tarpon::appdata {

bool file_exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

bool folder_exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool make_folder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0 || folder_exists(path); }

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

void remove_tree(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

}  // namespace tarpon::appdata
