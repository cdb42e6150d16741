#include "projector/player_host/movie_header.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <zlib.h>

#include "player/swf/swf_writer.h"

namespace tarpon::projector {
namespace {

using Bytes = std::vector<uint8_t>;

swf::MovieWriter sample_movie(int frames = 3) {
    swf::MovieWriter movie(320, 240, 12.5);
    movie.background(0x336699);
    for (int i = 0; i < frames; ++i) {
        movie.show_frame();
    }
    return movie;
}

void append_u32(Bytes& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

// A plain movie whose frame rectangle is written bit by bit, with edges in twips that do not fall
// on whole pixels.
Bytes movie_with_frame(int32_t x_min, int32_t x_max, int32_t y_min, int32_t y_max) {
    const int field_bits = 16;
    std::vector<bool> bits;
    auto put = [&](uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            bits.push_back(((value >> i) & 1u) != 0);
        }
    };
    put(field_bits, 5);
    for (int32_t edge : {x_min, x_max, y_min, y_max}) {
        put(static_cast<uint32_t>(edge) & 0xFFFFu, field_bits);
    }
    Bytes bytes = {'F', 'W', 'S', 6, 0, 0, 0, 0};
    for (size_t i = 0; i < bits.size(); i += 8) {
        uint8_t byte = 0;
        for (size_t j = 0; j < 8; ++j) {
            byte = static_cast<uint8_t>(byte << 1 | (i + j < bits.size() && bits[i + j] ? 1 : 0));
        }
        bytes.push_back(byte);
    }
    bytes.insert(bytes.end(), {0x80, 24, 1, 0, 0, 0});  // 24.5 frames a second, 1 frame, End
    uint32_t length = static_cast<uint32_t>(bytes.size());
    for (int i = 0; i < 4; ++i) {
        bytes[4 + i] = static_cast<uint8_t>(length >> (8 * i));
    }
    return bytes;
}

TEST(MovieHeader, PlainAndCompressedMoviesGiveTheSameFigures) {
    swf::MovieWriter movie = sample_movie();
    for (bool compressed : {false, true}) {
        Bytes bytes = movie.finish(compressed);
        std::optional<MovieHeader> header = read_movie_header(bytes);
        ASSERT_TRUE(header) << "compressed " << compressed;
        EXPECT_EQ(header->version, 6);
        EXPECT_EQ(header->width(), 320);
        EXPECT_EQ(header->height(), 240);
        EXPECT_EQ(header->frame_rate, 12);
        EXPECT_EQ(header->frame_count, 3);
        EXPECT_EQ(header->background, 0x336699);
        EXPECT_EQ(header->length, movie.finish(false).size());
    }
}

TEST(MovieHeader, EdgesInTwipsAreTruncatedToWholePixels) {
    std::optional<MovieHeader> header = read_movie_header(movie_with_frame(-30, 6419, 19, 4810));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->x_min, -1);
    EXPECT_EQ(header->x_max, 320);
    EXPECT_EQ(header->y_min, 0);
    EXPECT_EQ(header->y_max, 240);
    EXPECT_EQ(header->frame_rate, 24);
    EXPECT_EQ(header->frame_count, 1);
    EXPECT_EQ(header->background, -1);
}

TEST(MovieHeader, TheFirstBackgroundTagIsFoundAfterOtherTagsOfEitherLengthForm) {
    for (bool compressed : {false, true}) {
        swf::MovieWriter movie(100, 50);
        const Bytes long_body(5000, 0xAB);
        const Bytes short_body(10, 0x09);  // bytes that look like a background tag's code
        movie.tag(56, long_body);          // long by its size
        movie.tag(56, short_body, true);   // long by choice
        movie.tag(56, short_body);
        movie.background(0x102030);
        movie.background(0x405060);
        movie.show_frame();
        std::optional<MovieHeader> header = read_movie_header(movie.finish(compressed));
        ASSERT_TRUE(header) << "compressed " << compressed;
        EXPECT_EQ(header->background, 0x102030) << "compressed " << compressed;
        EXPECT_EQ(header->width(), 100);
    }
}

TEST(MovieHeader, AMovieWithoutBackgroundGivesMinusOne) {
    swf::MovieWriter movie(20, 20);
    movie.show_frame();
    Bytes bytes = movie.finish();
    std::optional<MovieHeader> header = read_movie_header(bytes);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->background, -1);
    // A background after the End tag is never reached.
    bytes.insert(bytes.end(), {0x43, 0x02, 0x11, 0x22, 0x33});
    header = read_movie_header(bytes);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->background, -1);
}

