#include "projector/appdata/file_system.h"

#include "platform/owners.h"
#include "platform/windows.h"

namespace tarpon::appdata {

bool file_exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool folder_exists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool make_folder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) || folder_exists(path); }

bool remove_file(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

void remove_tree(const std::string& path) {
    std::string folder = path;
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) {
        folder.pop_back();
    }
    WIN32_FIND_DATAA found;
    platform::FindHandle search(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (search) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            std::string child = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // A junction or link: remove the link itself, never what it points to.
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveDirectoryA(child.c_str());
                } else {
                    DeleteFileA(child.c_str());
                }
            } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(child);
            } else {
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(search.get(), &found));
        search.reset();
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace tarpon::appdata
