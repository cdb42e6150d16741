// The appended archive and getting additional files from it: extraction, reuse, corruption, names
// that would leave the folder, and an executable without an archive.
#include "projector/appdata/archive.h"

#include <gtest/gtest.h>

#include <fstream>

#include "projector/appdata/additional_files.h"
#include "projector/appdata/item_source.h"
#include "test_folder.h"

namespace tarpon::appdata {
namespace {

using testing::TestFolder;

std::vector<uint8_t> bytes_of(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

ArchiveNode file(std::string name, std::string_view content) { return ArchiveNode{false, std::move(name), bytes_of(content), {}}; }
ArchiveNode folder(std::string name, std::vector<ArchiveNode> children) {
    return ArchiveNode{true, std::move(name), {}, std::move(children)};
}

// An "executable": some image bytes, the archive and its trailer.
std::vector<uint8_t> executable_with(const std::vector<ArchiveNode>& root) {
    std::vector<uint8_t> exe = bytes_of("MZ image bytes");
    std::vector<uint8_t> archive = archive_bytes(root);
    exe.insert(exe.end(), archive.begin(), archive.end());
    std::vector<uint8_t> trailer = archive_trailer(uint32_t(archive.size()));
    exe.insert(exe.end(), trailer.begin(), trailer.end());
    return exe;
}

std::string big_text() {
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text += std::to_string(i * 31 % 977);  // several 4096-byte steps in and out
    }
    return text;
}

std::vector<ArchiveNode> sample_tree() {
    return {file("readme.txt", "read me"),
            folder("Data", {file("big.bin", big_text()), folder("Deep", {file("leaf.txt", "leaf")})}),
            file("..", "escape"), file("NUL", "device")};
}

std::string content(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Archive, ReadsEntriesAndInflatesFiles) {
    std::vector<uint8_t> exe = executable_with(sample_tree());
    MemoryBytes source(exe);
    auto archive = Archive::open(source);
    ASSERT_TRUE(archive);
    auto root = archive->entries(archive->root());
    ASSERT_TRUE(root);
    ASSERT_EQ(root->size(), 2u);  // ".." and "NUL" are never listed
    EXPECT_EQ((*root)[0].name, "readme.txt");
    EXPECT_TRUE((*root)[1].folder);
    auto data = archive->entries((*root)[1]);
    ASSERT_TRUE(data);
    EXPECT_EQ(archive->file_bytes((*data)[0]), bytes_of(big_text()));
}

TEST(Archive, NoArchiveWithoutTrailerOrWithBadHeaders) {
    std::vector<uint8_t> exe = executable_with(sample_tree());
    auto without = [](std::vector<uint8_t> bytes) {
        MemoryBytes source(bytes);
        return !Archive::open(source).has_value();
    };
    auto zero_flag = exe;
    std::fill(zero_flag.end() - 4, zero_flag.end(), 0);
    EXPECT_TRUE(without(zero_flag));
    auto long_length = exe;
    long_length[long_length.size() - 8] = 0xFF;
    long_length[long_length.size() - 5] = 0x7F;
    EXPECT_TRUE(without(long_length));
    auto bad_magic = exe;
    bad_magic[14] = 'X';
    EXPECT_TRUE(without(bad_magic));
    auto bad_version = exe;
    std::fill(bad_version.begin() + 18, bad_version.begin() + 22, 0);
    EXPECT_TRUE(without(bad_version));
    EXPECT_TRUE(without(bytes_of("short")));
}

TEST(Archive, MutationsAndTruncationsNeverReadOutsideTheFile) {
    std::vector<uint8_t> exe = executable_with(sample_tree());
    for (size_t at = 14; at < exe.size(); at += 3) {
        auto mutated = exe;
        mutated[at] ^= 0xA5;
        MemoryBytes source(mutated);
        auto archive = Archive::open(source);
        if (!archive) {
            continue;
        }
        std::vector<ArchiveEntry> pending{archive->root()};
        for (int walked = 0; !pending.empty() && walked < 50; ++walked) {
            ArchiveEntry entry = pending.back();
            pending.pop_back();
            if (entry.folder) {
                if (auto children = archive->entries(entry)) {
                    pending.insert(pending.end(), children->begin(), children->end());
                }
            } else {
                archive->file_bytes(entry);
            }
        }
    }
}

class AdditionalFilesTest : public ::testing::Test {
protected:
    TestFolder exe_folder, run;
    std::vector<uint8_t> exe = executable_with(sample_tree());
    MemoryBytes source{exe};
    AdditionalFiles files{source, exe_folder.path(), run.path()};
};

TEST_F(AdditionalFilesTest, ExtractsFilesAndFoldersBelowExtra) {
    std::string readme = files.get("README.TXT");
    EXPECT_EQ(readme, run.file("_extra/readme.txt"));
    EXPECT_EQ(content(readme), "read me");
    std::string leaf = files.get("data/deep\\leaf.txt");
    EXPECT_EQ(leaf, run.file("_extra/Data/Deep/leaf.txt"));
    EXPECT_EQ(content(leaf), "leaf");

    std::string data = files.get("Data");
    EXPECT_EQ(data, run.file("_extra/Data/"));
    EXPECT_EQ(content(run.file("_extra/Data/big.bin")), big_text());

    EXPECT_EQ(files.get("missing.txt"), "");
    EXPECT_EQ(files.get("readme.txt/below"), "");
    EXPECT_EQ(files.get(".."), "");
    EXPECT_EQ(files.get("NUL"), "");
    EXPECT_FALSE(std::filesystem::exists(run.file("escape")));
}

TEST_F(AdditionalFilesTest, ASecondRequestReusesTheCopyThisRunExtracted) {
    std::string readme = files.get("readme.txt");
    std::ofstream(readme, std::ios::binary) << "changed since";
    EXPECT_EQ(files.get("readme.txt"), readme);
    EXPECT_EQ(content(readme), "changed since");

    // A file this run did not extract is not trusted: it is extracted again over it.
    std::filesystem::create_directories(run.file("_extra/Data/Deep"));
    std::ofstream(run.file("_extra/Data/Deep/leaf.txt"), std::ios::binary) << "planted";
    EXPECT_EQ(content(files.get("Data/Deep/leaf.txt")), "leaf");
}

TEST(AdditionalFiles, ACorruptFileIsDeleted) {
    TestFolder exe_folder, run;
    std::vector<uint8_t> exe = executable_with({file("big.bin", big_text())});
    // The stored CRC-32 is the last four bytes before the trailer.
    exe[exe.size() - 9] ^= 1;
    MemoryBytes source(exe);
    AdditionalFiles files(source, exe_folder.path(), run.path());
    EXPECT_EQ(files.get("big.bin"), "");
    EXPECT_FALSE(std::filesystem::exists(run.file("_extra/big.bin")));
}

TEST(AdditionalFiles, WithoutAnArchiveFilesAreFoundBesideTheExecutable) {
    TestFolder exe_folder, run;
    std::ofstream(exe_folder.file("beside.txt")) << "here";
    std::vector<uint8_t> exe = bytes_of("MZ image");
    std::vector<uint8_t> trailer = archive_trailer(std::nullopt);
    exe.insert(exe.end(), trailer.begin(), trailer.end());
    MemoryBytes source(exe);
    AdditionalFiles files(source, exe_folder.path(), run.path());
    EXPECT_EQ(files.get("beside.txt"), exe_folder.file("beside.txt"));
    EXPECT_EQ(files.get("absent.txt"), "");
}

TEST(AdditionalFiles, ReadsTheArchiveFromTheExecutableFile) {
    TestFolder exe_folder, run;
    std::vector<uint8_t> exe = executable_with(sample_tree());
    ASSERT_TRUE(write_file(exe_folder.file("app.exe"), exe));
    auto source = FileBytes::open(exe_folder.file("app.exe"));
    ASSERT_TRUE(source);
    AdditionalFiles files(*source, exe_folder.path(), run.path());
    EXPECT_EQ(content(files.get("Data/big.bin")), big_text());
}

}  // namespace
}  // namespace tarpon::appdata
