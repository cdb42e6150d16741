#include "projector/appdata/movie_list.h"

#include <cstdlib>
#include <ctime>

#include "projector/appdata/file_system.h"
#include "projector/appdata/item_source.h"
#include "projector/appdata/messages.h"
#include "projector/appdata/safe_name.h"

namespace tarpon::appdata {

bool read_movie_list(std::span<const uint8_t> bytes, MovieListItem& list) {
    list = MovieListItem{};
    RecordReader in(bytes);
    MovieListItem item;
    item.flags = in.u32();
    uint32_t count = in.u32();
    // An entry takes at least eight bytes (kind and name count).
    if (count > in.remaining() / 8) {
        return false;
    }
    item.entries.reserve(count);
    for (uint32_t i = 0; i < count && in.ok(); ++i) {
        MovieEntry entry;
        entry.kind = in.u32();
        entry.name = in.path();
        if (item.flags & movie_flags::stored) {
            uint32_t size = in.u32();
            auto data = in.bytes(size);
            entry.bytes.assign(data.begin(), data.end());
        }
        item.entries.push_back(std::move(entry));
    }
    if (!in.ok()) {
        return false;
    }
    list = std::move(item);
    return true;
}

std::vector<uint8_t> movie_list_bytes(const MovieListItem& list) {
    RecordWriter out;
    out.u32(list.flags);
    out.u32(uint32_t(list.entries.size()));
    for (const MovieEntry& entry : list.entries) {
        out.u32(entry.kind);
        out.path(entry.name);
        if (list.flags & movie_flags::stored) {
            out.u32(uint32_t(entry.bytes.size()));
            out.bytes(entry.bytes);
        }
    }
    return out.take();
}

namespace {

void append(MovieList& list, std::string path, uint32_t kind) {
    if (path.size() > path_capacity - 1) {
        path.resize(path_capacity - 1);
    }
    list.movies.push_back(MovieNode{std::move(path), kind});
}

}  // namespace

void load_movie_list(const MovieListItem& item, const std::string& run_folder, const std::string& exe_folder,
                     MovieList& list, std::string& error) {
    list.clear();
    list.flags = item.flags;
    bool plug_in_folder_made = false;
    for (const MovieEntry& entry : item.entries) {
        if (item.flags & movie_flags::stored) {
            if (!is_safe_component(entry.name)) {
                continue;
            }
            std::string folder = run_folder;
            if (entry.kind == movie_kind::plug_in) {
                folder = join_path(run_folder, plug_in_folder);
                if (!plug_in_folder_made && !make_folder(folder)) {
                    error = message_text(Message::WriteFailed);
                    return;
                }
                plug_in_folder_made = true;
            }
            std::string path = join_path(folder, entry.name);
            if (!write_file(path, entry.bytes)) {
                error = message_text(Message::WriteFailed);
                return;
            }
            append(list, path, entry.kind);
        } else if (entry.kind == movie_kind::movie) {
            // Named beside the executable, whether or not the file is there.
            if (!is_safe_relative_path(entry.name)) {
                continue;
            }
            append(list, join_path(exe_folder, entry.name), entry.kind);
        }
    }
}

std::string pick_start_movie(const MovieList& list, const std::function<unsigned()>& random) {
    // Plug-in files share the list but are never played, so only movies are counted.
    std::vector<const MovieNode*> movies;
    for (const MovieNode& node : list.movies) {
        if (node.kind == movie_kind::movie) {
            movies.push_back(&node);
        }
    }
    if (movies.empty()) {
        return {};
    }
    if (list.flags & movie_flags::random_start) {
        return movies[random() % movies.size()]->path;
    }
    return movies.front()->path;
}

std::string pick_start_movie(const MovieList& list) {
    return pick_start_movie(list, [] {
        std::srand(unsigned(std::time(nullptr)));
        return unsigned(std::rand());
    });
}

}  // namespace tarpon::appdata
