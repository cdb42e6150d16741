#include "projector/window/options_fields.h"

#include <array>
#include <cctype>
#include <iterator>
#include <string_view>
#include <type_traits>

#include "projector/appdata/record_stream.h"
#include "projector/appdata/settings_flags.h"
#include "projector/window/options_sheet_ids.h"
#include "projector/window/window_layout.h"

namespace tarpon::projector::options {

using appdata::Settings;

namespace {

namespace frame = layout::frame;
namespace button = layout::button;

// The longest text a path field holds (its buffer less the terminating NUL).
constexpr size_t longest_text = appdata::path_capacity - 1;

constexpr std::array<const char*, 5> size_modes = {"Movie size", "Full screen", "Maximized", "Custom size",
                                                   "Percentage of the screen"};
constexpr std::array<const char*, appdata::position::count> positions = {
    "Top Left",      "Top Center",    "Top Right",
    "Center Left",   "Screen Center", "Center Right",
    "Bottom Left",   "Bottom Center", "Bottom Right",
    "Custom: Absolute position", "Custom: Relative about screen"};
constexpr std::array<const char*, 8> sizes = {"640x480",  "720x480",  "720x576",  "800x600",
                                              "1024x768", "1152x864", "1280x720", "1280x1024"};
constexpr std::array<const char*, 3> frames = {"No border", "Single border", "Resizable border"};
constexpr std::array<uint32_t, 3> frame_bits = {frame::no_border, frame::single, frame::resizable};
constexpr std::array<const char*, 4> scale_modes = {"Show all", "No border", "No scale (100%)", "Exact fit"};
constexpr std::array<uint32_t, 4> scale_codes = {appdata::scale_mode::show_all, appdata::scale_mode::no_border,
                                                 appdata::scale_mode::no_scale, appdata::scale_mode::exact_fit};
// Shape mode 3 is a script's choice; the sheet keeps it but does not offer it.
constexpr std::array<const char*, 3> shapes = {"Rectangle", "Transparent background", "Shaped by the mask"};
constexpr std::array<const char*, 3> left_buttons = {"Passed to the movie", "Drags the window", "Ignored"};
constexpr std::array<const char*, 3> right_buttons = {"The player's menu", "The projector's menu", "Ignored"};

// A whole number of at most nine decimal digits, with spaces around allowed.
std::optional<int64_t> parse_number(const std::string& text) {
    size_t begin = text.find_first_not_of(' ');
    size_t end = text.find_last_not_of(' ');
    if (begin == std::string::npos || end - begin + 1 > 9) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (size_t i = begin; i <= end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// "RRGGBB" (a leading "#" allowed) as a COLORREF, 0x00BBGGRR.
std::optional<uint32_t> parse_colour(const std::string& text) {
    std::string digits = text;
    while (!digits.empty() && digits.back() == ' ') digits.pop_back();
    size_t begin = digits.find_first_not_of(' ');
    digits = begin == std::string::npos ? std::string() : digits.substr(begin);
    if (!digits.empty() && digits[0] == '#') digits.erase(0, 1);
    if (digits.size() != 6) {
        return std::nullopt;
    }
    uint32_t rgb = 0;
    for (char c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
        rgb = rgb * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                                   ? c - '0'
                                                   : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

std::string colour_text(uint32_t colour) {
    static const char hex[] = "0123456789ABCDEF";
    uint32_t rgb = ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
    std::string text(6, '0');
    for (int i = 5; i >= 0; --i, rgb >>= 4) {
        text[static_cast<size_t>(i)] = hex[rgb & 0xF];
    }
    return text;
}

ControlValue text(std::string t) {
    return ControlValue{std::move(t), 0};
}
ControlValue choice(int index) {
    return ControlValue{{}, index};
}

int choice_of(const Form& form, int id) {
    auto it = form.find(id);
    return it == form.end() ? -1 : it->second.choice;
}

// The generic fields: a bit of a flags field as a check box, a number field as an edit field.
template <auto member, uint32_t bit>
ControlValue get_bit(const Settings& s) {
    return choice((s.*member & bit) != 0 ? 1 : 0);
}
template <auto member, uint32_t bit>
void set_bit(Settings& s, const ControlValue& v, const Form&) {
    using Type = std::remove_reference_t<decltype(s.*member)>;
    s.*member = static_cast<Type>(v.choice != 0 ? (s.*member | bit) : (s.*member & ~bit));
}
template <auto member>
ControlValue get_number(const Settings& s) {
    return text(std::to_string(s.*member));
}
template <auto member>
void set_number(Settings& s, const ControlValue& v, const Form&) {
    using Type = std::remove_reference_t<decltype(s.*member)>;
    if (auto n = parse_number(v.text)) s.*member = static_cast<Type>(*n);
}
template <auto member>
ControlValue get_text(const Settings& s) {
    return text(s.*member);
}
template <auto member>
void set_text(Settings& s, const ControlValue& v, const Form&) {
    if (v.text.size() <= longest_text) s.*member = v.text;
}
// A field holding the index of its list's item directly.
template <auto member, size_t count>
ControlValue get_index(const Settings& s) {
    return choice(s.*member < count ? static_cast<int>(s.*member) : -1);
}
template <auto member, size_t count>
void set_index(Settings& s, const ControlValue& v, const Form&) {
    if (v.choice >= 0 && static_cast<size_t>(v.choice) < count) s.*member = static_cast<uint32_t>(v.choice);
}

struct Field {
    Control control;
    ControlValue (*get)(const Settings&);
    void (*set)(Settings&, const ControlValue&, const Form&);
    int64_t low = 0, high = 0;  // a Number's range
    const char* what = "";      // how a problem message names it
};

template <auto member, uint32_t bit>
Field check_box(int id, Page page) {
    return Field{{id, page, ControlKind::Check, {}}, get_bit<member, bit>, set_bit<member, bit>};
}
template <auto member>
Field number(int id, Page page, int64_t high, const char* what) {
    return Field{{id, page, ControlKind::Number, {}}, get_number<member>, set_number<member>, 0, high, what};
}
template <size_t n>
Control list(int id, Page page, const std::array<const char*, n>& items) {
    return Control{id, page, ControlKind::Choice, std::span<const char* const>(items.data(), n)};
}

// The frame: no border, single or resizable, by the precedence the frame style gives them.
ControlValue get_frame(const Settings& s) {
    for (size_t i = 0; i < frame_bits.size(); ++i) {
        if (s.frame_flags & frame_bits[i]) return choice(static_cast<int>(i));
    }
    return choice(-1);
}
void set_frame(Settings& s, const ControlValue& v, const Form&) {
    if (v.choice < 0 || static_cast<size_t>(v.choice) >= frame_bits.size()) return;
    s.frame_flags &= ~(frame::no_border | frame::single | frame::resizable);
    s.frame_flags |= frame_bits[static_cast<size_t>(v.choice)];
}
ControlValue get_scale(const Settings& s) {
    for (size_t i = 0; i < scale_codes.size(); ++i) {
        if (s.scale_mode == scale_codes[i]) return choice(static_cast<int>(i));
    }
    return choice(-1);
}
void set_scale(Settings& s, const ControlValue& v, const Form&) {
    if (v.choice >= 0 && static_cast<size_t>(v.choice) < scale_codes.size()) {
        s.scale_mode = scale_codes[static_cast<size_t>(v.choice)];
    }
}
// Field 16 is the custom height, or the percentage in size mode 4: the edit field shown for the
// size mode chosen on the page is the one taken.
void set_height(Settings& s, const ControlValue& v, const Form& form) {
    if (choice_of(form, IDC_OPT_SIZE_MODE) != static_cast<int>(appdata::size_mode::percentage)) {
        set_number<&Settings::height>(s, v, form);
    }
}
void set_percent(Settings& s, const ControlValue& v, const Form& form) {
    if (choice_of(form, IDC_OPT_SIZE_MODE) == static_cast<int>(appdata::size_mode::percentage)) {
        set_number<&Settings::height>(s, v, form);
    }
}
ControlValue get_keep_ratio(const Settings& s) {
    return choice(s.keep_aspect != 0 ? 1 : 0);
}
void set_keep_ratio(Settings& s, const ControlValue& v, const Form&) {
    s.keep_aspect = v.choice != 0 ? 1 : 0;
}
ControlValue get_background(const Settings& s) {
    return text(colour_text(s.background));
}
void set_background(Settings& s, const ControlValue& v, const Form&) {
    if (auto colour = parse_colour(v.text)) s.background = *colour;
}
ControlValue get_help_file(const Settings& s) {
    return text(s.help_file.path);
}
// A help file named anew is taken from where it is named; the one carried in the record goes.
void set_help_file(Settings& s, const ControlValue& v, const Form&) {
    if (v.text.size() > longest_text) return;
    s.help_file.path = v.text;
    s.help_file.bytes.clear();
    s.help_file.extracted = !v.text.empty();
}

using P = Page;
const Field fields[] = {
    // Size and Position.
    Field{list(IDC_OPT_SIZE_MODE, P::SizeAndPosition, size_modes), get_index<&Settings::size_mode, 5>,
          set_index<&Settings::size_mode, 5>},
    number<&Settings::width>(IDC_OPT_WIDTH, P::SizeAndPosition, 65535, "The width"),
    Field{{IDC_OPT_HEIGHT, P::SizeAndPosition, ControlKind::Number, {}}, get_number<&Settings::height>, set_height, 0,
          65535, "The height"},
    Field{{IDC_OPT_PERCENT, P::SizeAndPosition, ControlKind::Number, {}}, get_number<&Settings::height>, set_percent,
          0, 65535, "The percentage"},
    Field{list(IDC_OPT_POSITION, P::SizeAndPosition, positions),
          get_index<&Settings::position, appdata::position::count>,
          set_index<&Settings::position, appdata::position::count>},
    number<&Settings::x>(IDC_OPT_X, P::SizeAndPosition, 65535, "The horizontal position"),
    number<&Settings::y>(IDC_OPT_Y, P::SizeAndPosition, 65535, "The vertical position"),
    Field{{IDC_OPT_KEEP_RATIO, P::SizeAndPosition, ControlKind::Check, {}}, get_keep_ratio, set_keep_ratio},
    // Appearance.
    Field{{IDC_OPT_CAPTION, P::Appearance, ControlKind::Text, {}}, get_text<&Settings::caption>,
          set_text<&Settings::caption>, 0, 0, "The caption"},
    Field{list(IDC_OPT_FRAME, P::Appearance, frames), get_frame, set_frame},
    check_box<&Settings::frame_flags, frame::tool_caption>(IDC_OPT_TOOL_CAPTION, P::Appearance),
    check_box<&Settings::frame_flags, frame::no_task_bar_button>(IDC_OPT_NO_TASK_BAR, P::Appearance),
    check_box<&Settings::caption_buttons, button::maximize>(IDC_OPT_MAXIMIZE_BOX, P::Appearance),
    check_box<&Settings::caption_buttons, button::minimize>(IDC_OPT_MINIMIZE_BOX, P::Appearance),
    check_box<&Settings::caption_buttons, button::system_menu>(IDC_OPT_SYSTEM_MENU, P::Appearance),
    check_box<&Settings::caption_buttons, button::context_help>(IDC_OPT_HELP_BUTTON, P::Appearance),
    Field{list(IDC_OPT_SCALE_MODE, P::Appearance, scale_modes), get_scale, set_scale},
    Field{list(IDC_OPT_SHAPE_MODE, P::Appearance, shapes), get_index<&Settings::shape_mode, 3>,
          set_index<&Settings::shape_mode, 3>},
    Field{{IDC_OPT_MASK, P::Appearance, ControlKind::Text, {}}, get_text<&Settings::mask>, set_text<&Settings::mask>, 0,
          0, "The mask name"},
    // Behaviour.
    check_box<&Settings::window_flags, appdata::window_flag::start_playing>(IDC_OPT_START_PLAYING, P::Behaviour),
    check_box<&Settings::window_flags, appdata::window_flag::start_minimized>(IDC_OPT_START_MINIMIZED, P::Behaviour),
    check_box<&Settings::window_flags, appdata::window_flag::always_on_top>(IDC_OPT_ON_TOP, P::Behaviour),
    check_box<&Settings::window_flags, appdata::window_flag::tray_icon>(IDC_OPT_TRAY_ICON, P::Behaviour),
    check_box<&Settings::window_flags, appdata::window_flag::application_tray_icon>(IDC_OPT_APP_TRAY_ICON,
                                                                                     P::Behaviour),
    check_box<&Settings::kiosk_flags, appdata::kiosk::block_task_switching>(IDC_OPT_KIOSK_TASKS, P::Behaviour),
    check_box<&Settings::kiosk_flags, appdata::kiosk::hide_cursor>(IDC_OPT_KIOSK_CURSOR, P::Behaviour),
    check_box<&Settings::kiosk_flags, appdata::kiosk::no_screen_saver>(IDC_OPT_KIOSK_SAVER, P::Behaviour),
    check_box<&Settings::menu_flags, appdata::menu_addition::options>(IDC_OPT_MENU_OPTIONS, P::Behaviour),
    check_box<&Settings::menu_flags, appdata::menu_addition::player_menu>(IDC_OPT_MENU_PLAYER, P::Behaviour),
    check_box<&Settings::menu_flags, appdata::menu_addition::about>(IDC_OPT_MENU_ABOUT, P::Behaviour),
    check_box<&Settings::menu_flags, appdata::menu_addition::help>(IDC_OPT_MENU_HELP, P::Behaviour),
    // Interaction.
    Field{list(IDC_OPT_LEFT_BUTTON, P::Interaction, left_buttons), get_index<&Settings::left_button, 3>,
          set_index<&Settings::left_button, 3>},
    Field{list(IDC_OPT_RIGHT_BUTTON, P::Interaction, right_buttons), get_index<&Settings::right_button, 3>,
          set_index<&Settings::right_button, 3>},
    check_box<&Settings::key_flags, appdata::key_flag::keep_from_movie>(IDC_OPT_KEEP_KEYS, P::Interaction),
    check_box<&Settings::exit_keys, appdata::exit_key::escape>(IDC_OPT_EXIT_ESCAPE, P::Interaction),
    check_box<&Settings::exit_keys, appdata::exit_key::hot_key>(IDC_OPT_EXIT_HOT_KEY, P::Interaction),
    number<&Settings::hot_key>(IDC_OPT_HOT_KEY, P::Interaction, 255, "The key code"),
    check_box<&Settings::hot_key_modifiers, appdata::hot_key_modifier::shift>(IDC_OPT_HOT_SHIFT, P::Interaction),
    check_box<&Settings::hot_key_modifiers, appdata::hot_key_modifier::control>(IDC_OPT_HOT_CONTROL,
                                                                               P::Interaction),
    check_box<&Settings::hot_key_modifiers, appdata::hot_key_modifier::alt>(IDC_OPT_HOT_ALT, P::Interaction),
    // Miscellaneous.
    check_box<&Settings::misc_flags, appdata::misc_flag::mute>(IDC_OPT_MUTE, P::Miscellaneous),
    check_box<&Settings::misc_flags, appdata::misc_flag::custom_background>(IDC_OPT_CUSTOM_BACKGROUND,
                                                                            P::Miscellaneous),
    Field{{IDC_OPT_BACKGROUND, P::Miscellaneous, ControlKind::Colour, {}}, get_background, set_background, 0, 0,
          "The background colour"},
    check_box<&Settings::misc_flags, appdata::misc_flag::about_as_splash>(IDC_OPT_ABOUT_SPLASH, P::Miscellaneous),
    check_box<&Settings::misc_flags, appdata::misc_flag::help_file>(IDC_OPT_HAS_HELP, P::Miscellaneous),
    Field{{IDC_OPT_HELP_FILE, P::Miscellaneous, ControlKind::Text, {}}, get_help_file, set_help_file, 0, 0,
          "The help file name"},
};

constexpr size_t field_count = std::size(fields);

const std::array<Control, field_count> all_controls = [] {
    std::array<Control, field_count> result{};
    for (size_t i = 0; i < field_count; ++i) result[i] = fields[i].control;
    return result;
}();

const Field* find_field(int id) {
    for (const Field& f : fields) {
        if (f.control.id == id) return &f;
    }
    return nullptr;
}

// The range a number must lie in, given the other values of its page.
std::pair<int64_t, int64_t> number_range(const Field& field, const Form& form) {
    int size_mode = choice_of(form, IDC_OPT_SIZE_MODE);
    int position = choice_of(form, IDC_OPT_POSITION);
    switch (field.control.id) {
    case IDC_OPT_WIDTH:
    case IDC_OPT_HEIGHT:
        if (size_mode == static_cast<int>(appdata::size_mode::custom)) return {1, field.high};
        break;
    case IDC_OPT_PERCENT:
        if (size_mode == static_cast<int>(appdata::size_mode::percentage)) return {1, 100};
        break;
    case IDC_OPT_X:
    case IDC_OPT_Y:
        if (position == static_cast<int>(appdata::position::custom_relative)) return {0, 100};
        break;
    default:
        break;
    }
    return {field.low, field.high};
}

// A mask name becomes a file name in the run folder: no folders, no drive, nothing a file name
// cannot hold.
bool plain_file_name(const std::string& name) {
    if (name == "." || name == "..") return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> text_problem(const Field& field, const std::string& value) {
    if (value.size() > longest_text) {
        return std::string(field.what) + " may be at most " + std::to_string(longest_text) + " characters long.";
    }
    if (field.control.id == IDC_OPT_MASK && !plain_file_name(value)) {
        return std::string("The mask name must be a plain name, without \\ / : * ? \" < > |.");
    }
    return std::nullopt;
}

}  // namespace

const char* page_title(Page page) {
    switch (page) {
    case Page::SizeAndPosition: return "Size and Position";
    case Page::Appearance: return "Appearance";
    case Page::Behaviour: return "Behaviour";
    case Page::Interaction: return "Interaction";
    case Page::Miscellaneous: return "Miscellaneous";
    }
    return "";
}

std::span<const Control> controls() {
    return all_controls;
}

const Control* find_control(int id) {
    const Field* field = find_field(id);
    return field != nullptr ? &all_controls[static_cast<size_t>(field - fields)] : nullptr;
}

Form to_form(const Settings& settings) {
    Form form;
    for (const Field& field : fields) {
        form[field.control.id] = field.get(settings);
    }
    return form;
}

std::optional<Problem> check_page(const Form& form, Page page) {
    for (const Field& field : fields) {
        if (field.control.page != page) continue;
        auto it = form.find(field.control.id);
        if (it == form.end()) continue;
        const ControlValue& value = it->second;
        switch (field.control.kind) {
        case ControlKind::Number: {
            auto [low, high] = number_range(field, form);
            auto n = parse_number(value.text);
            if (!n || *n < low || *n > high) {
                return Problem{field.control.id, std::string(field.what) + " must be a whole number from " +
                                                     std::to_string(low) + " to " + std::to_string(high) + "."};
            }
            break;
        }
        case ControlKind::Colour:
            if (!parse_colour(value.text)) {
                return Problem{field.control.id, std::string(field.what) +
                                                     " must be six hexadecimal digits RRGGBB, such as FF8000."};
            }
            break;
        case ControlKind::Text:
            if (auto message = text_problem(field, value.text)) {
                return Problem{field.control.id, *message};
            }
            break;
        case ControlKind::Check:
        case ControlKind::Choice:
            break;
        }
    }
    return std::nullopt;
}

void apply_form(const Form& form, Settings& settings) {
    const Form before = to_form(settings);
    // Every value is set from one snapshot of the settings, so that the fields that share storage
    // (the height and the percentage) are decided by the form alone.
    Settings result = settings;
    for (const Field& field : fields) {
        auto it = form.find(field.control.id);
        if (it == form.end() || it->second == before.at(field.control.id)) continue;
        const ControlValue& value = it->second;
        bool takeable = true;
        switch (field.control.kind) {
        case ControlKind::Number: {
            auto [low, high] = number_range(field, form);
            auto n = parse_number(value.text);
            takeable = n && *n >= low && *n <= high;
            break;
        }
        case ControlKind::Colour: takeable = parse_colour(value.text).has_value(); break;
        case ControlKind::Text: takeable = !text_problem(field, value.text); break;
        case ControlKind::Check:
        case ControlKind::Choice: break;
        }
        if (takeable) field.set(result, value, form);
    }
    settings = std::move(result);
}

std::span<const char* const> fixed_sizes() {
    return sizes;
}

std::optional<std::pair<uint16_t, uint16_t>> parse_fixed_size(const std::string& text) {
    size_t x = text.find('x');
    if (x == std::string::npos) return std::nullopt;
    auto w = parse_number(text.substr(0, x));
    auto h = parse_number(text.substr(x + 1));
    if (!w || !h || *w < 1 || *h < 1 || *w > 65535 || *h > 65535) return std::nullopt;
    return std::pair<uint16_t, uint16_t>{static_cast<uint16_t>(*w), static_cast<uint16_t>(*h)};
}

}  // namespace tarpon::projector::options
