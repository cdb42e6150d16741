#include "projector/appdata/identity.h"

#include <algorithm>

#include "host/common/md5.h"
#include "projector/appdata/item_source.h"
#include "projector/appdata/record_stream.h"

namespace tarpon::appdata {

namespace {

// The key of the identity code, the one place it is written: the projector and the authoring tool
// both use it from here.
constexpr std::string_view identity_key = "Tarpon application identity, version 1";

host::Md5Digest identity_code(std::span<const uint8_t> covered) {
    return host::hmac_md5(std::span(reinterpret_cast<const uint8_t*>(identity_key.data()), identity_key.size()),
                          covered);
}

}  // namespace

std::optional<std::string> identity_text(std::span<const uint8_t> item) {
    if (item.size() <= identity_trailer_size) {
        return std::nullopt;
    }
    size_t covered = item.size() - 16;
    host::Md5Digest code = identity_code(item.first(covered));
    if (!std::equal(code.begin(), code.end(), item.begin() + covered)) {
        return std::nullopt;
    }
    // The text ends at its NUL, which must come before the trailer.
    size_t text_bytes = item.size() - identity_trailer_size;
    std::u16string units;
    bool terminated = false;
    for (size_t i = 0; i + 2 <= text_bytes; i += 2) {
        char16_t unit = char16_t(item[i] | item[i + 1] << 8);
        if (unit == 0) {
            terminated = true;
            break;
        }
        units.push_back(unit);
    }
    if (!terminated) {
        return std::nullopt;
    }
    return ansi_from_units(units);
}

std::optional<Identity> read_identity(std::span<const uint8_t> item, std::string_view application_name) {
    auto found = identity_text(item);
    if (!found) {
        return std::nullopt;
    }
    const std::string& text = *found;
    Identity identity;
    size_t slash = text.find('/');
    if (slash == std::string::npos) {
        identity.registry_key = text;
        identity.profile_name = std::string(application_name);
    } else {
        identity.registry_key = text.substr(0, slash);
        identity.profile_name = text.substr(slash + 1);
    }
    return identity;
}

std::optional<Identity> load_identity(const ItemSource& items, std::string_view application_name) {
    auto raw = items.raw_item(item::tarpon_type, item::identity);
    if (!raw) {
        return std::nullopt;
    }
    return read_identity(*raw, application_name);
}

std::vector<uint8_t> identity_item(std::string_view text) {
    RecordWriter out;
    for (char16_t unit : terminated_utf16(text)) {
        out.u16(uint16_t(unit));
    }
    std::vector<uint8_t> item = out.take();
    item.resize(item.size() + 16, 0);  // reserved
    host::Md5Digest code = identity_code(item);
    item.insert(item.end(), code.begin(), code.end());
    return item;
}

Stamp settings_stamp(std::span<const uint8_t> settings_item) { return host::md5(settings_item); }

}  // namespace tarpon::appdata
