// Window masks: a mask file is a u32 byte count N and N bytes of Windows region data (a 32-byte
// RGNDATAHEADER and its rectangles, in movie pixels). The tool takes .msk files as they are, or
// makes one from a PNG or BMP image: a pixel is inside where its alpha is at least 128 or, for an
// image without alpha or with a key colour given, where it differs from the key colour (by default
// the colour of the top-left pixel).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarpon::author {

// The mask file of the pixels `inside` says are in.
std::vector<uint8_t> mask_from_pixels(int width, int height, const std::function<bool(int x, int y)>& inside);

struct MaskResult {
    std::vector<uint8_t> mask;
    std::string error;
};
// From the image file's bytes; `key_colour` is a COLORREF.
MaskResult mask_from_image(std::span<const uint8_t> image, std::optional<uint32_t> key_colour);
// Whether the bytes are a well-formed mask file; the fault's text otherwise.
std::string check_mask_file(std::span<const uint8_t> mask);

}  // namespace tarpon::author
