#include "projector/app/startup_settings.h"

#include "projector/appdata/record_stream.h"

namespace tarpon::projector {

bool read_options_file_whole(const std::string& path, appdata::Settings& settings,
                             std::vector<appdata::MaskEntry>& masks) {
    settings = appdata::Settings{};
    masks.clear();
    auto bytes = appdata::read_file(path);
    if (!bytes) {
        return false;
    }
    appdata::RecordReader reader(*bytes);
    appdata::Settings record;
    if (!appdata::read_settings(reader, record)) {
        return false;
    }
    std::vector<appdata::MaskEntry> entries;
    if (!reader.at_end() && !appdata::read_mask_list(reader, entries)) {
        return false;
    }
    settings = std::move(record);
    masks = std::move(entries);
    return true;
}

SettingsSource load_run_settings(const std::optional<std::string>& options_file, const appdata::ItemSource& items,
                                 appdata::OptionsStore& store, appdata::Settings& settings,
                                 std::vector<appdata::MaskEntry>& masks) {
    if (options_file && read_options_file_whole(*options_file, settings, masks)) {
        return SettingsSource::OptionsFile;
    }
    appdata::SavedOptions saved = appdata::load_settings(items, store, settings);
    masks.clear();
    appdata::LoadedItem mask_item = appdata::load_item(items, appdata::item::tarpon_type, appdata::item::masks);
    if (mask_item.ok() && !appdata::read_mask_list(mask_item.bytes, masks)) {
        masks.clear();
    }
    return saved == appdata::SavedOptions::Used ? SettingsSource::Saved : SettingsSource::Embedded;
}

}  // namespace tarpon::projector
