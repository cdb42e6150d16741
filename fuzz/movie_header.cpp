// Movie measuring on arbitrary bytes: the header of a plain or compressed movie, and of a movie
// appended to a stand-alone player. Anything but a crash, a hang or a sanitizer report is fine.
#include <cstddef>
#include <cstdint>

#include "projector/player_host/movie_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarpon::projector;
    std::span<const uint8_t> bytes(data, size);
    if (auto header = read_movie_header(bytes)) {
        if (header->background < -1 || header->background > 0xFFFFFF || header->frame_rate > 255) {
            __builtin_trap();
        }
    }
    if (auto movie = appended_movie(bytes)) {
        if (movie->data() < data || movie->data() + movie->size() > data + size) {
            __builtin_trap();
        }
        read_movie_header(*movie);
    }
    return 0;
}
