#ifdef _WIN32

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/host/host_engine.h"
#include "tests/host/ui_dialogs/dialog_driver.h"

namespace tarpon::host::testing {
namespace {

// Controls of the system's dialogs.
constexpr int message_text_id = 0xFFFF;  // the static text of a message box
constexpr int file_name_combo_id = 0x47C;
constexpr int file_name_edit_id = 0x480;
constexpr int red_edit_id = 706;
constexpr int green_edit_id = 707;
constexpr int blue_edit_id = 708;
constexpr int font_size_combo_id = 0x472;
constexpr int font_colour_combo_id = 0x473;
constexpr int browser_status_id = 0x3743;

// Types a name into the file dialog's name field, whichever kind of field it has.
bool type_file_name(HWND dialog, const std::string& name) {
    return set_control_text(dialog, file_name_combo_id, name) ||
           set_control_text(dialog, file_name_edit_id, name);
}

// A folder of its own under the temporary folder, with two small files a.txt and b.txt.
class DialogsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        folder = std::string(temp) + "tarpon_dialogs_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder.c_str(), nullptr);
        for (const char* name : {"a.txt", "b.txt"}) {
            std::ofstream(folder + "\\" + name) << "text\n";
        }
    }
    void TearDown() override {
        for (const char* name : {"a.txt", "b.txt"}) {
            DeleteFileA((folder + "\\" + name).c_str());
        }
        RemoveDirectoryA(folder.c_str());
    }
    // The path as script source text.
    static std::string quoted(const std::string& path) {
        std::string text = "'";
        for (char c : path) {
            text += c == '\\' ? std::string("\\\\") : std::string(1, c);
        }
        return text + "'";
    }

    std::string folder;
    HostEngine engine;
};

TEST_F(DialogsTest, MessageBoxShowsTextAndTitleAndGivesTheButtonPressed) {
    std::string title;
    std::string text;
    HWND owner = reinterpret_cast<HWND>(1);
    {
        DialogDriver driver([&](HWND box) {
            title = window_text(box);
            text = window_text(GetDlgItem(box, message_text_id));
            owner = GetWindow(box, GW_OWNER);
            press(box, IDNO);
        });
        EXPECT_EQ(engine.run("Dialogs.msgBox('Carry on?', 42, 4)"), "7");  // MB_YESNO, then No
        EXPECT_TRUE(driver.acted());
    }
    EXPECT_EQ(title, "42");
    EXPECT_EQ(text, "Carry on?");
    EXPECT_EQ(owner, nullptr);  // this host has no main window to own it
    {
        DialogDriver driver([&](HWND box) {
            title = window_text(box);
            text = window_text(GetDlgItem(box, message_text_id));
            press(box, IDOK);
        });
        EXPECT_EQ(engine.run("new Dialogs().msgBox()"), "1");
    }
    EXPECT_EQ(title, "Tarpon");
    EXPECT_EQ(text, "");
}

TEST_F(DialogsTest, FileOpenGivesTheTypedPathOrFalseWithTheReasonOnCancel) {
    {
        DialogDriver driver([&](HWND dialog) {
            EXPECT_TRUE(type_file_name(dialog, "b.txt"));
            press(dialog, IDOK);
        });
        EXPECT_EQ(
            engine.run("Dialogs.fileOpen('Text|*.txt|All|*.*|', 'txt', " + quoted(folder + "\\a.txt") + ")"),
            folder + "\\b.txt");
    }
    {
        DialogDriver driver([&](HWND dialog) { press(dialog, IDCANCEL); });
        EXPECT_EQ(engine.run("Dialogs.fileOpen('Text|*.txt|', 'txt', '')"), "false");
        EXPECT_STREQ(engine.message(), "The dialog box was closed without a choice.");
    }
}

TEST_F(DialogsTest, FileOpenWithMultiSelectGivesTheFolderAndEachName) {
    {
        DialogDriver driver([&](HWND dialog) {
            EXPECT_TRUE(type_file_name(dialog, "\"a.txt\" \"b.txt\""));
            press(dialog, IDOK);
        });
        EXPECT_EQ(engine.run("var chosen = Dialogs.fileOpen('All|*.*|', '', " + quoted(folder + "\\a.txt") +
                             ", true); chosen.length + ': ' + chosen.join(',')"),
                  "3: " + folder + ",a.txt,b.txt");
    }
    {
        // One choice: one element, the whole path.
        DialogDriver driver([&](HWND dialog) { press(dialog, IDOK); });
        EXPECT_EQ(engine.run("chosen = Dialogs.fileOpen('All|*.*|', '', " + quoted(folder + "\\a.txt") +
                             ", true); chosen.length + ': ' + chosen[0]"),
                  "1: " + folder + "\\a.txt");
    }
}

TEST_F(DialogsTest, FileOpenFailsWithTheDialogsReasonWhenTheChoiceDoesNotFitItsBuffer) {
    // Forty names of 120 characters: more than the 4,096 bytes the multi-select buffer holds.
    std::vector<std::string> names;
    std::string typed;
    for (int i = 0; i < 40; ++i) {
        names.push_back(std::string(117, 'n') + std::to_string(100 + i));
        std::ofstream(folder + "\\" + names.back()) << "x";
        typed += "\"" + names.back() + "\" ";
    }
    {
        DialogDriver driver([&](HWND dialog) {
            EXPECT_TRUE(type_file_name(dialog, typed));
            press(dialog, IDOK);
        });
        // The system fails the dialog and says why; Wine 8 instead hands back as much of the list
        // as the buffer holds, filling it to the last byte: what the script gets must come from
        // within the buffer (the folder and 34 whole names, then the cut one).
        const std::string chosen =
            engine.run("var chosen = Dialogs.fileOpen('All|*.*|', '', " + quoted(folder + "\\a.txt") +
                       ", true);"
                       "chosen === false ? 'refused' : [chosen.join(' ').length <= 4096, chosen[0] == " +
                       quoted(folder) + ", chosen.length].join(',')");
        if (chosen == "refused") {
            EXPECT_STREQ(engine.message(), "The chosen file names are too long for the dialog's buffer.");
        } else {
            EXPECT_EQ(chosen, "true,true,35");
        }
    }
    for (const std::string& name : names) {
        DeleteFileA((folder + "\\" + name).c_str());
    }
}

