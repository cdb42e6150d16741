#include "tools/author/inspector.h"

#include <cstdio>
#include <filesystem>
#include <functional>

#include "projector/appdata/archive.h"
#include "projector/appdata/identity.h"
#include "projector/appdata/item_source.h"
#include "projector/appdata/mask_list.h"
#include "projector/appdata/movie_list.h"
#include "projector/appdata/resource_items.h"
#include "projector/appdata/safe_name.h"
#include "projector/appdata/settings.h"
#include "projector/appdata/sm_container.h"
#include "projector/pe/resources.h"
#include "tools/author/icon_resource.h"
#include "tools/author/project.h"

namespace tarpon::author {

namespace fs = std::filesystem;

namespace {

// What an executable carries, read once for both commands.
struct Contents {
    std::vector<uint8_t> image;
    std::vector<pe::Resource> resources;
    appdata::ItemList items;
    Project project;
    std::vector<appdata::MaskEntry> masks;
    appdata::MovieListItem movies;
    std::vector<std::string> notes;  // what could not be read
};

bool load(const std::string& path, Contents& c) {
    auto image = appdata::read_file(path);
    if (!image) {
        std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
        return false;
    }
    c.image = std::move(*image);
    pe::ReadResult read = pe::read_resources(c.image);
    if (!read.error.empty()) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), read.error.c_str());
        return false;
    }
    c.resources = std::move(read.resources);
    c.items = appdata::items_of(c.resources);

    if (auto raw = c.items.raw_item(appdata::item::tarpon_type, appdata::item::identity)) {
        if (auto text = appdata::identity_text(*raw)) {
            size_t slash = text->find('/');
            c.project.registry_key = text->substr(0, slash);
            if (slash != std::string::npos) {
                c.project.profile = text->substr(slash + 1);
            }
        } else {
            c.notes.push_back("the identity item's code does not match: the projector will not start");
        }
    } else {
        c.notes.push_back("no identity item: the projector will not start");
    }
    appdata::LoadedItem st = appdata::load_item(c.items, appdata::item::tarpon_type, appdata::item::settings);
    if (!st.ok() || !appdata::read_settings(st.bytes, c.project.settings)) {
        c.notes.push_back("no readable settings record: the settings below are the zero-filled record's");
    }
    c.project.help_file = c.project.settings.help_file.path;
    c.project.about_movie = c.project.settings.about_movie.path;
    if (auto bk = c.items.raw_item(appdata::item::tarpon_type, appdata::item::about_picture)) {
        c.project.about_picture = "about.bmp";
    }
    if (!icon_file(c.resources).empty()) {
        c.project.icon = "icon.ico";
    }
    appdata::LoadedItem rg = appdata::load_item(c.items, appdata::item::tarpon_type, appdata::item::masks);
    if (rg.ok()) {
        appdata::read_mask_list(rg.bytes, c.masks);
    }
    appdata::LoadedItem ml = appdata::load_item(c.items, appdata::item::tarpon_type, appdata::item::movies);
    if (ml.ok() && appdata::read_movie_list(ml.bytes, c.movies)) {
        c.project.random_start = c.movies.flags & appdata::movie_flags::random_start;
        c.project.stored = c.movies.flags & appdata::movie_flags::stored;
        std::vector<std::string> movies;
        for (const appdata::MovieEntry& entry : c.movies.entries) {
            (entry.kind == appdata::movie_kind::plug_in ? c.project.plug_ins : movies).push_back(entry.name);
        }
        c.project.movies = movies;
    }
    if (c.items.raw_item(appdata::item::tarpon_type, appdata::item::player)) {
        c.project.player_module = "player/flash.ocx";
    }
    for (size_t i = 0; i < 4; ++i) {
        if (c.items.raw_item(appdata::item::support_type, "$" + std::to_string(i + 1))) {
            c.project.support[i] = std::string("support/") + support_keys[i] + ".dll";
        }
    }
    return true;
}

