// The readers of the application data. The first byte picks the reader, the rest is its input:
// 0 an SM container, 1 a settings record followed by a mask list (an options file), 2 a movie
// list, 3 an executable with an appended archive (every folder listed, every file inflated),
// 4 an identity item. What was read must write back to bytes that read the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "projector/appdata/archive.h"
#include "projector/appdata/identity.h"
#include "projector/appdata/mask_list.h"
#include "projector/appdata/movie_list.h"
#include "projector/appdata/settings.h"
#include "projector/appdata/sm_container.h"

namespace {

using namespace tarpon::appdata;

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

void settings_and_masks(std::span<const uint8_t> input) {
    RecordReader reader(input);
    Settings settings;
    if (!read_settings(reader, settings)) {
        if (!(settings == Settings{})) {
            finding("a failed settings read left fields behind");
        }
        return;
    }
    Settings again;
    if (!read_settings(settings_bytes(settings), again) || !(again == settings)) {
        finding("settings do not read back as written");
    }
    std::vector<MaskEntry> masks;
    if (read_mask_list(reader, masks)) {
        std::vector<MaskEntry> masks_again;
        if (!read_mask_list(mask_list_bytes(masks), masks_again) || masks_again != masks) {
            finding("a mask list does not read back as written");
        }
    }
}

void movie_list(std::span<const uint8_t> input) {
    MovieListItem list;
    if (!read_movie_list(input, list)) {
        return;
    }
    MovieListItem again;
    if (!read_movie_list(movie_list_bytes(list), again) || !(again == list)) {
        finding("a movie list does not read back as written");
    }
}

void archive(std::span<const uint8_t> input) {
    MemoryBytes source(input);
    auto opened = Archive::open(source);
    if (!opened) {
        return;
    }
    std::vector<std::pair<ArchiveEntry, int>> pending{{opened->root(), 0}};
    while (!pending.empty()) {
        auto [entry, depth] = pending.back();
        pending.pop_back();
        if (entry.offset + entry.size > input.size()) {
            finding("an archive entry lies outside the file");
        }
        if (!entry.folder) {
            opened->file_bytes(entry);
        } else if (depth < archive_max_depth) {
            if (auto children = opened->entries(entry)) {
                for (const ArchiveEntry& child : *children) {
                    pending.push_back({child, depth + 1});
                }
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    std::span<const uint8_t> input(data + 1, size - 1);
    switch (data[0] % 5) {
    case 0: {
        Unpacked unpacked = unpack_sm(input);
        if (unpacked.ok() && unpacked.bytes.size() > inflate_bound(input.size())) {
            finding("an SM item inflated past its bound");
        }
        break;
    }
    case 1: settings_and_masks(input); break;
    case 2: movie_list(input); break;
    case 3: archive(input); break;
    default: read_identity(input, "fuzz"); break;
    }
    return 0;
}
