// Which settings a run starts with: an options file, the executable's settings or the saved options,
// with malformed input of every source falling back to the executable's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "projector/app/startup_settings.h"
#include "projector/appdata/identity.h"
#include "projector/appdata/record_stream.h"
#include "projector/appdata/sm_container.h"

namespace tarpon::projector {
namespace {

using appdata::MaskEntry;
using appdata::Settings;

class MemoryStore : public appdata::OptionsStore {
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

Settings settings_with_caption(const std::string& caption, uint32_t size_mode) {
    Settings settings;
    settings.caption = caption;
    settings.size_mode = size_mode;
    return settings;
}

std::vector<MaskEntry> one_mask(const std::string& name) {
    MaskEntry mask;
    mask.name = name;
    mask.bytes = {1, 2, 3, 4};
    return {mask};
}

// An executable's items: ST with the caption "embedded", its stamp, and one mask "star".
appdata::ItemList embedded_items() {
    appdata::ItemList items;
    std::vector<uint8_t> record = appdata::settings_bytes(settings_with_caption("embedded", 3));
    std::vector<uint8_t> packed = appdata::pack_sm(record);
    items.add(appdata::item::tarpon_type, appdata::item::settings, packed);
    appdata::Stamp stamp = appdata::settings_stamp(packed);
    items.add(appdata::item::tarpon_type, appdata::item::stamp, std::vector<uint8_t>(stamp.begin(), stamp.end()));
    items.add(appdata::item::tarpon_type, appdata::item::masks, appdata::pack_sm(appdata::mask_list_bytes(one_mask("star"))));
    return items;
}

class RunSettings : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = std::filesystem::temp_directory_path() /
                   ("tarpon-app-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::string path = (m_folder / name).string();
        EXPECT_TRUE(appdata::write_file(path, bytes));
        return path;
    }
    static std::vector<uint8_t> options_file(const Settings& settings, const std::vector<MaskEntry>& masks) {
        std::vector<uint8_t> bytes = appdata::settings_bytes(settings);
        std::vector<uint8_t> list = appdata::mask_list_bytes(masks);
        bytes.insert(bytes.end(), list.begin(), list.end());
        return bytes;
    }

    std::filesystem::path m_folder;
    appdata::ItemList m_items = embedded_items();
    MemoryStore m_store;
    Settings m_settings;
    std::vector<MaskEntry> m_masks;
};

TEST_F(RunSettings, AnOptionsFileReplacesTheSettingsAndMasksAndLeavesTheRegistryAlone) {
    std::string path = write("show.opt", options_file(settings_with_caption("from file", 4), one_mask("moon")));
    EXPECT_EQ(load_run_settings(path, m_items, m_store, m_settings, m_masks), SettingsSource::OptionsFile);
    EXPECT_EQ(m_settings.caption, "from file");
    EXPECT_EQ(m_settings.size_mode, 4u);
    ASSERT_EQ(m_masks.size(), 1u);
    EXPECT_EQ(m_masks[0].name, "moon");
    EXPECT_TRUE(m_store.values.empty());
}

TEST_F(RunSettings, AnOptionsFileEndingAfterItsRecordHasNoMasks) {
    std::string path = write("bare.opt", appdata::settings_bytes(settings_with_caption("bare", 0)));
    EXPECT_EQ(load_run_settings(path, m_items, m_store, m_settings, m_masks), SettingsSource::OptionsFile);
    EXPECT_EQ(m_settings.caption, "bare");
    EXPECT_TRUE(m_masks.empty());
}

TEST_F(RunSettings, AMalformedOptionsFileIsIgnoredForTheExecutablesSettings) {
    std::vector<uint8_t> whole = options_file(settings_with_caption("from file", 4), one_mask("moon"));
    std::vector<uint8_t> record = appdata::settings_bytes(settings_with_caption("from file", 4));
    // Cut inside the record; cut inside the mask list; a mask list whose count lies.
    std::vector<std::vector<uint8_t>> broken = {
        std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(record.size() / 2)),
        std::vector<uint8_t>(whole.begin(), whole.end() - 2),
        record,
    };
    broken[2].insert(broken[2].end(), {0xFF, 0xFF, 0xFF, 0x7F});
    for (size_t i = 0; i < broken.size(); ++i) {
        SCOPED_TRACE(i);
        std::string path = write("broken" + std::to_string(i) + ".opt", broken[i]);
        m_store.values.clear();
        EXPECT_EQ(load_run_settings(path, m_items, m_store, m_settings, m_masks), SettingsSource::Embedded);
        EXPECT_EQ(m_settings.caption, "embedded");
        ASSERT_EQ(m_masks.size(), 1u);
        EXPECT_EQ(m_masks[0].name, "star");
        EXPECT_TRUE(m_store.values.count(appdata::options_value));
    }
}

TEST_F(RunSettings, WithoutAnOptionsFileTheSavedOptionsOfTheSameSettingsAreUsed) {
    // The first run writes the stamp and the options; an edited saved record is taken next time.
    EXPECT_EQ(load_run_settings(std::nullopt, m_items, m_store, m_settings, m_masks), SettingsSource::Embedded);
    EXPECT_EQ(m_settings.caption, "embedded");
    m_store.values[appdata::options_value] = appdata::settings_bytes(settings_with_caption("saved", 1));
    EXPECT_EQ(load_run_settings(std::nullopt, m_items, m_store, m_settings, m_masks), SettingsSource::Saved);
    EXPECT_EQ(m_settings.caption, "saved");
    EXPECT_EQ(m_masks.size(), 1u);

    // Malformed saved options are replaced by the executable's settings.
    m_store.values[appdata::options_value] = {1, 2, 3};
    EXPECT_EQ(load_run_settings(std::nullopt, m_items, m_store, m_settings, m_masks), SettingsSource::Embedded);
    EXPECT_EQ(m_settings.caption, "embedded");
    Settings rewritten;
    EXPECT_TRUE(appdata::read_settings(m_store.values[appdata::options_value], rewritten));
    EXPECT_EQ(rewritten.caption, "embedded");
}

TEST_F(RunSettings, AMissingOptionsFileOrMissingItemsGiveTheZeroRecord) {
    appdata::ItemList empty;
    std::string missing = (m_folder / "none.opt").string();
    EXPECT_EQ(load_run_settings(missing, empty, m_store, m_settings, m_masks), SettingsSource::Embedded);
    EXPECT_EQ(m_settings, Settings{});
    EXPECT_TRUE(m_masks.empty());
}

}  // namespace
}  // namespace tarpon::projector
