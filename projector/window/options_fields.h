// What the options sheet's pages edit, without a window: every control of the sheet with the
// settings field it stands for, the settings shown as control values and taken back from them, and
// the checks a page's values must pass before the page may be left. options_sheet.cpp puts these
// values into the dialog controls and reads them out again.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

#include "projector/appdata/settings.h"

namespace tarpon::projector::options {

enum class Page { SizeAndPosition, Appearance, Behaviour, Interaction, Miscellaneous };
constexpr int page_count = 5;
// The page's tab label.
const char* page_title(Page page);

enum class ControlKind {
    Text,    // an edit field of free text
    Number,  // an edit field of a whole number
    Colour,  // an edit field of six hexadecimal digits, RRGGBB
    Check,   // a check box
    Choice,  // a drop-down list
};

// What a control shows: an edit field its text, a check box 0 or 1 and a list the index of the
// chosen item (-1 for none, when the settings hold a value the list does not offer).
struct ControlValue {
    std::string text;
    int choice = 0;
    bool operator==(const ControlValue&) const = default;
};

struct Control {
    int id;
    Page page;
    ControlKind kind;
    std::span<const char* const> items;  // a Choice's items, in the order of their values
};

// Every control that edits a field, page by page.
std::span<const Control> controls();
const Control* find_control(int id);

// The values of all controls, by control id.
using Form = std::map<int, ControlValue>;

Form to_form(const appdata::Settings& settings);

// Why a page's values cannot be taken, and the control to put right.
struct Problem {
    int control_id = 0;
    std::string message;
};
// The first problem of the page's values, or nothing when they can all be taken.
std::optional<Problem> check_page(const Form& form, Page page);

// Writes the form into `settings`. Only what the user changed is written (a control whose value is
// what to_form gives for `settings` leaves its field alone), so bits and values the sheet does not
// offer survive. Every page must have passed check_page; values that would not pass are skipped.
void apply_form(const Form& form, appdata::Settings& settings);

// The sizes the Size and Position page offers to fill in the custom width and height.
std::span<const char* const> fixed_sizes();
// "640x480" as (640, 480); nothing for anything that is not two numbers of 1-65535 around an "x".
std::optional<std::pair<uint16_t, uint16_t>> parse_fixed_size(const std::string& text);

}  // namespace tarpon::projector::options
