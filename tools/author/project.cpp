// Reading and writing tarpon.toml.
#include "tools/author/project.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <type_traits>
#include <set>
#include <sstream>

#include "tools/author/settings_words.h"
#include "tools/author/utf8_text.h"

namespace tarpon::author {

namespace {

using appdata::Font;
using appdata::Settings;

// {==== Reading

struct Fault {
    uint32_t line;
    std::string text;
};
using Faults = std::vector<Fault>;

class Section {
public:
    Section(const toml::table* table, std::string name, const std::string& file, Faults& errors)
        : m_table(table), m_name(std::move(name)), m_file(file), m_errors(errors) {}

    // Records a fault at the key's line.
    void fault(const toml::node& node, std::string_view key, const std::string& what) {
        uint32_t line = node.source().begin.line;
        m_errors.push_back({line, m_file + ":" + std::to_string(line) + ": " + qualified(key) + ": " + what});
    }

    const toml::node* get(std::string_view key) {
        if (!m_table) {
            return nullptr;
        }
        m_used.insert(std::string(key));
        return m_table->get(key);
    }

    std::optional<std::string> string(std::string_view key) {
        const toml::node* node = get(key);
        if (!node) {
            return std::nullopt;
        }
        if (!node->is_string()) {
            fault(*node, key, "must be a string");
            return std::nullopt;
        }
        return ansi_from_utf8(node->as_string()->get());
    }

    void text(std::string_view key, std::optional<std::string>& field) {
        if (auto value = string(key)) {
            field = *value;
        }
    }
    void path(std::string_view key, std::string& field) {
        if (auto value = string(key)) {
            field = *value;
        }
    }

    std::optional<int64_t> integer(std::string_view key, int64_t low, int64_t high) {
        const toml::node* node = get(key);
        if (!node) {
            return std::nullopt;
        }
        return integer_of(*node, key, low, high);
    }

    std::optional<int64_t> integer_of(const toml::node& node, std::string_view key, int64_t low, int64_t high) {
        if (auto flag = node.as_boolean()) {
            return flag->get() ? 1 : 0;
        }
        if (!node.is_integer()) {
            fault(node, key, "must be a number");
            return std::nullopt;
        }
        int64_t value = node.as_integer()->get();
        if (value < low || value > high) {
            fault(node, key, "must be from " + std::to_string(low) + " to " + std::to_string(high));
            return std::nullopt;
        }
        return value;
    }

    template <typename T>
    void number(std::string_view key, T& field) {
        constexpr bool is_signed = std::is_signed_v<T>;
        int64_t low = is_signed ? int64_t(std::numeric_limits<T>::min()) : 0;
        if (auto value = integer(key, low, int64_t(std::numeric_limits<T>::max()))) {
            field = T(*value);
        }
    }

    std::optional<bool> boolean(std::string_view key) {
        const toml::node* node = get(key);
        if (!node) {
            return std::nullopt;
        }
        if (!node->is_boolean()) {
            fault(*node, key, "must be true or false");
            return std::nullopt;
        }
        return node->as_boolean()->get();
    }

    void mode(std::string_view key, std::span<const Word> words, uint32_t& field) {
        const toml::node* node = get(key);
        if (!node) {
            return;
        }
        if (node->is_string()) {
            std::string word(node->as_string()->get());
            if (auto value = word_value(words, word)) {
                field = *value;
            } else {
                fault(*node, key, "unknown value \"" + word + "\" (" + word_list(words) + ")");
            }
            return;
        }
        if (auto value = integer_of(*node, key, 0, 0xFFFFFFFF)) {
            field = uint32_t(*value);
        }
    }

    void flags(std::string_view key, std::span<const Word> words, uint32_t& field) {
        const toml::node* node = get(key);
        if (!node) {
            return;
        }
        const toml::array* list = node->as_array();
        if (!list) {
            fault(*node, key, "must be a list of words (" + word_list(words) + ")");
            return;
        }
        uint32_t value = 0;
        for (const toml::node& element : *list) {
            if (element.is_string()) {
                std::string word(element.as_string()->get());
                if (auto bits = word_value(words, word)) {
                    value |= *bits;
                } else {
                    fault(element, key, "unknown flag \"" + word + "\" (" + word_list(words) + ")");
                }
            } else if (auto bits = integer_of(element, key, 0, 0xFFFFFFFF)) {
                value |= uint32_t(*bits);
            }
        }
        field = value;
    }

