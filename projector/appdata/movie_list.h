// The movie list (ML item):
//
//   u32 flags          0x1 start with a random movie; 0x2 the movies' bytes are stored here
//   u32 count
//   count x { u32 kind (1 movie, 2 plug-in file), path string name,
//             and with flag 0x2 only: u32 size, size bytes }
//
// Stored entries are written into the run folder (plug-ins into its Plug_Ins sub-folder); other
// entries name files beside the executable.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "projector/appdata/record_stream.h"

namespace tarpon::appdata {

namespace movie_flags {
constexpr uint32_t random_start = 0x1;
constexpr uint32_t stored = 0x2;
}  // namespace movie_flags

namespace movie_kind {
constexpr uint32_t movie = 1;
constexpr uint32_t plug_in = 2;
}  // namespace movie_kind

constexpr const char* plug_in_folder = "Plug_Ins";

// One entry as the item holds it; `bytes` only when the list stores them.
struct MovieEntry {
    uint32_t kind = movie_kind::movie;
    std::string name;
    std::vector<uint8_t> bytes;
    bool operator==(const MovieEntry&) const = default;
};

struct MovieListItem {
    uint32_t flags = 0;
    std::vector<MovieEntry> entries;
    bool operator==(const MovieListItem&) const = default;
};

// The whole item, or false (and an empty list) when it is cut short.
bool read_movie_list(std::span<const uint8_t> bytes, MovieListItem& list);
// With flag 0x2 every entry's bytes are written (an entry without bytes as an empty file).
std::vector<uint8_t> movie_list_bytes(const MovieListItem& list);

// The movie list in memory: paths (cut to 260 characters) with their kinds, in file order.
struct MovieNode {
    std::string path;
    uint32_t kind = movie_kind::movie;
    bool operator==(const MovieNode&) const = default;
};
struct MovieList {
    uint32_t flags = 0;
    std::vector<MovieNode> movies;
    void clear() { *this = MovieList{}; }
};

// Fills the list from the item: stored entries are written into `run_folder` (plug-ins into its
// Plug_Ins sub-folder, made before the first), other movie entries are named beside the
// executable. Entries whose names would leave their folder are skipped. When a file cannot be
// written the loading stops there with `error` set; the entries before it stay.
void load_movie_list(const MovieListItem& item, const std::string& run_folder, const std::string& exe_folder,
                     MovieList& list, std::string& error);

// The start movie's path: with flag 0x1 the movie at `random() % count`, else the first; plug-in
// entries are not counted. Empty when the list holds no movie.
std::string pick_start_movie(const MovieList& list, const std::function<unsigned()>& random);
// The same with the C library's generator seeded from the current time.
std::string pick_start_movie(const MovieList& list);

}  // namespace tarpon::appdata
