// The About box as a person meets it: opened from the main window's system command, its texts and
// links read from outside, the link colour and the picture seen on the screen, a link followed, and
// the box closed with Escape and with OK. The About flags put the current movie or the About movie
// into a player control of the box's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/projector/e2e/probe/window_probe.h"
#include "tests/projector/e2e/projector_harness.h"

namespace tarpon::e2e {
namespace {

constexpr int start_timeout = 30000;
constexpr int end_timeout = 20000;
constexpr WPARAM about_command = 32780;

// A 24-bit BMP of one colour (0xRRGGBB), rows bottom up, each padded to 4 bytes.
std::vector<uint8_t> solid_bmp(int width, int height, uint32_t rgb) {
    const int row = (width * 3 + 3) & ~3;
    const uint32_t pixels = uint32_t(row * height);
    std::vector<uint8_t> bytes;
    auto u16 = [&](uint32_t v) { bytes.push_back(uint8_t(v)); bytes.push_back(uint8_t(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    bytes.push_back('B');
    bytes.push_back('M');
    u32(54 + pixels), u32(0), u32(54);
    u32(40), u32(uint32_t(width)), u32(uint32_t(height)), u16(1), u16(24), u32(0), u32(pixels), u32(2835), u32(2835),
        u32(0), u32(0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < row; ++x) {
            int channel = x % 3;
            bytes.push_back(x < width * 3 ? uint8_t(rgb >> (8 * channel)) : 0);
        }
    }
    return bytes;
}

// The part of a screenshot of the dialog's client area that a child covers.
RECT area_in_client(HWND dialog, HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

class AboutBox : public ::testing::Test {
protected:
    void SetUp() override {
        if (!projector_built()) {
            GTEST_SKIP() << "tarpon.exe or tarpon-author.exe is not built in " << bin_folder();
        }
    }

    static void build(TestProject& project) {
        std::string log;
        ASSERT_TRUE(project.build(&log)) << log;
    }

    // Starts the projector and waits for its main window.
    static std::unique_ptr<Process> start(TestProject& project, HWND& window) {
        auto process = std::make_unique<Process>(project.exe(), "", project.dir(), project.temp_dir());
        EXPECT_TRUE(process->started());
        window = process->main_window(start_timeout);
        return process;
    }

    // Opens the box as its system-menu item does; the box's window, or null.
    static HWND open(const Process& process, HWND window, const std::string& caption) {
        if (!PostMessageA(window, WM_SYSCOMMAND, about_command, 0)) {
            return nullptr;
        }
        probe::WindowQuery query;
        query.process_id = process.id();
        query.class_name = "#32770";
        query.caption = caption;
        return probe::wait_for_window(query, 10000);
    }

    static void close_projector(Process& process, HWND window) {
        ASSERT_TRUE(probe::request_close(window));
        EXPECT_TRUE(process.wait(end_timeout).has_value()) << "the projector did not end after WM_CLOSE";
    }

    // The class of the main window's player control, to find the box's own by.
    static std::string player_class(HWND window) {
        char name[128] = {};
        GetClassNameA(GetDlgItem(window, 1001), name, sizeof name);
        return name;
    }
};

TEST_F(AboutBox, ShowsTheInformationLinksAndPictureAndClosesWithEscapeOrOk) {
    TestProject project("about");
    // The company link leads to a batch file, so that following it leaves a trace.
    const std::string marker = project.path("followed.txt");
    const std::string follow = project.path("follow.bat");
    write_file(follow, "@echo followed> \"" + marker + "\"\r\n");
    write_bytes(project.path("about.bmp"), solid_bmp(40, 30, 0x20C040));
    project.write_settings("position = \"top_left\"",
                           "[about]\ntitle = \"Harbour Tour\"\nversion = \"2.5\"\ndescription = \"A walk along the quay\"\n"
                           "company = \"Quayside Ltd\"\nlegal_notice = \"(c) 2026 Quayside\"\ncontact = \"Call 555-0100\"\n"
                           "home_page = \"http://quay.example/\"\n\n"
                           "[about_box]\ncompany = \"Quayside Trading\"\nhome_page = " + script_string(follow) + "\n"
                           "mail_caption = \"Write to us\"\nmail_address = \"hello@quayside.example\"\n"
                           "link_colour = \"#FF0000\"\nvisited_link_colour = \"#0000FF\"\npicture = \"about.bmp\"\n\n"
                           "[about_box.link_font]\nface = \"Arial\"\nheight = -24\nweight = 700\n");
    project.write_movie("start.swf", movie_sending({}));
    ASSERT_NO_FATAL_FAILURE(build(project));
    HWND window = nullptr;
    auto process = start(project, window);
    ASSERT_NE(window, nullptr);

    HWND box = open(*process, window, "About Harbour Tour");
    ASSERT_NE(box, nullptr) << "no About box after the system command";
    EXPECT_EQ(GetWindow(box, GW_OWNER), window);
    for (const char* text : {"Harbour Tour", "2.5", "A walk along the quay", "Quayside Ltd", "(c) 2026 Quayside",
                             "Call 555-0100"}) {
        HWND label = probe::find_child(box, "Static", text);
        EXPECT_TRUE(label != nullptr && IsWindowVisible(label)) << text;
    }
    HWND company = probe::find_child(box, "TARPONURL", "Quayside Trading");
    HWND home = probe::find_child(box, "TARPONURL", "http://quay.example/");
    HWND mail = probe::find_child(box, "TARPONURL", "Write to us");
    ASSERT_NE(company, nullptr);
    EXPECT_NE(home, nullptr);
    EXPECT_NE(mail, nullptr);
    // Without About flags the box has no movie.
    EXPECT_EQ(probe::find_child(box, player_class(window), ""), nullptr);
    // The picture went to the run folder when the box opened.
    std::vector<std::string> runs = project.run_folders();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(runs[0] + "Tarpon.BK"));

    // On the screen: the link in the link colour, the picture in its own.
    SetForegroundWindow(box);
    Sleep(700);
    auto shot = probe::screenshot(box, true);
    ASSERT_TRUE(shot.has_value());
    shot->save_bmp(project.path("about.bmp.shot.bmp"));
    EXPECT_GT(shot->count(0xFF0000, area_in_client(box, company)), 40u) << "the link is not drawn in its colour";
    EXPECT_EQ(shot->count(0xFF0000, area_in_client(box, probe::find_child(box, "Static", "Quayside Ltd"))), 0u);
    EXPECT_GE(shot->count(0x20C040, RECT{0, 0, shot->width, shot->height}), 40u * 30u * 9 / 10);

    // Followed through the shell, and drawn in the visited colour afterwards.
    RECT link = area_in_client(box, company);
    EXPECT_TRUE(probe::click(box, link.left + 5, (link.top + link.bottom) / 2));
    bool followed = false;
    for (int i = 0; i < 100 && !followed; ++i) {
        followed = std::filesystem::exists(marker);
        if (!followed) Sleep(100);
    }
    EXPECT_TRUE(followed) << "the company link was not opened";
    // What the shell started may come up over the box for a while: look again until it is clear.
    size_t visited = 0;
    for (int i = 0; i < 40 && visited <= 40u; ++i) {
        SetForegroundWindow(box);
        Sleep(150);
        shot = probe::screenshot(box, true);
        ASSERT_TRUE(shot.has_value());
        visited = shot->count(0x0000FF, area_in_client(box, company));
    }
    EXPECT_GT(visited, 40u) << "the followed link is not drawn in the visited colour";

    // Escape closes the box and leaves the projector running; OK closes it the second time.
    EXPECT_TRUE(probe::press_key(box, VK_ESCAPE));
    EXPECT_TRUE(probe::wait_until_gone(box, 5000));
    EXPECT_TRUE(process->running());
    box = open(*process, window, "About Harbour Tour");
    ASSERT_NE(box, nullptr) << "the box does not open a second time";
    EXPECT_TRUE(probe::post_command(box, IDOK));
    EXPECT_TRUE(probe::wait_until_gone(box, 5000));
    close_projector(*process, window);
}

// The About flags choose the movie of the box's player: the movie playing in the main window, or
// the About movie carried in the settings.
TEST_F(AboutBox, ShowsTheCurrentMovieOrTheAboutMovieInAPlayerOfItsOwn) {
    struct Case {
        const char* name;
        const char* keys;
        uint32_t colour;  // the background the box's player shows
    };
    const Case cases[] = {{"about-current", "flags = [\"current_movie\"]\n", 0x336699},
                          {"about-movie", "flags = [\"about_movie\"]\nmovie = \"about.swf\"\n", 0x993366}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestProject project(c.name);
        write_bytes(project.path("about.swf"), movie_sending({}, 0x993366));
        project.write_settings("position = \"top_left\"",
                               std::string("[about]\ntitle = \"Reel\"\n\n[about_box]\n") + c.keys);
        project.write_movie("start.swf", movie_sending({}, 0x336699));
        ASSERT_NO_FATAL_FAILURE(build(project));
        HWND window = nullptr;
        auto process = start(project, window);
        ASSERT_NE(window, nullptr);
        for (int opening = 0; opening < 2; ++opening) {
            HWND box = open(*process, window, "About Reel");
            ASSERT_NE(box, nullptr);
            HWND player = probe::find_child(box, player_class(window), "");
            ASSERT_NE(player, nullptr) << "no player in the box";
            EXPECT_NE(player, GetDlgItem(window, 1001));
            RECT area = area_in_client(box, player);
            EXPECT_GT(area.right - area.left, 100);
            EXPECT_GT(area.bottom - area.top, 100);
            SetForegroundWindow(box);
            Sleep(700);
            auto shot = probe::screenshot(box, true);
            ASSERT_TRUE(shot.has_value());
            shot->save_bmp(project.path("box.shot.bmp"));
            const auto covered = size_t(area.right - area.left) * size_t(area.bottom - area.top);
            EXPECT_GT(shot->count(c.colour, area), covered * 9 / 10) << "the box's player does not show the movie";
            EXPECT_TRUE(probe::press_key(box, VK_ESCAPE));
            EXPECT_TRUE(probe::wait_until_gone(box, 5000));
        }
        // The main window's control plays on.
        EXPECT_TRUE(IsWindow(GetDlgItem(window, 1001)));
        close_projector(*process, window);
    }
}

}  // namespace
}  // namespace tarpon::e2e
