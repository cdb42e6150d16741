// Looks for the probe items in its own executable with the system's resource functions, after the
// probe test has packed them in: every item is found by type, name and language with the right
// bytes, the probe's own icon, version, manifest, menu, accelerators, dialog and string still load,
// and the appended data is still at the end of the file. Prints one line per fault; the exit status
// is the number of faults.
#include "platform/windows.h"

#include <winver.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/projector/pe/probe/probe_items.h"

namespace {

using tarpon::pe::probe::probe_items;

int faults = 0;

void fault(const std::string& text) {
    std::printf("fault: %s\n", text.c_str());
    ++faults;
}

// "#n" stands for number n, which the ANSI functions also accept as text; passing the number keeps
// the lookup independent of how they parse it.
const char* resource_id(const char* text) {
    if (text[0] == '#') {
        return MAKEINTRESOURCEA(std::atoi(text + 1));
    }
    return text;
}

std::string upper(const char* text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return result;
}

std::string lower(const char* text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

void check_item(const tarpon::pe::probe::ProbeItem& item) {
    const std::string label = std::string(item.type) + "/" + item.name + "/" + std::to_string(item.language);
    HRSRC found = FindResourceExA(nullptr, resource_id(item.type), resource_id(item.name), item.language);
    if (found == nullptr) {
        fault(label + " not found");
        return;
    }
    const DWORD size = SizeofResource(nullptr, found);
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded == nullptr ? nullptr : LockResource(loaded);
    const std::vector<uint8_t> expected = tarpon::pe::probe::probe_bytes(item);
    if (size != expected.size()) {
        fault(label + " has " + std::to_string(size) + " bytes");
    } else if (size != 0 && (bytes == nullptr || std::memcmp(bytes, expected.data(), size) != 0)) {
        fault(label + " has other bytes");
    }
    // Names are found whatever case they are asked for in, with no language given.
    const auto spellings = [](const char* text) {
        return text[0] == '#' ? std::vector<std::string>{text}
                              : std::vector<std::string>{upper(text), lower(text)};
    };
    for (const std::string& type : spellings(item.type)) {
        for (const std::string& name : spellings(item.name)) {
            if (FindResourceA(nullptr, resource_id(name.c_str()), resource_id(type.c_str())) == nullptr) {
                fault(label + " not found as " + type + "/" + name);
            }
        }
    }
}

void check_own_resources() {
    HINSTANCE self = GetModuleHandleA(nullptr);
    if (LoadIconA(self, MAKEINTRESOURCEA(1)) == nullptr) {
        fault("the probe's icon does not load");
    }
    HMENU menu = LoadMenuA(self, MAKEINTRESOURCEA(1));
    if (menu == nullptr) {
        fault("the probe's menu does not load");
    } else {
        DestroyMenu(menu);
    }
    if (LoadAcceleratorsA(self, MAKEINTRESOURCEA(1)) == nullptr) {
        fault("the probe's accelerators do not load");
    }
    if (FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(5)) == nullptr) {
        fault("the probe's dialog is missing");
    }
    if (FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) == nullptr) {
        fault("the probe's manifest is missing");
    }
    char text[64] = {};
    if (LoadStringA(self, 1, text, sizeof text) <= 0 || std::string(text) != "probe string one") {
        fault("the probe's string does not load");
    }

    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD version_size = GetFileVersionInfoSizeA(path, &ignored);
    std::vector<char> version(version_size);
    void* value = nullptr;
    UINT length = 0;
    if (version_size == 0 || !GetFileVersionInfoA(path, 0, version_size, version.data()) ||
        !VerQueryValueA(version.data(), "\\StringFileInfo\\040904B0\\ProductName", &value, &length) ||
        std::string(static_cast<const char*>(value)) != "Tarpon resource probe") {
        fault("the probe's version resource does not read");
    }
}

void check_overlay() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        fault("the probe cannot open its own file");
        return;
    }
    const auto& expected = tarpon::pe::probe::probe_overlay;
    std::string tail(expected.size(), '\0');
    if (std::fseek(file, -static_cast<long>(expected.size()), SEEK_END) != 0 ||
        std::fread(tail.data(), 1, tail.size(), file) != tail.size() || tail != expected) {
        fault("the appended data is not at the end of the file");
    }
    std::fclose(file);
}

} // namespace

int main() {
    for (const auto& item : probe_items) {
        check_item(item);
    }
    check_own_resources();
    check_overlay();
    std::printf("%d faults\n", faults);
    return faults;
}
