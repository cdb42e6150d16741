// The additional-files archive appended to the executable, and the 8-byte trailer that ends every
// executable the tool writes:
//
//   archive   := magic version root-name root-length entry*     (entries fill root-length bytes)
//   magic     := 'S' 'A' 'F' 0x00
//   version   := u32, non-zero
//   root-name := text string, "Application" (any case)
//   entry     := u32 kind (0 file, else folder), text string name, u32 size, size bytes
//   folder    := its bytes are its own entries
//   file      := zlib stream (size - 4 bytes), u32 CRC-32 of the inflated content
//   trailer   := u32 archive length d, u32 present (0: no archive); the archive starts d + 8 bytes
//                before the end of the file
//
// Every length is checked against the bytes of its parent and folders nest at most
// `archive_max_depth` deep; an entry whose name would leave its folder is never found nor written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarpon::appdata {

constexpr size_t archive_trailer_size = 8;
constexpr int archive_max_depth = 32;
// Input and output steps of the streaming inflate.
constexpr size_t archive_inflate_step = 4096;

// Bytes read at offsets: an executable file, or a copy in memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Exactly `length` bytes at `offset`, or false.
    virtual bool read(uint64_t offset, void* out, size_t length) const = 0;
};

class MemoryBytes : public ByteSource {
public:
    explicit MemoryBytes(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    uint64_t size() const override { return m_bytes.size(); }
    bool read(uint64_t offset, void* out, size_t length) const override;

private:
    std::span<const uint8_t> m_bytes;
};

class FileBytes : public ByteSource {
public:
    // Null when the file cannot be opened.
    static std::unique_ptr<FileBytes> open(const std::string& path);
    ~FileBytes() override;
    uint64_t size() const override { return m_size; }
    bool read(uint64_t offset, void* out, size_t length) const override;

private:
    FileBytes(std::FILE* file, uint64_t size) : m_file(file), m_size(size) {}
    std::FILE* m_file;
    uint64_t m_size;
};

struct ArchiveEntry {
    bool folder = false;
    std::string name;
    uint64_t offset = 0;  // of the entry's bytes in the source
    uint32_t size = 0;
};

class Archive {
public:
    // The archive the source ends with; nothing when the trailer, magic, version or root name is
    // wrong, or the archive does not fit inside the file.
    static std::optional<Archive> open(const ByteSource& source);

    const ArchiveEntry& root() const { return m_root; }
    // A folder's entries in order; entries with unsafe names are left out. Nothing when the folder's
    // bytes are malformed.
    std::optional<std::vector<ArchiveEntry>> entries(const ArchiveEntry& folder) const;
    // Inflates the file in steps into `path`, checking its CRC-32; on any fault the file is deleted
    // and false returned.
    bool extract_file(const ArchiveEntry& file, const std::string& path) const;
    // The file's content in memory, or nothing when it is corrupt.
    std::optional<std::vector<uint8_t>> file_bytes(const ArchiveEntry& file) const;

private:
    Archive(const ByteSource& source, ArchiveEntry root) : m_source(&source), m_root(std::move(root)) {}
    template <typename Sink>
    bool inflate_file(const ArchiveEntry& file, Sink&& sink) const;

    const ByteSource* m_source;
    ArchiveEntry m_root;
};

// What the writer packs: a file with its content, or a folder with its children.
struct ArchiveNode {
    bool folder = false;
    std::string name;
    std::vector<uint8_t> bytes;
    std::vector<ArchiveNode> children;
};

// The archive of the root's children (not the trailer).
std::vector<uint8_t> archive_bytes(const std::vector<ArchiveNode>& root);
// The trailer for an archive of `length` bytes, or for none.
std::vector<uint8_t> archive_trailer(std::optional<uint32_t> length);

}  // namespace tarpon::appdata
