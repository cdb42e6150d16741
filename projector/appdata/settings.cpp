#include "projector/appdata/settings.h"

#include "projector/appdata/item_source.h"
#include "projector/appdata/safe_name.h"

namespace tarpon::appdata {

namespace {

void read_font(RecordReader& in, Font& font) {
    font.height = in.i32();
    font.width = in.i32();
    font.escapement = in.i32();
    font.orientation = in.i32();
    font.weight = in.i32();
    font.italic = in.u8();
    font.underline = in.u8();
    font.strike_out = in.u8();
    font.char_set = in.u8();
    font.out_precision = in.u8();
    font.clip_precision = in.u8();
    font.quality = in.u8();
    font.pitch_and_family = in.u8();
    font.face_name = in.path(face_name_capacity);
}

void write_font(RecordWriter& out, const Font& font) {
    out.i32(font.height);
    out.i32(font.width);
    out.i32(font.escapement);
    out.i32(font.orientation);
    out.i32(font.weight);
    out.u8(font.italic);
    out.u8(font.underline);
    out.u8(font.strike_out);
    out.u8(font.char_set);
    out.u8(font.out_precision);
    out.u8(font.clip_precision);
    out.u8(font.quality);
    out.u8(font.pitch_and_family);
    out.path(font.face_name.substr(0, face_name_capacity - 1));
}

void read_embedded(RecordReader& in, EmbeddedFile& file) {
    file.path = in.path();
    uint32_t size = in.u32();
    auto bytes = in.bytes(size);
    file.bytes.assign(bytes.begin(), bytes.end());
}

void write_embedded(RecordWriter& out, const EmbeddedFile& file) {
    if (!file.extracted) {
        out.path(file.path);
        out.u32(uint32_t(file.bytes.size()));
        out.bytes(file.bytes);
        return;
    }
    // An extracted file is read again from where it was put; without it the field is empty.
    auto bytes = read_file(file.path);
    if (!bytes) {
        out.path("");
        out.u32(0);
        return;
    }
    out.path(bare_name(file.path));
    out.u32(uint32_t(bytes->size()));
    out.bytes(*bytes);
}

bool extract_one(EmbeddedFile& file, const std::string& folder) {
    if (file.bytes.empty()) {
        return true;
    }
    std::string name(bare_name(file.path));
    if (!is_safe_component(name)) {
        file = EmbeddedFile{};
        return true;
    }
    std::string path = join_path(folder, name);
    if (!write_file(path, file.bytes)) {
        file = EmbeddedFile{};
        return false;
    }
    file.path = path;
    file.bytes.clear();
    file.extracted = true;
    return true;
}

}  // namespace

bool read_settings(RecordReader& in, Settings& settings) {
    Settings s;
    s.title = in.text();
    s.description = in.text();
    s.company = in.text();
    s.legal_notice = in.text();
    s.home_page = in.text();
    s.contact = in.text();
    s.version = in.text();
    s.shape_mode = in.u32();
    s.frame_flags = in.u32();
    s.caption_buttons = in.u32();
    s.scale_mode = in.u32();
    s.mask = in.path();
    s.caption = in.path();
    s.size_mode = in.u32();
    s.width = in.u16();
    s.height = in.u16();
    s.position = in.u32();
    s.x = in.u16();
    s.y = in.u16();
    s.keep_aspect = in.u32();
    s.left_button = in.u32();
    s.right_button = in.u32();
    s.key_flags = in.u32();
    s.exit_keys = in.u32();
    s.kiosk_flags = in.u32();
    s.hot_key = in.u16();
    s.hot_key_modifiers = in.u16();
    s.menu_flags = in.u32();
    s.window_flags = in.u32();
    s.misc_flags = in.u32();
    s.background = in.u32();
    read_embedded(in, s.help_file);
    s.about_company = in.text();
    s.about_home_page = in.text();
    s.about_mail_caption = in.text();
    s.about_mail_address = in.text();
    s.link_colour = in.u32();
    s.visited_link_colour = in.u32();
    read_font(in, s.about_font);
    read_font(in, s.about_link_font);
    s.about_flags = in.u32();
    s.carried_42 = in.u32();
    read_embedded(in, s.about_movie);
    s.carried_44 = in.raw_string();
    s.carried_45 = in.u32();
    s.carried_46 = in.raw_string();
    s.carried_47 = in.u32();
    for (uint16_t& part : s.system_time) {
        part = in.u16();
    }
    s.carried_49 = in.u32();
    s.carried_50 = in.raw_string();
    s.carried_51 = in.u16();
    s.carried_52 = in.u16();
    if (!in.ok()) {
        // Never partly read: a record cut short counts as absent.
        settings = Settings{};
        return false;
    }
    settings = std::move(s);
    return true;
}

bool read_settings(std::span<const uint8_t> bytes, Settings& settings) {
    RecordReader reader(bytes);
    return read_settings(reader, settings);
}

void write_settings(RecordWriter& out, const Settings& s) {
    out.text(s.title);
    out.text(s.description);
    out.text(s.company);
    out.text(s.legal_notice);
    out.text(s.home_page);
    out.text(s.contact);
    out.text(s.version);
    out.u32(s.shape_mode);
    out.u32(s.frame_flags);
    out.u32(s.caption_buttons);
    out.u32(s.scale_mode);
    out.path(s.mask);
    out.path(s.caption);
    out.u32(s.size_mode);
    out.u16(s.width);
    out.u16(s.height);
    out.u32(s.position);
    out.u16(s.x);
    out.u16(s.y);
    out.u32(s.keep_aspect);
    out.u32(s.left_button);
    out.u32(s.right_button);
    out.u32(s.key_flags);
    out.u32(s.exit_keys);
    out.u32(s.kiosk_flags);
    out.u16(s.hot_key);
    out.u16(s.hot_key_modifiers);
    out.u32(s.menu_flags);
    out.u32(s.window_flags);
    out.u32(s.misc_flags);
    out.u32(s.background);
    write_embedded(out, s.help_file);
    out.text(s.about_company);
    out.text(s.about_home_page);
    out.text(s.about_mail_caption);
    out.text(s.about_mail_address);
    out.u32(s.link_colour);
    out.u32(s.visited_link_colour);
    write_font(out, s.about_font);
    write_font(out, s.about_link_font);
    out.u32(s.about_flags);
    out.u32(s.carried_42);
    write_embedded(out, s.about_movie);
    out.raw_string(s.carried_44);
    out.u32(s.carried_45);
    out.raw_string(s.carried_46);
    out.u32(s.carried_47);
    for (uint16_t part : s.system_time) {
        out.u16(part);
    }
    out.u32(s.carried_49);
    out.raw_string(s.carried_50);
    out.u16(s.carried_51);
    out.u16(s.carried_52);
}

std::vector<uint8_t> settings_bytes(const Settings& settings) {
    RecordWriter writer;
    write_settings(writer, settings);
    return writer.take();
}

bool extract_embedded_files(Settings& settings, const std::string& folder) {
    bool help_ok = extract_one(settings.help_file, folder);
    bool movie_ok = extract_one(settings.about_movie, folder);
    return help_ok && movie_ok;
}

}  // namespace tarpon::appdata
