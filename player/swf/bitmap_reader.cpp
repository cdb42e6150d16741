// Lossless bitmaps (zlib-compressed colour-mapped, 15-bit and 32-bit pixels) and the bounded
// inflation that the compressed movie header shares.
#include "player/swf/tag_readers.h"

#include <zlib.h>

namespace tarpon::swf {

bool inflate_bounded(std::span<const uint8_t> input, size_t limit, std::vector<uint8_t>& output,
                     bool* truncated) {
    output.clear();
    if (truncated)
        *truncated = false;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return false;
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(std::min<size_t>(input.size(), UINT32_MAX));
    // The output grows with what the stream really holds, never to a size a header claims.
    int status = Z_OK;
    while (status == Z_OK && output.size() < limit) {
        size_t chunk = std::min<size_t>(limit - output.size(), 256 * 1024);
        size_t old_size = output.size();
        output.resize(old_size + chunk);
        stream.next_out = output.data() + old_size;
        stream.avail_out = static_cast<uInt>(chunk);
        status = inflate(&stream, Z_NO_FLUSH);
        output.resize(old_size + (chunk - stream.avail_out));
        if (status == Z_BUF_ERROR && stream.avail_in == 0)
            break; // the input breaks off
    }
    bool ended = status == Z_STREAM_END;
    if (!ended && output.size() >= limit && truncated)
        *truncated = true;
    inflateEnd(&stream);
    return ended || output.size() >= limit;
}

bool read_lossless_bitmap(ByteReader& in, int version, Bitmap& bitmap) {
    uint8_t format = in.u8();
    int width = in.u16();
    int height = in.u16();
    size_t table_size = format == 3 ? size_t(in.u8()) + 1 : 0;
    if (in.failed() || width == 0 || height == 0)
        return false;
    size_t pixels = size_t(width) * height;
    if (pixels > max_bitmap_pixels)
        return false;
    size_t row_bytes, table_bytes = 0;
    switch (format) {
    case 3:
        row_bytes = (size_t(width) + 3) & ~size_t(3);
        table_bytes = table_size * (version == 2 ? 4 : 3);
        break;
    case 4:
        if (version != 1)
            return false;
        row_bytes = (size_t(width) * 2 + 3) & ~size_t(3);
        break;
    case 5:
        row_bytes = size_t(width) * 4;
        break;
    default:
        return false;
    }
    size_t expected = table_bytes + row_bytes * height;
    auto compressed = in.bytes(in.remaining());
    // zlib cannot expand data by more than about 1:1032; a larger claim cannot be real.
    if (expected > compressed.size() * 1100 + 4096)
        return false;
    std::vector<uint8_t> data;
    if (!inflate_bounded(compressed, expected, data) || data.size() < expected)
        return false;

    bitmap.width = width;
    bitmap.height = height;
    bitmap.pixels.assign(pixels, 0);
    auto unpremultiply = [version](uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
        if (version == 2 && a > 0 && a < 255) {
            r = std::min<uint32_t>(255, r * 255 / a);
            g = std::min<uint32_t>(255, g * 255 / a);
            b = std::min<uint32_t>(255, b * 255 / a);
        }
        if (version == 1)
            a = 255;
        return a << 24 | r << 16 | g << 8 | b;
    };
    std::vector<uint32_t> table(table_size);
    for (size_t i = 0; i < table_size; ++i) {
        const uint8_t* p = data.data() + i * (version == 2 ? 4 : 3);
        table[i] = unpremultiply(version == 2 ? p[3] : 255, p[0], p[1], p[2]);
    }
    const uint8_t* rows = data.data() + table_bytes;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = rows + row_bytes * y;
        uint32_t* out = bitmap.pixels.data() + size_t(y) * width;
        for (int x = 0; x < width; ++x) {
            switch (format) {
            case 3:
                out[x] = row[x] < table_size ? table[row[x]] : 0;
                break;
            case 4: {
                uint32_t v = uint32_t(row[2 * x]) << 8 | row[2 * x + 1];
                uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
                out[x] = 0xFF000000u | (r * 255 / 31) << 16 | (g * 255 / 31) << 8 | (b * 255 / 31);
                break;
            }
            default: {
                const uint8_t* p = row + 4 * x;
                out[x] = unpremultiply(p[0], p[1], p[2], p[3]);
                break;
            }
            }
        }
    }
    return true;
}

} // namespace tarpon::swf
