#include "host/data/stream_store.h"

#include <new>

namespace tarpon::host::data {

namespace {

class MemoryStore final : public ByteStore {
public:
    explicit MemoryStore(std::string bytes) : m_bytes(std::move(bytes)) {}

    bool read(uint64_t at, size_t count, std::string& out) override {
        if (at < m_bytes.size()) {
            out.append(m_bytes, static_cast<size_t>(at), count);
        }
        return true;
    }

    std::optional<uint64_t> write(uint64_t at, std::string_view bytes) override {
        if (at > memory_content_limit || bytes.size() > memory_content_limit - at) {
            fail(system_code(StreamFailure::NoMemory));
            return std::nullopt;
        }
        const size_t start = static_cast<size_t>(at);
        try {
            if (start + bytes.size() > m_bytes.size()) {
                m_bytes.resize(start + bytes.size(), '\0');
            }
        } catch (const std::bad_alloc&) {
            fail(system_code(StreamFailure::NoMemory));
            return std::nullopt;
        }
        m_bytes.replace(start, bytes.size(), bytes);
        return at + bytes.size();
    }

    std::optional<uint64_t> size() override { return m_bytes.size(); }

    bool truncate(uint64_t at) override {
        if (at > memory_content_limit) {
            fail(system_code(StreamFailure::NoMemory));
            return false;
        }
        try {
            m_bytes.resize(static_cast<size_t>(at), '\0');
        } catch (const std::bad_alloc&) {
            fail(system_code(StreamFailure::NoMemory));
            return false;
        }
        return true;
    }

    bool flush() override { return true; }
    std::string* memory() override { return &m_bytes; }

private:
    std::string m_bytes;
};

}  // namespace

std::unique_ptr<ByteStore> memory_store(std::string bytes) { return std::make_unique<MemoryStore>(std::move(bytes)); }

std::optional<FileMode> parse_file_mode(std::u16string_view mode) {
    if (mode.empty()) {
        return std::nullopt;
    }
    FileMode result;
    switch (mode[0]) {
    case u'r': result.read = true; break;
    case u'w': result.write = result.create = result.truncate = true; break;
    case u'a': result.write = result.append = result.create = true; break;
    default: return std::nullopt;
    }
    bool plus = false;
    bool kind = false;  // "b" or "t" seen
    for (const char16_t c : mode.substr(1)) {
        if (c == u'+' && !plus) {
            plus = true;
        } else if ((c == u'b' || c == u't') && !kind) {
            kind = true;
        } else {
            return std::nullopt;
        }
    }
    if (plus) {
        result.read = result.write = true;
    }
    return result;
}

}  // namespace tarpon::host::data
