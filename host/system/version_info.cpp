#include "host/system/version_info.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/windows.h"

namespace tarpon::host {

namespace {

uint64_t join_halves(DWORD most_significant, DWORD least_significant) {
    return static_cast<uint64_t>(most_significant) << 32 | least_significant;
}

// A string of the block, "" when it is missing; never read past the length the system gives.
std::string version_string(const void* block, uint32_t translation, const char* entry) {
    char sub_block[96];
    std::snprintf(sub_block, sizeof sub_block, "\\StringFileInfo\\%08X\\%s",
                  static_cast<unsigned>(translation), entry);
    void* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block, sub_block, &text, &length) || text == nullptr) {
        return std::string();
    }
    const char* chars = static_cast<const char*>(text);
    return std::string(chars, strnlen(chars, length));
}

}  // namespace

std::optional<FileVersionInfo> read_file_version_info(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) {
        return std::nullopt;
    }
    FileVersionInfo info;
    void* data = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block.data(), "\\", &data, &length) && data != nullptr &&
        length == sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(data);
        info.file_version = join_halves(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
        info.product_version = join_halves(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    }
    if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &data, &length) && data != nullptr &&
        length >= 4) {
        WORD pair[2];
        std::memcpy(pair, data, sizeof pair);
        const uint32_t translation = static_cast<uint32_t>(pair[0]) << 16 | pair[1];
        info.translation = translation;
        for (size_t i = 0; i < version_string_names.size(); ++i) {
            info.strings[i] = version_string(block.data(), translation, version_string_names[i].entry);
        }
    }
    return info;
}

}  // namespace tarpon::host
