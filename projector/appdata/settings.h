// The settings record: the presentation's settings as the ST item, the saved options in the
// registry and an options file given on the command line hold them. Fields in stream order, all
// integers little-endian; strings as record_stream.h describes them.
//
//   #      encoding                          field
//   1-7    7 text strings                    About information: title, description, company,
//                                            legal notice, home page, contact line, version
//   8      u32                               window shape mode (0 plain, 1 transparent background,
//                                            2 shaped by the mask of field 12, 3 double drawing)
//   9      u32                               frame flags
//   10     u32                               caption buttons
//   11     u32                               scale mode
//   12     path string                       current window mask (no extension)
//   13     path string                       window caption
//   14     u32                               size mode
//   15-16  2 x u16                           custom width, custom height (or percentage)
//   17     u32                               position
//   18-19  2 x u16                           custom x, custom y
//   20     u32                               keep the client aspect ratio
//   21-22  2 x u32                           left and right mouse button
//   23     u32                               key presses
//   24     u32                               exit keys
//   25     u32                               kiosk flags
//   26-27  2 x u16                           hot key: virtual key, modifiers
//   28     u32                               menu additions
//   29     u32                               window flags
//   30     u32                               misc flags
//   31     u32                               player background colour (COLORREF)
//   32     path string, u32 size, bytes      help file
//   33-36  4 text strings                    About box: company, home page, e-mail caption, address
//   37-38  2 x u32                           About box link colours
//   39-40  2 x font                          About box fonts: 5 x i32, 8 x u8, face (path, 32)
//   41     u32                               About box flags
//   42     u32                               carried
//   43     path string, u32 size, bytes      About box movie
//   44     path string                       carried
//   45     u32                               carried
//   46     text string                       carried
//   47     u32                               carried
//   48     16 bytes                          a SYSTEMTIME (8 x u16)
//   49     u32                               carried
//   50     path string                       carried
//   51-52  2 x u16                           carried
//
// The carried fields have no use here; they are read and written back byte for byte (their strings
// are kept as the stored units, not converted).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "projector/appdata/record_stream.h"

namespace tarpon::appdata {

// Characters of a font's face name, the terminating NUL included (LOGFONT's buffer).
constexpr size_t face_name_capacity = 32;

struct Font {
    int32_t height = 0;
    int32_t width = 0;
    int32_t escapement = 0;
    int32_t orientation = 0;
    int32_t weight = 0;
    uint8_t italic = 0;
    uint8_t underline = 0;
    uint8_t strike_out = 0;
    uint8_t char_set = 0;
    uint8_t out_precision = 0;
    uint8_t clip_precision = 0;
    uint8_t quality = 0;
    uint8_t pitch_and_family = 0;
    std::string face_name;
    bool operator==(const Font&) const = default;
};

// A file carried inside the record (the help file, the About movie). As read, `path` is the name
// as stored and `bytes` the file. Once extracted, `path` is the file's full path in the run folder,
// `bytes` is empty and `extracted` is set. Written back, a file's bytes come from memory or, once
// extracted, are read again from `path` under its bare name (a file gone gives an empty name and
// size 0); a name stored without bytes is written back as it was.
struct EmbeddedFile {
    std::string path;
    std::vector<uint8_t> bytes;
    bool extracted = false;
    bool operator==(const EmbeddedFile&) const = default;
};

struct Settings {
    // 1-7
    std::optional<std::string> title, description, company, legal_notice, home_page, contact, version;
    uint32_t shape_mode = 0;       // 8
    uint32_t frame_flags = 0;      // 9
    uint32_t caption_buttons = 0;  // 10
    uint32_t scale_mode = 0;       // 11
    std::string mask;              // 12
    std::string caption;           // 13
    uint32_t size_mode = 0;        // 14
    uint16_t width = 0;            // 15
    uint16_t height = 0;           // 16
    uint32_t position = 0;         // 17
    uint16_t x = 0;                // 18
    uint16_t y = 0;                // 19
    uint32_t keep_aspect = 0;      // 20
    uint32_t left_button = 0;      // 21
    uint32_t right_button = 0;     // 22
    uint32_t key_flags = 0;        // 23
    uint32_t exit_keys = 0;        // 24
    uint32_t kiosk_flags = 0;      // 25
    uint16_t hot_key = 0;          // 26
    uint16_t hot_key_modifiers = 0;  // 27
    uint32_t menu_flags = 0;       // 28
    uint32_t window_flags = 0;     // 29
    uint32_t misc_flags = 0;       // 30
    uint32_t background = 0;       // 31
    EmbeddedFile help_file;        // 32
    // 33-36
    std::optional<std::string> about_company, about_home_page, about_mail_caption, about_mail_address;
    uint32_t link_colour = 0;          // 37
    uint32_t visited_link_colour = 0;  // 38
    Font about_font;                   // 39
    Font about_link_font;              // 40
    uint32_t about_flags = 0;          // 41
    uint32_t carried_42 = 0;
    EmbeddedFile about_movie;          // 43
    std::optional<std::u16string> carried_44;
    uint32_t carried_45 = 0;
    std::optional<std::u16string> carried_46;
    uint32_t carried_47 = 0;
    std::array<uint16_t, 8> system_time{};  // 48
    uint32_t carried_49 = 0;
    std::optional<std::u16string> carried_50;
    uint16_t carried_51 = 0;
    uint16_t carried_52 = 0;

    bool operator==(const Settings&) const = default;
};

// Reads one record from the reader's position. A record that ends early or holds an impossible
// value is not taken at all: the result stays zero-filled, false is returned, and the reader is
// failed. Embedded files stay in memory (see extract_embedded_files).
bool read_settings(RecordReader& reader, Settings& settings);
// The whole of `bytes` as one record (trailing bytes are allowed, as a stream reader leaves them).
bool read_settings(std::span<const uint8_t> bytes, Settings& settings);

// Writes the record, the exact mirror of reading.
void write_settings(RecordWriter& writer, const Settings& settings);
std::vector<uint8_t> settings_bytes(const Settings& settings);

// Writes the bytes of the help file and the About movie into the folder under their bare names,
// and makes the fields hold the full paths. A file whose name would leave the folder is skipped
// and its field emptied. False when a file could not be written.
bool extract_embedded_files(Settings& settings, const std::string& folder);

}  // namespace tarpon::appdata
