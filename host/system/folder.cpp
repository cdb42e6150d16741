// The Folder class, also named File: a file or a folder by its normalised full path. The folder flag,
// fixed when the object is made, alone decides which behaviour an object has; properties ask the
// system afresh on every read.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/common/class.h"
#include "host/common/file_time.h"
#include "host/common/system_error.h"
#include "host/system/disk_space.h"
#include "host/system/folder_walk.h"
#include "host/system/path_normalisation.h"
#include "host/system/system_classes.h"

#include "engine/builtins/date.h"
#include "engine/values/conversions.h"
#include "platform/owners.h"
#include "platform/windows.h"

namespace tarpon::host {

namespace {

struct FolderRecord {
    std::string path; // normalised, shorter than max_path_bytes
    bool folder;      // the path named a directory when the object was made
};

FolderRecord& record_of(MemberCall& call) { return call.data<FolderRecord>(); }

// A path argument: a String without NULs (a NUL would silently cut the path the system sees).
std::optional<std::string> path_argument(const Arguments& args, uint32_t i) {
    std::optional<std::string> path = ansi_argument(args, i);
    if (path && path->find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return path;
}

Value boolean_result(ScriptEngine* engine, bool done) {
    if (!done) {
        store_last_error(engine);
    }
    return Value::boolean(done);
}

// Folder("path"), with or without new: the item at the path, a new folder there when nothing is.
void folder_construct(MemberCall& call) {
    *call.result = Value::null();
    const std::optional<std::string> text = path_argument(call.args, 0);
    if (!text) {
        return;
    }
    const std::optional<std::string> path = normalised_full_path(*text);
    if (!path) {
        store_system_error(call.engine,
                           text->size() >= max_path_bytes ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_NAME);
        return;
    }
    DWORD attributes = GetFileAttributesA(path->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!CreateDirectoryA(path->c_str(), nullptr)) {
            store_last_error(call.engine);
            return;
        }
        attributes = FILE_ATTRIBUTE_DIRECTORY;
    }
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    *call.result =
        make_instance(call.engine, call.cls, std::make_unique<FolderRecord>(FolderRecord{*path, folder}));
}

void folder_attributes(MemberCall& call) {
    const DWORD attributes = GetFileAttributesA(record_of(call).path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        store_last_error(call.engine);
    }
    *call.result = Value::integer(attributes);
}

void set_folder_attributes(MemberCall& call, const Value& value) {
    DWORD attributes;
    if (value.is(Tag::Integer)) {
        attributes = static_cast<DWORD>(value.payload.integer);
    } else if (value.is(Tag::Number)) {
        attributes = static_cast<DWORD>(double_to_int64(value.payload.number));
    } else {
        return;
    }
    if (!SetFileAttributesA(record_of(call).path.c_str(), attributes)) {
        store_last_error(call.engine);
    }
}

// Time stamps: the item opened with read or write access, sharing nothing, existing items only.

enum class Stamp { Created, Accessed, Modified };

platform::KernelHandle open_for_stamps(const FolderRecord& record, DWORD access) {
    return platform::KernelHandle(CreateFileA(record.path.c_str(), access, 0, nullptr, OPEN_EXISTING,
                                              record.folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr));
}

Stamp stamp_of(MemberCall& call) { return *static_cast<const Stamp*>(call.member->context); }

void folder_stamp(MemberCall& call) {
    const Stamp stamp = stamp_of(call);
    FILETIME times[3];
    const platform::KernelHandle file = open_for_stamps(record_of(call), GENERIC_READ);
    if (!file || !GetFileTime(file.get(), &times[0], &times[1], &times[2])) {
        store_last_error(call.engine);
        // The creation time alone reads as not-a-number; the other two as false.
        *call.result = stamp == Stamp::Created ? Value::nan() : Value::boolean(false);
        return;
    }
    const FILETIME& time = times[static_cast<int>(stamp)];
    const uint64_t ticks = (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    *call.result = Value::integer(file_time_to_time_value(ticks));
}

void set_folder_stamp(MemberCall& call, const Value& value) {
    double time;
    if (value.is(Tag::Integer)) {
        time = static_cast<double>(value.payload.integer);
    } else if (value.is(Tag::Number)) {
        time = value.payload.number;
    } else if (!date_time_value(value, &time)) {
        return;
    }
    uint64_t ticks;
    if (!time_value_to_file_time(time, &ticks)) {
        store_system_error(call.engine, ERROR_INVALID_PARAMETER);
        return;
    }
    FILETIME file_time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    FILETIME* times[3] = {nullptr, nullptr, nullptr};
    times[static_cast<int>(stamp_of(call))] = &file_time;
    const platform::KernelHandle file = open_for_stamps(record_of(call), GENERIC_WRITE);
    if (!file || !SetFileTime(file.get(), times[0], times[1], times[2])) {
        store_last_error(call.engine);
    }
}

void folder_drive(MemberCall& call) {
    *call.result = ansi_string(call.engine, path_drive(record_of(call).path));
}

void folder_name(MemberCall& call) {
    *call.result = ansi_string(call.engine, path_name(record_of(call).path));
}

// A name the item can take inside its own folder: no separators, no stream or drive colon.
bool is_plain_name(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("\\/:") == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

void set_folder_name(MemberCall& call, const Value& value) {
    if (!value.is(Tag::String)) {
        return;
    }
    FolderRecord& record = record_of(call);
    const std::string name = ansi_text(value.payload.string);
    if (!is_plain_name(name) || is_drive_root(record.path)) {
        store_system_error(call.engine, ERROR_INVALID_NAME);
        return;
    }
    std::string renamed = join_path(path_parent(record.path), name);
    if (renamed.size() >= max_path_bytes) {
        store_system_error(call.engine, ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    if (!MoveFileA(record.path.c_str(), renamed.c_str())) {
        store_last_error(call.engine);
        return;
    }
    record.path = std::move(renamed);
}

void folder_parent_path(MemberCall& call) {
    *call.result = ansi_string(call.engine, path_parent(record_of(call).path));
}

void folder_path(MemberCall& call) { *call.result = ansi_string(call.engine, record_of(call).path); }

void folder_short_name(MemberCall& call) {
    const std::optional<std::string> path = short_path_of(record_of(call).path);
    if (!path) {
        store_last_error(call.engine);
    }
    *call.result = ansi_string(call.engine, path ? path_name(*path) : std::string_view());
}

void folder_short_path(MemberCall& call) {
    const std::optional<std::string> path = short_path_of(record_of(call).path);
    if (!path) {
        store_last_error(call.engine);
    }
    *call.result = ansi_string(call.engine, path ? std::string_view(*path) : std::string_view());
}

void folder_size_of(MemberCall& call) {
    const FolderRecord& record = record_of(call);
    if (is_drive_root(record.path)) {
        // A drive's root: the space in use rather than the total of its files.
        const std::optional<DiskSpace> space = disk_space(record.path.c_str());
        if (!space) {
            store_last_error(call.engine);
            *call.result = Value::nan();
            return;
        }
        *call.result = Value::integer(static_cast<int64_t>(space->total - space->available));
        return;
    }
    if (record.folder) {
        *call.result = Value::integer(static_cast<int64_t>(folder_size(record.path)));
        return;
    }
    int64_t size = 0;
    const platform::KernelHandle file(
        CreateFileA(record.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER bytes;
    if (file && GetFileSizeEx(file.get(), &bytes)) {
        size = bytes.QuadPart;
    } else {
        store_last_error(call.engine);
    }
    *call.result = Value::integer(size);
}

void folder_type(MemberCall& call) { *call.result = Value::integer(record_of(call).folder ? 1 : 0); }

void folder_is_root_folder(MemberCall& call) {
    if (record_of(call).folder) {
        *call.result = Value::boolean(is_drive_root(record_of(call).path));
    }
}

const EntryKind files_kind = EntryKind::Files;
const EntryKind folders_kind = EntryKind::Folders;

void folder_listing(MemberCall& call) {
    const FolderRecord& record = record_of(call);
    if (record.folder) {
        const EntryKind kind = *static_cast<const EntryKind*>(call.member->context);
        *call.result = ansi_string_array(call.engine, folder_entries(record.path, kind));
    }
}

void folder_exists(MemberCall& call) {
    const std::optional<std::string> path = path_argument(call.args, 0);
    *call.result = Value::boolean(path && GetFileAttributesA(path->c_str()) != INVALID_FILE_ATTRIBUTES);
}

void folder_copy(MemberCall& call) {
    *call.result = Value::boolean(false);
    const std::optional<std::string> destination = path_argument(call.args, 0);
    if (!destination) {
        return;
    }
    const FolderRecord& record = record_of(call);
    if (!record.folder) {
        *call.result =
            boolean_result(call.engine, CopyFileA(record.path.c_str(), destination->c_str(), FALSE));
        return;
    }
    const std::optional<std::string> target = normalised_full_path(*destination);
    if (!target) {
        store_system_error(call.engine, ERROR_INVALID_NAME);
        return;
    }
    // A copy into the folder itself or below it would copy its own copies for ever.
    if (path_within(*target, record.path)) {
        store_system_error(call.engine, ERROR_INVALID_PARAMETER);
        return;
    }
    const uint32_t failure = copy_folder(record.path, *target);
    if (failure != 0) {
        store_system_error(call.engine, failure);
    }
    *call.result = Value::boolean(failure == 0);
}

void folder_remove(MemberCall& call) {
    const FolderRecord& record = record_of(call);
    const bool done =
        record.folder ? RemoveDirectoryA(record.path.c_str()) : DeleteFileA(record.path.c_str());
    *call.result = boolean_result(call.engine, done);
}

void folder_move(MemberCall& call) {
    *call.result = Value::boolean(false);
    const std::optional<std::string> destination = path_argument(call.args, 0);
    if (destination) {
        *call.result =
            boolean_result(call.engine, MoveFileA(record_of(call).path.c_str(), destination->c_str()));
    }
}

const Stamp created = Stamp::Created;
const Stamp accessed = Stamp::Accessed;
const Stamp modified = Stamp::Modified;

const Member members[] = {
    property("attributes", folder_attributes, set_folder_attributes, Needs::Instance),
    property("dateCreated", folder_stamp, set_folder_stamp, Needs::Instance, &created),
    property("dateLastAccessed", folder_stamp, set_folder_stamp, Needs::Instance, &accessed),
    property("dateLastModified", folder_stamp, set_folder_stamp, Needs::Instance, &modified),
    property("drive", folder_drive, nullptr, Needs::Instance),
    property("name", folder_name, set_folder_name, Needs::Instance),
    property("parentPath", folder_parent_path, nullptr, Needs::Instance),
    property("path", folder_path, nullptr, Needs::Instance),
    property("shortName", folder_short_name, nullptr, Needs::Instance),
    property("shortPath", folder_short_path, nullptr, Needs::Instance),
    property("size", folder_size_of, nullptr, Needs::Instance),
    property("type", folder_type, nullptr, Needs::Instance),
    property("isRootFolder", folder_is_root_folder, nullptr, Needs::Instance),
    property("files", folder_listing, nullptr, Needs::Instance, &files_kind),
    property("subFolders", folder_listing, nullptr, Needs::Instance, &folders_kind),
    method("exists", folder_exists),
    method("copy", folder_copy, Needs::Instance),
    method("remove", folder_remove, Needs::Instance),
    method("move", folder_move, Needs::Instance),
};

const ClassDeclaration declaration = {
    .name = "Folder",
    .also_named = "File",
    .class_text = "[object Folder]",
    .members = members,
    .construct = folder_construct,
    .call = folder_construct,
    .destroy = delete_instance<FolderRecord>,
};

} // namespace

void register_folder_class(ScriptEngine* engine) { declare_class(engine, declaration); }

} // namespace tarpon::host
