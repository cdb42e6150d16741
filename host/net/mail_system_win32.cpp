#include "host/net/mail_system.h"

#include <algorithm>
#include <climits>

#include "platform/windows.h"

namespace tarpon::host {

namespace {

using platform::KernelHandle;
using platform::RegistryKey;

// Whole files are read up to this size; a larger one is not read at all rather than cut, since a
// message or an attachment cut short is a corrupted one.
constexpr uint64_t whole_file_limit = 1ull << 30;

constexpr const char* octet_stream = "application/octet-stream";

bool write_all(HANDLE file, std::string_view content) {
    while (!content.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size(), 1u << 24));
        DWORD written = 0;
        if (!WriteFile(file, content.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        content.remove_prefix(written);
    }
    return true;
}

}  // namespace

KernelHandle create_message_file() {
    char folder[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder) {
        return {};
    }
    char path[MAX_PATH + 1];
    if (GetTempFileNameA(folder, "tml", 0, path) == 0) {
        return {};
    }
    KernelHandle file(CreateFileA(
        path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file) {
        DeleteFileA(path);
    }
    return file;
}

bool replace_file_content(HANDLE file, std::string_view content) {
    return SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           write_all(file, content) && SetEndOfFile(file);
}

std::optional<std::string> read_whole_file(const std::string& path) {
    KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.get(), &size) ||
        static_cast<uint64_t>(size.QuadPart) > whole_file_limit) {
        return std::nullopt;
    }
    std::string content(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < content.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 24));
        if (!ReadFile(file.get(), content.data() + done, chunk, &read, nullptr)) {
            return std::nullopt;
        }
        if (read == 0) {
            break;  // the file shrank while it was read
        }
        done += read;
    }
    content.resize(done);
    return content;
}

bool write_whole_file(const std::string& path, std::string_view content) {
    KernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && write_all(file.get(), content);
}

std::string_view file_name_of(std::string_view path) {
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string content_type_of(std::string_view file_name) {
    const size_t dot = file_name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == file_name.size()) {
        return octet_stream;
    }
    const std::string extension(file_name.substr(dot));
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, extension.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return octet_stream;
    }
    char value[mime::part_field_limit + 1];
    DWORD type = 0;
    DWORD size = sizeof value - 1;
    if (RegQueryValueExA(key.get(), "Content Type", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return octet_stream;
    }
    value[std::min<DWORD>(size, sizeof value - 1)] = '\0';
    return value[0] != '\0' ? std::string(value) : octet_stream;
}

mime::BoundarySeed boundary_seed() { return {GetCurrentProcessId(), GetTickCount()}; }

}  // namespace tarpon::host
