#include "tools/author/builder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "engine/quill.h"
#include "projector/appdata/archive.h"
#include "projector/appdata/identity.h"
#include "projector/appdata/item_source.h"
#include "projector/appdata/mask_list.h"
#include "projector/appdata/movie_list.h"
#include "projector/appdata/resource_items.h"
#include "projector/appdata/safe_name.h"
#include "projector/appdata/sm_container.h"
#include "tools/author/icon_resource.h"
#include "tools/author/mask_image.h"
#include "tools/author/version_resource.h"

namespace tarpon::author {

namespace fs = std::filesystem;

namespace {

constexpr uint16_t version_type = 16;

std::string lower(std::string text) {
    for (char& c : text) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string upper(std::string text) {
    for (char& c : text) {
        c = char(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// The regular files of a project sub-folder, sorted by name; none when it does not exist.
std::vector<fs::path> files_in(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        return files;
    }
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class Assembler {
public:
    Assembler(const Project& project, const BuildOptions& options, ProjectItems& out)
        : m_project(project), m_options(options), m_dir(options.project_dir), m_out(out) {}

    void run() {
        appdata::Settings settings = m_project.settings;
        settings.help_file = embedded(m_project.help_file, "misc.help_file");
        settings.about_movie = embedded(m_project.about_movie, "about_box.movie");

        std::string identity = m_project.registry_key;
        if (m_project.profile) {
            identity += "/" + *m_project.profile;
        }
        add_raw(appdata::item::identity, appdata::identity_item(identity));
        std::vector<uint8_t> st = appdata::pack_sm(appdata::settings_bytes(settings));
        appdata::Stamp stamp = appdata::settings_stamp(st);
        add_raw(appdata::item::settings, st);
        add_raw(appdata::item::stamp, std::vector<uint8_t>(stamp.begin(), stamp.end()));
        add_packed(appdata::item::masks, appdata::mask_list_bytes(masks()));
        add_packed(appdata::item::movies, appdata::movie_list_bytes(movies()));
        player();
        if (!m_project.about_picture.empty()) {
            if (auto bytes = project_file(m_project.about_picture, "about_box.picture")) {
                if (bytes->size() < 2 || (*bytes)[0] != 'B' || (*bytes)[1] != 'M') {
                    fault("about_box.picture: " + m_project.about_picture + " is not a BMP picture");
                }
                add_packed(appdata::item::about_picture, *bytes);
            }
        }
        scripts();
        archive();
    }

private:
    void fault(const std::string& text) { m_out.errors.push_back(text); }

    std::optional<std::vector<uint8_t>> project_file(const std::string& name, const std::string& key) {
        auto bytes = appdata::read_file((m_dir / name).string());
        if (!bytes) {
            fault(std::string(project_file_name) + ": " + key + ": " + name + " cannot be read");
        }
        return bytes;
    }

    appdata::EmbeddedFile embedded(const std::string& name, const std::string& key) {
        if (name.empty()) {
            return {};
        }
        auto bytes = project_file(name, key);
        std::string bare(appdata::bare_name(name));
        if (!appdata::is_safe_component(bare)) {
            fault(std::string(project_file_name) + ": " + key + ": " + name + " is not a usable file name");
        }
        return appdata::EmbeddedFile{bare, bytes.value_or(std::vector<uint8_t>{}), false};
    }

    void add(pe::ResourceName type, const std::string& name, std::vector<uint8_t> data) {
        pe::Resource resource;
        resource.type = std::move(type);
        resource.name = resource_name(name);
        resource.data = std::move(data);
        m_out.resources.push_back(std::move(resource));
    }
    void add_raw(const char* name, std::vector<uint8_t> data) {
        add(resource_name(appdata::item::tarpon_type), name, std::move(data));
    }
    void add_packed(const char* name, const std::vector<uint8_t>& data) { add_raw(name, appdata::pack_sm(data)); }

    std::vector<appdata::MaskEntry> masks() {
        std::vector<appdata::MaskEntry> masks;
        std::map<std::string, std::string> seen;
        for (const fs::path& file : files_in(m_dir / "masks")) {
            std::string extension = lower(file.extension().string());
            std::string name = file.stem().string();
            std::string shown = "masks/" + file.filename().string();
            if (extension != ".msk" && extension != ".png" && extension != ".bmp") {
                continue;
            }
            if (auto [at, fresh] = seen.emplace(upper(name), shown); !fresh) {
                fault(shown + ": a mask of this name is also made from " + at->second);
                continue;
            }
            auto bytes = appdata::read_file(file.string());
            if (!bytes) {
                fault(shown + ": cannot be read");
                continue;
            }
            if (extension == ".msk") {
                if (std::string problem = check_mask_file(*bytes); !problem.empty()) {
                    fault(shown + ": " + problem);
                    continue;
                }
                masks.push_back({name, std::move(*bytes)});
            } else {
                MaskResult made = mask_from_image(*bytes, m_project.mask_key_colour);
                if (!made.error.empty()) {
                    fault(shown + ": " + made.error);
                    continue;
                }
                masks.push_back({name, std::move(made.mask)});
            }
        }
        if (!masks.empty()) {
            std::printf("masks: %zu\n", masks.size());
        }
        return masks;
    }

    appdata::MovieListItem movies() {
        appdata::MovieListItem list;
        list.flags = (m_project.random_start ? appdata::movie_flags::random_start : 0) |
                     (m_project.stored ? appdata::movie_flags::stored : 0);
        std::vector<std::string> names;
        if (m_project.movies) {
            names = *m_project.movies;
        } else {
            for (const fs::path& file : files_in(m_dir / "movies")) {
                names.push_back(file.filename().string());
            }
        }
        auto entry = [&](uint32_t kind, const std::string& name, const char* folder) {
            appdata::MovieEntry movie{kind, name, {}};
            bool safe = m_project.stored ? appdata::is_safe_component(name) : appdata::is_safe_relative_path(name);
            if (!safe) {
                fault(std::string(project_file_name) + ": movies: " + name + " is not a usable file name");
                return;
            }
            if (m_project.stored) {
                auto bytes = appdata::read_file((m_dir / folder / name).string());
                if (!bytes) {
                    fault(std::string(folder) + "/" + name + ": cannot be read");
                    return;
                }
                movie.bytes = std::move(*bytes);
            }
            list.entries.push_back(std::move(movie));
        };
        for (const std::string& name : names) {
            entry(appdata::movie_kind::movie, name, "movies");
        }
        for (const std::string& name : m_project.plug_ins) {
            entry(appdata::movie_kind::plug_in, name, "plug_ins");
        }
        std::printf("movies: %zu%s\n", list.entries.size(), m_project.stored ? " stored" : " beside the executable");
        return list;
    }

    void player() {
        std::string path = m_options.player;
        if (path.empty() && !m_project.player_module.empty()) {
            path = (m_dir / m_project.player_module).string();
        }
        if (path.empty()) {
            auto found = find_runtime_file(m_options.search, player_name);
            if (!found) {
                std::printf("player: no %s found; the executable will use the installed player\n", player_name);
            } else {
                path = *found;
            }
        }
        if (!path.empty()) {
            if (auto bytes = appdata::read_file(path)) {
                std::printf("player: %s\n", path.c_str());
                add_packed(appdata::item::player, *bytes);
            } else {
                fault("player: " + path + " cannot be read");
            }
        }
        for (size_t i = 0; i < 4; ++i) {
            if (m_project.support[i].empty()) {
                continue;
            }
            if (auto bytes = project_file(m_project.support[i], std::string("player.") + support_keys[i])) {
                add(resource_name(appdata::item::support_type), "$" + std::to_string(i + 1), appdata::pack_sm(*bytes));
            }
        }
    }

    void scripts() {
        quill::EngineHandle* engine = quill::create_engine();
        if (!engine) {
            fault("scripts: no script engine");
            return;
        }
        std::map<std::string, std::string> seen;
        for (const fs::path& file : files_in(m_dir / "scripts")) {
            std::string extension = lower(file.extension().string());
            if (extension != ".qls" && extension != ".qsc") {
                continue;
            }
            std::string name = upper(file.stem().string());
            std::string shown = "scripts/" + file.filename().string();
            if (auto [at, fresh] = seen.emplace(name, shown); !fresh) {
                fault(shown + ": a script of this name also comes from " + at->second);
                continue;
            }
            std::vector<uint8_t> module;
            if (extension == ".qsc") {
                auto bytes = appdata::read_file(file.string());
                if (!bytes || bytes->size() < 4 || std::string(bytes->begin(), bytes->begin() + 4) != "QS1b") {
                    fault(shown + ": not a compiled module");
                    continue;
                }
                module = std::move(*bytes);
            } else {
                std::printf("compiling %s\n", shown.c_str());
                quill::CompiledModule compiled = quill::compile_source_file(engine, file.string().c_str());
                if (!compiled.ok) {
                    std::string diagnostics = compiled.diagnostics;
                    size_t start = 0;
                    while (start < diagnostics.size()) {
                        size_t end = diagnostics.find('\n', start);
                        std::string line = diagnostics.substr(start, end == std::string::npos ? end : end - start);
                        if (!line.empty() && line.back() == '\r') {
                            line.pop_back();
                        }
                        if (!line.empty()) {
                            fault(shown + ": " + line);
                        }
                        start = end == std::string::npos ? diagnostics.size() : end + 1;
                    }
                    if (diagnostics.empty()) {
                        fault(shown + ": does not compile");
                    }
                    continue;
                }
                module = std::move(compiled.module);
            }
            add(resource_name(appdata::item::script_type), name, appdata::pack_sm(module));
        }
        quill::destroy_engine(engine);
    }

    std::vector<appdata::ArchiveNode> folder_nodes(const fs::path& folder, int depth) {
        std::vector<appdata::ArchiveNode> nodes;
        std::vector<fs::path> children;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            children.push_back(entry.path());
        }
        std::sort(children.begin(), children.end());
        for (const fs::path& child : children) {
            std::string name = child.filename().string();
            if (!appdata::is_safe_component(name)) {
                fault("files: " + child.string() + " is not a usable file name");
                continue;
            }
            if (fs::is_directory(child, error)) {
                if (depth >= appdata::archive_max_depth) {
                    fault("files: " + child.string() + " lies too deep");
                    continue;
                }
                nodes.push_back({true, name, {}, folder_nodes(child, depth + 1)});
                ++m_folders;
            } else if (auto bytes = appdata::read_file(child.string())) {
                nodes.push_back({false, name, std::move(*bytes), {}});
                ++m_files;
            } else {
                fault("files: " + child.string() + " cannot be read");
            }
        }
        return nodes;
    }

    void archive() {
        fs::path folder = m_dir / "files";
        std::error_code error;
        std::vector<appdata::ArchiveNode> root;
        if (fs::is_directory(folder, error)) {
            root = folder_nodes(folder, 1);
        }
        if (root.empty()) {
            m_out.appended = appdata::archive_trailer(std::nullopt);
            return;
        }
        std::printf("files: %zu files in %zu folders\n", m_files, m_folders);
        m_out.appended = appdata::archive_bytes(root);
        std::vector<uint8_t> trailer = appdata::archive_trailer(uint32_t(m_out.appended.size()));
        m_out.appended.insert(m_out.appended.end(), trailer.begin(), trailer.end());
    }

    const Project& m_project;
    const BuildOptions& m_options;
    fs::path m_dir;
    ProjectItems& m_out;
    size_t m_files = 0;
    size_t m_folders = 0;
};

bool is_ours(const pe::Resource& resource) {
    std::string type = appdata::resource_name_text(resource.type);
    return type == appdata::item::tarpon_type || type == appdata::item::script_type ||
           type == appdata::item::support_type;
}

}  // namespace

pe::ResourceName resource_name(const std::string& ascii) {
    return pe::ResourceName::named(std::u16string(ascii.begin(), ascii.end()));
}

ProjectItems project_items(const Project& project, const BuildOptions& options) {
    ProjectItems items;
    Assembler(project, options, items).run();
    return items;
}

int build_command(const BuildOptions& options) {
    fs::path dir(options.project_dir);
    std::string project_path = (dir / project_file_name).string();
    ProjectRead read = read_project(project_path);
    for (const std::string& error : read.errors) {
        std::fprintf(stderr, "%s\n", error.c_str());
    }
    if (!read.errors.empty()) {
        return 1;
    }

    std::string stub = options.stub;
    if (stub.empty()) {
        auto found = find_runtime_file(options.search, stub_name);
        if (!found) {
            std::string folders;
            for (const std::string& folder : runtime_folders(options.search)) {
                folders += "\n  " + folder;
            }
            std::fprintf(stderr,
                         "no projector stub: %s was not found in any runtime folder:%s\n"
                         "pass --stub FILE, or --runtime DIR (or set TARPON_RUNTIME) to a folder that holds it\n",
                         stub_name, folders.c_str());
            return 1;
        }
        stub = *found;
    }
    auto image = appdata::read_file(stub);
    if (!image) {
        std::fprintf(stderr, "%s: the projector stub cannot be read\n", stub.c_str());
        return 1;
    }
    pe::ReadResult stub_resources = pe::read_resources(*image);
    if (!stub_resources.error.empty()) {
        std::fprintf(stderr, "%s: %s\n", stub.c_str(), stub_resources.error.c_str());
        return 1;
    }
    std::printf("stub: %s\n", stub.c_str());

    ProjectItems items = project_items(read.project, options);
    // The stub's own resources stay (a previous build's items and version go), then ours.
    std::vector<pe::Resource> resources;
    for (pe::Resource& resource : stub_resources.resources) {
        bool version = resource.type.text.empty() && resource.type.id == version_type;
        if (!is_ours(resource) && !version) {
            resources.push_back(std::move(resource));
        }
    }
    if (!read.project.icon.empty()) {
        if (auto ico = appdata::read_file((dir / read.project.icon).string())) {
            if (std::string problem = replace_icon(resources, *ico); !problem.empty()) {
                items.errors.push_back(std::string(project_file_name) + ": window.icon: " + read.project.icon + ": " +
                                       problem);
            }
        } else {
            items.errors.push_back(std::string(project_file_name) + ": window.icon: " + read.project.icon +
                                   " cannot be read");
        }
    }
    pe::Resource version;
    version.type = pe::ResourceName::number(version_type);
    version.name = pe::ResourceName::number(1);
    version.language = 0x409;
    version.data = version_resource(read.project.settings);
    resources.push_back(std::move(version));
    for (pe::Resource& resource : items.resources) {
        resources.push_back(std::move(resource));
    }
    for (const std::string& error : items.errors) {
        std::fprintf(stderr, "%s\n", error.c_str());
    }
    if (!items.errors.empty()) {
        return 1;
    }

    pe::WriteResult written = pe::write_resources(*image, resources);
    if (!written.error.empty()) {
        std::fprintf(stderr, "%s: %s\n", stub.c_str(), written.error.c_str());
        return 1;
    }
    std::vector<uint8_t> executable = pe::with_overlay(written.image, items.appended);
    std::string output = options.output;
    if (output.empty()) {
        fs::path absolute = fs::absolute(dir).lexically_normal();
        std::string name = absolute.filename().string();
        if (name.empty()) {
            name = absolute.parent_path().filename().string();
        }
        output = (dir / (name.empty() ? std::string("projector.exe") : name + ".exe")).string();
    }
    std::printf("writing %s (%zu bytes)\n", output.c_str(), executable.size());
    if (!appdata::write_file(output, executable)) {
        std::fprintf(stderr, "%s: cannot be written\n", output.c_str());
        return 1;
    }
    return 0;
}

}  // namespace tarpon::author
