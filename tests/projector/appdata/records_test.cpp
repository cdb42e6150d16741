// The settings record, the mask list and the movie list: exact round trips, records cut short or
// mutated, and what loading them writes to disk.
#include <gtest/gtest.h>

#include "engine/values/text_codec.h"
#include "projector/appdata/item_source.h"
#include "projector/appdata/mask_list.h"
#include "projector/appdata/movie_list.h"
#include "projector/appdata/settings.h"
#include "test_folder.h"

namespace tarpon::appdata {
namespace {

using testing::TestFolder;

std::vector<uint8_t> bytes_of(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

Settings full_settings() {
    Settings s;
    s.title = "Title";
    s.description = "";
    s.company = "Company";
    s.legal_notice = std::nullopt;
    s.home_page = "http://example.org/";
    s.contact = "Contact";
    s.version = "1.2.3";
    s.shape_mode = 2;
    s.frame_flags = 0x10 | 0x1000;
    s.caption_buttons = 0x111;
    s.scale_mode = 0x100;
    s.mask = "round";
    s.caption = "The caption";
    s.size_mode = 3;
    s.width = 640;
    s.height = 480;
    s.position = 10;
    s.x = 25;
    s.y = 75;
    s.keep_aspect = 1;
    s.left_button = 1;
    s.right_button = 2;
    s.key_flags = 0x10;
    s.exit_keys = 0x11;
    s.kiosk_flags = 0x111;
    s.hot_key = 0x74;
    s.hot_key_modifiers = 3;
    s.menu_flags = 0x1111;
    s.window_flags = 0x1113;
    s.misc_flags = 0x1101;
    s.background = 0x00336699;
    s.help_file = EmbeddedFile{"help.chm", bytes_of("help bytes")};
    s.about_company = "About company";
    s.about_home_page = "http://example.org/about";
    s.about_mail_caption = "Write to us";
    s.about_mail_address = "someone@example.org";
    s.link_colour = 0xFF0000;
    s.visited_link_colour = 0x800080;
    s.about_font = Font{-12, 0, 0, 0, 700, 1, 0, 0, 0, 3, 2, 1, 34, "Arial"};
    s.about_link_font = Font{-11, 1, 2, 3, 400, 0, 1, 1, 204, 0, 0, 0, 0, "Tahoma"};
    s.about_flags = 0x100;
    s.carried_42 = 42;
    s.about_movie = EmbeddedFile{"about.swf", bytes_of("FWS movie")};
    s.carried_44 = u"carried\0junk";  // units after the NUL are kept as they are
    s.carried_45 = 45;
    s.carried_46 = std::u16string(u"\xD800x", 2);  // not valid UTF-16, kept unit for unit
    s.carried_47 = 47;
    s.system_time = {2026, 12, 3, 9, 1, 2, 3, 4};
    s.carried_49 = 49;
    s.carried_50 = std::nullopt;
    s.carried_51 = 51;
    s.carried_52 = 52;
    return s;
}

TEST(Settings, RoundTripsFieldByFieldAndByteForByte) {
    Settings original = full_settings();
    std::vector<uint8_t> bytes = settings_bytes(original);
    Settings read;
    ASSERT_TRUE(read_settings(bytes, read));
    EXPECT_EQ(read, original);
    EXPECT_EQ(settings_bytes(read), bytes);

    // A zero-filled record survives too, with absent texts written as a count of 0.
    Settings empty;
    std::vector<uint8_t> empty_bytes = settings_bytes(empty);
    EXPECT_EQ(empty_bytes[0], 0);
    ASSERT_TRUE(read_settings(empty_bytes, read));
    EXPECT_EQ(read, empty);
}

TEST(Settings, PathsAreCutToTheirBuffers) {
    Settings s;
    s.caption = std::string(400, 'c');
    s.about_font.face_name = std::string(40, 'f');
    Settings read;
    ASSERT_TRUE(read_settings(settings_bytes(s), read));
    EXPECT_EQ(read.caption, std::string(259, 'c'));
    EXPECT_EQ(read.about_font.face_name, std::string(31, 'f'));

    // Text of several bytes a character is cut between characters: what is kept reads back the
    // same when written again.
    Settings wide;
    std::u16string units;
    for (int i = 0; i < 300; ++i) {
        units += i % 2 ? u"\u00E9" : u"\U0001F600";
    }
    wide.caption = quill::utf16_to_narrow(units);
    ASSERT_TRUE(read_settings(settings_bytes(wide), read));
    EXPECT_LE(read.caption.size(), 259u);
    Settings again;
    ASSERT_TRUE(read_settings(settings_bytes(read), again));
    EXPECT_EQ(again.caption, read.caption);
}

TEST(Settings, ARecordCutShortCountsAsAbsent) {
    std::vector<uint8_t> bytes = settings_bytes(full_settings());
    for (size_t length = 0; length < bytes.size(); ++length) {
        Settings read = full_settings();
        EXPECT_FALSE(read_settings(std::span(bytes).first(length), read)) << length;
        EXPECT_EQ(read, Settings{}) << length;
    }
    // A string count far beyond the item.
    std::vector<uint8_t> lying = bytes;
    lying[0] = lying[1] = lying[2] = 0xFF;
    lying[3] = 0x7F;
    Settings read;
    EXPECT_FALSE(read_settings(lying, read));
}

TEST(Settings, EmbeddedFilesAreExtractedAndReadBack) {
    TestFolder folder;
    Settings s = full_settings();
    ASSERT_TRUE(extract_embedded_files(s, folder.path()));
    EXPECT_EQ(s.help_file.path, folder.file("help.chm"));
    EXPECT_TRUE(s.help_file.bytes.empty());
    EXPECT_TRUE(folder.exists("about.swf"));

    // Written back as the bare name with the file's bytes, as it was read.
    EXPECT_EQ(settings_bytes(s), settings_bytes(full_settings()));

    // A file gone from the run folder is written as an empty name of size 0.
    std::filesystem::remove(folder.file("help.chm"));
    Settings again;
    ASSERT_TRUE(read_settings(settings_bytes(s), again));
    EXPECT_EQ(again.help_file, EmbeddedFile{});
    EXPECT_EQ(again.about_movie.bytes, bytes_of("FWS movie"));
}

TEST(Settings, EmbeddedFileNamesThatLeaveTheFolderAreSkipped) {
    TestFolder folder;
    for (const char* name : {"..", "NUL", "con.txt", "C:evil", "sub/../x", "..\\up"}) {
        Settings s;
        s.help_file = EmbeddedFile{name, bytes_of("x")};
        Settings read;
        ASSERT_TRUE(read_settings(settings_bytes(s), read));
        ASSERT_TRUE(extract_embedded_files(read, folder.path()));
        EXPECT_TRUE(read.help_file.path.empty() || read.help_file.path.find(folder.path()) == 0) << name;
        EXPECT_FALSE(std::filesystem::exists(folder.path() + "../up"));
    }
    // A name with folders keeps only its bare name, inside the folder.
    Settings s;
    s.help_file = EmbeddedFile{"docs\\manual.chm", bytes_of("m")};
    ASSERT_TRUE(extract_embedded_files(s, folder.path()));
    EXPECT_EQ(s.help_file.path, folder.file("manual.chm"));
}

TEST(MaskList, RoundTripsAndWritesOnlyMasksWithBytes) {
    TestFolder folder;
    std::vector<MaskEntry> masks = {{"round", bytes_of("region")}, {"empty", {}}, {"..", bytes_of("no")},
                                    {"star", bytes_of("points")}};
    std::vector<MaskEntry> read;
    ASSERT_TRUE(read_mask_list(mask_list_bytes(masks), read));
    EXPECT_EQ(read, masks);
    std::string error;
    EXPECT_EQ(extract_masks(read, folder.path(), error), (std::vector<std::string>{"round", "star"}));
    EXPECT_TRUE(error.empty());
    EXPECT_TRUE(folder.exists("round.msk"));
    EXPECT_FALSE(folder.exists("empty.msk"));

    // A zero count: no masks, no files.
    TestFolder none;
    ASSERT_TRUE(read_mask_list(mask_list_bytes({}), read));
    EXPECT_TRUE(read.empty());
    EXPECT_TRUE(extract_masks(read, none.path(), error).empty());
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(none.file(""))));
}

TEST(MaskList, CutShortOrLyingCountsGiveNoMasks) {
    std::vector<uint8_t> bytes = mask_list_bytes({{"a", bytes_of("1234")}, {"b", bytes_of("5678")}});
    std::vector<MaskEntry> read;
    for (size_t length = 0; length < bytes.size(); ++length) {
        EXPECT_FALSE(read_mask_list(std::span(bytes).first(length), read));
        EXPECT_TRUE(read.empty());
    }
    bytes[3] = 0x40;  // a count of about a billion
    EXPECT_FALSE(read_mask_list(bytes, read));
}

TEST(MovieList, StoredEntriesAreWrittenIntoTheRunFolder) {
    TestFolder run;
    MovieListItem item{movie_flags::stored, {{movie_kind::movie, "intro.swf", bytes_of("FWS1")},
                                             {movie_kind::plug_in, "plugin.dll", bytes_of("MZ")},
                                             {movie_kind::movie, "../escape.swf", bytes_of("FWS2")},
                                             {movie_kind::movie, "main.swf", bytes_of("FWS3")}}};
    MovieListItem read;
    ASSERT_TRUE(read_movie_list(movie_list_bytes(item), read));
    EXPECT_EQ(read, item);

    MovieList list;
    std::string error;
    load_movie_list(read, run.path(), "/nowhere/", list, error);
    EXPECT_TRUE(error.empty());
    ASSERT_EQ(list.movies.size(), 3u);
    EXPECT_EQ(list.movies[0], (MovieNode{run.file("intro.swf"), movie_kind::movie}));
    EXPECT_EQ(list.movies[1], (MovieNode{run.file("Plug_Ins/plugin.dll"), movie_kind::plug_in}));
    EXPECT_TRUE(run.exists("Plug_Ins/plugin.dll"));
    EXPECT_EQ(pick_start_movie(list), run.file("intro.swf"));
}

TEST(MovieList, WithoutStoredBytesNamesAreResolvedBesideTheExecutable) {
    MovieListItem item{movie_flags::random_start,
                       {{movie_kind::movie, "a.swf", {}}, {movie_kind::plug_in, "p.dll", {}},
                        {movie_kind::movie, "movies\\b.swf", {}}, {movie_kind::movie, "C:\\x.swf", {}}}};
    std::vector<uint8_t> bytes = movie_list_bytes(item);
    EXPECT_EQ(bytes.size(), 8u + 4 * 4 + (4 + 12) + (4 + 12) + (4 + 26) + (4 + 18));
    MovieListItem read;
    ASSERT_TRUE(read_movie_list(bytes, read));
    MovieList list;
    std::string error;
    load_movie_list(read, "/run/", "/exe", list, error);
    ASSERT_EQ(list.movies.size(), 2u);  // the plug-in is ignored, the drive-letter name refused
    EXPECT_EQ(list.movies[0].path, join_path("/exe", "a.swf"));
    EXPECT_EQ(list.movies[1].path, join_path("/exe", "movies/b.swf"));
    // Random start: the index is the random number modulo the count.
    EXPECT_EQ(pick_start_movie(list, [] { return 5u; }), list.movies[1].path);
    EXPECT_EQ(pick_start_movie(list, [] { return 4u; }), list.movies[0].path);
    EXPECT_EQ(pick_start_movie(MovieList{}), "");
}

TEST(MovieList, CutShortListsAreEmpty) {
    std::vector<uint8_t> bytes =
        movie_list_bytes(MovieListItem{movie_flags::stored, {{movie_kind::movie, "m.swf", bytes_of("FWS")}}});
    MovieListItem read;
    for (size_t length = 0; length < bytes.size(); ++length) {
        EXPECT_FALSE(read_movie_list(std::span(bytes).first(length), read));
        EXPECT_TRUE(read.entries.empty());
    }
}

}  // namespace
}  // namespace tarpon::appdata
