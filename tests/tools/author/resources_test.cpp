// What the tool makes of pictures and fields: masks, the version resource, the application icon.
#include <gtest/gtest.h>

#include <algorithm>

#include "projector/appdata/record_stream.h"
#include "tools/author/icon_resource.h"
#include "tools/author/mask_image.h"
#include "tools/author/version_resource.h"

namespace tarpon::author {
namespace {

struct Rect {
    int32_t left, top, right, bottom;
    bool operator==(const Rect&) const = default;
};

std::vector<Rect> rects_of(const std::vector<uint8_t>& mask) {
    EXPECT_EQ(check_mask_file(mask), "");
    appdata::RecordReader in(mask);
    in.u32();
    in.u32();
    in.u32();
    uint32_t count = in.u32();
    in.u32();
    in.bytes(16);
    std::vector<Rect> rects;
    for (uint32_t i = 0; i < count; ++i) {
        Rect r{in.i32(), in.i32(), in.i32(), in.i32()};
        rects.push_back(r);
    }
    EXPECT_TRUE(in.ok() && in.at_end());
    return rects;
}

// A 24-bit bottom-up BMP of the pixels (0x00RRGGBB per pixel, rows from the top).
std::vector<uint8_t> bmp(int width, int height, const std::vector<uint32_t>& pixels) {
    int stride = (width * 3 + 3) / 4 * 4;
    appdata::RecordWriter out;
    out.u8('B');
    out.u8('M');
    out.u32(uint32_t(54 + stride * height));
    out.u32(0);
    out.u32(54);
    out.u32(40);
    out.i32(width);
    out.i32(height);
    out.u16(1);
    out.u16(24);
    for (int i = 0; i < 6; ++i) {
        out.u32(0);
    }
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            uint32_t p = pixels[size_t(y * width + x)];
            out.u8(uint8_t(p));
            out.u8(uint8_t(p >> 8));
            out.u8(uint8_t(p >> 16));
        }
        for (int pad = width * 3; pad < stride; ++pad) {
            out.u8(0);
        }
    }
    return out.take();
}

TEST(Masks, RowsWithTheSameRunsShareRectangles) {
    // Two rows of one run, then a row of two runs.
    auto mask = mask_from_pixels(6, 3, [](int x, int y) { return y < 2 ? x >= 1 && x < 5 : x == 0 || x == 5; });
    EXPECT_EQ(rects_of(mask), (std::vector<Rect>{{1, 0, 5, 2}, {0, 2, 1, 3}, {5, 2, 6, 3}}));
    EXPECT_TRUE(rects_of(mask_from_pixels(3, 3, [](int, int) { return false; })).empty());
}

TEST(Masks, FromABitmapByKeyColour) {
    const uint32_t key = 0xFF00FF, ink = 0x000000;
    std::vector<uint32_t> pixels = {key, key, key, key, ink, ink, key, ink, key};
    MaskResult made = mask_from_image(bmp(3, 3, pixels), std::nullopt);  // key: the top-left pixel
    ASSERT_EQ(made.error, "");
    EXPECT_EQ(rects_of(made.mask), (std::vector<Rect>{{1, 1, 3, 2}, {1, 2, 2, 3}}));
    // With the ink as key colour the picture is inverted.
    made = mask_from_image(bmp(3, 3, pixels), 0x000000);
    EXPECT_EQ(rects_of(made.mask), (std::vector<Rect>{{0, 0, 3, 1}, {0, 1, 1, 2}, {0, 2, 1, 3}, {2, 2, 3, 3}}));
    EXPECT_NE(mask_from_image(std::vector<uint8_t>{'B', 'M', 1, 2}, std::nullopt).error, "");
}

TEST(Masks, MaskFilesAreChecked) {
    auto mask = mask_from_pixels(2, 2, [](int, int) { return true; });
    EXPECT_EQ(check_mask_file(mask), "");
    EXPECT_NE(check_mask_file(std::span(mask).first(mask.size() - 1)), "");
    auto lying = mask;
    lying[12] = 9;  // nine rectangles in the space of one
    EXPECT_NE(check_mask_file(lying), "");
}

std::u16string utf16(const std::vector<uint8_t>& bytes) {
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(char16_t(bytes[i] | bytes[i + 1] << 8));
    }
    return text;
}

TEST(VersionResource, CarriesTheAboutFieldsAndTheNumbers) {
    appdata::Settings s;
    s.title = "Show";
    s.company = "Acme";
    s.version = "2.5.1";
    std::vector<uint8_t> block = version_resource(s);
    EXPECT_EQ(size_t(block[0] | block[1] << 8), block.size());
    std::u16string text = utf16(block);
    for (const char16_t* piece : {u"VS_VERSION_INFO", u"ProductName", u"Show", u"CompanyName", u"Acme", u"2.5.1",
                                  u"Translation"}) {
        EXPECT_NE(text.find(piece), std::u16string::npos);
    }
    EXPECT_EQ(text.find(u"FileDescription"), std::u16string::npos);  // absent fields are left out
    // The fixed part: signature, then the file version 2.5.1.0.
    const uint8_t signature[] = {0xBD, 0x04, 0xEF, 0xFE};
    auto at = std::search(block.begin(), block.end(), std::begin(signature), std::end(signature));
    ASSERT_NE(at, block.end());
    size_t offset = size_t(at - block.begin());
    EXPECT_EQ(offset % 4, 0u);
    EXPECT_EQ(block[offset + 8], 5);
    EXPECT_EQ(block[offset + 10], 2);
    EXPECT_EQ(block[offset + 14], 1);
}

TEST(Icon, ReplacesTheApplicationGroupAndReadsBack) {
    // An .ico with two images.
    appdata::RecordWriter ico;
    ico.u16(0);
    ico.u16(1);
    ico.u16(2);
    std::vector<uint8_t> first(40, 1), second(60, 2);
    uint32_t offset = 6 + 32;
    for (const auto* image : {&first, &second}) {
        ico.bytes(std::vector<uint8_t>{16, 16, 0, 0, 1, 0, 32, 0});
        ico.u32(uint32_t(image->size()));
        ico.u32(offset);
        offset += uint32_t(image->size());
    }
    ico.bytes(first);
    ico.bytes(second);

    std::vector<pe::Resource> resources;
    pe::Resource old_image{pe::ResourceName::number(3), pe::ResourceName::number(1), 0x409, 0, {9}};
    pe::Resource other_image{pe::ResourceName::number(3), pe::ResourceName::number(2), 0x409, 0, {8}};
    appdata::RecordWriter group;
    group.u16(0);
    group.u16(1);
    group.u16(1);
    group.bytes(std::vector<uint8_t>{16, 16, 0, 0, 1, 0, 32, 0, 1, 0, 0, 0});
    group.u16(1);
    pe::Resource old_group{pe::ResourceName::number(14), pe::ResourceName::number(128), 0x409, 0, group.take()};
    resources = {old_image, other_image, old_group};

    ASSERT_EQ(replace_icon(resources, ico.data()), "");
    // The old group and its image are gone; the unrelated image stays; new images get fresh ids.
    EXPECT_EQ(resources.size(), 4u);
    EXPECT_EQ(resources[0].name.id, 2);
    EXPECT_EQ(resources[1].name.id, 3);
    EXPECT_EQ(resources[3].language, 0x409);
    EXPECT_EQ(icon_file(resources), ico.data());
    EXPECT_NE(replace_icon(resources, std::vector<uint8_t>{0, 0, 1, 0}), "");
}

}  // namespace
}  // namespace tarpon::author
