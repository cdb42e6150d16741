// The Drive class: a logical drive, by its letter. Every property asks the system afresh.
#include <bit>
#include <memory>
#include <optional>
#include <string>

#include "host/common/class.h"
#include "host/common/system_error.h"
#include "host/system/disk_space.h"
#include "host/system/system_classes.h"

#include "engine/values/array.h"
#include "platform/owners.h"
#include "platform/windows.h"

namespace tarpon::host {

namespace {

struct DriveRecord {
    char root[4]; // the letter in upper case, ":", "\", NUL
};

std::unique_ptr<DriveRecord> drive_record(char letter) {
    auto record = std::make_unique<DriveRecord>();
    record->root[0] = letter;
    record->root[1] = ':';
    record->root[2] = '\\';
    record->root[3] = '\0';
    return record;
}

const char* root_of(MemberCall& call) { return call.data<DriveRecord>().root; }

struct Volume {
    std::string label;
    DWORD serial_number = 0;
    std::string file_system;
};

std::optional<Volume> volume_of(ScriptEngine* engine, const char* root) {
    char label[MAX_PATH + 1];
    char file_system[MAX_PATH + 1];
    DWORD serial_number = 0, longest_name = 0, flags = 0;
    if (!GetVolumeInformationA(root, label, sizeof label, &serial_number, &longest_name, &flags, file_system,
                               sizeof file_system)) {
        store_last_error(engine);
        return std::nullopt;
    }
    return Volume{label, serial_number, file_system};
}

void drive_construct(MemberCall& call) {
    *call.result = Value::null();
    const std::optional<std::string> text = ansi_argument(call.args, 0);
    if (!text || text->size() < 2 || (*text)[1] != ':') {
        return;
    }
    char letter = (*text)[0];
    if (letter >= 'a' && letter <= 'z') {
        letter = static_cast<char>(letter - 'a' + 'A');
    }
    if (letter < 'A' || letter > 'Z' || (GetLogicalDrives() & (DWORD{1} << (letter - 'A'))) == 0) {
        return;
    }
    *call.result = make_instance(call.engine, call.cls, drive_record(letter));
}

void drive_letter(MemberCall& call) {
    *call.result = ansi_string(call.engine, std::string_view(root_of(call), 1));
}

void drive_path(MemberCall& call) { *call.result = ansi_string_z(call.engine, root_of(call)); }

void drive_type(MemberCall& call) {
    static const char* const names[] = {"no root dir", "removable", "fixed", "network", "cdrom", "ram disk"};
    const UINT type = GetDriveTypeA(root_of(call));
    *call.result = ansi_string_z(call.engine, type >= 1 && type <= 6 ? names[type - 1] : "unknown");
}

void drive_file_system(MemberCall& call) {
    const std::optional<Volume> volume = volume_of(call.engine, root_of(call));
    *call.result = volume ? ansi_string(call.engine, volume->file_system) : Value::boolean(false);
}

void drive_volume_name(MemberCall& call) {
    const std::optional<Volume> volume = volume_of(call.engine, root_of(call));
    *call.result = ansi_string(call.engine, volume ? volume->label : std::string());
}

void set_drive_volume_name(MemberCall& call, const Value& value) {
    const std::string label = ansi_of(call.engine, value);
    if (label.find('\0') != std::string::npos) {
        store_system_error(call.engine, ERROR_INVALID_NAME);
    } else if (!SetVolumeLabelA(root_of(call), label.c_str())) {
        store_last_error(call.engine);
    }
}

void drive_serial_number(MemberCall& call) {
    const std::optional<Volume> volume = volume_of(call.engine, root_of(call));
    *call.result = ansi_string(call.engine, volume ? std::to_string(volume->serial_number) : std::string());
}

void drive_is_ready(MemberCall& call) {
    platform::KernelHandle root(CreateFileA(root_of(call), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_ALWAYS, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    *call.result = Value::boolean(root || GetLastError() != ERROR_NOT_READY);
}

enum class SpaceKind { Available, Total, Free };

void drive_space(MemberCall& call) {
    const std::optional<DiskSpace> space = disk_space(root_of(call));
    if (!space) {
        store_last_error(call.engine);
        *call.result = Value::nan();
        return;
    }
    uint64_t bytes = space->available;
    switch (*static_cast<const SpaceKind*>(call.member->context)) {
    case SpaceKind::Available:
        break;
    case SpaceKind::Total:
        bytes = space->total;
        break;
    case SpaceKind::Free:
        bytes = space->free;
        break;
    }
    *call.result = Value::integer(static_cast<int64_t>(bytes));
}

void drive_drives(MemberCall& call) {
    const DWORD mask = GetLogicalDrives();
    ArrayRecord* drives = array_create(call.engine, static_cast<uint64_t>(std::popcount(mask)));
    *call.result = Value::array(drives);
    uint64_t index = 0;
    for (int bit = 0; bit < 32; ++bit) {
        if ((mask & (DWORD{1} << bit)) != 0) {
            const char letter = static_cast<char>('A' + bit);
            array_put(call.engine, drives, index++,
                      make_instance(call.engine, call.cls, drive_record(letter)));
        }
    }
}

const SpaceKind available = SpaceKind::Available;
const SpaceKind total = SpaceKind::Total;
const SpaceKind free_space = SpaceKind::Free;

const Member members[] = {
    property("driveLetter", drive_letter, nullptr, Needs::Instance),
    property("path", drive_path, nullptr, Needs::Instance),
    property("rootFolder", drive_path, nullptr, Needs::Instance),
    property("driveType", drive_type, nullptr, Needs::Instance),
    property("fileSystem", drive_file_system, nullptr, Needs::Instance),
    property("volumeName", drive_volume_name, set_drive_volume_name, Needs::Instance),
    property("serialNumber", drive_serial_number, nullptr, Needs::Instance),
    property("isReady", drive_is_ready, nullptr, Needs::Instance),
    property("availableSpace", drive_space, nullptr, Needs::Instance, &available),
    property("totalSize", drive_space, nullptr, Needs::Instance, &total),
    property("freeSpace", drive_space, nullptr, Needs::Instance, &free_space),
    property("drives", drive_drives, nullptr, Needs::Instance),
};

const ClassDeclaration declaration = {
    .name = "Drive",
    .class_text = "[Object Drive]",
    .members = members,
    .construct = drive_construct,
    .destroy = delete_instance<DriveRecord>,
};

} // namespace

void register_drive_class(ScriptEngine* engine) { declare_class(engine, declaration); }

} // namespace tarpon::host