TEST(MovieHeader, CutOrBrokenHeadersGiveNothing) {
    const Bytes plain = sample_movie().finish(false);
    // Signature and length, the rectangle (14-bit fields: 8 bytes), rate and count.
    const size_t header_end = 8 + 8 + 4;
    for (size_t size = 0; size < header_end; ++size) {
        EXPECT_FALSE(read_movie_header(std::span(plain.data(), size))) << "size " << size;
    }
    // Cut inside the background tag: the header is there, the background is not.
    std::optional<MovieHeader> cut = read_movie_header(std::span(plain.data(), header_end + 3));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->width(), 320);
    EXPECT_EQ(cut->background, -1);

    Bytes wrong = plain;
    wrong[0] = 'Z';
    EXPECT_FALSE(read_movie_header(wrong));

    const Bytes compressed = sample_movie().finish(true);
    Bytes corrupt = compressed;
    for (size_t i = 10; i < corrupt.size(); ++i) {
        corrupt[i] ^= 0x5A;
    }
    EXPECT_FALSE(read_movie_header(corrupt));
    EXPECT_FALSE(read_movie_header(std::span(compressed.data(), 12)));
    // A stated length too short for the header bounds what is inflated.
    Bytes understated = compressed;
    understated[4] = 12;
    understated[5] = understated[6] = understated[7] = 0;
    EXPECT_FALSE(read_movie_header(understated));
}

// A movie whose first tag claims 4 GiB, followed by a background the walk must not reach.
Bytes hostile_body() {
    swf::MovieWriter movie(10, 10);
    movie.show_frame();
    Bytes bytes = movie.finish(false);
    Bytes hostile(bytes.begin(), bytes.end() - 4);  // without ShowFrame and End
    hostile.push_back(0x3F);
    hostile.push_back(0x0E);  // code 56, long form
    append_u32(hostile, 0xFFFFFFFFu);
    hostile.insert(hostile.end(), {0x43, 0x02, 1, 2, 3, 0, 0});
    return hostile;
}

TEST(MovieHeader, HostileTagLengthsEndTheWalkWithoutBackground) {
    Bytes plain = hostile_body();
    for (int i = 0; i < 4; ++i) {
        plain[4 + i] = static_cast<uint8_t>(plain.size() >> (8 * i));
    }
    std::optional<MovieHeader> header = read_movie_header(plain);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->width(), 10);
    EXPECT_EQ(header->background, -1);

    // Compressed, and stating the largest length: inflating stops where the stream ends.
    uLongf packed_size = compressBound(static_cast<uLong>(plain.size()));
    Bytes packed(packed_size);
    ASSERT_EQ(compress(packed.data(), &packed_size, plain.data() + 8, static_cast<uLong>(plain.size() - 8)), Z_OK);
    Bytes compressed = {'C', 'W', 'S', 6, 0xFF, 0xFF, 0xFF, 0xFF};
    compressed.insert(compressed.end(), packed.begin(), packed.begin() + static_cast<ptrdiff_t>(packed_size));
    header = read_movie_header(compressed);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->width(), 10);
    EXPECT_EQ(header->background, -1);
}

TEST(AppendedMovie, TheMovieIsFoundBeforeItsLengthAtTheEnd) {
    const Bytes movie = sample_movie().finish(true);
    Bytes file = {'M', 'Z', 0x90, 0, 3, 0, 0, 0};
    file.resize(4096, 0xCC);
    file.insert(file.end(), movie.begin(), movie.end());
    append_u32(file, 0xFA123456u);
    append_u32(file, static_cast<uint32_t>(movie.size()));

    std::optional<std::span<const uint8_t>> found = appended_movie(file);
    ASSERT_TRUE(found);
    EXPECT_EQ(Bytes(found->begin(), found->end()), movie);
    std::optional<MovieHeader> header = read_movie_header(*found);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->width(), 320);
    EXPECT_EQ(header->background, 0x336699);

    // The length must leave room for itself and the word before it, and point at a movie.
    Bytes too_long = file;
    too_long[too_long.size() - 4] = 0xFF;
    too_long[too_long.size() - 3] = 0xFF;
    EXPECT_FALSE(appended_movie(too_long));
    Bytes off_by_one = file;
    off_by_one[off_by_one.size() - 4] = static_cast<uint8_t>(movie.size() + 1);
    EXPECT_FALSE(appended_movie(off_by_one));
    Bytes zero = file;
    std::fill(zero.end() - 4, zero.end(), 0);
    EXPECT_FALSE(appended_movie(zero));
    EXPECT_FALSE(appended_movie(Bytes{1, 2, 3, 4, 5, 6, 7}));
    Bytes whole_file_is_length(8, 0);
    EXPECT_FALSE(appended_movie(whole_file_is_length));
    // An exe without a movie: its last word is no movie's length.
    Bytes plain_exe(file.begin(), file.begin() + 4096);
    EXPECT_FALSE(appended_movie(plain_exe));
}

}  // namespace
}  // namespace tarpon::projector
