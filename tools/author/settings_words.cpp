#include "tools/author/settings_words.h"

#include <cctype>
#include <cstdio>

namespace tarpon::author {

namespace {

constexpr Word shapes[] = {{"rectangle", 0}, {"transparent", 1}, {"mask", 2}, {"double_drawing", 3}};
constexpr Word scales[] = {{"show_all", 1}, {"no_border", 2}, {"no_scale", 0x10}, {"exact_fit", 0x100}};
constexpr Word sizes[] = {{"movie", 0}, {"full_screen", 1}, {"maximized", 2}, {"custom", 3}, {"percent", 4}};
constexpr Word positions[] = {{"top_left", 0},     {"top_centre", 1},    {"top_right", 2},     {"middle_left", 3},
                              {"centre", 4},       {"middle_right", 5},  {"bottom_left", 6},   {"bottom_centre", 7},
                              {"bottom_right", 8}, {"custom", 9},        {"custom_percent", 10}};
constexpr Word left_buttons[] = {{"movie", 0}, {"drag", 1}, {"ignore", 2}};
constexpr Word right_buttons[] = {{"player_menu", 0}, {"projector_menu", 1}, {"ignore", 2}};

constexpr Word frames[] = {{"no_border", 0x1}, {"caption", 0x10}, {"sizing_border", 0x100},
                           {"tool_window", 0x1000}, {"no_taskbar_button", 0x10000}};
constexpr Word caption_buttons[] = {{"maximize", 0x1}, {"minimize", 0x10}, {"system_menu", 0x100}, {"help", 0x1000}};
constexpr Word keys[] = {{"not_to_movie", 0x10}};
constexpr Word exit_keys[] = {{"escape", 0x1}, {"hot_key", 0x10}};
constexpr Word kiosk[] = {{"block_task_switching", 0x1}, {"hide_cursor", 0x10}, {"no_screen_saver", 0x100}};
constexpr Word menus[] = {{"options", 0x1}, {"player", 0x10}, {"about", 0x100}, {"help", 0x1000}};
constexpr Word window_flags[] = {{"play_on_load", 0x1}, {"tray_app_icon", 0x2}, {"start_minimized", 0x10},
                                 {"always_on_top", 0x100}, {"tray_icon", 0x1000}};
constexpr Word misc_flags[] = {{"custom_background", 0x1}, {"about_splash", 0x10}, {"mute", 0x100}, {"help", 0x1000}};
constexpr Word about_flags[] = {{"current_movie", 0x10}, {"about_movie", 0x100}};

struct KeyName {
    const char* name;
    uint16_t code;
};
constexpr KeyName key_names[] = {
    {"Backspace", 0x08}, {"Tab", 0x09},     {"Enter", 0x0D},  {"Pause", 0x13},    {"Escape", 0x1B},
    {"Space", 0x20},     {"PageUp", 0x21},  {"PageDown", 0x22}, {"End", 0x23},    {"Home", 0x24},
    {"Left", 0x25},      {"Up", 0x26},      {"Right", 0x27},  {"Down", 0x28},     {"Insert", 0x2D},
    {"Delete", 0x2E},
};

bool same_word(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

const std::span<const Word> shape_words = shapes, scale_words = scales, size_words = sizes,
                            position_words = positions, left_button_words = left_buttons,
                            right_button_words = right_buttons;
const std::span<const Word> frame_words = frames, caption_button_words = caption_buttons, key_words = keys,
                            exit_key_words = exit_keys, kiosk_words = kiosk, menu_words = menus,
                            window_flag_words = window_flags, misc_flag_words = misc_flags,
                            about_flag_words = about_flags;

std::optional<uint32_t> word_value(std::span<const Word> words, std::string_view word) {
    for (const Word& entry : words) {
        if (word == entry.word) {
            return entry.value;
        }
    }
    return std::nullopt;
}

const char* value_word(std::span<const Word> words, uint32_t value) {
    for (const Word& entry : words) {
        if (entry.value == value) {
            return entry.word;
        }
    }
    return nullptr;
}

std::vector<std::string> flag_words(std::span<const Word> words, uint32_t value, uint32_t& rest) {
    std::vector<std::string> result;
    rest = value;
    for (const Word& entry : words) {
        if ((value & entry.value) == entry.value) {
            result.push_back(entry.word);
            rest &= ~entry.value;
        }
    }
    return result;
}

std::optional<std::pair<uint16_t, uint16_t>> parse_hot_key(std::string_view text) {
    uint16_t modifiers = 0;
    while (true) {
        size_t plus = text.find('+');
        if (plus == std::string_view::npos || plus + 1 == text.size()) {
            break;
        }
        std::string_view part = text.substr(0, plus);
        if (same_word(part, "Shift")) {
            modifiers |= 0x1;
        } else if (same_word(part, "Ctrl")) {
            modifiers |= 0x2;
        } else if (same_word(part, "Alt")) {
            modifiers |= 0x4;
        } else {
            return std::nullopt;
        }
        text = text.substr(plus + 1);
    }
    if (text.size() == 1 && std::isalnum(static_cast<unsigned char>(text[0]))) {
        return std::pair{uint16_t(std::toupper(static_cast<unsigned char>(text[0]))), modifiers};
    }
    if (text.size() >= 2 && (text[0] == 'F' || text[0] == 'f')) {
        int number = 0;
        for (char c : text.substr(1)) {
            if (!std::isdigit(static_cast<unsigned char>(c))) {
                number = 0;
                break;
            }
            number = number * 10 + (c - '0');
        }
        if (number >= 1 && number <= 24) {
            return std::pair{uint16_t(0x6F + number), modifiers};
        }
    }
    for (const KeyName& key : key_names) {
        if (same_word(text, key.name)) {
            return std::pair{key.code, modifiers};
        }
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && text.size() <= 6) {
        unsigned code = 0;
        for (char c : text.substr(2)) {
            if (!std::isxdigit(static_cast<unsigned char>(c))) {
                return std::nullopt;
            }
            code = code * 16 + unsigned(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10));
        }
        return std::pair{uint16_t(code), modifiers};
    }
    return std::nullopt;
}

std::optional<std::string> hot_key_text(uint16_t key, uint16_t modifiers) {
    if (modifiers & ~0x7u) {
        return std::nullopt;
    }
    std::string text;
    if (modifiers & 0x2) text += "Ctrl+";
    if (modifiers & 0x1) text += "Shift+";
    if (modifiers & 0x4) text += "Alt+";
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) {
        return text + char(key);
    }
    if (key >= 0x70 && key <= 0x87) {
        return text + "F" + std::to_string(key - 0x6F);
    }
    for (const KeyName& entry : key_names) {
        if (entry.code == key) {
            return text + entry.name;
        }
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", unsigned(key));
    return text + hex;
}

std::optional<uint32_t> parse_colour(std::string_view text) {
    if (text.size() != 7 || text[0] != '#') {
        return std::nullopt;
    }
    uint32_t rgb = 0;
    for (char c : text.substr(1)) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
        rgb = rgb * 16 + uint32_t(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10));
    }
    // #RRGGBB to 0x00BBGGRR.
    return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
}

std::optional<std::string> colour_text(uint32_t colorref) {
    if (colorref >> 24) {
        return std::nullopt;
    }
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", colorref & 0xFF, colorref >> 8 & 0xFF, colorref >> 16 & 0xFF);
    return text;
}

}  // namespace tarpon::author
