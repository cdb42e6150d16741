#include "projector/appdata/archive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "projector/appdata/file_system.h"
#include "projector/appdata/record_stream.h"
#include "projector/appdata/safe_name.h"

namespace tarpon::appdata {

namespace {

constexpr const char* root_name = "Application";

bool read_u32(const ByteSource& source, uint64_t offset, uint32_t& value) {
    uint8_t b[4];
    if (!source.read(offset, b, 4)) {
        return false;
    }
    value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

// A text string at `offset` inside a region ending at `end`; the offset moves past it.
bool read_text(const ByteSource& source, uint64_t& offset, uint64_t end, std::string& text) {
    uint32_t count;
    if (offset + 4 > end || !read_u32(source, offset, count)) {
        return false;
    }
    offset += 4;
    if (uint64_t(count) * 2 > end - offset) {
        return false;
    }
    std::vector<uint8_t> raw(size_t(count) * 2);
    if (count && !source.read(offset, raw.data(), raw.size())) {
        return false;
    }
    offset += raw.size();
    std::u16string units(count, u'\0');
    for (uint32_t i = 0; i < count; ++i) {
        units[i] = char16_t(raw[2 * i] | raw[2 * i + 1] << 8);
    }
    text = ansi_from_units(units);
    return true;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = char(x - 32);
        if (y >= 'a' && y <= 'z') y = char(y - 32);
        if (x != y) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool MemoryBytes::read(uint64_t offset, void* out, size_t length) const {
    if (offset > m_bytes.size() || length > m_bytes.size() - offset) {
        return false;
    }
    if (length) {
        std::memcpy(out, m_bytes.data() + offset, length);
    }
    return true;
}

std::unique_ptr<FileBytes> FileBytes::open(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return nullptr;
    }
#ifdef _WIN32
    bool sought = _fseeki64(file, 0, SEEK_END) == 0;
    int64_t size = sought ? _ftelli64(file) : -1;
#else
    bool sought = fseeko(file, 0, SEEK_END) == 0;
    int64_t size = sought ? int64_t(ftello(file)) : -1;
#endif
    if (size < 0) {
        std::fclose(file);
        return nullptr;
    }
    return std::unique_ptr<FileBytes>(new FileBytes(file, uint64_t(size)));
}

FileBytes::~FileBytes() { std::fclose(m_file); }

bool FileBytes::read(uint64_t offset, void* out, size_t length) const {
    if (offset > m_size || length > m_size - offset) {
        return false;
    }
#ifdef _WIN32
    if (_fseeki64(m_file, int64_t(offset), SEEK_SET) != 0) {
        return false;
    }
#else
    if (fseeko(m_file, off_t(offset), SEEK_SET) != 0) {
        return false;
    }
#endif
    return std::fread(out, 1, length, m_file) == length;
}

std::optional<Archive> Archive::open(const ByteSource& source) {
    uint64_t size = source.size();
    uint32_t length, present;
    if (size < archive_trailer_size || !read_u32(source, size - 8, length) || !read_u32(source, size - 4, present) ||
        present == 0) {
        return std::nullopt;
    }
    if (uint64_t(length) > size - archive_trailer_size) {
        return std::nullopt;
    }
    uint64_t start = size - archive_trailer_size - length;
    uint64_t end = size - archive_trailer_size;
    uint8_t magic[4];
    uint32_t version;
    if (length < 8 || !source.read(start, magic, 4) || std::memcmp(magic, "SAF", 4) != 0 ||
        !read_u32(source, start + 4, version) || version == 0) {
        return std::nullopt;
    }
    uint64_t offset = start + 8;
    std::string name;
    uint32_t root_length;
    if (!read_text(source, offset, end, name) || !equal_ignoring_case(name, root_name) || offset + 4 > end ||
        !read_u32(source, offset, root_length)) {
        return std::nullopt;
    }
    offset += 4;
    if (root_length > end - offset) {
        return std::nullopt;
    }
    return Archive(source, ArchiveEntry{true, name, offset, root_length});
}

std::optional<std::vector<ArchiveEntry>> Archive::entries(const ArchiveEntry& folder) const {
    std::vector<ArchiveEntry> result;
    uint64_t offset = folder.offset;
    uint64_t end = folder.offset + folder.size;
    while (offset < end) {
        uint32_t kind, size;
        std::string name;
        if (offset + 4 > end || !read_u32(*m_source, offset, kind)) {
            return std::nullopt;
        }
        offset += 4;
        if (!read_text(*m_source, offset, end, name) || offset + 4 > end || !read_u32(*m_source, offset, size)) {
            return std::nullopt;
        }
        offset += 4;
        if (size > end - offset) {
            return std::nullopt;
        }
        if (is_safe_component(name)) {
            result.push_back(ArchiveEntry{kind != 0, std::move(name), offset, size});
        }
        offset += size;
    }
    return result;
}

template <typename Sink>
bool Archive::inflate_file(const ArchiveEntry& file, Sink&& sink) const {
    if (file.folder || file.size < 4) {
        return false;
    }
    uint64_t data_size = file.size - 4;
    uint32_t stored_crc;
    if (!read_u32(*m_source, file.offset + data_size, stored_crc)) {
        return false;
    }
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return false;
    }
    uint8_t input[archive_inflate_step];
    uint8_t output[archive_inflate_step];
    uLong crc = crc32(0, nullptr, 0);
    uint64_t consumed = 0;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (stream.avail_in == 0) {
            if (consumed == data_size) {
                break;  // the stream ends early
            }
            size_t step = size_t(std::min<uint64_t>(archive_inflate_step, data_size - consumed));
            if (!m_source->read(file.offset + consumed, input, step)) {
                break;
            }
            consumed += step;
            stream.next_in = input;
            stream.avail_in = uInt(step);
        }
        stream.next_out = output;
        stream.avail_out = uInt(sizeof output);
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            break;
        }
        size_t produced = sizeof output - stream.avail_out;
        crc = crc32(crc, output, uInt(produced));
        if (produced && !sink(output, produced)) {
            status = Z_ERRNO;
            break;
        }
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END && uint32_t(crc) == stored_crc;
}

bool Archive::extract_file(const ArchiveEntry& file, const std::string& path) const {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        return false;
    }
    bool ok = inflate_file(file, [&](const uint8_t* bytes, size_t length) {
        return std::fwrite(bytes, 1, length, out) == length;
    });
    ok = std::fclose(out) == 0 && ok;
    if (!ok) {
        // Never left half-written.
        remove_file(path);
    }
    return ok;
}

