// On Windows: the writer's output as the system's loader sees it. The probe program is packed with
// items of its own kind and then looks for them with FindResource, LoadResource and SizeofResource;
// real executables of the build are read, rewritten and read again.
#ifdef _WIN32

#include "platform/windows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "projector/pe/resources.h"
#include "tests/projector/pe/probe/probe_items.h"

namespace tarpon::pe {
namespace {

std::string own_folder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Runs a program and gives its exit status (or -1 when it cannot be started or does not end).
long run(const std::string& path) {
    std::string command = "\"" + path + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return -1;
    }
    CloseHandle(process.hThread);
    DWORD status = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &status);
    } else {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hProcess);
    return static_cast<long>(status);
}

ResourceName probe_name(const char* text) {
    if (text[0] == '#') {
        return ResourceName::number(static_cast<uint16_t>(std::atoi(text + 1)));
    }
    return ResourceName::named(std::u16string(text, text + std::strlen(text)));
}

std::set<uint16_t> numbered_types(const std::vector<Resource>& resources) {
    std::set<uint16_t> types;
    for (const Resource& resource : resources) {
        if (resource.type.text.empty()) {
            types.insert(resource.type.id);
        }
    }
    return types;
}

TEST(ResourceProbe, TheSystemFindsEveryPackedItem) {
    const std::string stub_path = own_folder() + "resource_probe.exe";
    const std::vector<uint8_t> stub = read_file(stub_path);
    ASSERT_FALSE(stub.empty()) << stub_path;
    // Unpacked, the probe misses its items.
    EXPECT_GT(run(stub_path), 0);

    ReadResult own = read_resources(stub);
    ASSERT_EQ(own.error, "");
    // Icon, menu, dialog, string table, accelerators, group icon, version, manifest.
    EXPECT_EQ(numbered_types(own.resources), (std::set<uint16_t>{3, 4, 5, 6, 9, 14, 16, 24}));

    std::vector<Resource> resources = own.resources;
    for (const auto& item : probe::probe_items) {
        resources.push_back(Resource{probe_name(item.type), probe_name(item.name), item.language, 0,
                                     probe::probe_bytes(item)});
    }
    const WriteResult written = write_resources(stub, resources);
    ASSERT_EQ(written.error, "");
    const std::vector<uint8_t> packed =
        with_overlay(written.image, std::span(reinterpret_cast<const uint8_t*>(probe::probe_overlay.data()),
                                              probe::probe_overlay.size()));

    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string packed_path =
        std::string(temp) + "tarpon_resource_probe_" + std::to_string(GetCurrentProcessId()) + ".exe";
    write_file(packed_path, packed);
    EXPECT_EQ(run(packed_path), 0);
    DeleteFileA(packed_path.c_str());

    // Read back from the file, the items are what the system found.
    const ReadResult back = read_resources(packed);
    ASSERT_EQ(back.error, "");
    EXPECT_EQ(back.resources.size(), resources.size());
    for (const auto& item : probe::probe_items) {
        const Resource* found = find_resource(back.resources, probe_name(item.type), probe_name(item.name));
        ASSERT_NE(found, nullptr) << item.type << "/" << item.name;
    }
}

// The build's own test program: unstripped, so a symbol table follows its sections. Rewritten with
// its resources plus one, it reads back the same, and the symbol table moves with the header
// pointing at it.
TEST(ResourceProbe, RewritesARealExecutable) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::vector<uint8_t> image = read_file(path);
    ASSERT_FALSE(image.empty());
    ReadResult own = read_resources(image);
    ASSERT_EQ(own.error, "");
    std::vector<Resource> resources = own.resources;
    resources.push_back(
        Resource{ResourceName::named(u"TARPON"), ResourceName::named(u"ST"), 0, 0, {1, 2, 3}});
    const WriteResult written = write_resources(image, resources);
    ASSERT_EQ(written.error, "");
    const ReadResult back = read_resources(written.image);
    ASSERT_EQ(back.error, "");
    EXPECT_EQ(back.resources.size(), resources.size());

    const auto old_tail = overlay(image);
    const auto new_tail = overlay(written.image);
    ASSERT_EQ(old_tail.size(), new_tail.size());
    EXPECT_TRUE(std::equal(old_tail.begin(), old_tail.end(), new_tail.begin()));
    const auto symbol_table = [](const std::vector<uint8_t>& bytes) {
        const uint32_t pe = bytes[0x3C] | bytes[0x3D] << 8 | bytes[0x3E] << 16 | bytes[0x3F] << 24;
        const size_t field = pe + 4 + 8;
        return uint32_t{bytes[field]} | uint32_t{bytes[field + 1]} << 8 | uint32_t{bytes[field + 2]} << 16 |
               uint32_t{bytes[field + 3]} << 24;
    };
    if (!old_tail.empty() && symbol_table(image) != 0) {
        EXPECT_EQ(symbol_table(image) - (image.size() - old_tail.size()),
                  symbol_table(written.image) - (written.image.size() - new_tail.size()));
    }
}

} // namespace
} // namespace tarpon::pe

#endif
