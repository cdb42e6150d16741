// The path text helpers of the file-system classes, and the forms of path that normalisation keeps
// as written.
#include "host/system/path_normalisation.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/windows.h"

namespace tarpon::host {
namespace {

TEST(PathText, NamesParentsAndDrives) {
    EXPECT_EQ(path_name("C:\\a\\b.txt"), "b.txt");
    EXPECT_EQ(path_parent("C:\\a\\b.txt"), "C:\\a");
    EXPECT_EQ(path_name("C:\\"), "");
    EXPECT_EQ(path_parent("C:\\"), "C:");
    EXPECT_EQ(path_name("plain"), "plain");
    EXPECT_EQ(path_parent("plain"), "plain");
    EXPECT_EQ(path_drive("C:\\a\\b"), "C:");
    EXPECT_EQ(path_drive("C:\\"), "C:");
    EXPECT_EQ(path_drive("\\\\server\\share\\a"), "\\\\server\\share");
    EXPECT_EQ(path_drive("\\\\server\\share"), "\\\\server\\share");
    EXPECT_EQ(path_drive("\\\\server"), "");
    EXPECT_EQ(path_drive("\\\\?\\C:\\a"), "");
}

TEST(PathText, JoinsWithOneSeparator) {
    EXPECT_EQ(join_path("C:\\", "a"), "C:\\a"); // a root's listing never doubles its "\"
    EXPECT_EQ(join_path("C:\\a", "b"), "C:\\a\\b");
    EXPECT_EQ(join_path("", "b"), "b");
    EXPECT_TRUE(is_drive_root("c:\\"));
    EXPECT_FALSE(is_drive_root("C:"));
    EXPECT_FALSE(is_drive_root("C:\\a"));
    EXPECT_FALSE(is_drive_root("1:\\"));
}

TEST(PathText, WithinComparesWholeComponentsIgnoringCase) {
    EXPECT_TRUE(path_within("C:\\a", "C:\\a"));
    EXPECT_TRUE(path_within("C:\\A\\b", "c:\\a"));
    EXPECT_TRUE(path_within("C:\\a\\b\\c", "C:\\a"));
    EXPECT_TRUE(path_within("C:\\a", "C:\\"));
    EXPECT_FALSE(path_within("C:\\ab", "C:\\a")); // a sibling that starts with the same letters
    EXPECT_FALSE(path_within("C:\\", "C:\\a"));
    EXPECT_FALSE(path_within("D:\\a", "C:\\a"));
    EXPECT_FALSE(path_within("C:\\a", ""));
}

// A folder of its own under the temporary folder, for the lookups of normalisation.
class NormalisationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        m_root = std::string(temp) + "tarpon-normalise-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_root.c_str(), nullptr);
        CreateDirectoryA((m_root + "\\Stored Name").c_str(), nullptr);
        std::optional<std::string> root = normalised_full_path(m_root);
        ASSERT_TRUE(root);
        m_root = *root;
    }
    void TearDown() override {
        RemoveDirectoryA((m_root + "\\Stored Name").c_str());
        RemoveDirectoryA(m_root.c_str());
    }
    std::string m_root;
};

TEST_F(NormalisationTest, StoredNamesWinAndTheRestStaysAsWritten) {
    EXPECT_EQ(normalised_full_path(m_root + "/stored name/"), m_root + "\\Stored Name");
    EXPECT_EQ(normalised_full_path(m_root + "\\STORED NAME\\New One"), m_root + "\\Stored Name\\New One");
    // A wildcard is never looked up: it would match some other name.
    EXPECT_EQ(normalised_full_path(m_root + "\\Stored*"), m_root + "\\Stored*");
    EXPECT_EQ(normalised_full_path(m_root + "\\St?red Name"), m_root + "\\St?red Name");
}

TEST_F(NormalisationTest, RefusesWhatCannotBeKept) {
    EXPECT_FALSE(normalised_full_path(""));
    EXPECT_FALSE(normalised_full_path(std::string("a\0b", 3)));
    std::string long_name(max_path_bytes - m_root.size() - 1, 'x');
    EXPECT_FALSE(normalised_full_path(m_root + "\\" + long_name));
    long_name.pop_back();
    EXPECT_EQ(normalised_full_path(m_root + "\\" + long_name)->size(), max_path_bytes - 1);
}

TEST(Normalisation, DeviceAndLiteralPathsAreKeptWhole) {
    EXPECT_EQ(normalised_full_path("\\\\?\\C:\\Some\\Thing"), "\\\\?\\C:\\Some\\Thing");
    EXPECT_EQ(normalised_full_path("//./nul"), "\\\\.\\nul");
}

} // namespace
} // namespace tarpon::host
