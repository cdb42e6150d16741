// The identity item and its code, the settings stamp and saved options, the command line and its
// options file, the run folder, and the names refused from data.
#include "projector/appdata/identity.h"

#include <gtest/gtest.h>

#include <map>

#include "projector/appdata/command_line.h"
#include "projector/appdata/run_folder.h"
#include "projector/appdata/safe_name.h"
#include "projector/appdata/saved_options.h"
#include "projector/appdata/sm_container.h"
#include "test_folder.h"

namespace tarpon::appdata {
namespace {

using testing::TestFolder;

TEST(Identity, ReadsKeyAndProfileAndChecksTheCode) {
    auto identity = read_identity(identity_item("Acme Shows/Tour"), "app");
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->registry_key, "Acme Shows");
    EXPECT_EQ(identity->profile_name, "Tour");
    identity = read_identity(identity_item("Acme"), "app");
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->profile_name, "app");

    // Any change to the covered bytes, the code or the length is refused.
    std::vector<uint8_t> item = identity_item("Acme/Tour");
    for (size_t at = 0; at < item.size(); ++at) {
        auto mutated = item;
        mutated[at] ^= 0x01;
        EXPECT_FALSE(read_identity(mutated, "app")) << at;
    }
    EXPECT_FALSE(read_identity(std::span(item).first(32), "app"));
    EXPECT_FALSE(read_identity(std::span(item).first(item.size() - 1), "app"));

    ItemList items;
    EXPECT_FALSE(load_identity(items, "app"));
    items.add("TARPON", "ID", item);
    EXPECT_TRUE(load_identity(items, "app"));
}

