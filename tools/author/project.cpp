// Reading and writing tarpon.toml.
#include "tools/author/project.h"

#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <type_traits>
#include <set>
#include <string>

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

    void colour(std::string_view key, std::optional<uint32_t>& field) {
        if (get(key)) {
            uint32_t value = 0;
            colour(key, value);
            field = value;
        }
    }
    void optional_path(std::string_view key, std::string& field) { path(key, field); }
    // A number that is written as true or false when it is 0 or 1.
    void toggle(std::string_view key, uint32_t& field) { number(key, field); }
    void flag(std::string_view key, bool& field) {
        if (auto value = boolean(key)) {
            field = *value;
        }
    }

    void names(std::string_view key, std::optional<std::vector<std::string>>& field) {
        bool given = false;
        std::vector<std::string> list = name_list(key, given);
        if (given) {
            field = std::move(list);
        }
    }
    void names(std::string_view key, std::vector<std::string>& field) {
        bool given = false;
        field = name_list(key, given);
    }

    void font(std::string_view key, Font& field);

    // "Ctrl+Shift+F5", or a table of the key and the modifiers as numbers.
    void hot_key(std::string_view key, uint16_t& code, uint16_t& modifiers) {
        const toml::node* node = get(key);
        if (!node) {
            return;
        }
        if (node->is_string()) {
            if (auto parsed = parse_hot_key(node->as_string()->get())) {
                code = parsed->first;
                modifiers = parsed->second;
                return;
            }
        } else if (node->is_table()) {
            Section parts = table(key);
            parts.number("key", code);
            parts.number("modifiers", modifiers);
            parts.finish();
            return;
        }
        fault(*node, key, "must be a key such as \"Ctrl+Shift+F5\"");
    }

    void time(std::string_view key, std::array<uint16_t, 8>& field) {
        const toml::node* node = get(key);
        if (!node) {
            return;
        }
        const toml::array* list = node->as_array();
        if (!list || list->size() != 8) {
            fault(*node, key, "must be a list of 8 numbers");
            return;
        }
        for (size_t i = 0; i < 8; ++i) {
            if (auto part = integer_of(*list->get(i), key, 0, 0xFFFF)) {
                field[i] = uint16_t(*part);
            }
        }
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
    std::vector<std::string> name_list(std::string_view key, bool& given) {
        std::vector<std::string> result;
        given = false;
        const toml::node* node = get(key);
        if (!node) {
            return result;
        }
        given = true;
        const toml::array* list = node->as_array();
        if (!list) {
            fault(*node, key, "must be a list of file names");
            return result;
        }
        for (const toml::node& element : *list) {
            if (!element.is_string()) {
                fault(element, key, "must be a list of file names");
                continue;
            }
            result.push_back(ansi_from_utf8(element.as_string()->get()));
        }
        return result;
    }

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

// {==== The layout of tarpon.toml: every section and key with the field it holds, in the order
// they are written. `Keys` is a Section when reading and a Writer when writing; `F` and `P` are
// the record, const when writing.

template <typename Keys, typename F>
void font_layout(Keys& k, F& font) {
    k.path("face", font.face_name);
    k.number("height", font.height);
    k.number("width", font.width);
    k.number("escapement", font.escapement);
    k.number("orientation", font.orientation);
    k.number("weight", font.weight);
    k.number("italic", font.italic);
    k.number("underline", font.underline);
    k.number("strike_out", font.strike_out);
    k.number("char_set", font.char_set);
    k.number("out_precision", font.out_precision);
    k.number("clip_precision", font.clip_precision);
    k.number("quality", font.quality);
    k.number("pitch_and_family", font.pitch_and_family);
}

template <typename Document, typename P>
void project_layout(Document& d, P& p) {
    auto& s = p.settings;
    d.section("identity", [&](auto& k) {
        k.path("registry_key", p.registry_key);
        k.text("profile", p.profile);
    });
    d.section("about", [&](auto& k) {
        k.text("title", s.title);
        k.text("description", s.description);
        k.text("company", s.company);
        k.text("legal_notice", s.legal_notice);
        k.text("home_page", s.home_page);
        k.text("contact", s.contact);
        k.text("version", s.version);
    });
    d.section("window", [&](auto& k) {
        k.mode("shape", shape_words, s.shape_mode);
        k.flags("frame", frame_words, s.frame_flags);
        k.flags("caption_buttons", caption_button_words, s.caption_buttons);
        k.mode("scale", scale_words, s.scale_mode);
        k.path("mask", s.mask);
        k.path("caption", s.caption);
        k.mode("size", size_words, s.size_mode);
        k.number("width", s.width);
        k.number("height", s.height);
        k.mode("position", position_words, s.position);
        k.number("x", s.x);
        k.number("y", s.y);
        k.toggle("keep_aspect", s.keep_aspect);
        k.flags("flags", window_flag_words, s.window_flags);
        k.colour("background", s.background);
        k.optional_path("icon", p.icon);
    });
    d.section("input", [&](auto& k) {
        k.mode("left_button", left_button_words, s.left_button);
        k.mode("right_button", right_button_words, s.right_button);
        k.flags("keys", key_words, s.key_flags);
        k.flags("exit_keys", exit_key_words, s.exit_keys);
        k.hot_key("hot_key", s.hot_key, s.hot_key_modifiers);
    });
    d.section("kiosk", [&](auto& k) { k.flags("flags", kiosk_words, s.kiosk_flags); });
    d.section("menus", [&](auto& k) { k.flags("items", menu_words, s.menu_flags); });
    d.section("misc", [&](auto& k) {
        k.flags("flags", misc_flag_words, s.misc_flags);
        k.optional_path("help_file", p.help_file);
    });
    d.section("about_box", [&](auto& k) {
        k.text("company", s.about_company);
        k.text("home_page", s.about_home_page);
        k.text("mail_caption", s.about_mail_caption);
        k.text("mail_address", s.about_mail_address);
        k.colour("link_colour", s.link_colour);
        k.colour("visited_link_colour", s.visited_link_colour);
        k.font("font", s.about_font);
        k.font("link_font", s.about_link_font);
        k.flags("flags", about_flag_words, s.about_flags);
        k.optional_path("movie", p.about_movie);
        k.optional_path("picture", p.about_picture);
    });
    d.section("movies", [&](auto& k) {
        k.flag("random_start", p.random_start);
        k.flag("stored", p.stored);
        k.names("list", p.movies);
        k.names("plug_ins", p.plug_ins);
    });
    // Written only when a key colour is set.
    d.section("masks", [&](auto& k) { k.colour("key_colour", p.mask_key_colour); }, p.mask_key_colour.has_value());
    d.section("player", [&](auto& k) {
        k.optional_path("module", p.player_module);
        for (size_t i = 0; i < 4; ++i) {
            k.optional_path(support_keys[i], p.support[i]);
        }
    });
    d.section("carried", [&](auto& k) {
        k.number("field_42", s.carried_42);
        k.units("field_44", s.carried_44);
        k.number("field_45", s.carried_45);
        k.units("field_46", s.carried_46);
        k.number("field_47", s.carried_47);
        k.time("system_time", s.system_time);
        k.number("field_49", s.carried_49);
        k.units("field_50", s.carried_50);
        k.number("field_51", s.carried_51);
        k.number("field_52", s.carried_52);
    });
}

// }====

void Section::font(std::string_view key, Font& field) {
    Section keys = table(key);
    font_layout(keys, field);
    keys.finish();
}

// Reads the sections of a document, each checked for unknown keys, and then the document itself.
class DocumentReader {
public:
    DocumentReader(const toml::table& document, const std::string& file, Faults& errors)
        : m_top(&document, "", file, errors) {}
    ~DocumentReader() { m_top.finish(); }

    template <typename Keys>
    void section(const char* name, Keys&& keys, bool = true) {
        Section section = m_top.table(name);
        keys(section);
        section.finish();
    }

private:
    Section m_top;
};

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

// Writes "key = value" lines under "[section]" headers, or, inline, "key = value" pairs joined by
// commas for a table written in braces.
class Writer {
public:
    explicit Writer(bool inline_table = false) : m_inline(inline_table) {}

    template <typename Keys>
    void section(const char* name, Keys&& keys, bool shown = true) {
        if (!shown) {
            return;
        }
        if (!m_out.empty()) {
            m_out += "\n";
        }
        m_out += "[" + std::string(name) + "]\n";
        keys(*this);
    }
    void line(const std::string& key, const std::string& value) {
        if (m_inline && !m_out.empty()) {
            m_out += ", ";
        }
        m_out += key + " = " + value;
        if (!m_inline) {
            m_out += "\n";
        }
    }

    void text(const char* key, const std::optional<std::string>& value) {
        if (value) {
            line(key, quoted(*value));
        }
    }
    void path(const char* key, const std::string& value) { line(key, quoted(value)); }
    void optional_path(const char* key, const std::string& value) {
        if (!value.empty()) {
            path(key, value);
        }
    }
    void number(const char* key, int64_t value) { line(key, std::to_string(value)); }
    void toggle(const char* key, uint32_t value) {
        if (value <= 1) {
            flag(key, value != 0);
        } else {
            number(key, value);
        }
    }
    void flag(const char* key, bool value) { line(key, value ? "true" : "false"); }
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
    void colour(const char* key, const std::optional<uint32_t>& value) {
        if (value) {
            colour(key, *value);
        }
    }
    void units(const char* key, const std::optional<std::u16string>& value) {
        if (!value) {
            return;
        }
        // As text when that gives back the same units (one NUL, at the end), else unit by unit.
        std::string ansi = appdata::ansi_from_units(*value);
        if (appdata::terminated_utf16(ansi) == *value && ansi_from_utf8(utf8_from_ansi(ansi)) == ansi) {
            path(key, ansi);
            return;
        }
        std::string text = "[";
        for (char16_t unit : *value) {
            text += (text.size() > 1 ? ", " : "") + std::to_string(unsigned(unit));
        }
        line(key, text + "]");
    }
    void names(const char* key, const std::optional<std::vector<std::string>>& value) {
        if (value) {
            line(key, list_text(*value));
        }
    }
    void names(const char* key, const std::vector<std::string>& value) {
        if (!value.empty()) {
            line(key, list_text(value));
        }
    }
    void font(const char* key, const Font& value);
    void hot_key(const char* key, uint16_t code, uint16_t modifiers) {
        if (!code && !modifiers) {
            return;
        }
        if (auto text = hot_key_text(code, modifiers)) {
            path(key, *text);
        } else {
            line(key, "{ key = " + std::to_string(code) + ", modifiers = " + std::to_string(modifiers) + " }");
        }
    }
    void time(const char* key, const std::array<uint16_t, 8>& value) {
        std::string text = "[";
        for (uint16_t part : value) {
            text += (text.size() > 1 ? ", " : "") + std::to_string(part);
        }
        line(key, text + "]");
    }

    std::string take() { return std::move(m_out); }

private:
    static std::string list_text(const std::vector<std::string>& names) {
        std::string text = "[";
        for (const std::string& name : names) {
            text += (text.size() > 1 ? ", " : "") + quoted(name);
        }
        return text + "]";
    }

    bool m_inline;
    std::string m_out;
};

void Writer::font(const char* key, const Font& value) {
    Writer keys(true);
    font_layout(keys, value);
    line(key, "{ " + keys.take() + " }");
}

// }====

}  // namespace

ProjectRead read_project_text(const std::string& text, const std::string& name) {
    ProjectRead result;
    Faults faults;
    try {
        toml::table document = toml::parse(text, name);
        DocumentReader reader(document, name, faults);
        project_layout(reader, result.project);
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

std::string project_text(const Project& project) {
    Writer writer;
    project_layout(writer, project);
    return writer.take();
}

}  // namespace tarpon::author