    void colour(std::string_view key, uint32_t& field) {
        const toml::node* node = get(key);
        if (!node) {
            return;
        }
        if (node->is_string()) {
            if (auto value = parse_colour(node->as_string()->get())) {
                field = *value;
            } else {
                fault(*node, key, "must be a colour \"#RRGGBB\"");
            }
            return;
        }
        if (auto value = integer_of(*node, key, 0, 0xFFFFFFFF)) {
            field = uint32_t(*value);
        }
    }

    // Carried strings: text, or a list of the UTF-16 units as stored.
    void units(std::string_view key, std::optional<std::u16string>& field) {
        const toml::node* node = get(key);
        if (!node) {
            return;
        }
        if (node->is_string()) {
            field = appdata::terminated_utf16(ansi_from_utf8(node->as_string()->get()));
            return;
        }
        const toml::array* list = node->as_array();
        if (!list) {
            fault(*node, key, "must be a string or a list of UTF-16 units");
            return;
        }
        std::u16string value;
        for (const toml::node& element : *list) {
            if (auto unit = integer_of(element, key, 0, 0xFFFF)) {
                value.push_back(char16_t(*unit));
            }
        }
        field = value;
    }

    Section table(std::string_view key) {
        const toml::node* node = get(key);
        if (node && !node->is_table()) {
            fault(*node, key, "must be a table");
            node = nullptr;
        }
        return Section(node ? node->as_table() : nullptr, qualified(key), m_file, m_errors);
    }

    // Every key not asked for is an error.
    void finish() {
        if (!m_table) {
            return;
        }
        for (auto&& [key, node] : *m_table) {
            if (!m_used.count(std::string(key.str()))) {
                uint32_t line = key.source().begin.line;
                m_errors.push_back(
                    {line, m_file + ":" + std::to_string(line) + ": " + qualified(key.str()) + ": unknown key"});
            }
        }
    }

private:
    std::string qualified(std::string_view key) const {
        return m_name.empty() ? std::string(key) : m_name + "." + std::string(key);
    }

    static std::string word_list(std::span<const Word> words) {
        std::string list;
        for (const Word& word : words) {
            list += list.empty() ? "" : ", ";
            list += word.word;
        }
        return list;
    }

