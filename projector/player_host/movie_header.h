// Measuring a movie from its header: the frame rectangle, rate and count, and the background colour
// of its first SetBackgroundColor tag. Portable; the bytes are input and every read is checked.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tarpon::projector {

struct MovieHeader {
    int version = 0;
    uint32_t length = 0;      // the uncompressed length the header states
    int x_min = 0, x_max = 0, y_min = 0, y_max = 0;  // whole pixels
    int frame_rate = 0;       // the integer part
    int frame_count = 0;
    int32_t background = -1;  // 0xRRGGBB, or -1 when the movie has none
    int width() const { return x_max - x_min; }
    int height() const { return y_max - y_min; }
};

// The header of a movie file's bytes (plain "FWS" or compressed "CWS"), or nothing.
std::optional<MovieHeader> read_movie_header(std::span<const uint8_t> bytes);

// A stand-alone player executable with a movie appended: the movie's bytes (its last u32 is the
// movie length L and the movie starts L + 8 bytes before the end), or nothing when the file does not
// end so or the bytes there do not begin with a movie signature.
std::optional<std::span<const uint8_t>> appended_movie(std::span<const uint8_t> file);

}  // namespace tarpon::projector
