// Files through the POSIX calls: positioned reads and writes, so the stream keeps its own position.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "engine/values/text_codec.h"
#include "host/data/stream_store.h"

namespace tarpon::host::data {

namespace {

class PosixFile final : public ByteStore {
public:
    PosixFile(int fd, bool append, bool writable) : m_fd(fd), m_append(append), m_writable(writable) {}
    ~PosixFile() override { ::close(m_fd); }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    bool read(uint64_t at, size_t count, std::string& out) override {
        if (at > static_cast<uint64_t>(INT64_MAX)) {
            return true;  // past any end
        }
        const size_t start = out.size();
        out.resize(start + count);
        size_t got = 0;
        while (got < count) {
            const ssize_t n = ::pread(m_fd, out.data() + start + got, count - got, static_cast<off_t>(at + got));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                fail(errno);
                out.resize(start + got);
                return false;
            }
            if (n == 0) {
                break;
            }
            got += static_cast<size_t>(n);
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
            fail(EFBIG);
            return std::nullopt;
        }
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(at + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                fail(n < 0 ? errno : ENOSPC);
                return std::nullopt;
            }
            done += static_cast<size_t>(n);
        }
        return at + done;
    }

    std::optional<uint64_t> size() override {
        struct stat info {};
        if (::fstat(m_fd, &info) != 0) {
            fail(errno);
            return std::nullopt;
        }
        return static_cast<uint64_t>(info.st_size);
    }

    bool truncate(uint64_t at) override {
        if (at > static_cast<uint64_t>(INT64_MAX)) {
            fail(EFBIG);
            return false;
        }
        if (::ftruncate(m_fd, static_cast<off_t>(at)) != 0) {
            fail(errno);
            return false;
        }
        return true;
    }

    bool flush() override {
        if (m_writable && ::fsync(m_fd) != 0 && errno != EINVAL) {
            fail(errno);
            return false;
        }
        return true;
    }

private:
    int m_fd;
    bool m_append;
    bool m_writable;
};

}  // namespace

uint32_t system_code(StreamFailure failure) {
    switch (failure) {
    case StreamFailure::InvalidArgument: return EINVAL;
    case StreamFailure::NegativeSeek: return EINVAL;
    case StreamFailure::NoMemory: return ENOMEM;
    case StreamFailure::BadData: return EBADMSG;
    case StreamFailure::NoTranslation: return EILSEQ;
    }
    return EINVAL;
}

std::unique_ptr<ByteStore> open_file_store(std::u16string_view path, const FileMode& mode, uint32_t& error) {
    int flags = O_CLOEXEC;
    flags |= mode.read && mode.write ? O_RDWR : mode.write ? O_WRONLY : O_RDONLY;
    if (mode.create) flags |= O_CREAT;
    if (mode.truncate) flags |= O_TRUNC;
    const std::string name = quill::utf16_to_narrow(path);
    int fd;
    do {
        fd = ::open(name.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixFile>(fd, mode.append, mode.write);
}

}  // namespace tarpon::host::data