    const toml::table* m_table;
    std::string m_name;
    const std::string& m_file;
    Faults& m_errors;
    std::set<std::string> m_used;
};

void read_font(Section section, Font& font) {
    section.path("face", font.face_name);
    section.number("height", font.height);
    section.number("width", font.width);
    section.number("escapement", font.escapement);
    section.number("orientation", font.orientation);
    section.number("weight", font.weight);
    section.number("italic", font.italic);
    section.number("underline", font.underline);
    section.number("strike_out", font.strike_out);
    section.number("char_set", font.char_set);
    section.number("out_precision", font.out_precision);
    section.number("clip_precision", font.clip_precision);
    section.number("quality", font.quality);
    section.number("pitch_and_family", font.pitch_and_family);
    section.finish();
}

std::vector<std::string> string_list(Section& section, std::string_view key, bool& given) {
    std::vector<std::string> result;
    given = false;
    const toml::node* node = section.get(key);
    if (!node) {
        return result;
    }
    given = true;
    const toml::array* list = node->as_array();
    if (!list) {
        section.fault(*node, key, "must be a list of file names");
        return result;
    }
    for (const toml::node& element : *list) {
        if (!element.is_string()) {
            section.fault(element, key, "must be a list of file names");
            continue;
        }
        result.push_back(ansi_from_utf8(element.as_string()->get()));
    }
    return result;
}

void read_document(const toml::table& document, const std::string& file, Project& p, Faults& errors) {
    Section top(&document, "", file, errors);
    auto section = [&](const char* name) { return top.table(name); };
    Settings& s = p.settings;

    Section identity = section("identity");
    identity.path("registry_key", p.registry_key);
    if (auto profile = identity.string("profile")) {
        p.profile = *profile;
    }
    identity.finish();

    Section about = section("about");
    about.text("title", s.title);
    about.text("description", s.description);
    about.text("company", s.company);
    about.text("legal_notice", s.legal_notice);
    about.text("home_page", s.home_page);
    about.text("contact", s.contact);
    about.text("version", s.version);
    about.finish();

    Section window = section("window");
    window.mode("shape", shape_words, s.shape_mode);
    window.flags("frame", frame_words, s.frame_flags);
    window.flags("caption_buttons", caption_button_words, s.caption_buttons);
    window.mode("scale", scale_words, s.scale_mode);
    window.path("mask", s.mask);
    window.path("caption", s.caption);
    window.mode("size", size_words, s.size_mode);
    window.number("width", s.width);
    window.number("height", s.height);
    window.mode("position", position_words, s.position);
    window.number("x", s.x);
    window.number("y", s.y);
    window.number("keep_aspect", s.keep_aspect);
    window.flags("flags", window_flag_words, s.window_flags);
    window.colour("background", s.background);
    window.path("icon", p.icon);
    window.finish();

    Section input = section("input");
    input.mode("left_button", left_button_words, s.left_button);
    input.mode("right_button", right_button_words, s.right_button);
    input.flags("keys", key_words, s.key_flags);
    input.flags("exit_keys", exit_key_words, s.exit_keys);
    if (const toml::node* node = input.get("hot_key")) {
        if (node->is_string()) {
            if (auto key = parse_hot_key(node->as_string()->get())) {
                s.hot_key = key->first;
                s.hot_key_modifiers = key->second;
            } else {
                input.fault(*node, "hot_key", "must be a key such as \"Ctrl+Shift+F5\"");
            }
        } else if (node->is_table()) {
            Section key(node->as_table(), "input.hot_key", file, errors);
            key.number("key", s.hot_key);
            key.number("modifiers", s.hot_key_modifiers);
            key.finish();
        } else {
            input.fault(*node, "hot_key", "must be a key such as \"Ctrl+Shift+F5\"");
        }
    }
    input.finish();

    Section kiosk = section("kiosk");
    kiosk.flags("flags", kiosk_words, s.kiosk_flags);
    kiosk.finish();

    Section menus = section("menus");
    menus.flags("items", menu_words, s.menu_flags);
    menus.finish();

    Section misc = section("misc");
    misc.flags("flags", misc_flag_words, s.misc_flags);
    misc.path("help_file", p.help_file);
    misc.finish();

    Section box = section("about_box");
    box.text("company", s.about_company);
    box.text("home_page", s.about_home_page);
    box.text("mail_caption", s.about_mail_caption);
    box.text("mail_address", s.about_mail_address);
    box.colour("link_colour", s.link_colour);
    box.colour("visited_link_colour", s.visited_link_colour);
    read_font(box.table("font"), s.about_font);
    read_font(box.table("link_font"), s.about_link_font);
    box.flags("flags", about_flag_words, s.about_flags);
    box.path("movie", p.about_movie);
    box.path("picture", p.about_picture);
    box.finish();

    Section movies = section("movies");
    if (auto value = movies.boolean("random_start")) p.random_start = *value;
    if (auto value = movies.boolean("stored")) p.stored = *value;
    bool given = false;
    std::vector<std::string> list = string_list(movies, "list", given);
    if (given) {
        p.movies = list;
    }
    p.plug_ins = string_list(movies, "plug_ins", given);
    movies.finish();

    Section masks = section("masks");
    uint32_t key_colour = 0;
    if (masks.get("key_colour")) {
        masks.colour("key_colour", key_colour);
        p.mask_key_colour = key_colour;
    }
    masks.finish();

    Section player = section("player");
    player.path("module", p.player_module);
    for (size_t i = 0; i < 4; ++i) {
        player.path(support_keys[i], p.support[i]);
    }
    player.finish();

    Section carried = section("carried");
    carried.number("field_42", s.carried_42);
    carried.units("field_44", s.carried_44);
    carried.number("field_45", s.carried_45);
    carried.units("field_46", s.carried_46);
    carried.number("field_47", s.carried_47);
    if (const toml::node* node = carried.get("system_time")) {
        const toml::array* list = node->as_array();
        if (!list || list->size() != 8) {
            carried.fault(*node, "system_time", "must be a list of 8 numbers");
        } else {
            for (size_t i = 0; i < 8; ++i) {
                if (auto part = carried.integer_of(*list->get(i), "system_time", 0, 0xFFFF)) {
                    s.system_time[i] = uint16_t(*part);
                }
            }
        }
    }
    carried.number("field_49", s.carried_49);
    carried.units("field_50", s.carried_50);
    carried.number("field_51", s.carried_51);
    carried.number("field_52", s.carried_52);
    carried.finish();

    top.finish();
}

// }====

// {==== Writing

std::string quoted(std::string_view ansi) {
    std::string utf8 = utf8_from_ansi(ansi);
    std::string text = "\"";
    for (char c : utf8) {
        auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (u < 0x20 || u == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", u);
            text += escape;
        } else {
            text += c;
        }
    }
    return text + "\"";
}

class Writer {
public:
    void section(const char* name) {
        if (!m_out.str().empty()) {
            m_out << "\n";
        }
        m_out << "[" << name << "]\n";
    }
    void line(const std::string& key, const std::string& value) { m_out << key << " = " << value << "\n"; }
    void text(const char* key, const std::optional<std::string>& value) {
        if (value) {
            line(key, quoted(*value));
        }
    }
    void string(const char* key, const std::string& value) { line(key, quoted(value)); }
    void number(const char* key, int64_t value) { line(key, std::to_string(value)); }
    void mode(const char* key, std::span<const Word> words, uint32_t value) {
        const char* word = value_word(words, value);
        line(key, word ? quoted(word) : std::to_string(value));
    }
    void flags(const char* key, std::span<const Word> words, uint32_t value) {
        uint32_t rest;
        std::vector<std::string> list = flag_words(words, value, rest);
        std::string text = "[";
        for (const std::string& word : list) {
            text += (text.size() > 1 ? ", " : "") + quoted(word);
        }
        if (rest) {
            text += (text.size() > 1 ? ", " : "") + std::to_string(rest);
        }
        line(key, text + "]");
    }
    void colour(const char* key, uint32_t value) {
        auto text = colour_text(value);
        line(key, text ? quoted(*text) : std::to_string(value));
    }
    void units(const char* key, const std::optional<std::u16string>& value) {
        if (!value) {
            return;
        }
        // As text when that gives back the same units (one NUL, at the end), else unit by unit.
        std::string ansi = appdata::ansi_from_units(*value);
        if (appdata::terminated_utf16(ansi) == *value && ansi_from_utf8(utf8_from_ansi(ansi)) == ansi) {
            string(key, ansi);
            return;
        }
        std::string text = "[";
        for (char16_t unit : *value) {
            text += (text.size() > 1 ? ", " : "") + std::to_string(unsigned(unit));
        }
        line(key, text + "]");
    }
    void font(const char* key, const Font& f) {
        line(key, "{ face = " + quoted(f.face_name) + ", height = " + std::to_string(f.height) +
                      ", width = " + std::to_string(f.width) + ", escapement = " + std::to_string(f.escapement) +
                      ", orientation = " + std::to_string(f.orientation) + ", weight = " + std::to_string(f.weight) +
                      ", italic = " + std::to_string(f.italic) + ", underline = " + std::to_string(f.underline) +
                      ", strike_out = " + std::to_string(f.strike_out) + ", char_set = " + std::to_string(f.char_set) +
                      ", out_precision = " + std::to_string(f.out_precision) +
                      ", clip_precision = " + std::to_string(f.clip_precision) +
                      ", quality = " + std::to_string(f.quality) +
                      ", pitch_and_family = " + std::to_string(f.pitch_and_family) + " }");
    }
    std::string take() { return m_out.str(); }

private:
    std::ostringstream m_out;
};

std::string list_text(const std::vector<std::string>& names) {
    std::string text = "[";
    for (const std::string& name : names) {
        text += (text.size() > 1 ? ", " : "") + quoted(name);
    }
    return text + "]";
}

// }====

}  // namespace

ProjectRead read_project_text(const std::string& text, const std::string& name) {
    ProjectRead result;
    Faults faults;
    try {
        toml::table document = toml::parse(text, name);
        read_document(document, name, result.project, faults);
    } catch (const toml::parse_error& error) {
        faults.push_back({error.source().begin.line, name + ":" + std::to_string(error.source().begin.line) + ": " +
                                                         std::string(error.description())});
    }
    // In the order of the file, whatever order the keys were asked for in.
    std::stable_sort(faults.begin(), faults.end(), [](const Fault& a, const Fault& b) { return a.line < b.line; });
    for (Fault& fault : faults) {
        result.errors.push_back(std::move(fault.text));
    }
    return result;
}

ProjectRead read_project(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        ProjectRead result;
        result.errors.push_back(path + ": cannot be read");
        return result;
    }
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, got);
    }
    std::fclose(file);
    return read_project_text(text, path);
}