std::optional<std::vector<uint8_t>> Archive::file_bytes(const ArchiveEntry& file) const {
    std::vector<uint8_t> bytes;
    bool ok = inflate_file(file, [&](const uint8_t* data, size_t length) {
        bytes.insert(bytes.end(), data, data + length);
        return true;
    });
    if (!ok) {
        return std::nullopt;
    }
    return bytes;
}

namespace {

void write_entries(RecordWriter& out, const std::vector<ArchiveNode>& nodes) {
    for (const ArchiveNode& node : nodes) {
        out.u32(node.folder ? 1 : 0);
        out.text(node.name);
        if (node.folder) {
            RecordWriter inner;
            write_entries(inner, node.children);
            out.u32(uint32_t(inner.data().size()));
            out.bytes(inner.data());
        } else {
            uLongf bound = compressBound(uLong(node.bytes.size()));
            std::vector<uint8_t> packed(bound);
            static const Bytef empty = 0;
            const Bytef* source = node.bytes.empty() ? &empty : node.bytes.data();
            compress(packed.data(), &bound, source, uLong(node.bytes.size()));
            packed.resize(bound);
            out.u32(uint32_t(packed.size() + 4));
            out.bytes(packed);
            out.u32(uint32_t(crc32(0, source, uInt(node.bytes.size()))));
        }
    }
}

}  // namespace

std::vector<uint8_t> archive_bytes(const std::vector<ArchiveNode>& root) {
    RecordWriter out;
    out.bytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("SAF"), 4));
    out.u32(1);
    out.text(std::string(root_name));
    RecordWriter entries;
    write_entries(entries, root);
    out.u32(uint32_t(entries.data().size()));
    out.bytes(entries.data());
    return out.take();
}

std::vector<uint8_t> archive_trailer(std::optional<uint32_t> length) {
    RecordWriter out;
    out.u32(length.value_or(0));
    out.u32(length ? 1 : 0);
    return out.take();
}

}  // namespace tarpon::appdata