std::string describe(const Contents& c, const appdata::Item& item) {
    std::string type = item.type, name = item.name;
    if (type == appdata::item::tarpon_type && name == appdata::item::identity) {
        auto text = appdata::identity_text(item.bytes);
        return text ? "identity \"" + *text + "\", code valid" : "identity, code INVALID";
    }
    if (type == appdata::item::tarpon_type && name == appdata::item::stamp) {
        auto st = c.items.raw_item(appdata::item::tarpon_type, appdata::item::settings);
        appdata::Stamp stamp = appdata::settings_stamp(st.value_or(std::vector<uint8_t>{}));
        bool same = st && item.bytes.size() == 16 && std::equal(stamp.begin(), stamp.end(), item.bytes.begin());
        return same ? "settings stamp, matches ST" : "settings stamp, does NOT match ST";
    }
    appdata::Unpacked unpacked = appdata::unpack_sm(item.bytes);
    if (type != appdata::item::tarpon_type && type != appdata::item::script_type &&
        type != appdata::item::support_type) {
        return "";
    }
    if (!unpacked.ok()) {
        return "does not unpack: " + unpacked.error;
    }
    std::string size = std::to_string(unpacked.bytes.size()) + " bytes";
    if (type == appdata::item::script_type) {
        return size + ", compiled script " + name;
    }
    if (type == appdata::item::support_type) {
        return size + ", support library";
    }
    if (name == appdata::item::settings) return size + ", settings record";
    if (name == appdata::item::masks) return size + ", " + std::to_string(c.masks.size()) + " masks (.msk files)";
    if (name == appdata::item::movies) {
        return size + ", " + std::to_string(c.movies.entries.size()) + " movie list entries" +
               (c.project.stored ? " with their bytes" : ", named beside the executable");
    }
    if (name == appdata::item::player) return size + ", player module (flash.ocx)";
    if (name == appdata::item::about_picture) return size + ", About picture (Tarpon.BK)";
    return size;
}

// Walks the archive: every file with its path relative to the root.
void walk_archive(const appdata::Archive& archive, const appdata::ArchiveEntry& folder, const std::string& prefix,
                  int depth, const std::function<void(const appdata::ArchiveEntry&, const std::string&)>& visit) {
    if (depth > appdata::archive_max_depth) {
        return;
    }
    auto entries = archive.entries(folder);
    if (!entries) {
        return;
    }
    for (const appdata::ArchiveEntry& entry : *entries) {
        std::string path = prefix + entry.name;
        visit(entry, path);
        if (entry.folder) {
            walk_archive(archive, entry, path + "/", depth + 1, visit);
        }
    }
}

bool write_out(const fs::path& path, std::span<const uint8_t> bytes) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (!appdata::write_file(path.string(), bytes)) {
        std::fprintf(stderr, "%s: cannot be written\n", path.string().c_str());
        return false;
    }
    return true;
}

}  // namespace

int inspect_command(const std::string& executable) {
    Contents c;
    if (!load(executable, c)) {
        return 1;
    }
    std::printf("# %s\n# items:\n", executable.c_str());
    size_t stub_resources = 0;
    for (const appdata::Item& item : c.items.items()) {
        std::string what = describe(c, item);
        if (what.empty()) {
            ++stub_resources;  // the stub's own: icons, version, manifest and the like
            continue;
        }
        std::printf("#   %-8s %-12s %8zu bytes  %s\n", item.type.c_str(), item.name.c_str(), item.bytes.size(),
                    what.c_str());
    }
    std::printf("# and %zu resources of the stub's own\n", stub_resources);
    appdata::MemoryBytes source(c.image);
    if (auto archive = appdata::Archive::open(source)) {
        std::printf("# appended files:\n");
        walk_archive(*archive, archive->root(), "", 0, [](const appdata::ArchiveEntry& entry, const std::string& path) {
            std::printf("#   %s%s (%u bytes stored)\n", path.c_str(), entry.folder ? "/" : "", entry.size);
        });
    } else {
        std::printf("# no appended files\n");
    }
    for (const std::string& note : c.notes) {
        std::printf("# note: %s\n", note.c_str());
    }
    std::printf("\n%s", project_text(c.project).c_str());
    return 0;
}