TEST_F(DialogsTest, FileSaveAsksBeforeReplacingAFile) {
    bool asked = false;
    {
        DialogDriver driver([&](HWND dialog) {
            press(dialog, IDOK);  // a.txt exists
            if (HWND question = wait_for_dialog(GetWindowThreadProcessId(dialog, nullptr), dialog)) {
                asked = true;
                press(question, IDYES);
            }
        });
        EXPECT_EQ(engine.run("Dialogs.fileSave('Text|*.txt|', 'txt', " + quoted(folder + "\\a.txt") + ")"),
                  folder + "\\a.txt");
    }
    EXPECT_TRUE(asked);
    {
        // A new name is taken as it is, with the default extension added.
        DialogDriver driver([&](HWND dialog) {
            EXPECT_TRUE(type_file_name(dialog, "new"));
            press(dialog, IDOK);
        });
        EXPECT_EQ(engine.run("Dialogs.fileSave('Text|*.txt|', 'txt', " + quoted(folder + "\\a.txt") + ")"),
                  folder + "\\new.txt");
    }
}

TEST_F(DialogsTest, ChooseColorStartsFromTheGivenColourAndGivesTheChosenOne) {
    {
        DialogDriver driver([&](HWND dialog) { press(dialog, IDOK); });
        EXPECT_EQ(engine.run("Dialogs.chooseColor(0xFF0000) == 0xFF0000"), "true");
    }
    {
        DialogDriver driver([&](HWND dialog) {
            EXPECT_TRUE(set_control_text(dialog, red_edit_id, "18"));
            EXPECT_TRUE(set_control_text(dialog, green_edit_id, "52"));
            EXPECT_TRUE(set_control_text(dialog, blue_edit_id, "86"));
            press(dialog, IDOK);
        });
        EXPECT_EQ(engine.run("Dialogs.chooseColor(0) == 0x123456"), "true");
    }
    {
        DialogDriver driver([&](HWND dialog) { press(dialog, IDCANCEL); });
        EXPECT_EQ(engine.run("Dialogs.chooseColor()"), "false");
        EXPECT_STREQ(engine.message(), "The dialog box was closed without a choice.");
    }
}

TEST_F(DialogsTest, ChooseFontStartsFromTheGivenFontAndGivesANewOne) {
    // A family this machine has.
    const std::string family = engine.run("FontObject.getFonts(0)[0]");
    ASSERT_NE(family.rfind("failed", 0), 0u) << family;
    // What the dialog shows: the size from the height it was given, the colour from the colour
    // reference the object holds (blue, 0xFF0000 as a colour reference).
    std::string size_shown;
    LRESULT colour_shown = -1;
    {
        DialogDriver driver([&](HWND dialog) {
            size_shown = window_text(GetDlgItem(dialog, font_size_combo_id));
            HWND colours = GetDlgItem(dialog, font_colour_combo_id);
            colour_shown =
                SendMessageA(colours, CB_GETITEMDATA, SendMessageA(colours, CB_GETCURSEL, 0, 0), 0);
            press(dialog, IDOK);
        });
        EXPECT_EQ(engine.run("var f = new FontObject(); f.name = '" + family +
                             "'; f.size = 14; "
                             "f.color = 0x0000FF; f.bold = true; f.italic = true; "
                             "var g = Dialogs.chooseFont(f); "
                             "[g != f, g.name, g.size, g.color, g.bold, g.italic, g.underline].join(',')"),
                  "true," + family + ",14,255,true,true,false");
    }
    EXPECT_EQ(size_shown, "14");
    EXPECT_EQ(colour_shown, 0xFF0000);
    {
        DialogDriver driver([&](HWND dialog) { press(dialog, IDCANCEL); });
        EXPECT_EQ(engine.run("Dialogs.chooseFont(f) === null"), "true");
        EXPECT_STREQ(engine.message(), "The dialog box was closed without a choice.");
    }
}

TEST_F(DialogsTest, BrowseGivesTheChosenFolderOrFalse) {
    // The browser opens on the initial folder, and its status line shows the selected path. The
    // folder is one that stays for the whole run: under Wine the browser at times failed to select
    // a folder this suite had removed and made anew.
    const std::string temp = folder.substr(0, folder.rfind('\\'));
    std::string status;
    {
        DialogDriver driver([&](HWND dialog) {
            for (int i = 0; i < 100 && status != temp; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                status = window_text(GetDlgItem(dialog, browser_status_id));
            }
            press(dialog, IDOK);
        });
        EXPECT_EQ(engine.run("Dialogs.browse('Pick a folder', " + quoted(temp) + ")"), temp);
    }
    EXPECT_EQ(status, temp);
    {
        DialogDriver driver([&](HWND dialog) { press(dialog, IDCANCEL); });
        EXPECT_EQ(engine.run("Dialogs.browse('Pick a folder', " + quoted(folder) + ")"), "false");
    }
}

}  // namespace
}  // namespace tarpon::host::testing

#endif
