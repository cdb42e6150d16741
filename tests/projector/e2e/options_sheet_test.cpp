// The options sheet as a person uses it: opened from outside through the system command, a page
// changed, OK or Cancel pressed, and the window looked at afterwards.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "projector/window/options_sheet_ids.h"
#include "tests/projector/e2e/probe/dialog_probe.h"
#include "tests/projector/e2e/probe/window_probe.h"
#include "tests/projector/e2e/projector_harness.h"

namespace tarpon::e2e {
namespace {

constexpr int start_timeout = 30000;
constexpr int sheet_timeout = 10000;
constexpr UINT options_command = 32777;

class OptionsSheet : public ::testing::Test {
protected:
    void SetUp() override {
        if (!projector_built()) {
            GTEST_SKIP() << "tarpon.exe or tarpon-author.exe is not built in " << bin_folder();
        }
    }

    // Opens the sheet as the system menu's item does and waits for it.
    static HWND open_sheet(const Process& process, HWND window) {
        PostMessageA(window, WM_SYSCOMMAND, options_command, 0);
        probe::WindowQuery query;
        query.process_id = process.id();
        query.class_name = "#32770";
        query.caption = "Options";
        return probe::wait_for_window(query, sheet_timeout);
    }

    static void press(HWND sheet, probe::SheetButton button) {
        ASSERT_TRUE(probe::press_sheet_button(sheet, button));
        ASSERT_TRUE(probe::wait_until_gone(sheet, sheet_timeout)) << "the sheet stayed open";
        Sleep(300);  // the settings are applied again after the sheet has gone
    }
};

LONG width_of(const RECT& r) { return r.right - r.left; }
LONG height_of(const RECT& r) { return r.bottom - r.top; }

TEST_F(OptionsSheet, OkAppliesTheEditsCancelDropsThemAndBadNumbersKeepThePage) {
    TestProject project("options sheet");
    project.write_settings("caption = \"Before\"");
    project.write_movie("start.swf", movie_sending({}));
    std::string log;
    ASSERT_TRUE(project.build(&log)) << log;
    Process process(project.exe(), {}, project.dir(), project.temp_dir());
    HWND window = process.main_window(start_timeout);
    ASSERT_NE(window, nullptr);
    Sleep(500);
    const probe::WindowInfo before = probe::window_info(window);
    ASSERT_EQ(before.caption, "Before");

    // Cancel: nothing changes, though a page was edited.
    HWND sheet = open_sheet(process, window);
    ASSERT_NE(sheet, nullptr) << "no options sheet";
    ASSERT_TRUE(probe::select_page(sheet, 1));
    EXPECT_EQ(probe::control_text(sheet, IDC_OPT_CAPTION), "Before");
    ASSERT_TRUE(probe::set_control_text(sheet, IDC_OPT_CAPTION, "Never"));
    ASSERT_NO_FATAL_FAILURE(press(sheet, probe::SheetButton::Cancel));
    probe::WindowInfo after = probe::window_info(window);
    EXPECT_EQ(after.caption, "Before");
    EXPECT_EQ(width_of(after.window_rect), width_of(before.window_rect));
    EXPECT_EQ(height_of(after.window_rect), height_of(before.window_rect));

    // A width that is no number keeps the user on the page, with the reason shown on it.
    sheet = open_sheet(process, window);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(probe::chosen_item(sheet, IDC_OPT_SIZE_MODE), 0);  // movie size
    ASSERT_TRUE(probe::choose_item(sheet, IDC_OPT_SIZE_MODE, 3));
    ASSERT_TRUE(probe::set_control_text(sheet, IDC_OPT_WIDTH, "wide"));
    ASSERT_TRUE(probe::set_control_text(sheet, IDC_OPT_HEIGHT, "300"));
    EXPECT_FALSE(probe::select_page(sheet, 1));
    EXPECT_EQ(probe::control_text(sheet, IDC_OPT_PROBLEM), "The width must be a whole number from 1 to 65535.");
    // OK does not close the sheet either.
    ASSERT_TRUE(probe::press_sheet_button(sheet, probe::SheetButton::Ok));
    EXPECT_FALSE(probe::wait_until_gone(sheet, 1000));

    // Put right, the size and a caption from another page are taken together on OK.
    ASSERT_TRUE(probe::set_control_text(sheet, IDC_OPT_WIDTH, "400"));
    ASSERT_TRUE(probe::select_page(sheet, 1));
    ASSERT_TRUE(probe::set_control_text(sheet, IDC_OPT_CAPTION, "After"));
    ASSERT_NO_FATAL_FAILURE(press(sheet, probe::SheetButton::Ok));
    after = probe::window_info(window);
    EXPECT_EQ(after.caption, "After");
    EXPECT_EQ(width_of(after.window_rect), 400);
    EXPECT_EQ(height_of(after.window_rect), 300);

    // A fixed size picked fills in the custom size.
    sheet = open_sheet(process, window);
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(probe::choose_item(sheet, IDC_OPT_FIXED_SIZE, 0));
    EXPECT_EQ(probe::control_text(sheet, IDC_OPT_WIDTH), "640");
    EXPECT_EQ(probe::control_text(sheet, IDC_OPT_HEIGHT), "480");
    ASSERT_NO_FATAL_FAILURE(press(sheet, probe::SheetButton::Ok));
    after = probe::window_info(window);
    EXPECT_EQ(width_of(after.window_rect), 640);
    EXPECT_EQ(height_of(after.window_rect), 480);

    ASSERT_TRUE(probe::request_close(window));
    EXPECT_TRUE(process.wait(20000).has_value());
}

}  // namespace
}  // namespace tarpon::e2e
