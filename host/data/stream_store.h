// Where a stream's bytes live: an open file or a buffer in memory, behind one small interface, so
// that the stream classes read, write and position both alike. Every position is an absolute
// 64-bit byte offset; a failed call leaves the system's error code in last_error().
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarpon::host::data {

// The failures the stream classes report themselves, as the system's codes for them (so that
// their texts are the system's own).
enum class StreamFailure {
    InvalidArgument,  // a mode, origin or level the call cannot use
    NegativeSeek,     // a position before the start
    NoMemory,         // content past what a buffer in memory may hold
    BadData,          // not a zlib stream
    NoTranslation,    // text with no form in the charset
};
uint32_t system_code(StreamFailure failure);

// The largest content a buffer in memory holds (and the most read into memory at once).
inline constexpr uint64_t memory_content_limit = uint64_t{1} << 30;

class ByteStore {
public:
    virtual ~ByteStore() = default;
    // Appends up to `count` bytes from `at` to `out`; fewer at the end of the data.
    virtual bool read(uint64_t at, size_t count, std::string& out) = 0;
    // Writes the bytes at `at` (a store opened for appending writes at the end instead), filling
    // any gap after the end with zeros; the position after the bytes written, or nothing.
    virtual std::optional<uint64_t> write(uint64_t at, std::string_view bytes) = 0;
    virtual std::optional<uint64_t> size() = 0;
    // Ends the data at `at` (longer data is cut; shorter is extended with zeros).
    virtual bool truncate(uint64_t at) = 0;
    virtual bool flush() = 0;
    // The bytes themselves for a buffer in memory; null for a file.
    virtual std::string* memory() { return nullptr; }
    uint32_t last_error() const { return m_error; }

protected:
    void fail(uint32_t code) { m_error = code; }
    uint32_t m_error = 0;
};

// A buffer in memory holding the bytes.
std::unique_ptr<ByteStore> memory_store(std::string bytes);

// How a file is opened, from an fopen-style mode: "r", "w" or "a", then "+" and one of "b"/"t" in
// either order ("b" and "t" change nothing: a stream never translates line ends).
struct FileMode {
    bool read = false;
    bool write = false;
    bool append = false;    // every write goes to the end
    bool create = false;    // a missing file is made
    bool truncate = false;  // an existing file is emptied
};
std::optional<FileMode> parse_file_mode(std::u16string_view mode);

// Opens the file at the path (the script's text, NULs refused by the caller); null with the
// system's code in `error` when it cannot be opened (a folder cannot).
std::unique_ptr<ByteStore> open_file_store(std::u16string_view path, const FileMode& mode, uint32_t& error);

}  // namespace tarpon::host::data