int unpack_command(const std::string& executable, const std::string& project_dir) {
    Contents c;
    if (!load(executable, c)) {
        return 1;
    }
    fs::path dir(project_dir);
    bool ok = true;
    auto unsafe = [&](const std::string& what, const std::string& name) {
        std::fprintf(stderr, "%s: %s is not a usable file name; skipped\n", what.c_str(), name.c_str());
    };
    const appdata::Settings& s = c.project.settings;
    for (const auto* file : {&s.help_file, &s.about_movie}) {
        if (file->path.empty()) {
            continue;
        }
        if (!appdata::is_safe_component(file->path)) {
            unsafe("settings", file->path);
            continue;
        }
        ok = write_out(dir / file->path, file->bytes) && ok;
    }
    if (!c.project.about_picture.empty()) {
        ok = write_out(dir / c.project.about_picture,
                       appdata::load_item(c.items, appdata::item::tarpon_type, appdata::item::about_picture).bytes) &&
             ok;
    }
    if (!c.project.icon.empty()) {
        ok = write_out(dir / c.project.icon, icon_file(c.resources)) && ok;
    }
    for (const appdata::MaskEntry& mask : c.masks) {
        if (!appdata::is_safe_component(mask.name + ".msk")) {
            unsafe("masks", mask.name);
            continue;
        }
        ok = write_out(dir / "masks" / (mask.name + ".msk"), mask.bytes) && ok;
    }
    std::vector<std::string> kept_movies, kept_plug_ins;
    for (const appdata::MovieEntry& entry : c.movies.entries) {
        bool plug_in = entry.kind == appdata::movie_kind::plug_in;
        bool safe = c.project.stored ? appdata::is_safe_component(entry.name) : appdata::is_safe_relative_path(entry.name);
        if (!safe) {
            unsafe("movies", entry.name);
            continue;
        }
        (plug_in ? kept_plug_ins : kept_movies).push_back(entry.name);
        if (c.project.stored) {
            ok = write_out(dir / (plug_in ? "plug_ins" : "movies") / entry.name, entry.bytes) && ok;
        }
    }
    if (c.project.movies) {
        c.project.movies = kept_movies;
        c.project.plug_ins = kept_plug_ins;
    }
    std::error_code error;
    fs::create_directories(dir / "movies", error);
    if (!c.project.player_module.empty()) {
        ok = write_out(dir / c.project.player_module,
                       appdata::load_item(c.items, appdata::item::tarpon_type, appdata::item::player).bytes) &&
             ok;
    }
    for (size_t i = 0; i < 4; ++i) {
        if (!c.project.support[i].empty()) {
            ok = write_out(dir / c.project.support[i],
                           appdata::load_item(c.items, appdata::item::support_type, "$" + std::to_string(i + 1)).bytes) &&
                 ok;
        }
    }
    for (const appdata::Item& item : c.items.items()) {
        if (item.type != appdata::item::script_type) {
            continue;
        }
        if (!appdata::is_safe_component(item.name + ".qsc")) {
            unsafe("scripts", item.name);
            continue;
        }
        appdata::Unpacked module = appdata::unpack_sm(item.bytes);
        if (!module.ok()) {
            std::fprintf(stderr, "script %s: %s; skipped\n", item.name.c_str(), module.error.c_str());
            continue;
        }
        ok = write_out(dir / "scripts" / (item.name + ".qsc"), module.bytes) && ok;
    }
    fs::create_directories(dir / "files", error);
    appdata::MemoryBytes source(c.image);
    if (auto archive = appdata::Archive::open(source)) {
        walk_archive(*archive, archive->root(), "", 0, [&](const appdata::ArchiveEntry& entry, const std::string& path) {
            fs::path target = dir / "files" / path;
            if (entry.folder) {
                fs::create_directories(target, error);
            } else if (auto bytes = archive->file_bytes(entry)) {
                ok = write_out(target, *bytes) && ok;
            } else {
                std::fprintf(stderr, "files/%s: corrupt in the archive; skipped\n", path.c_str());
                ok = false;
            }
        });
    }
    std::string text = project_text(c.project);
    ok = write_out(dir / project_file_name, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())) && ok;
    for (const std::string& note : c.notes) {
        std::fprintf(stderr, "note: %s\n", note.c_str());
    }
    std::printf("unpacked %s into %s\n", executable.c_str(), project_dir.c_str());
    return ok ? 0 : 1;
}

}  // namespace tarpon::author