std::string project_text(const Project& p) {
    const Settings& s = p.settings;
    Writer w;
    w.section("identity");
    w.string("registry_key", p.registry_key);
    if (p.profile) {
        w.string("profile", *p.profile);
    }

    w.section("about");
    w.text("title", s.title);
    w.text("description", s.description);
    w.text("company", s.company);
    w.text("legal_notice", s.legal_notice);
    w.text("home_page", s.home_page);
    w.text("contact", s.contact);
    w.text("version", s.version);

    w.section("window");
    w.mode("shape", shape_words, s.shape_mode);
    w.flags("frame", frame_words, s.frame_flags);
    w.flags("caption_buttons", caption_button_words, s.caption_buttons);
    w.mode("scale", scale_words, s.scale_mode);
    w.string("mask", s.mask);
    w.string("caption", s.caption);
    w.mode("size", size_words, s.size_mode);
    w.number("width", s.width);
    w.number("height", s.height);
    w.mode("position", position_words, s.position);
    w.number("x", s.x);
    w.number("y", s.y);
    if (s.keep_aspect <= 1) {
        w.line("keep_aspect", s.keep_aspect ? "true" : "false");
    } else {
        w.number("keep_aspect", s.keep_aspect);
    }
    w.flags("flags", window_flag_words, s.window_flags);
    w.colour("background", s.background);
    if (!p.icon.empty()) {
        w.string("icon", p.icon);
    }

    w.section("input");
    w.mode("left_button", left_button_words, s.left_button);
    w.mode("right_button", right_button_words, s.right_button);
    w.flags("keys", key_words, s.key_flags);
    w.flags("exit_keys", exit_key_words, s.exit_keys);
    if (s.hot_key || s.hot_key_modifiers) {
        if (auto text = hot_key_text(s.hot_key, s.hot_key_modifiers)) {
            w.string("hot_key", *text);
        } else {
            w.line("hot_key", "{ key = " + std::to_string(s.hot_key) + ", modifiers = " +
                                  std::to_string(s.hot_key_modifiers) + " }");
        }
    }

    w.section("kiosk");
    w.flags("flags", kiosk_words, s.kiosk_flags);

    w.section("menus");
    w.flags("items", menu_words, s.menu_flags);

    w.section("misc");
    w.flags("flags", misc_flag_words, s.misc_flags);
    if (!p.help_file.empty()) {
        w.string("help_file", p.help_file);
    }

    w.section("about_box");
    w.text("company", s.about_company);
    w.text("home_page", s.about_home_page);
    w.text("mail_caption", s.about_mail_caption);
    w.text("mail_address", s.about_mail_address);
    w.colour("link_colour", s.link_colour);
    w.colour("visited_link_colour", s.visited_link_colour);
    w.font("font", s.about_font);
    w.font("link_font", s.about_link_font);
    w.flags("flags", about_flag_words, s.about_flags);
    if (!p.about_movie.empty()) {
        w.string("movie", p.about_movie);
    }
    if (!p.about_picture.empty()) {
        w.string("picture", p.about_picture);
    }

    w.section("movies");
    w.line("random_start", p.random_start ? "true" : "false");
    w.line("stored", p.stored ? "true" : "false");
    if (p.movies) {
        w.line("list", list_text(*p.movies));
    }
    if (!p.plug_ins.empty()) {
        w.line("plug_ins", list_text(p.plug_ins));
    }

    if (p.mask_key_colour) {
        w.section("masks");
        w.colour("key_colour", *p.mask_key_colour);
    }

    w.section("player");
    if (!p.player_module.empty()) {
        w.string("module", p.player_module);
    }
    for (size_t i = 0; i < 4; ++i) {
        if (!p.support[i].empty()) {
            w.string(support_keys[i], p.support[i]);
        }
    }

    w.section("carried");
    w.number("field_42", s.carried_42);
    w.units("field_44", s.carried_44);
    w.number("field_45", s.carried_45);
    w.units("field_46", s.carried_46);
    w.number("field_47", s.carried_47);
    std::string time = "[";
    for (uint16_t part : s.system_time) {
        time += (time.size() > 1 ? ", " : "") + std::to_string(part);
    }
    w.line("system_time", time + "]");
    w.number("field_49", s.carried_49);
    w.units("field_50", s.carried_50);
    w.number("field_51", s.carried_51);
    w.number("field_52", s.carried_52);
    return w.take();
}

}  // namespace tarpon::author
