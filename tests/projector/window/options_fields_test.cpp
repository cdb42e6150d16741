#include "projector/window/options_fields.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "projector/window/options_sheet_ids.h"

namespace tarpon::projector::options {
namespace {

using appdata::Settings;

// A record with values the sheet does not offer: unknown bits, modes beyond its lists, a colour
// with a high byte, a help file carried in the record.
Settings odd_settings() {
    Settings s;
    s.shape_mode = 3;
    s.frame_flags = 0x1 | 0x10 | 0x80000;  // no border wins over single; an unknown bit
    s.caption_buttons = 0x111 | 0x4;
    s.scale_mode = 0;
    s.mask = "star";
    s.caption = "Show";
    s.size_mode = 7;
    s.width = 0;
    s.height = 0;
    s.position = 42;
    s.x = 500;
    s.y = 60000;
    s.keep_aspect = 5;
    s.left_button = 9;
    s.right_button = 1;
    s.key_flags = 0x11;
    s.exit_keys = 0x101;
    s.kiosk_flags = 0x10 | 0x8000;
    s.hot_key = 300;
    s.hot_key_modifiers = 0x7 | 0x80;
    s.menu_flags = 0x1111 | 0x2;
    s.window_flags = 0x1113 | 0x40;
    s.misc_flags = 0x1111 | 0x20;
    s.background = 0xFF123456;
    s.help_file.path = "guide.chm";
    s.help_file.bytes = {1, 2, 3};
    return s;
}

TEST(OptionsFields, TheSheetUnchangedLeavesEveryFieldAsItWas) {
    for (const Settings& original : {Settings{}, odd_settings()}) {
        Settings s = original;
        apply_form(to_form(s), s);
        EXPECT_EQ(s, original);
    }
}

TEST(OptionsFields, ChangedControlsWriteTheirFieldsAndNothingElse) {
    Settings s = odd_settings();
    Form form = to_form(s);
    form[IDC_OPT_CAPTION].text = "New caption";
    form[IDC_OPT_SIZE_MODE].choice = 3;
    form[IDC_OPT_WIDTH].text = "400";
    form[IDC_OPT_HEIGHT].text = " 300 ";
    form[IDC_OPT_POSITION].choice = 10;
    form[IDC_OPT_X].text = "25";
    form[IDC_OPT_Y].text = "75";
    form[IDC_OPT_FRAME].choice = 2;         // resizable
    form[IDC_OPT_MAXIMIZE_BOX].choice = 0;  // one bit cleared
    form[IDC_OPT_ON_TOP].choice = 1;        // one bit set
    form[IDC_OPT_SCALE_MODE].choice = 3;    // exact fit
    form[IDC_OPT_BACKGROUND].text = "#ff8000";
    form[IDC_OPT_KEEP_RATIO].choice = 0;
    ASSERT_FALSE(check_page(form, Page::SizeAndPosition));
    apply_form(form, s);

    Settings expected = odd_settings();
    expected.caption = "New caption";
    expected.size_mode = 3;
    expected.width = 400;
    expected.height = 300;
    expected.position = 10;
    expected.x = 25;
    expected.y = 75;
    expected.frame_flags = 0x100 | 0x80000;
    expected.caption_buttons = 0x110 | 0x4;
    expected.window_flags |= 0x100;
    expected.scale_mode = 0x100;
    expected.background = 0x000080FF;  // stored as 0x00BBGGRR
    expected.keep_aspect = 0;
    EXPECT_EQ(s, expected);
    EXPECT_EQ(to_form(s)[IDC_OPT_BACKGROUND].text, "FF8000");
}

TEST(OptionsFields, TheSizeModeDecidesWhetherHeightOrPercentageIsTaken) {
    Settings s;
    s.size_mode = 3;
    s.height = 300;
    Form form = to_form(s);
    form[IDC_OPT_SIZE_MODE].choice = 4;
    form[IDC_OPT_PERCENT].text = "50";
    form[IDC_OPT_HEIGHT].text = "480";  // not the size mode's field: ignored
    apply_form(form, s);
    EXPECT_EQ(s.size_mode, 4u);
    EXPECT_EQ(s.height, 50);

    form = to_form(s);
    form[IDC_OPT_SIZE_MODE].choice = 3;
    form[IDC_OPT_HEIGHT].text = "480";
    form[IDC_OPT_PERCENT].text = "75";
    apply_form(form, s);
    EXPECT_EQ(s.height, 480);
}

// The problem of a page's form after one change, or "" when there is none.
std::string problem_after(int id, const std::string& text, int size_mode = 0, int position = 0) {
    Settings s;
    s.width = 640;
    s.height = 480;
    Form form = to_form(s);
    form[IDC_OPT_SIZE_MODE].choice = size_mode;
    form[IDC_OPT_POSITION].choice = position;
    form[id].text = text;
    const Control* control = find_control(id);
    auto problem = check_page(form, control->page);
    if (!problem) return "";
    EXPECT_EQ(problem->control_id, id);
    return problem->message;
}

TEST(OptionsFields, BadValuesAreRefusedWithTheirReason) {
    EXPECT_EQ(problem_after(IDC_OPT_WIDTH, "wide"), "The width must be a whole number from 0 to 65535.");
    EXPECT_NE(problem_after(IDC_OPT_WIDTH, "-5"), "");
    EXPECT_NE(problem_after(IDC_OPT_WIDTH, "65536"), "");
    EXPECT_NE(problem_after(IDC_OPT_WIDTH, "99999999999999999999"), "");
    EXPECT_NE(problem_after(IDC_OPT_WIDTH, ""), "");
    // A custom size must be at least 1 x 1; the percentage 1-100; a relative position 0-100.
    EXPECT_EQ(problem_after(IDC_OPT_WIDTH, "0"), "");
    EXPECT_EQ(problem_after(IDC_OPT_WIDTH, "0", 3), "The width must be a whole number from 1 to 65535.");
    EXPECT_NE(problem_after(IDC_OPT_HEIGHT, "0", 3), "");
    EXPECT_EQ(problem_after(IDC_OPT_PERCENT, "100", 4), "");
    EXPECT_EQ(problem_after(IDC_OPT_PERCENT, "101", 4), "The percentage must be a whole number from 1 to 100.");
    EXPECT_NE(problem_after(IDC_OPT_PERCENT, "0", 4), "");
    EXPECT_EQ(problem_after(IDC_OPT_X, "150", 0, 9), "");
    EXPECT_NE(problem_after(IDC_OPT_X, "150", 0, 10), "");
    EXPECT_NE(problem_after(IDC_OPT_Y, "101", 0, 10), "");
    EXPECT_NE(problem_after(IDC_OPT_HOT_KEY, "256"), "");
    EXPECT_NE(problem_after(IDC_OPT_BACKGROUND, "12345"), "");
    EXPECT_NE(problem_after(IDC_OPT_BACKGROUND, "GG0000"), "");
    EXPECT_EQ(problem_after(IDC_OPT_BACKGROUND, "#a0B0c0"), "");
    // A mask name becomes a file name in the run folder and may not reach out of it.
    EXPECT_NE(problem_after(IDC_OPT_MASK, "..\\..\\secret"), "");
    EXPECT_NE(problem_after(IDC_OPT_MASK, "C:mask"), "");
    EXPECT_NE(problem_after(IDC_OPT_MASK, ".."), "");
    EXPECT_EQ(problem_after(IDC_OPT_MASK, "star shape"), "");
    EXPECT_NE(problem_after(IDC_OPT_CAPTION, std::string(260, 'c')), "");
    EXPECT_EQ(problem_after(IDC_OPT_CAPTION, std::string(259, 'c')), "");
}

TEST(OptionsFields, APageIsCheckedAloneAndRefusedValuesAreNeverWritten) {
    Form form = to_form(Settings{});
    form[IDC_OPT_BACKGROUND].text = "red";  // Miscellaneous
    EXPECT_FALSE(check_page(form, Page::SizeAndPosition));
    EXPECT_TRUE(check_page(form, Page::Miscellaneous));

    Settings s;
    s.background = 0x123456;
    form[IDC_OPT_CAPTION].text = "Taken";
    form[IDC_OPT_SIZE_MODE].choice = 3;
    form[IDC_OPT_WIDTH].text = "0";
    apply_form(form, s);
    EXPECT_EQ(s.background, 0x123456u);
    EXPECT_EQ(s.width, 0);
    EXPECT_EQ(s.caption, "Taken");
}

TEST(OptionsFields, AHelpFileNamedAnewIsTakenFromWhereItIsNamed) {
    Settings s = odd_settings();
    Form form = to_form(s);
    form[IDC_OPT_HELP_FILE].text = "C:\\docs\\manual.chm";
    apply_form(form, s);
    EXPECT_EQ(s.help_file.path, "C:\\docs\\manual.chm");
    EXPECT_TRUE(s.help_file.bytes.empty());
    EXPECT_TRUE(s.help_file.extracted);

    form = to_form(s);
    form[IDC_OPT_HELP_FILE].text = "";
    apply_form(form, s);
    EXPECT_EQ(s.help_file, appdata::EmbeddedFile{});
}

TEST(OptionsFields, ListsAndControls) {
    std::set<int> ids;
    for (const Control& control : controls()) {
        EXPECT_TRUE(ids.insert(control.id).second) << control.id;
        EXPECT_EQ(find_control(control.id), &control);
        EXPECT_EQ(control.kind == ControlKind::Choice, !control.items.empty()) << control.id;
    }
    const Control* position = find_control(IDC_OPT_POSITION);
    ASSERT_EQ(position->items.size(), 11u);
    EXPECT_STREQ(position->items[4], "Screen Center");
    EXPECT_STREQ(position->items[10], "Custom: Relative about screen");

    ASSERT_EQ(fixed_sizes().size(), 8u);
    for (const char* size : fixed_sizes()) {
        EXPECT_TRUE(parse_fixed_size(size)) << size;
    }
    EXPECT_EQ(parse_fixed_size("1280x1024"), (std::pair<uint16_t, uint16_t>{1280, 1024}));
    EXPECT_FALSE(parse_fixed_size("0x480"));
    EXPECT_FALSE(parse_fixed_size("640 by 480"));
}

}  // namespace
}  // namespace tarpon::projector::options
