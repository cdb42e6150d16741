#include "projector/appdata/mask_list.h"

#include "projector/appdata/item_source.h"
#include "projector/appdata/messages.h"
#include "projector/appdata/safe_name.h"

namespace tarpon::appdata {

bool read_mask_list(RecordReader& in, std::vector<MaskEntry>& masks) {
    masks.clear();
    uint32_t count = in.u32();
    std::vector<MaskEntry> entries;
    // Each entry takes at least eight bytes, so a count beyond that is a lie and is not trusted
    // with an allocation.
    if (count > in.remaining() / 8) {
        in.fail();
        return false;
    }
    entries.reserve(count);
    for (uint32_t i = 0; i < count && in.ok(); ++i) {
        MaskEntry entry;
        entry.name = in.text().value_or("");
        uint32_t size = in.u32();
        auto bytes = in.bytes(size);
        entry.bytes.assign(bytes.begin(), bytes.end());
        entries.push_back(std::move(entry));
    }
    if (!in.ok()) {
        return false;
    }
    masks = std::move(entries);
    return true;
}

bool read_mask_list(std::span<const uint8_t> bytes, std::vector<MaskEntry>& masks) {
    RecordReader reader(bytes);
    return read_mask_list(reader, masks);
}

void write_mask_list(RecordWriter& out, const std::vector<MaskEntry>& masks) {
    out.u32(uint32_t(masks.size()));
    for (const MaskEntry& entry : masks) {
        out.text(entry.name);
        out.u32(uint32_t(entry.bytes.size()));
        out.bytes(entry.bytes);
    }
}

std::vector<uint8_t> mask_list_bytes(const std::vector<MaskEntry>& masks) {
    RecordWriter writer;
    write_mask_list(writer, masks);
    return writer.take();
}

std::vector<std::string> extract_masks(const std::vector<MaskEntry>& masks, const std::string& folder,
                                       std::string& error) {
    std::vector<std::string> names;
    for (const MaskEntry& entry : masks) {
        if (entry.bytes.empty()) {
            continue;
        }
        std::string file_name = entry.name + ".msk";
        if (!is_safe_component(entry.name) || !is_safe_component(file_name)) {
            continue;
        }
        if (!write_file(join_path(folder, file_name), entry.bytes)) {
            error = message_text(Message::WriteFailed);
            break;
        }
        names.push_back(entry.name);
    }
    return names;
}

}  // namespace tarpon::appdata
