// A file's version resource: the fixed block's version numbers, the first translation and the
// standard strings of that translation's string table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tarpon::host {

// A string of the string table: the property name scripts see and the entry name in the resource.
struct VersionStringName {
    const char* property;
    const char* entry;
};

// The strings read, in the order they are read.
inline constexpr std::array<VersionStringName, 12> version_string_names = {{
    {"comments", "Comments"},
    {"companyName", "CompanyName"},
    {"fileDescription", "FileDescription"},
    {"fileVersion", "FileVersion"},
    {"internalName", "InternalName"},
    {"legalCopyright", "LegalCopyright"},
    {"legalTrademarks", "LegalTrademarks"},
    {"originalFilename", "OriginalFilename"},
    {"privateBuild", "PrivateBuild"},
    {"productName", "ProductName"},
    {"productVersion", "productVersion"},
    {"specialBuild", "SpecialBuild"},
}};

struct FileVersionInfo {
    // Most significant half in the high 32 bits; present when the fixed block has its full size.
    std::optional<uint64_t> file_version;
    std::optional<uint64_t> product_version;
    // The first translation: language in the high 16 bits, code page in the low 16 bits.
    std::optional<uint32_t> translation;
    // With a translation, each string of version_string_names ("" for an entry the table lacks).
    std::array<std::string, version_string_names.size()> strings;
};

// Nothing when the file has no version resource (or cannot be read).
std::optional<FileVersionInfo> read_file_version_info(const std::string& path);

}  // namespace tarpon::host
