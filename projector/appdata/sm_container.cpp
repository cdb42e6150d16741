#include "projector/appdata/sm_container.h"

#include <zlib.h>

#include "projector/appdata/messages.h"

namespace tarpon::appdata {

namespace {

uint32_t read_u32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void write_u32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = uint8_t(value >> (8 * i));
    }
}

Unpacked failure(const char* text) { return Unpacked{{}, text}; }

}  // namespace

uint64_t inflate_bound(uint64_t compressed) { return compressed * 1033 + 64; }

Unpacked unpack_sm(std::span<const uint8_t> item) {
    // A container of exactly the header's size holds no stream: that is a length fault, checked
    // before the header.
    if (item.size() <= sm_header_size) {
        return failure(message_text(Message::BadCompressedLength));
    }
    const uint8_t* p = item.data();
    if (p[0] != 'S' || p[1] != 'M' || p[2] != 1 || p[3] != 0) {
        return failure(message_text(Message::BadCompressedHeader));
    }
    uint32_t uncompressed = read_u32(p + 4);
    uint32_t compressed = read_u32(p + 8);
    if (item.size() - sm_header_size < compressed) {
        return failure(message_text(Message::BadCompressedLength));
    }
    if (uncompressed > sm_max_uncompressed || uncompressed > inflate_bound(compressed)) {
        return failure(message_text(Message::BadCompressedLength));
    }
    Unpacked result;
    result.bytes.resize(uncompressed);
    uLongf length = uncompressed;
    // zlib wants a non-null output even for an empty result.
    Bytef empty = 0;
    int status = uncompress(uncompressed ? result.bytes.data() : &empty, &length, p + sm_header_size, compressed);
    if (status != Z_OK) {
        return failure(zlib_status_text(status));
    }
    result.bytes.resize(length);
    return result;
}

std::vector<uint8_t> pack_sm(std::span<const uint8_t> bytes) {
    uLongf bound = compressBound(uLong(bytes.size()));
    std::vector<uint8_t> item(sm_header_size + bound);
    static const Bytef empty = 0;
    const Bytef* source = bytes.empty() ? &empty : bytes.data();
    compress(item.data() + sm_header_size, &bound, source, uLong(bytes.size()));
    item.resize(sm_header_size + bound);
    item[0] = 'S';
    item[1] = 'M';
    item[2] = 1;
    item[3] = 0;
    write_u32(item.data() + 4, uint32_t(bytes.size()));
    write_u32(item.data() + 8, uint32_t(bound));
    write_u32(item.data() + 12, uint32_t(crc32(0, source, uInt(bytes.size()))));
    return item;
}

}  // namespace tarpon::appdata
