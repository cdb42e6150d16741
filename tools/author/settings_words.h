// The words of tarpon.toml for the settings' numbered modes and flag bits: one table per field, used
// both to read a project file and to print one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarpon::author {

struct Word {
    const char* word;
    uint32_t value;
};

// Modes: one word stands for the whole value.
extern const std::span<const Word> shape_words, scale_words, size_words, position_words, left_button_words,
    right_button_words;
// Flags: a list of words, each one bit (or a few).
extern const std::span<const Word> frame_words, caption_button_words, key_words, exit_key_words, kiosk_words,
    menu_words, window_flag_words, misc_flag_words, about_flag_words;

std::optional<uint32_t> word_value(std::span<const Word> words, std::string_view word);
const char* value_word(std::span<const Word> words, uint32_t value);

// A flag value as words, with any bits no word names left in `rest`.
std::vector<std::string> flag_words(std::span<const Word> words, uint32_t value, uint32_t& rest);

// "Ctrl+Shift+F5" and back: modifiers Shift 0x1, Ctrl 0x2, Alt 0x4, then a key name ("A", "7",
// "F5", "Escape", ...) or a virtual-key code in hex ("0x7B").
std::optional<std::pair<uint16_t, uint16_t>> parse_hot_key(std::string_view text);
std::optional<std::string> hot_key_text(uint16_t key, uint16_t modifiers);

// "#RRGGBB" and a COLORREF (0x00BBGGRR).
std::optional<uint32_t> parse_colour(std::string_view text);
std::optional<std::string> colour_text(uint32_t colorref);

}  // namespace tarpon::author