class MemoryStore : public OptionsStore {
public:
    std::map<std::string, std::vector<uint8_t>> values;
    std::optional<std::vector<uint8_t>> get(std::string_view name) override {
        auto found = values.find(std::string(name));
        if (found == values.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    void set(std::string_view name, std::span<const uint8_t> bytes) override {
        values[std::string(name)].assign(bytes.begin(), bytes.end());
    }
};

ItemList build_with(const Settings& settings) {
    ItemList items;
    std::vector<uint8_t> st = pack_sm(settings_bytes(settings));
    Stamp stamp = settings_stamp(st);
    items.add("TARPON", "ST", st);
    items.add("TARPON", "CS", std::vector<uint8_t>(stamp.begin(), stamp.end()));
    return items;
}

TEST(SavedOptions, UsedOnlyWhileTheStampMatches) {
    Settings first;
    first.caption = "first build";
    ItemList build = build_with(first);
    MemoryStore store;
    Settings settings;
    EXPECT_EQ(load_settings(build, store, settings), SavedOptions::Written);
    EXPECT_EQ(settings.caption, "first build");
    EXPECT_EQ(store.values["crc"], *build.raw_item("TARPON", "CS"));

    // The user changes an option; the same build reads it back.
    Settings changed = settings;
    changed.window_flags = 0x100;
    store.set("Options", settings_bytes(changed));
    EXPECT_EQ(load_settings(build, store, settings), SavedOptions::Used);
    EXPECT_EQ(settings.window_flags, 0x100u);

    // A new build with other settings ignores them and overwrites them with its own.
    Settings second;
    second.caption = "second build";
    ItemList rebuilt = build_with(second);
    EXPECT_EQ(load_settings(rebuilt, store, settings), SavedOptions::Written);
    EXPECT_EQ(settings.caption, "second build");
    EXPECT_EQ(settings.window_flags, 0u);
    EXPECT_EQ(store.values["Options"], settings_bytes(second));
    EXPECT_EQ(store.values["crc"], *rebuilt.raw_item("TARPON", "CS"));
}

TEST(SavedOptions, MalformedSavedOptionsAreRewritten) {
    Settings built;
    built.caption = "built";
    ItemList build = build_with(built);
    MemoryStore store;
    Settings settings;
    load_settings(build, store, settings);
    store.values["Options"].resize(10);
    EXPECT_EQ(load_settings(build, store, settings), SavedOptions::Written);
    EXPECT_EQ(settings.caption, "built");
    EXPECT_EQ(store.values["Options"], settings_bytes(built));
}

TEST(SavedOptions, WithoutItemsTheRecordStaysZeroFilled) {
    ItemList none;
    MemoryStore store;
    Settings settings;
    settings.caption = "stale";
    load_settings(none, store, settings);
    EXPECT_EQ(settings, Settings{});
}

TEST(CommandLine, MoviesAndTheFirstExistingOptionsFile) {
    TestFolder folder;
    Settings options;
    options.caption = "from the options file";
    std::vector<MaskEntry> masks = {{"shape", {1, 2, 3}}};
    RecordWriter out;
    write_settings(out, options);
    write_mask_list(out, masks);
    ASSERT_TRUE(write_file(folder.file("opts.bin"), out.data()));

    CommandLine line = read_command_line(
        {"a.swf", "/o:" + folder.file("missing.bin"), "/x", "/o:" + folder.file("opts.bin"), "b.swf"});
    EXPECT_EQ(line.movies, (std::vector<std::string>{"a.swf", "b.swf"}));
    ASSERT_TRUE(line.options_file);
    EXPECT_EQ(*line.options_file, folder.file("opts.bin"));
    EXPECT_FALSE(read_command_line({"/o:" + folder.file("missing.bin")}).options_file);

    Settings settings;
    std::vector<MaskEntry> read_masks;
    ASSERT_TRUE(read_options_file(*line.options_file, settings, read_masks));
    EXPECT_EQ(settings, options);
    EXPECT_EQ(read_masks, masks);

    // Cut inside the record: nothing of it is taken, and no masks.
    std::vector<uint8_t> cut(out.data().begin(), out.data().begin() + 30);
    ASSERT_TRUE(write_file(folder.file("cut.bin"), cut));
    ASSERT_TRUE(read_options_file(folder.file("cut.bin"), settings, read_masks));
    EXPECT_EQ(settings, Settings{});
    EXPECT_TRUE(read_masks.empty());
}

TEST(RunFolder, BaseComesFromTmpTempOrTheWindowsDirectory) {
    std::string sep(1, path_separator);
    EXPECT_EQ(run_folder_base("C:\\Tmp", "C:\\Temp", "C:\\Windows"), "C:\\Tmp" + sep);
    EXPECT_EQ(run_folder_base("C:/Tmp/", std::nullopt, "C:\\Windows"), "C:/Tmp" + sep);
    EXPECT_EQ(run_folder_base(std::string(260, 'x'), "T", "W"), "T" + sep);
    EXPECT_EQ(run_folder_base(std::nullopt, std::nullopt, "C:\\Windows"), "C:\\Windows" + sep);
    EXPECT_EQ(run_folder_base(std::nullopt, std::nullopt, ""), "");

    std::string guid = new_guid_text();
    EXPECT_EQ(guid.size(), 38u);
    EXPECT_EQ(guid.front(), '{');
    EXPECT_EQ(guid[9], '-');
    EXPECT_NE(guid, new_guid_text());

    std::string folder = create_run_folder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), path_separator);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    std::filesystem::remove_all(folder);
}

TEST(SafeNames, RefuseNamesThatLeaveTheirFolder) {
    for (const char* name : {"", ".", "..", "...", "a.", "a ", "\\a", "/a", "a\\b", "C:x", "con", "CON.txt",
                             "nul", "Com1", "lpt9.log", "conin$", "a*b", "a\tb"}) {
        EXPECT_FALSE(is_safe_component(name)) << name;
    }
    for (const char* name : {"movie.swf", "con1", "com10", "COMPUTER", "a..b", ".hidden", "Plug_Ins"}) {
        EXPECT_TRUE(is_safe_component(name)) << name;
    }
    EXPECT_TRUE(is_safe_relative_path("movies\\intro.swf"));
    EXPECT_TRUE(is_safe_relative_path("movies/intro.swf"));
    for (const char* path : {"\\movies\\a.swf", "movies\\..\\..\\a", "movies\\\\a", "C:\\a", "a/", ""}) {
        EXPECT_FALSE(is_safe_relative_path(path)) << path;
    }
}

}  // namespace
}  // namespace tarpon::appdata
