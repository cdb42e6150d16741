// tarpon.toml: every settings field survives printing and reading back; faults name the file,
// line and key; the words of hot keys and colours.
#include "tools/author/project.h"

#include <gtest/gtest.h>

#include "tools/author/settings_words.h"

namespace tarpon::author {
namespace {

appdata::Settings unusual_settings() {
    appdata::Settings s;
    s.title = "Title with \"quotes\" and \\ backslash";
    s.description = "";
    s.contact = "line\nbreak";
    s.shape_mode = 3;
    s.frame_flags = 0x10 | 0x10000 | 0x200000;  // a bit no word names
    s.caption_buttons = 0x1111;
    s.scale_mode = 7;  // a mode no word names
    s.mask = "round";
    s.caption = "Caption";
    s.size_mode = 4;
    s.width = 65535;
    s.height = 50;
    s.position = 10;
    s.x = 12;
    s.y = 34;
    s.keep_aspect = 5;
    s.left_button = 1;
    s.right_button = 2;
    s.key_flags = 0x10;
    s.exit_keys = 0x11;
    s.kiosk_flags = 0x111;
    s.hot_key = 0x74;
    s.hot_key_modifiers = 0x3;
    s.menu_flags = 0x1111;
    s.window_flags = 0x1113;
    s.misc_flags = 0x1111;
    s.background = 0x00102030;
    s.about_company = "About";
    s.about_mail_address = "a@example.org";
    s.link_colour = 0x01FF0000;  // not a plain COLORREF: kept as a number
    s.visited_link_colour = 0x000000FF;
    s.about_font = appdata::Font{-13, 1, 2, 3, 700, 1, 1, 1, 204, 3, 2, 5, 34, "Times New Roman"};
    s.about_link_font.face_name = "Arial";
    s.about_flags = 0x110;
    s.carried_42 = 0xFFFFFFFF;
    s.carried_44 = std::u16string(u"a\0b", 3);  // units after the NUL: written unit by unit
    s.carried_46 = u"plain";
    s.carried_46->push_back(u'\0');
    s.system_time = {2026, 12, 3, 9, 23, 59, 58, 999};
    s.carried_50 = u"";
    s.carried_51 = 1;
    s.carried_52 = 65535;
    return s;
}

TEST(ProjectFile, EverySettingsFieldReadsBackAsPrinted) {
    Project project;
    project.registry_key = "Acme";
    project.profile = "Show";
    project.settings = unusual_settings();
    project.help_file = "help.chm";
    project.about_movie = "about.swf";
    project.about_picture = "about.bmp";
    project.icon = "app.ico";
    project.random_start = true;
    project.stored = false;
    project.movies = std::vector<std::string>{"a.swf", "movies\\b.swf"};
    project.plug_ins = {"x.dll"};
    project.mask_key_colour = 0x00FF00FF;
    project.player_module = "player.dll";
    project.support[2] = "urlmon.dll";

    std::string text = project_text(project);
    ProjectRead read = read_project_text(text, "tarpon.toml");
    ASSERT_TRUE(read.errors.empty()) << read.errors.front() << "\n" << text;
    const Project& p = read.project;
    EXPECT_EQ(p.settings, project.settings) << text;
    EXPECT_EQ(p.registry_key, "Acme");
    EXPECT_EQ(p.profile, project.profile);
    EXPECT_EQ(p.help_file, "help.chm");
    EXPECT_EQ(p.about_movie, "about.swf");
    EXPECT_EQ(p.about_picture, "about.bmp");
    EXPECT_EQ(p.icon, "app.ico");
    EXPECT_TRUE(p.random_start);
    EXPECT_FALSE(p.stored);
    EXPECT_EQ(p.movies, project.movies);
    EXPECT_EQ(p.plug_ins, project.plug_ins);
    EXPECT_EQ(p.mask_key_colour, project.mask_key_colour);
    EXPECT_EQ(p.player_module, "player.dll");
    EXPECT_EQ(p.support, project.support);
    // Printing the read project gives the same text again.
    EXPECT_EQ(project_text(p), text);
}

TEST(ProjectFile, FaultsNameFileLineAndKey) {
    ProjectRead read = read_project_text(R"([window]
shape = "round"
width = 70000
frame = ["caption", "wobbly"]
colour = 1

[input]
hot_key = "Hyper+Q"

[about]
title = 5

[sound]
volume = 3
)",
                                         "demo/tarpon.toml");
    ASSERT_EQ(read.errors.size(), 7u);
    EXPECT_EQ(read.errors[0].rfind("demo/tarpon.toml:2: window.shape: unknown value \"round\"", 0), 0u)
        << read.errors[0];
    EXPECT_EQ(read.errors[1], "demo/tarpon.toml:3: window.width: must be from 0 to 65535");
    EXPECT_EQ(read.errors[2].rfind("demo/tarpon.toml:4: window.frame: unknown flag \"wobbly\"", 0), 0u);
    EXPECT_EQ(read.errors[3], "demo/tarpon.toml:5: window.colour: unknown key");
    EXPECT_EQ(read.errors[4], "demo/tarpon.toml:8: input.hot_key: must be a key such as \"Ctrl+Shift+F5\"");
    EXPECT_EQ(read.errors[5], "demo/tarpon.toml:11: about.title: must be a string");
    EXPECT_EQ(read.errors[6], "demo/tarpon.toml:13: sound: unknown key");

