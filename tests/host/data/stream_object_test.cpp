// What scripts cannot see of the stream objects: a collected FileStream lets go of its file, and
// failures leave the system's text in the message buffer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/host/host_engine.h"

#ifdef _WIN32
#include "platform/windows.h"
#else
#include <dirent.h>
#endif

namespace tarpon::host::testing {
namespace {

namespace fs = std::filesystem;

class StreamObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() / "tarpon-stream-object-test";
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(m_folder, error);
    }
    // The path as a script string literal (backslashes doubled).
    std::string literal(const std::string& name) const {
        std::string text = (m_folder / name).string();
        std::string out = "\"";
        for (const char c : text) {
            out += c == '\\' ? std::string("\\\\") : std::string(1, c);
        }
        return out + "\"";
    }
    fs::path m_folder;
};

size_t open_descriptors() {
#ifdef _WIN32
    return 0;
#else
    size_t count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) {
            ++count;
        }
        closedir(dir);
    }
    return count;
#endif
}

// Whether something still holds the file open (Windows refuses to delete it then).
bool file_is_held(const fs::path& path) {
#ifdef _WIN32
    HANDLE file = CreateFileW(path.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_SHARING_VIOLATION;
    }
    CloseHandle(file);
    return false;
#else
    (void)path;
    return false;
#endif
}

TEST_F(StreamObjectTest, ACollectedStreamClosesItsFile) {
    HostEngine engine;
    const size_t before = open_descriptors();
    ASSERT_EQ(engine.run("var s = new FileStream(" + literal("held.bin") + ", \"w+\"); s.write(\"abc\")"), "3");
    EXPECT_TRUE(file_is_held(m_folder / "held.bin") || open_descriptors() > before);
    ASSERT_EQ(engine.run("s = null; 0"), "0");
    engine.collect();
    EXPECT_FALSE(file_is_held(m_folder / "held.bin"));
#ifndef _WIN32
    EXPECT_EQ(open_descriptors(), before);
#endif
    std::ifstream file(m_folder / "held.bin", std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "abc");
}

TEST_F(StreamObjectTest, FailuresLeaveTheSystemText) {
    HostEngine engine;
    EXPECT_EQ(engine.run("new FileStream(" + literal("missing.txt") + ") === null"), "true");
    EXPECT_STRNE(engine.message(), "");
    const std::string missing = engine.message();

    EXPECT_EQ(engine.run("new FileStream(" + literal("x.txt") + ", \"rw\") === null"), "true");
    EXPECT_STRNE(engine.message(), "");
    EXPECT_NE(engine.message(), missing);

    EXPECT_EQ(engine.run("var s = new StringStream(\"x\"); s.charset = \"binary\"; s.write(String.fromCharCode(256))"), "false");
    const std::string no_form = engine.message();
    EXPECT_FALSE(no_form.empty());
    EXPECT_EQ(engine.run("s.text"), "x") << "nothing written";
    EXPECT_EQ(engine.run("s.uncompress()"), "false");
    EXPECT_NE(engine.message(), no_form);
    EXPECT_EQ(engine.run("s.text"), "x");
}

}  // namespace
}  // namespace tarpon::host::testing
