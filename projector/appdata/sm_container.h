// The SM container that wraps every application-data item but the identity and the stamp:
//
//   offset  size  field
//   0       1     'S' (0x53)
//   1       1     'M' (0x4D)
//   2       1     version, 1
//   3       1     0
//   4       4     uncompressed size, u32 little-endian
//   8       4     compressed size: bytes of the zlib stream
//   12      4     CRC-32 of the uncompressed bytes (written here; not checked on reading)
//   16      n     zlib stream (RFC 1950, as zlib's compress makes it)
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarpon::appdata {

constexpr size_t sm_header_size = 16;

// An uncompressed size is refused above this, whatever the compressed size allows: no item of a
// presentation comes near it, and it keeps hostile headers from driving the allocation.
constexpr uint32_t sm_max_uncompressed = 1u << 30;

struct Unpacked {
    std::vector<uint8_t> bytes;
    std::string error;  // empty on success
    bool ok() const { return error.empty(); }
};

// The item's content, or the failure's text.
Unpacked unpack_sm(std::span<const uint8_t> item);

// An SM container holding the bytes, compressed with zlib's compress.
std::vector<uint8_t> pack_sm(std::span<const uint8_t> bytes);

// The largest size a zlib stream of `compressed` bytes can inflate to (deflate's best ratio is
// a little over 1032:1), with room for the stream's own header and check value.
uint64_t inflate_bound(uint64_t compressed);

}  // namespace tarpon::appdata
