// The resource reader and writer on images made in memory: what is written reads back in the order
// the loader searches, the headers of the written image stay consistent, appended data follows the
// new section, and malformed input gives an error instead of a crash.
#include "projector/pe/resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/projector/pe/test_image.h"

namespace tarpon::pe {
namespace {

using test::bytes_of;
using test::get16;
using test::get32;
using test::make_image;

Resource item(ResourceName type, ResourceName name, uint16_t language, std::string_view data,
              uint32_t code_page = 0) {
    return Resource{std::move(type), std::move(name), language, code_page, bytes_of(data)};
}

std::string describe(const Resource& resource) {
    const auto text = [](const ResourceName& name) {
        if (name.text.empty()) {
            return std::to_string(name.id);
        }
        return std::string(name.text.begin(), name.text.end()); // the tests use ASCII names
    };
    return text(resource.type) + "/" + text(resource.name) + "/" + std::to_string(resource.language) + "=" +
           std::string(resource.data.begin(), resource.data.end());
}

std::vector<std::string> describe_all(const std::vector<Resource>& resources) {
    std::vector<std::string> lines;
    for (const Resource& resource : resources) {
        lines.push_back(describe(resource));
    }
    return lines;
}

std::vector<Resource> sample_resources() {
    return {
        item(ResourceName::named(u"TARPON"), ResourceName::named(u"ST"), 0, "settings"),
        item(ResourceName::number(16), ResourceName::number(1), 0x409, "version", 1200),
        item(ResourceName::named(u"tarpon"), ResourceName::named(u"ml"), 0, "movies"),
        item(ResourceName::number(3), ResourceName::number(2), 0x409, "icon two"),
        item(ResourceName::number(3), ResourceName::number(1), 0x409, "icon one"),
        item(ResourceName::named(u"QUILL"), ResourceName::named(u"MAIN"), 0x407, "german"),
        item(ResourceName::named(u"QUILL"), ResourceName::named(u"MAIN"), 0x409, "english"),
        item(ResourceName::named(u"Quill"), ResourceName::number(7), 0, ""),
    };
}

class RoundTrip : public testing::TestWithParam<bool> {};

TEST_P(RoundTrip, ReadsBackInTheLoadersOrderWithConsistentHeaders) {
    test::ImageShape shape;
    shape.pe32_plus = GetParam();
    const auto stub = with_overlay(make_image(shape), bytes_of("appended archive"));
    const WriteResult written = write_resources(stub, sample_resources());
    ASSERT_EQ(written.error, "");
    const std::vector<uint8_t>& image = written.image;

    const ReadResult read = read_resources(image);
    ASSERT_EQ(read.error, "");
    // Named types and names first (upper-case, in code-unit order), then numbers ascending; languages
    // ascending.
    EXPECT_EQ(describe_all(read.resources), (std::vector<std::string>{
                                                "QUILL/MAIN/1031=german",
                                                "QUILL/MAIN/1033=english",
                                                "QUILL/7/0=",
                                                "TARPON/ML/0=movies",
                                                "TARPON/ST/0=settings",
                                                "3/1/1033=icon one",
                                                "3/2/1033=icon two",
                                                "16/1/1033=version",
                                            }));
    EXPECT_EQ(read.resources[7].code_page, 1200u);

    const auto tail = overlay(image);
    EXPECT_EQ(std::string(tail.begin(), tail.end()), "appended archive");

    // One more section, last in memory and in the file, aligned, and named by the resource directory.
    const bool plus = shape.pe32_plus;
    ASSERT_EQ(get16(image, test::coff_offset + 2), 2);
    const size_t header = test::section_table(plus) + 40;
    const uint32_t virtual_size = get32(image, header + 8);
    const uint32_t rva = get32(image, header + 12);
    const uint32_t raw_size = get32(image, header + 16);
    const uint32_t raw_pointer = get32(image, header + 20);
    EXPECT_EQ(rva, 2 * shape.section_alignment);
    EXPECT_EQ(raw_pointer % shape.file_alignment, 0u);
    EXPECT_EQ(raw_size % shape.file_alignment, 0u);
    EXPECT_GE(raw_size, virtual_size);
    EXPECT_EQ(raw_pointer + raw_size + tail.size(), image.size());
    EXPECT_EQ(get32(image, test::directory_offset(plus, 2)), rva);
    EXPECT_EQ(get32(image, test::directory_offset(plus, 2) + 4), virtual_size);
    const uint32_t size_of_image = get32(image, test::optional_offset + 56);
    EXPECT_EQ(size_of_image % shape.section_alignment, 0u);
    EXPECT_GE(size_of_image, rva + virtual_size);
    EXPECT_LT(size_of_image - shape.section_alignment, rva + virtual_size);
    // Every resource's bytes start on an 8-byte boundary.
    for (const Resource& resource : read.resources) {
        const auto at =
            std::search(image.begin() + raw_pointer, image.end(), resource.data.begin(), resource.data.end());
        if (!resource.data.empty()) {
            EXPECT_EQ((at - image.begin()) % 8, 0) << describe(resource);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, RoundTrip, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "pe32_plus" : "pe32";
                         });

// Names are compared unit by unit, so "_" (0x5F) sorts after the letters and a prefix first; a
// linguistic order would put "B_" first and leave it unfindable for the loader's binary search.
TEST(ResourceWriter, SortsNamesByCodeUnit) {
    std::vector<Resource> resources;
    for (const char16_t* name : {u"B_", u"b", u"BA", u"A", u"AB", u"\u00C4"}) {
        resources.push_back(item(ResourceName::named(u"T"), ResourceName::named(name), 0, "x"));
    }
    resources.push_back(item(ResourceName::named(u"T"), ResourceName::number(300), 0, "x"));
    resources.push_back(item(ResourceName::named(u"T"), ResourceName::number(2), 0, "x"));
    const WriteResult written = write_resources(make_image(), resources);
    ASSERT_EQ(written.error, "");
    const ReadResult read = read_resources(written.image);
    ASSERT_EQ(read.error, "");
    std::vector<std::u16string> names;
    for (const Resource& resource : read.resources) {
        names.push_back(resource.name.text.empty()
                            ? u"#" + std::u16string(1, char16_t(u'0' + resource.name.id % 10))
                            : resource.name.text);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"A", u"AB", u"B", u"BA", u"B_", u"\u00C4", u"#2", u"#0"}));
}

TEST(ResourceWriter, RefusesResourcesTheLoaderCouldNotTellApart) {
    const auto stub = make_image();
    const std::vector<Resource> same_after_upper_casing = {
        item(ResourceName::named(u"TARPON"), Resource{}.name, 0, "a"),
        Resource{ResourceName::named(u"TARPON"), ResourceName{}, 0, 0, {}},
    };
    EXPECT_EQ(write_resources(stub, same_after_upper_casing).error,
              "two resources have the same type, name and language");
    Resource lower;
    lower.type.text = u"tarpon"; // not through named(): the writer upper-cases it anyway
    lower.name = ResourceName::named(u"ST");
    EXPECT_NE(write_resources(
                  stub, {{item(ResourceName::named(u"TARPON"), ResourceName::named(u"ST"), 0, "a"), lower}})
                  .error,
              "");
    // The same name in two languages is two resources.
    EXPECT_EQ(write_resources(stub, {{item(ResourceName::named(u"T"), ResourceName::named(u"N"), 1, "a"),
                                      item(ResourceName::named(u"T"), ResourceName::named(u"N"), 2, "b")}})
                  .error,
              "");
}

// A second write replaces the section the first one added instead of adding another, so rebuilding
// an executable does not grow it; what the stub had is kept when it is passed back in.
TEST(ResourceWriter, RewritingReplacesItsOwnSection) {
    const auto stub = with_overlay(make_image(), bytes_of("tail"));
    const WriteResult first = write_resources(stub, sample_resources());
    ASSERT_EQ(first.error, "");
    ReadResult read = read_resources(first.image);
    read.resources.push_back(item(ResourceName::named(u"TARPON"), ResourceName::named(u"FP"), 0, "player"));
    const WriteResult second = write_resources(first.image, read.resources);
    ASSERT_EQ(second.error, "");
    EXPECT_EQ(get16(second.image, test::coff_offset + 2), 2);
    const ReadResult again = read_resources(second.image);
    ASSERT_EQ(again.error, "");
    EXPECT_EQ(again.resources.size(), sample_resources().size() + 1);
    ASSERT_NE(find_resource(again.resources, ResourceName::named(u"TARPON"), ResourceName::named(u"FP")),
              nullptr);
    const auto tail = overlay(second.image);
    EXPECT_EQ(std::string(tail.begin(), tail.end()), "tail");

    // An empty resource last in the tree points at the section's end; it still reads.
    const WriteResult empty_last =
        write_resources(second.image, {{item(ResourceName::number(24), ResourceName::number(1), 0, "")}});
    ASSERT_EQ(empty_last.error, "");
    EXPECT_EQ(describe_all(read_resources(empty_last.image).resources), std::vector<std::string>{"24/1/0="});

    // Writing nothing leaves an empty tree that still reads.
    const WriteResult empty = write_resources(second.image, {});
    ASSERT_EQ(empty.error, "");
    const ReadResult none = read_resources(empty.image);
    EXPECT_EQ(none.error, "");
    EXPECT_TRUE(none.resources.empty());
}

TEST(ResourceWriter, ChecksumMatchesTheSystemsSum) {
    const WriteResult written = write_resources(make_image(), sample_resources());
    ASSERT_EQ(written.error, "");
    // The sum of all 16-bit words with the checksum field taken as zero, folded, plus the length.
    std::vector<uint8_t> image = written.image;
    const size_t field = test::optional_offset + 64;
    const uint32_t stored = get32(image, field);
    test::put32(image, field, 0);
    uint32_t sum = 0;
    for (size_t i = 0; i < image.size(); i += 2) {
        sum += get16(image, i);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    EXPECT_EQ(stored, sum + image.size());
}

TEST(ResourceWriter, NeedsRoomForTheNewSectionHeader) {
    // Headers that end right after the section table.
    test::ImageShape shape;
    shape.file_alignment = 0x10;
    shape.section_alignment = 0x10;
    shape.size_of_headers = static_cast<uint32_t>(test::section_table(true) + 40);
    const WriteResult written = write_resources(make_image(shape), sample_resources());
    EXPECT_EQ(written.error, "the image's headers have no room for another section");
    EXPECT_TRUE(written.image.empty());

    // Bytes already lying after the section table are never overwritten.
    auto image = make_image();
    image[test::section_table(true) + 40 + 12] = 1;
    EXPECT_EQ(write_resources(image, sample_resources()).error,
              "the image's headers have no room for another section");
}

TEST(ResourceLookup, FindsAsTheLoaderDoes) {
    const auto resources = sample_resources();
    const WriteResult written = write_resources(make_image(), resources);
    const ReadResult read = read_resources(written.image);
    ASSERT_EQ(read.error, "");
    const auto found = [&](ResourceName type, ResourceName name) {
        const Resource* resource = find_resource(read.resources, type, name);
        return resource == nullptr ? std::string("none") : describe(*resource);
    };
    // Names are asked for in any case; any language will do, the first one stored is taken.
    EXPECT_EQ(found(ResourceName::named(u"tarpon"), ResourceName::named(u"St")), "TARPON/ST/0=settings");
    EXPECT_EQ(found(ResourceName::named(u"QUILL"), ResourceName::named(u"MAIN")), "QUILL/MAIN/1031=german");
    // "#7" names number 7.
    EXPECT_EQ(found(ResourceName::named(u"quill"), ResourceName::named(u"#7")), "QUILL/7/0=");
    EXPECT_EQ(found(ResourceName::number(3), ResourceName::number(2)), "3/2/1033=icon two");
    EXPECT_EQ(found(ResourceName::named(u"TARPON"), ResourceName::named(u"BK")), "none");
    EXPECT_EQ(found(ResourceName::named(u"#3"), ResourceName::named(u"#x")), "none");
}

TEST(ResourceReader, ImagesWithoutResourcesAndNonImages) {
    const ReadResult none = read_resources(make_image());
    EXPECT_EQ(none.error, "");
    EXPECT_TRUE(none.resources.empty());
    EXPECT_EQ(read_resources(bytes_of("MZ but nothing more")).error, "not an executable (no MZ header)");
    EXPECT_NE(read_resources({}).error, "");
    EXPECT_NE(write_resources(bytes_of("plain text, not an image"), sample_resources()).error, "");
    EXPECT_TRUE(overlay(bytes_of("plain text")).empty());
    // Without readable headers all of the file counts as the image.
    EXPECT_EQ(with_overlay(bytes_of("ab"), bytes_of("cd")), bytes_of("abcd"));
}

// A tree that points back at itself, or at one data entry from many places, would make a reader
// loop or copy the same bytes without end.
TEST(ResourceReader, RefusesTreesThatRevisitThemselves) {
    const WriteResult written = write_resources(make_image(), sample_resources());
    ASSERT_EQ(written.error, "");
    const size_t header = test::section_table(true) + 40;
    const size_t root = get32(written.image, header + 20);

    auto looping = written.image;
    test::put32(looping, root + 16 + 4, 0x80000000); // the first type's directory is the root
    EXPECT_EQ(read_resources(looping).error, "a resource directory is reached twice");

    // Both numbered types lead to the same name directory.
    auto shared = written.image;
    const uint16_t named = get16(shared, root + 12);
    const uint16_t numbered = get16(shared, root + 14);
    ASSERT_EQ(numbered, 2);
    const size_t first_id = root + 16 + 8 * named;
    test::put32(shared, first_id + 8 + 4, get32(shared, first_id + 4));
    EXPECT_EQ(read_resources(shared).error, "a resource directory is reached twice");

    // A data entry whose size runs past its section.
    auto oversized = written.image;
    const ReadResult read = read_resources(written.image);
    const size_t data_entry =
        static_cast<size_t>(std::search(oversized.begin() + root, oversized.end(),
                                        read.resources[0].data.begin(), read.resources[0].data.end()) -
                            oversized.begin());
    ASSERT_LT(data_entry, oversized.size());
    for (size_t entry = root; entry + 16 <= data_entry; entry += 4) {
        if (get32(oversized, entry) == get32(written.image, header + 12) + (data_entry - root) &&
            get32(oversized, entry + 4) == read.resources[0].data.size()) {
            test::put32(oversized, entry + 4, 0xFFFFFFF0);
        }
    }
    EXPECT_NE(read_resources(oversized).error, "");
}

// Every truncation and a few thousand random mutations of a written image: the reader either reads
// or reports an error, and what it reads can be written again.
TEST(ResourceReader, SurvivesTruncationAndMutation) {
    const WriteResult written =
        write_resources(with_overlay(make_image(), bytes_of("TAIL")), sample_resources());
    ASSERT_EQ(written.error, "");
    const std::vector<uint8_t>& image = written.image;
    for (size_t length = 0; length < image.size(); ++length) {
        const std::span<const uint8_t> cut(image.data(), length);
        const ReadResult read = read_resources(cut);
        if (read.error.empty()) {
            (void)write_resources(cut, read.resources);
        }
        (void)overlay(cut);
    }
    std::mt19937 random(20261209);
    const size_t header_end = 0x400;
    const size_t tree = get32(image, test::section_table(true) + 40 + 20);
    size_t read_ok = 0;
    for (int round = 0; round < 4000; ++round) {
        auto mutated = image;
        const int changes = 1 + static_cast<int>(random() % 4);
        std::string where;
        for (int i = 0; i < changes; ++i) {
            // Half the changes hit the headers, half the tree's directories and entries.
            const size_t at = random() % 2 == 0 ? random() % header_end : tree + random() % 0x120;
            mutated[at] = static_cast<uint8_t>(random());
            where += std::to_string(at) + ":" + std::to_string(mutated[at]) + " ";
        }
        const ReadResult read = read_resources(mutated);
        if (read.error.empty()) {
            ++read_ok;
            const WriteResult again = write_resources(mutated, read.resources);
            if (again.error.empty()) {
                const ReadResult reread = read_resources(again.image);
                EXPECT_EQ(reread.error, "") << where;
                EXPECT_EQ(reread.resources.size(), read.resources.size());
            }
        }
    }
    EXPECT_GT(read_ok, 0u);
}

} // namespace
} // namespace tarpon::pe
