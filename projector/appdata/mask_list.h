// The mask list (RG item, and the tail of an options file):
//
//   u32 count
//   count x { text string name, u32 size, size bytes }
//
// An entry with bytes becomes the file <name>.msk in the run folder. A count of 0 means no masks.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "projector/appdata/record_stream.h"

namespace tarpon::appdata {

struct MaskEntry {
    std::string name;
    std::vector<uint8_t> bytes;
    bool operator==(const MaskEntry&) const = default;
};

// The whole list, or false (and an empty list) when it is cut short or malformed.
bool read_mask_list(RecordReader& reader, std::vector<MaskEntry>& masks);
bool read_mask_list(std::span<const uint8_t> bytes, std::vector<MaskEntry>& masks);
void write_mask_list(RecordWriter& writer, const std::vector<MaskEntry>& masks);
std::vector<uint8_t> mask_list_bytes(const std::vector<MaskEntry>& masks);

// Writes every entry with bytes into the folder as <name>.msk and gives the names written, in
// order. An entry whose name would leave the folder is skipped. `error` is set when a file could
// not be written; the entries before it stay.
std::vector<std::string> extract_masks(const std::vector<MaskEntry>& masks, const std::string& folder,
                                       std::string& error);

}  // namespace tarpon::appdata
