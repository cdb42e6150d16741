#include "projector/player_host/movie_header.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace tarpon::projector {

namespace {

constexpr size_t signature_size = 8;  // signature, version, length
constexpr uint16_t tag_end = 0;
constexpr uint16_t tag_set_background_color = 9;

uint32_t read_u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// The movie's bytes after the first eight, read front to back. A plain movie is read in place; a
// compressed one is inflated as far as the reads go, never beyond the length its header states, and
// skipped bytes are inflated into a scratch buffer and dropped, so a long tag costs time but no
// memory.
class BodyStream {
public:
    explicit BodyStream(std::span<const uint8_t> plain) : m_plain(plain) {}

    BodyStream(std::span<const uint8_t> compressed, uint64_t limit) : m_compressed(true), m_left(limit) {
        std::memset(&m_zlib, 0, sizeof(m_zlib));
        m_zlib.next_in = const_cast<Bytef*>(compressed.data());
        m_zlib.avail_in = static_cast<uInt>(std::min<size_t>(compressed.size(), UINT32_MAX));
        m_open = inflateInit(&m_zlib) == Z_OK;
    }
    BodyStream(const BodyStream&) = delete;
    BodyStream& operator=(const BodyStream&) = delete;
    ~BodyStream() {
        if (m_open) {
            inflateEnd(&m_zlib);
        }
    }

    // Exactly `size` bytes into `out`, or false.
    bool read(uint8_t* out, size_t size) {
        if (!m_compressed) {
            if (m_plain.size() - m_position < size) {
                return false;
            }
            std::memcpy(out, m_plain.data() + m_position, size);
            m_position += size;
            return true;
        }
        return inflate_into(out, size);
    }

    bool skip(uint64_t size) {
        if (!m_compressed) {
            if (m_plain.size() - m_position < size) {
                return false;
            }
            m_position += static_cast<size_t>(size);
            return true;
        }
        std::array<uint8_t, 4096> scratch;
        while (size > 0) {
            size_t piece = static_cast<size_t>(std::min<uint64_t>(size, scratch.size()));
            if (!inflate_into(scratch.data(), piece)) {
                return false;
            }
            size -= piece;
        }
        return true;
    }

private:
    bool inflate_into(uint8_t* out, size_t size) {
        if (!m_open || m_left < size) {
            return false;
        }
        m_zlib.next_out = out;
        m_zlib.avail_out = static_cast<uInt>(size);
        while (m_zlib.avail_out > 0) {
            int status = inflate(&m_zlib, Z_NO_FLUSH);
            if (status == Z_STREAM_END && m_zlib.avail_out > 0) {
                return false;
            }
            if (status != Z_OK && status != Z_STREAM_END) {
                return false;  // a corrupt stream, or one cut short (Z_BUF_ERROR with no input left)
            }
        }
        m_left -= size;
        return true;
    }

    std::span<const uint8_t> m_plain;
    size_t m_position = 0;
    bool m_compressed = false;
    bool m_open = false;
    uint64_t m_left = 0;
    z_stream m_zlib{};
};

// The bits of the frame rectangle, most significant bit first.
class BitReader {
public:
    explicit BitReader(BodyStream& stream) : m_stream(stream) {}

    bool bits(int count, uint32_t& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            if (m_available == 0) {
                if (!m_stream.read(&m_byte, 1)) {
                    return false;
                }
                m_available = 8;
            }
            --m_available;
            value = value << 1 | ((m_byte >> m_available) & 1u);
        }
        return true;
    }

    bool signed_bits(int count, int32_t& value) {
        uint32_t raw = 0;
        if (!bits(count, raw)) {
            return false;
        }
        if (count > 0 && (raw >> (count - 1)) != 0) {
            value = static_cast<int32_t>(static_cast<int64_t>(raw) - (int64_t{1} << count));
        } else {
            value = static_cast<int32_t>(raw);
        }
        return true;
    }

private:
    BodyStream& m_stream;
    uint8_t m_byte = 0;
    int m_available = 0;
};

// The colour of the first SetBackgroundColor tag, or -1 when the tags end (or break off) first.
int32_t find_background(BodyStream& stream) {
    for (;;) {
        uint8_t header[2];
        if (!stream.read(header, 2)) {
            return -1;
        }
        uint16_t code_and_length = static_cast<uint16_t>(header[0] | header[1] << 8);
        uint16_t code = code_and_length >> 6;
        uint64_t length = code_and_length & 0x3F;
        if (length == 0x3F) {
            uint8_t long_length[4];
            if (!stream.read(long_length, 4)) {
                return -1;
            }
            length = read_u32(long_length);
        }
        if (code == tag_end) {
            return -1;
        }
        if (code == tag_set_background_color) {
            uint8_t rgb[3];
            if (length < 3 || !stream.read(rgb, 3)) {
                return -1;
            }
            return static_cast<int32_t>(rgb[0]) << 16 | static_cast<int32_t>(rgb[1]) << 8 | rgb[2];
        }
        if (!stream.skip(length)) {
            return -1;
        }
    }
}

bool has_movie_signature(std::span<const uint8_t> bytes) {
    return bytes.size() >= 3 && (bytes[0] == 'F' || bytes[0] == 'C') && bytes[1] == 'W' && bytes[2] == 'S';
}

}  // namespace

std::optional<MovieHeader> read_movie_header(std::span<const uint8_t> bytes) {
    if (bytes.size() < signature_size || !has_movie_signature(bytes)) {
        return std::nullopt;
    }
    MovieHeader header;
    header.version = bytes[3];
    header.length = read_u32(bytes.data() + 4);
    std::span<const uint8_t> rest = bytes.subspan(signature_size);
    // The stated length covers the eight bytes already read; a compressed body inflates to no more.
    const uint64_t body_limit = header.length > signature_size ? header.length - signature_size : 0;
    const bool compressed = bytes[0] == 'C';
    std::optional<BodyStream> body;
    if (compressed) {
        body.emplace(rest, body_limit);
    } else {
        body.emplace(rest);
    }
    BodyStream& stream = *body;

    BitReader bits(stream);
    uint32_t field_bits = 0;
    int32_t edges[4];
    if (!bits.bits(5, field_bits)) {
        return std::nullopt;
    }
    for (int32_t& edge : edges) {
        if (!bits.signed_bits(static_cast<int>(field_bits), edge)) {
            return std::nullopt;
        }
    }
    // Twips to whole pixels, truncated toward zero (twips x 0.05).
    header.x_min = edges[0] / 20;
    header.x_max = edges[1] / 20;
    header.y_min = edges[2] / 20;
    header.y_max = edges[3] / 20;

    uint8_t rate_and_count[4];
    if (!stream.read(rate_and_count, 4)) {
        return std::nullopt;
    }
    header.frame_rate = rate_and_count[1];  // the integer byte of the 8.8 value
    header.frame_count = rate_and_count[2] | rate_and_count[3] << 8;
    header.background = find_background(stream);
    return header;
}

std::optional<std::span<const uint8_t>> appended_movie(std::span<const uint8_t> file) {
    if (file.size() < 8) {
        return std::nullopt;
    }
    uint64_t length = read_u32(file.data() + file.size() - 4);
    if (length + 8 > file.size()) {
        return std::nullopt;
    }
    size_t start = file.size() - 8 - static_cast<size_t>(length);
    std::span<const uint8_t> movie = file.subspan(start, static_cast<size_t>(length));
    if (!has_movie_signature(movie)) {
        return std::nullopt;
    }
    return movie;
}

}  // namespace tarpon::projector
