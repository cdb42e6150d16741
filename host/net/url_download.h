// Downloading a URL to a file through WinINet, loaded at run time, for Inet.getUrl.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tarpon::host::net {

// The progress codes of a download, as the onGetUrl event receives them.
enum class DownloadEvent : int {
    Failed = 0, // the text says why
    Block = 1,  // the text is the number of bytes written so far
};

// Answers whether the download goes on; its answer after a Failed event is not used.
using DownloadListener = std::function<bool(DownloadEvent code, const std::string& text)>;

struct DownloadResult {
    bool ok = false;
    uint32_t error = 0; // the system error code of a failure, when there is one
};

inline constexpr size_t download_block = 512;
inline constexpr const char* download_agent = "TARPON Quill 1.0";

// Downloads the URL into the file. The file is opened (and emptied) only once the server has
// answered with success; an HTTP status of 400 or more is a failure whose event text is the status
// line. A cancelled or failed download leaves what was written.
DownloadResult download_url(const std::string& url, const std::string& path,
                            const DownloadListener& listener);

} // namespace tarpon::host::net
