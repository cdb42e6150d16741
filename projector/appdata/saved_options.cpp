#include "projector/appdata/saved_options.h"

#include <algorithm>

#include "projector/appdata/identity.h"

namespace tarpon::appdata {

SavedOptions load_settings(const ItemSource& items, OptionsStore& store, Settings& settings) {
    bool stamps_match = false;
    if (auto stamp = items.raw_item(item::tarpon_type, item::stamp)) {
        auto saved = store.get(stamp_value);
        stamps_match = saved && *saved == *stamp;
        if (!stamps_match) {
            store.set(stamp_value, *stamp);
        }
    }
    settings = Settings{};
    LoadedItem loaded = load_item(items, item::tarpon_type, item::settings);
    if (loaded.ok()) {
        read_settings(loaded.bytes, settings);
    }
    if (stamps_match) {
        if (auto saved = store.get(options_value)) {
            Settings from_saved;
            if (read_settings(*saved, from_saved)) {
                settings = std::move(from_saved);
                return SavedOptions::Used;
            }
        }
    }
    store.set(options_value, settings_bytes(settings));
    return SavedOptions::Written;
}

}  // namespace tarpon::appdata
