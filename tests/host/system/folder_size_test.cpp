// Sizes past 4 GiB, which a script cannot make on its own: a sparse file of 5 GiB is made here and
// measured through the Folder class.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>

#include "engine/quill.h"
#include "host/host_classes.h"
#include "platform/owners.h"
#include "platform/windows.h"

#include <winioctl.h>

namespace tarpon::host {
namespace {

constexpr int64_t big_size = (int64_t{5} << 30) + 123; // 5 GiB and a little: the high word matters

// A folder of its own under the temporary folder, removed with what the test put in it.
class ScratchTree {
  public:
    ScratchTree() {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        m_root = std::string(temp) + "tarpon-folder-size-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_root.c_str(), nullptr);
        CreateDirectoryA((m_root + "\\inner").c_str(), nullptr);
    }
    ~ScratchTree() {
        DeleteFileA((m_root + "\\inner\\big.bin").c_str());
        DeleteFileA((m_root + "\\small.bin").c_str());
        RemoveDirectoryA((m_root + "\\inner").c_str());
        RemoveDirectoryA(m_root.c_str());
    }
    const std::string& root() const { return m_root; }

  private:
    std::string m_root;
};

// A file of the given size whose bytes are never written: marked sparse where the file system
// allows it, and on file systems that allocate holes anyway (Wine on Linux) it costs no space.
bool make_file(const std::string& path, int64_t size) {
    platform::KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD returned = 0;
    DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    return SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

// The Integer a script's last statement leaves, or -1.
int64_t integer_result(const std::string& source) {
    quill::EngineConfig config;
    std::span<const quill::ClassRegistration> classes = host_classes();
    config.host_classes = classes.data();
    config.host_class_count = classes.size();
    quill::EngineHandle* engine = quill::create_engine(&config);
    int64_t result = -1;
    if (quill::run_source_text(engine, source.c_str()) &&
        quill::last_result(engine).is(quill::Tag::Integer)) {
        result = quill::last_result(engine).payload.integer;
    }
    quill::destroy_engine(engine);
    return result;
}

// Forward slashes spare the script's string literal from escapes; the class turns them into "\".
std::string script_path(std::string path) {
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    return path;
}

TEST(FolderSize, CountsFilesPastFourGigabytes) {
    ScratchTree tree;
    ASSERT_TRUE(make_file(tree.root() + "\\inner\\big.bin", big_size));
    ASSERT_TRUE(make_file(tree.root() + "\\small.bin", 1000));
    const std::string root = script_path(tree.root());

    EXPECT_EQ(integer_result("new File(\"" + root + "/inner/big.bin\").size;"), big_size);
    EXPECT_EQ(integer_result("new Folder(\"" + root + "/inner\").size;"), big_size);
    EXPECT_EQ(integer_result("new Folder(\"" + root + "\").size;"), big_size + 1000);
}

} // namespace
} // namespace tarpon::host
