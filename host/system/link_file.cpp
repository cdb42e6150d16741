#include "host/system/link_file.h"

#include "host/common/text.h"
#include "platform/com.h"

#include <objidl.h>

namespace tarpon::host {

namespace {

platform::ComPtr<IPersistFile> persist_file_of(IUnknown* link) {
    platform::ComPtr<IPersistFile> file;
    if (link != nullptr) {
        link->QueryInterface(IID_IPersistFile, file.put_void());
    }
    return file;
}

}  // namespace

std::wstring link_file_path(const quill::StringRecord* path) {
    const std::wstring given = wide_text(path);
    if (given.empty() || given.find(L'\0') != std::wstring::npos) {
        return std::wstring();
    }
    // The link objects want a full path: a relative one would be read from the Windows folder by
    // some of them (through the profile functions) and written to the current folder by others.
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW(given.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        return std::wstring();
    }
    return std::wstring(full, length);
}

bool load_link_file(IUnknown* link, const std::wstring& file) {
    platform::ComPtr<IPersistFile> persist = persist_file_of(link);
    return persist && !file.empty() && SUCCEEDED(persist->Load(file.c_str(), STGM_READ));
}

void save_link_file(IUnknown* link, const std::wstring& file) {
    platform::ComPtr<IPersistFile> persist = persist_file_of(link);
    if (persist && !file.empty()) {
        persist->Save(file.c_str(), TRUE);
    }
}

}  // namespace tarpon::host
