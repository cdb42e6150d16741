// Files through the Win32 calls with wide paths: the script's text reaches the system unchanged,
// so names outside the ANSI code page open too. The stream keeps its own position and moves the
// file pointer before every read and write.
#include <algorithm>
#include <climits>

#include "host/data/stream_store.h"
#include "platform/owners.h"
#include "platform/wide_text.h"
#include "platform/windows.h"

namespace tarpon::host::data {

namespace {

class WindowsFile final : public ByteStore {
public:
    WindowsFile(platform::KernelHandle file, bool append, bool writable)
        : m_file(std::move(file)), m_append(append), m_writable(writable) {}

    bool read(uint64_t at, size_t count, std::string& out) override {
        if (at > static_cast<uint64_t>(INT64_MAX)) {
            return true;
        }
        if (!move_to(at)) {
            return false;
        }
        const size_t start = out.size();
        out.resize(start + count);
        size_t got = 0;
        while (got < count) {
            DWORD n = 0;
            const DWORD asked = static_cast<DWORD>(std::min<size_t>(count - got, 1u << 30));
            if (!ReadFile(m_file.get(), out.data() + start + got, asked, &n, nullptr)) {
                fail(GetLastError());
                out.resize(start + got);
                return false;
            }
            if (n == 0) {
                break;
            }
            got += n;
        }
        out.resize(start + got);
        return true;
    }

    std::optional<uint64_t> write(uint64_t at, std::string_view bytes) override {
        if (m_append) {
            const std::optional<uint64_t> end = size();
            if (!end) {
                return std::nullopt;
            }
            at = *end;
        }
        if (at > static_cast<uint64_t>(INT64_MAX) - bytes.size()) {
            fail(ERROR_NEGATIVE_SEEK);
            return std::nullopt;
        }
        if (!move_to(at)) {
            return std::nullopt;
        }
        size_t done = 0;
        while (done < bytes.size()) {
            DWORD n = 0;
            const DWORD asked = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
            if (!WriteFile(m_file.get(), bytes.data() + done, asked, &n, nullptr)) {
                fail(GetLastError());
                return std::nullopt;
            }
            if (n == 0) {
                fail(ERROR_DISK_FULL);
                return std::nullopt;
            }
            done += n;
        }
        return at + done;
    }

    std::optional<uint64_t> size() override {
        LARGE_INTEGER length{};
        if (!GetFileSizeEx(m_file.get(), &length)) {
            fail(GetLastError());
            return std::nullopt;
        }
        return static_cast<uint64_t>(length.QuadPart);
    }

    bool truncate(uint64_t at) override {
        if (at > static_cast<uint64_t>(INT64_MAX)) {
            fail(ERROR_NEGATIVE_SEEK);
            return false;
        }
        if (!move_to(at) || !SetEndOfFile(m_file.get())) {
            fail(GetLastError());
            return false;
        }
        return true;
    }

    bool flush() override {
        if (m_writable && !FlushFileBuffers(m_file.get())) {
            fail(GetLastError());
            return false;
        }
        return true;
    }

private:
    bool move_to(uint64_t at) {
        LARGE_INTEGER distance{};
        distance.QuadPart = static_cast<LONGLONG>(at);
        if (!SetFilePointerEx(m_file.get(), distance, nullptr, FILE_BEGIN)) {
            fail(GetLastError());
            return false;
        }
        return true;
    }

    platform::KernelHandle m_file;
    bool m_append;
    bool m_writable;
};

}  // namespace

uint32_t system_code(StreamFailure failure) {
    switch (failure) {
    case StreamFailure::InvalidArgument: return ERROR_INVALID_PARAMETER;
    case StreamFailure::NegativeSeek: return ERROR_NEGATIVE_SEEK;
    case StreamFailure::NoMemory: return ERROR_NOT_ENOUGH_MEMORY;
    case StreamFailure::BadData: return ERROR_INVALID_DATA;
    case StreamFailure::NoTranslation: return ERROR_NO_UNICODE_TRANSLATION;
    }
    return ERROR_INVALID_PARAMETER;
}

std::unique_ptr<ByteStore> open_file_store(std::u16string_view path, const FileMode& mode, uint32_t& error) {
    DWORD access = 0;
    if (mode.read) access |= GENERIC_READ;
    if (mode.write) access |= GENERIC_WRITE;
    const DWORD disposition = mode.truncate ? CREATE_ALWAYS : mode.create ? OPEN_ALWAYS : OPEN_EXISTING;
    const std::wstring name = platform::to_wide(path);
    // Shared for reading and writing, as the C library opens files.
    platform::KernelHandle file(CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = GetLastError();
        return nullptr;
    }
    return std::make_unique<WindowsFile>(std::move(file), mode.append, mode.write);
}

}  // namespace tarpon::host::data
