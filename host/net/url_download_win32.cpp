// URL downloads through WinINet, which is loaded for each download and released afterwards.
#include "host/net/url_download.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "host/net/library_function.h"
#include "platform/owners.h"
#include "platform/system_error.h"
#include <wininet.h>

namespace tarpon::host::net {

namespace {

using CanonicalizeUrl = BOOL(WINAPI*)(LPCSTR, LPSTR, LPDWORD, DWORD);
using OpenInternet = HINTERNET(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
using OpenUrl = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR);
using InternetRead = BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD);
using InternetClose = BOOL(WINAPI*)(HINTERNET);
using QueryInfo = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD);

constexpr DWORD canonical_size = 2084;
constexpr DWORD first_failure_status = 400;

struct WinInet {
    platform::Library library;
    CanonicalizeUrl canonicalize = nullptr;
    OpenInternet open = nullptr;
    OpenUrl open_url = nullptr;
    InternetRead read = nullptr;
    InternetClose close = nullptr;
    QueryInfo query_info = nullptr; // optional: without it no status is checked

    bool load() {
        library.reset(LoadLibraryA("wininet.dll"));
        if (!library) {
            return false;
        }
        canonicalize = library_function<CanonicalizeUrl>(library.get(), "InternetCanonicalizeUrlA");
        open = library_function<OpenInternet>(library.get(), "InternetOpenA");
        open_url = library_function<OpenUrl>(library.get(), "InternetOpenUrlA");
        read = library_function<InternetRead>(library.get(), "InternetReadFile");
        close = library_function<InternetClose>(library.get(), "InternetCloseHandle");
        query_info = library_function<QueryInfo>(library.get(), "HttpQueryInfoA");
        return canonicalize != nullptr && open != nullptr && open_url != nullptr && read != nullptr &&
               close != nullptr;
    }
};

// An Internet handle, closed through the library that made it.
class InternetHandle {
  public:
    InternetHandle(HINTERNET handle, InternetClose close) : m_handle(handle), m_close(close) {}
    ~InternetHandle() {
        if (m_handle != nullptr) {
            m_close(m_handle);
        }
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

  private:
    HINTERNET m_handle;
    InternetClose m_close;
};

// The text for an error code: WinINet's own codes have their texts in its module, the others are
// the system's.
std::string error_text(HMODULE wininet, DWORD code) {
    if (code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST) {
        char buffer[512];
        const DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, wininet, code,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), buffer, sizeof buffer, nullptr);
        if (length > 0) {
            std::string text(buffer, length);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
                text.pop_back();
            }
            return text;
        }
    }
    return platform::system_error_text(code);
}

std::string canonical_url(const WinInet& inet, const std::string& url) {
    std::vector<char> buffer(canonical_size);
    DWORD size = canonical_size;
    if (inet.canonicalize(url.c_str(), buffer.data(), &size, ICU_BROWSER_MODE)) {
        return std::string(buffer.data(), size);
    }
    if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && size > canonical_size) {
        buffer.assign(size + 1, '\0');
        if (inet.canonicalize(url.c_str(), buffer.data(), &size, ICU_BROWSER_MODE)) {
            return std::string(buffer.data(), size);
        }
    }
    return url; // WinINet reads the URL as given then
}

// The status line of an HTTP response with a failure status, or nothing (success, or no status:
// a scheme without one).
std::optional<std::string> failure_status(const WinInet& inet, HINTERNET request) {
    if (inet.query_info == nullptr) {
        return std::nullopt;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!inet.query_info(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
        status < first_failure_status) {
        return std::nullopt;
    }
    char headers[1024];
    size = sizeof headers;
    if (inet.query_info(request, HTTP_QUERY_RAW_HEADERS_CRLF, headers, &size, nullptr)) {
        const std::string text(headers, std::min<size_t>(size, sizeof headers));
        return text.substr(0, text.find("\r\n"));
    }
    return "HTTP status " + std::to_string(status);
}

bool write_all(HANDLE file, const char* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

} // namespace

DownloadResult download_url(const std::string& url, const std::string& path,
                            const DownloadListener& listener) {
    auto fail = [&](const std::string& text) {
        if (listener) {
            listener(DownloadEvent::Failed, text);
        }
    };
    WinInet inet;
    if (!inet.load()) {
        return {false, GetLastError()};
    }
    const std::string canonical = canonical_url(inet, url);
    InternetHandle session(inet.open(download_agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0),
                           inet.close);
    if (!session) {
        const DWORD error = GetLastError();
        fail(error_text(inet.library.get(), error));
        return {false, error};
    }
    InternetHandle request(inet.open_url(session.get(), canonical.c_str(), nullptr, 0,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0),
                           inet.close);
    if (!request) {
        const DWORD error = GetLastError();
        fail(error_text(inet.library.get(), error));
        return {false, error};
    }
    if (const std::optional<std::string> status = failure_status(inet, request.get())) {
        fail(*status);
        return {false, 0};
    }
    // Only now is the destination opened: a download that cannot start leaves the file as it was.
    platform::KernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return {false, GetLastError()};
    }
    char block[download_block];
    uint64_t total = 0;
    for (;;) {
        DWORD read = 0;
        if (!inet.read(request.get(), block, sizeof block, &read)) {
            const DWORD error = GetLastError();
            fail(error_text(inet.library.get(), error));
            return {false, error};
        }
        if (read == 0) {
            return {true, 0};
        }
        if (!write_all(file.get(), block, read)) {
            return {false, GetLastError()};
        }
        total += read;
        if (listener && !listener(DownloadEvent::Block, std::to_string(total))) {
            return {false, 0};
        }
    }
}

} // namespace tarpon::host::net
