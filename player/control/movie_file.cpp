#include "player/control/movie_file.h"

#include <shlwapi.h>

#include <algorithm>
#include <iterator>

#include "platform/owners.h"
#include "player/control/player_text.h"

namespace tarpon::player {

namespace {

// A scheme of two or more letters before a colon: one letter is a drive.
bool has_url_scheme(const std::wstring& location) {
    size_t colon = location.find(L':');
    if (colon == std::wstring::npos || colon < 2) {
        return false;
    }
    for (size_t i = 0; i < colon; ++i) {
        wchar_t c = location[i];
        bool letter = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
        bool other = i > 0 && ((c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.');
        if (!letter && !other) {
            return false;
        }
    }
    return true;
}

} // namespace

std::wstring movie_path(const std::wstring& location) {
    if (!has_url_scheme(location)) {
        return location;
    }
    if (!same_ascii_text(std::wstring_view(location).substr(0, 5), L"file:")) {
        return {};
    }
    wchar_t path[MAX_PATH * 4];
    DWORD length = static_cast<DWORD>(std::size(path));
    if (SUCCEEDED(PathCreateFromUrlW(location.c_str(), path, &length, 0))) {
        return path;
    }
    // "file:name.swf" and other forms the shell does not convert: the rest is the path.
    std::wstring rest = location.substr(5);
    while (rest.size() >= 2 && rest[0] == L'/' && rest[1] == L'/') {
        rest.erase(0, 2);
    }
    return rest;
}

HRESULT read_movie_file(const std::wstring& path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (path.empty()) {
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    platform::KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    if (size.QuadPart < 0 || static_cast<uint64_t>(size.QuadPart) > max_movie_file_size) {
        return E_OUTOFMEMORY;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart)); // may throw: the caller answers E_OUTOFMEMORY
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + done, chunk, &read, nullptr)) {
            bytes.clear();
            return HRESULT_FROM_WIN32(GetLastError());
        }
        if (read == 0) {
            break; // the file shrank while it was read
        }
        done += read;
    }
    bytes.resize(done);
    return S_OK;
}

} // namespace tarpon::player
