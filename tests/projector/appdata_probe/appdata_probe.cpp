// A stand-in for the projector that reads its own application data as the projector does, with
// the system's resource functions, its own file's archive, a real run folder and saved options in
// the registry, and prints what it found. The tool's tests pack it as the stub of a sample project.
//
//   appdata_probe.exe            read everything and print it
//   appdata_probe.exe -cleanup   remove the registry key of the saved options
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/windows.h"
#include "projector/appdata/additional_files.h"
#include "projector/appdata/archive.h"
#include "projector/appdata/file_system.h"
#include "projector/appdata/identity.h"
#include "projector/appdata/item_source.h"
#include "projector/appdata/mask_list.h"
#include "projector/appdata/messages.h"
#include "projector/appdata/movie_list.h"
#include "projector/appdata/run_folder.h"
#include "projector/appdata/saved_options.h"

namespace {

using namespace tarpon::appdata;

std::string relative_to(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size(), folder) == 0 ? "<run>\\" + path.substr(folder.size()) : path;
}

std::string content(const std::string& path) {
    auto bytes = read_file(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<unreadable>";
}

}  // namespace

int main(int argc, char** argv) {
    char module_path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, module_path, MAX_PATH);
    std::string exe(module_path, length);
    std::string exe_folder = exe.substr(0, exe.find_last_of('\\') + 1);

    ModuleItemSource items;
    auto identity = load_identity(items, "appdata_probe");
    if (!identity) {
        std::printf("%s\n", message_text(Message::InvalidApplicationData));
        return 1;
    }
    if (argc > 1 && std::strcmp(argv[1], "-cleanup") == 0) {
        RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + identity->registry_key).c_str());
        return 0;
    }
    std::printf("identity: %s / %s\n", identity->registry_key.c_str(), identity->profile_name.c_str());

    std::string run = create_run_folder();
    bool run_shape = run.size() > 40 && run.back() == '\\' && run[run.size() - 39] == '{';
    std::printf("run folder: %s\n", run_shape && folder_exists(run) ? "made" : "MISSING");

    RegistryOptionsStore store(identity->registry_key, identity->profile_name);
    Settings settings;
    SavedOptions saved = load_settings(items, store, settings);
    std::printf("saved options: %s\n", saved == SavedOptions::Used ? "used" : "written");
    extract_embedded_files(settings, run);
    std::printf("settings: title \"%s\", caption \"%s\", size mode %u, %ux%u, hot key 0x%X+0x%X\n",
                settings.title.value_or("<none>").c_str(), settings.caption.c_str(), settings.size_mode,
                settings.width, settings.height, settings.hot_key, settings.hot_key_modifiers);
    if (!settings.help_file.path.empty()) {
        std::printf("help file: %s \"%s\"\n", relative_to(settings.help_file.path, run).c_str(),
                    content(settings.help_file.path).c_str());
    }

    LoadedItem masks_item = load_item(items, item::tarpon_type, item::masks);
    std::vector<MaskEntry> masks;
    if (masks_item.ok() && read_mask_list(masks_item.bytes, masks)) {
        std::string error;
        for (const std::string& name : extract_masks(masks, run, error)) {
            std::printf("mask: %s%s\n", name.c_str(), file_exists(run + name + ".msk") ? "" : " (no file)");
        }
    }

    LoadedItem movies_item = load_item(items, item::tarpon_type, item::movies);
    MovieListItem movie_item;
    MovieList movies;
    if (movies_item.ok() && read_movie_list(movies_item.bytes, movie_item)) {
        std::string error;
        load_movie_list(movie_item, run, exe_folder, movies, error);
        for (const MovieNode& node : movies.movies) {
            std::printf("movie: kind %u %s \"%s\"\n", node.kind, relative_to(node.path, run).c_str(),
                        content(node.path).c_str());
        }
        std::printf("start movie: %s\n", relative_to(pick_start_movie(movies), run).c_str());
    }

    LoadedItem script = load_item(items, item::script_type, "initialize");
    std::printf("script INITIALIZE: %s\n",
                script.ok() && script.bytes.size() > 4 && std::memcmp(script.bytes.data(), "QS1b", 4) == 0
                    ? "a compiled module"
                    : script.error.c_str());

    if (auto source = FileBytes::open(exe)) {
        AdditionalFiles files(*source, exe_folder, run);
        std::string first = files.get("readme.txt");
        std::printf("additional readme.txt: %s \"%s\"\n", relative_to(first, run).c_str(), content(first).c_str());
        std::printf("again: %s\n", files.get("README.TXT") == first ? "the same copy" : "ANOTHER COPY");
        std::string deep = files.get("sub/deep.txt");
        std::printf("additional sub/deep.txt: %s \"%s\"\n", relative_to(deep, run).c_str(), content(deep).c_str());
        std::printf("additional missing.txt: \"%s\"\n", files.get("missing.txt").c_str());
    }
    remove_tree(run);
    std::printf("run folder removed: %s\n", folder_exists(run) ? "NO" : "yes");
    return 0;
}