    read = read_project_text("[window\nshape = 1\n", "x.toml");
    ASSERT_EQ(read.errors.size(), 1u);
    EXPECT_EQ(read.errors[0].rfind("x.toml:1: ", 0), 0u) << read.errors[0];
}

TEST(ProjectFile, NumbersStandInForWords) {
    ProjectRead read = read_project_text("[window]\nshape = 2\nframe = [\"caption\", 256]\nkeep_aspect = true\n"
                                         "background = 255\n",
                                         "t.toml");
    ASSERT_TRUE(read.errors.empty()) << read.errors.front();
    EXPECT_EQ(read.project.settings.shape_mode, 2u);
    EXPECT_EQ(read.project.settings.frame_flags, 0x110u);
    EXPECT_EQ(read.project.settings.keep_aspect, 1u);
    EXPECT_EQ(read.project.settings.background, 255u);
}

TEST(SettingsWords, HotKeysAndColours) {
    EXPECT_EQ(parse_hot_key("Ctrl+Shift+F5"), (std::pair<uint16_t, uint16_t>{0x74, 0x3}));
    EXPECT_EQ(parse_hot_key("alt+q"), (std::pair<uint16_t, uint16_t>{'Q', 0x4}));
    EXPECT_EQ(parse_hot_key("Escape"), (std::pair<uint16_t, uint16_t>{0x1B, 0}));
    EXPECT_EQ(parse_hot_key("Ctrl+0x7B"), (std::pair<uint16_t, uint16_t>{0x7B, 0x2}));
    EXPECT_FALSE(parse_hot_key("Ctrl+"));
    EXPECT_FALSE(parse_hot_key("F25"));
    EXPECT_FALSE(parse_hot_key("Meta+A"));
    EXPECT_EQ(hot_key_text(0x74, 0x7), "Ctrl+Shift+Alt+F5");
    EXPECT_EQ(hot_key_text(0xBA, 0), "0xBA");
    EXPECT_FALSE(hot_key_text(0x41, 0x8));
    for (uint16_t key : {0x08, 0x30, 0x41, 0x5A, 0x70, 0x87, 0x2E, 0xFF}) {
        auto parsed = parse_hot_key(*hot_key_text(key, 0x2));
        ASSERT_TRUE(parsed) << key;
        EXPECT_EQ(parsed->first, key);
    }
    EXPECT_EQ(parse_colour("#112233"), 0x00332211u);
    EXPECT_EQ(colour_text(0x00332211), "#112233");
    EXPECT_FALSE(parse_colour("112233"));
    EXPECT_FALSE(parse_colour("#11223G"));
    EXPECT_FALSE(colour_text(0x01000000));
}

}  // namespace
}  // namespace tarpon::author
