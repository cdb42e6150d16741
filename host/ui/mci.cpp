// The MCI class: a media device driven the way a media control is. Scripts set properties that
// describe the device and the next operation, then assign a command name to `command`. Each object
// owns a hidden playback window: it receives the device's completion notifications, which go to
// the script's onNotify, and it is the display window of video devices.
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/values/collector.h"
#include "engine/values/conversions.h"
#include "engine/vm/services.h"
#include "host/common/class.h"
#include "host/ui/host_window.h"
#include "host/ui/ui_classes.h"
#include "platform/windows.h"

#include <mmsystem.h>
// The video devices' commands, which build on the ones above.
#include <digitalv.h>

namespace tarpon::host {

namespace {

constexpr const char* playback_window_class = "Tarpon_Playback_Window";

// The texts the system hands back: error texts, command replies, device names.
constexpr size_t error_text_buffer = 128;
constexpr size_t reply_limit = 4096;  // a reply is cut to this, its terminator included
// What the device may write: a reply too long for this fails with the device's "too large" error,
// one up to it is cut to the limit.
constexpr size_t reply_buffer = 65536;
constexpr size_t device_name_buffer = 512;
// More devices than any system has; a count beyond it is not believed.
constexpr DWORD device_count_limit = 4096;

// The capability item that says a device shows video.
constexpr DWORD has_video_item = MCI_GETDEVCAPS_HAS_VIDEO;

struct MciRecord {
    ScriptEngine* engine = nullptr;
    HostRecord* self = nullptr;  // the object: `this` of onNotify
    MCIDEVICEID device = 0;
    std::optional<std::string> device_type;
    std::optional<std::string> file_name;
    bool sharable = false;
    bool notify = false;
    bool wait = false;
    int32_t from = -1;
    int32_t to = -1;
    uint32_t frames = 0;
    bool record_mode = false;  // overwrite, else insert
    int32_t channel = 0;
    uint32_t track = 0;
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    HWND window = nullptr;
    Value on_notify;
    MCIERROR last_error = 0;

    MciRecord() = default;
    MciRecord(const MciRecord&) = delete;
    MciRecord& operator=(const MciRecord&) = delete;
    // Closes the device and destroys the window: the object is gone, and so is every way a
    // notification could reach it.
    ~MciRecord() {
        if (device != 0) {
            MCI_GENERIC_PARMS close = {};
            mciSendCommandA(device, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&close));
        }
        if (window != nullptr) {
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            DestroyWindow(window);
        }
    }

    // The flags every command carries, and its callback window.
    DWORD flags() const { return (notify ? MCI_NOTIFY : 0) | (wait ? MCI_WAIT : 0); }
    DWORD_PTR callback() const { return reinterpret_cast<DWORD_PTR>(window); }

    template <typename Parameters> MCIERROR send(UINT message, DWORD flags, Parameters& parameters) {
        parameters.dwCallback = callback();
        last_error =
            mciSendCommandA(device, message, this->flags() | flags, reinterpret_cast<DWORD_PTR>(&parameters));
        return last_error;
    }
};

// The class-wide state: the number of the next device alias.
struct MciClassState {
    int next_alias = 0;
};

// The playback window passes the device's notifications on to the object's onNotify; a failure in
// the handler is the script's and is dropped here.
LRESULT CALLBACK playback_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == MM_MCINOTIFY) {
        auto* record = reinterpret_cast<MciRecord*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (record != nullptr && record->self != nullptr && record->on_notify.tag == Tag::Function) {
            // The handler may replace onNotify while it runs: call a copy.
            Value handler = record->on_notify;
            Value block[2] = {Value::integer(1), Value::integer(static_cast<int64_t>(wparam))};
            vm::call_function_value(record->engine, Value::host(record->self), handler, 2, block);
        }
        return 0;
    }
    if (message == WM_NCDESTROY) {
        // Destroyed with its parent before the object died: the object must not destroy the
        // handle later, when it may name another window.
        if (auto* record = reinterpret_cast<MciRecord*>(GetWindowLongPtrA(window, GWLP_USERDATA))) {
            record->window = nullptr;
        }
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

void register_playback_window_class() {
    WNDCLASSA existing = {};
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (GetClassInfoA(instance, playback_window_class, &existing)) {
        return;
    }
    WNDCLASSA window_class = {};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = playback_window_procedure;
    window_class.hInstance = instance;
    window_class.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    window_class.lpszClassName = playback_window_class;
    RegisterClassA(&window_class);
}

// {==== Properties kept in the record

Value optional_text(ScriptEngine* engine, const std::optional<std::string>& text) {
    return text ? ansi_string(engine, *text) : Value::null();
}

void mci_device_type(MemberCall& call) {
    *call.result = optional_text(call.engine, call.data<MciRecord>().device_type);
}
void set_mci_device_type(MemberCall& call, const Value& value) {
    call.data<MciRecord>().device_type = ansi_of(call.engine, value);
}
void mci_file_name(MemberCall& call) {
    *call.result = optional_text(call.engine, call.data<MciRecord>().file_name);
}
void set_mci_file_name(MemberCall& call, const Value& value) {
    call.data<MciRecord>().file_name = ansi_of(call.engine, value);
}

void mci_device_id(MemberCall& call) { *call.result = Value::integer(call.data<MciRecord>().device); }

// A flag of the record, read as a Boolean and set from an Integer or a Boolean.
using FlagField = bool MciRecord::*;
void mci_flag(MemberCall& call) {
    *call.result = Value::boolean(call.data<MciRecord>().*call.context<FlagField>());
}
void set_mci_flag(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Integer || value.tag == Tag::Boolean) {
        call.data<MciRecord>().*call.context<FlagField>() = to_boolean(value);
    }
}
constexpr FlagField sharable_field = &MciRecord::sharable;
constexpr FlagField notify_field = &MciRecord::notify;
constexpr FlagField wait_field = &MciRecord::wait;
constexpr FlagField record_mode_field = &MciRecord::record_mode;

// A number of the record, read as an Integer and set from an Integer.
using SignedField = int32_t MciRecord::*;
using UnsignedField = uint32_t MciRecord::*;
void mci_signed(MemberCall& call) {
    *call.result = Value::integer(call.data<MciRecord>().*call.context<SignedField>());
}
void set_mci_signed(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Integer) {
        call.data<MciRecord>().*call.context<SignedField>() = static_cast<int32_t>(value.payload.integer);
    }
}
void mci_unsigned(MemberCall& call) {
    *call.result = Value::integer(call.data<MciRecord>().*call.context<UnsignedField>());
}
void set_mci_unsigned(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Integer) {
        call.data<MciRecord>().*call.context<UnsignedField>() = static_cast<uint32_t>(value.payload.integer);
    }
}
constexpr SignedField from_field = &MciRecord::from;
constexpr SignedField to_field = &MciRecord::to;
constexpr UnsignedField frames_field = &MciRecord::frames;
constexpr UnsignedField track_field = &MciRecord::track;

// The placement of the video window: set from an Integer or a Number (truncated).
void set_mci_placement(MemberCall& call, const Value& value) {
    int32_t& field = call.data<MciRecord>().*call.context<SignedField>();
    if (value.tag == Tag::Integer) {
        field = static_cast<int32_t>(value.payload.integer);
    } else if (value.tag == Tag::Number) {
        field = static_cast<int32_t>(double_to_int64(value.payload.number));
    }
}
constexpr SignedField left_field = &MciRecord::left;
constexpr SignedField top_field = &MciRecord::top;
constexpr SignedField width_field = &MciRecord::width;
constexpr SignedField height_field = &MciRecord::height;

void set_audio(MciRecord& record, DWORD channel, bool on) {
    MCI_SET_PARMS set = {};
    set.dwAudio = channel;
    record.send(MCI_SET, MCI_SET_AUDIO | (on ? MCI_SET_ON : MCI_SET_OFF), set);
}

void mci_channel(MemberCall& call) { *call.result = Value::integer(call.data<MciRecord>().channel); }
void set_mci_channel(MemberCall& call, const Value& value) {
    if (value.tag != Tag::Integer) {
        return;
    }
    MciRecord& record = call.data<MciRecord>();
    record.channel = static_cast<int32_t>(value.payload.integer);
    switch (record.channel) {
    case 0:
        set_audio(record, MCI_SET_AUDIO_ALL, true);
        break;
    case 1:
        set_audio(record, MCI_SET_AUDIO_LEFT, true);
        set_audio(record, MCI_SET_AUDIO_RIGHT, false);
        break;
    case 2:
        set_audio(record, MCI_SET_AUDIO_LEFT, false);
        set_audio(record, MCI_SET_AUDIO_RIGHT, true);
        break;
    default:
        break;
    }
}

void mci_error(MemberCall& call) { *call.result = Value::boolean(call.data<MciRecord>().last_error != 0); }

// The system's text for an MCI error code, read into a buffer of `size` bytes.
Value error_text(ScriptEngine* engine, MCIERROR code, size_t size) {
    std::vector<char> text(size, '\0');
    if (!mciGetErrorStringA(code, text.data(), static_cast<UINT>(size))) {
        text[0] = '\0';
    }
    return ansi_string(engine, std::string_view(text.data(), strnlen(text.data(), size)));
}

void mci_error_msg(MemberCall& call) {
    *call.result = error_text(call.engine, call.data<MciRecord>().last_error, error_text_buffer);
}

void mci_on_notify(MemberCall& call) {
    const Value& handler = call.data<MciRecord>().on_notify;
    *call.result = handler.tag == Tag::Function ? handler : Value::null();
}
void set_mci_on_notify(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Function) {
        call.data<MciRecord>().on_notify = value;
    }
}

// }====

// {==== Properties the device answers

// A status item: its flags (MCI_STATUS_ITEM and what goes with it) and the item.
struct StatusItem {
    DWORD flags;
    DWORD item;
};
constexpr StatusItem time_format_item{MCI_STATUS_ITEM, MCI_STATUS_TIME_FORMAT};
constexpr StatusItem length_item{MCI_STATUS_ITEM, MCI_STATUS_LENGTH};
constexpr StatusItem position_item{MCI_STATUS_ITEM, MCI_STATUS_POSITION};
constexpr StatusItem mode_item{MCI_STATUS_ITEM, MCI_STATUS_MODE};
constexpr StatusItem tracks_item{MCI_STATUS_ITEM, MCI_STATUS_NUMBER_OF_TRACKS};
constexpr StatusItem start_item{MCI_STATUS_ITEM | MCI_STATUS_START, MCI_STATUS_POSITION};
constexpr StatusItem track_length_item{MCI_STATUS_ITEM | MCI_TRACK, MCI_STATUS_LENGTH};
constexpr StatusItem track_position_item{MCI_STATUS_ITEM | MCI_TRACK, MCI_STATUS_POSITION};

void mci_status(MemberCall& call) {
    MciRecord& record = call.data<MciRecord>();
    const StatusItem& item = call.context<StatusItem>();
    MCI_STATUS_PARMS status = {};
    status.dwItem = item.item;
    status.dwTrack = record.track;
    record.send(MCI_STATUS, item.flags, status);
    *call.result = Value::integer(static_cast<int64_t>(status.dwReturn));
}

void set_mci_time_format(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Integer) {
        MCI_SET_PARMS set = {};
        set.dwTimeFormat = static_cast<DWORD>(value.payload.integer);
        call.data<MciRecord>().send(MCI_SET, MCI_SET_TIME_FORMAT, set);
    }
}

bool device_can(MciRecord& record, DWORD item) {
    MCI_GETDEVCAPS_PARMS capability = {};
    capability.dwItem = item;
    record.send(MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM, capability);
    return capability.dwReturn != 0;
}

constexpr DWORD can_eject_item = MCI_GETDEVCAPS_CAN_EJECT;
constexpr DWORD can_play_item = MCI_GETDEVCAPS_CAN_PLAY;
constexpr DWORD can_record_item = MCI_GETDEVCAPS_CAN_RECORD;

void mci_capability(MemberCall& call) {
    *call.result = Value::boolean(device_can(call.data<MciRecord>(), call.context<DWORD>()));
}

// }====

// {==== Commands

void open_device(MciRecord& record, MciClassState& state) {
    // A device still open from an earlier "open" is closed first, so that it is not lost.
    if (record.device != 0) {
        MCI_GENERIC_PARMS close = {};
        mciSendCommandA(record.device, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&close));
        record.device = 0;
    }
    char alias[32];
    std::snprintf(alias, sizeof alias, "_Quill_MCI_%d", state.next_alias++);
    MCI_OPEN_PARMSA open = {};
    open.lpstrAlias = alias;
    DWORD flags = MCI_OPEN_ALIAS;
    if (record.device_type && !record.device_type->empty()) {
        open.lpstrDeviceType = record.device_type->c_str();
        flags |= MCI_OPEN_TYPE;
    }
    if (record.file_name) {
        open.lpstrElementName = record.file_name->c_str();
        flags |= MCI_OPEN_ELEMENT;
    }
    if (record.sharable) {
        flags |= MCI_OPEN_SHAREABLE;
    }
    if (record.send(MCI_OPEN, flags, open) != 0) {
        return;
    }
    record.device = open.wDeviceID;
    record.from = -1;
    record.to = -1;
    if (!device_can(record, has_video_item)) {
        return;
    }
    MCI_DGV_WINDOW_PARMSA window = {};
    window.hWnd = record.window;
    record.send(MCI_WINDOW, MCI_DGV_WINDOW_HWND, window);
    MCI_DGV_PUT_PARMS put = {};
    put.rc = RECT{0, 0, record.width, record.height};
    record.send(MCI_PUT, MCI_DGV_PUT_DESTINATION | MCI_DGV_RECT, put);
    if (record.window != nullptr) {
        SetWindowPos(record.window, nullptr, record.left, record.top, record.width, record.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(record.window, SW_SHOW);
    }
}

void close_device(MciRecord& record) {
    MCI_GENERIC_PARMS close = {};
    const MCIERROR result = record.send(MCI_CLOSE, 0, close);
    if (record.window != nullptr) {
        ShowWindow(record.window, SW_HIDE);
    }
    if (result == 0) {
        record.device = 0;
    }
}

// The range of a play or record: the positions that are set.
template <typename Parameters> DWORD set_range(const MciRecord& record, Parameters& parameters) {
    DWORD flags = 0;
    if (record.from >= 0) {
        parameters.dwFrom = static_cast<DWORD>(record.from);
        flags |= MCI_FROM;
    }
    if (record.to >= 0) {
        parameters.dwTo = static_cast<DWORD>(record.to);
        flags |= MCI_TO;
    }
    return flags;
}

MCIERROR generic_command(MciRecord& record, UINT message, DWORD flags = 0) {
    MCI_GENERIC_PARMS parameters = {};
    return record.send(message, flags, parameters);
}

MCIERROR seek(MciRecord& record, DWORD flags) {
    MCI_SEEK_PARMS parameters = {};
    parameters.dwTo = static_cast<DWORD>(record.to);
    return record.send(MCI_SEEK, flags, parameters);
}

MCIERROR step(MciRecord& record, DWORD flags) {
    MCI_DGV_STEP_PARMS parameters = {};
    parameters.dwFrames = record.frames;
    return record.send(MCI_STEP, flags, parameters);
}

void run_command(MciRecord& record, MciClassState& state, std::string_view name) {
    auto is = [name](const char* command) { return equal_ignoring_ascii_case(name, command); };
    // Commands that move the position: the next play starts where they left it.
    std::optional<MCIERROR> moved;
    if (is("open")) {
        open_device(record, state);
    } else if (is("close")) {
        close_device(record);
    } else if (is("play")) {
        MCI_PLAY_PARMS play = {};
        const DWORD flags = set_range(record, play);
        record.send(MCI_PLAY, flags, play);
    } else if (is("pause")) {
        generic_command(record, MCI_PAUSE);
    } else if (is("stop")) {
        generic_command(record, MCI_STOP);
    } else if (is("resume")) {
        generic_command(record, MCI_RESUME);
    } else if (is("record")) {
        MCI_RECORD_PARMS parameters = {};
        const DWORD flags = set_range(record, parameters);
        record.send(MCI_RECORD, flags | (record.record_mode ? MCI_RECORD_OVERWRITE : MCI_RECORD_INSERT),
                    parameters);
    } else if (is("seek")) {
        moved = seek(record, MCI_TO);
    } else if (is("prev")) {
        moved = seek(record, MCI_SEEK_TO_START);
    } else if (is("next")) {
        moved = seek(record, MCI_SEEK_TO_END);
    } else if (is("step")) {
        moved = step(record, MCI_DGV_STEP_FRAMES);
    } else if (is("back")) {
        moved = step(record, MCI_DGV_STEP_REVERSE | MCI_DGV_STEP_FRAMES);
    } else if (is("eject")) {
        MCI_SET_PARMS parameters = {};
        record.send(MCI_SET, MCI_SET_DOOR_OPEN, parameters);
    } else if (is("save")) {
        MCI_SAVE_PARMSA parameters = {};
        parameters.lpfilename = record.file_name ? record.file_name->c_str() : "";
        record.send(MCI_SAVE, MCI_SAVE_FILE, parameters);
    } else if (is("update")) {
        MCI_DGV_UPDATE_PARMS parameters = {};
        parameters.rc = RECT{0, 0, record.width, record.height};
        parameters.hDC = record.window != nullptr ? GetDC(record.window) : nullptr;
        record.send(MCI_UPDATE, MCI_DGV_RECT | MCI_DGV_UPDATE_HDC, parameters);
        if (parameters.hDC != nullptr) {
            ReleaseDC(record.window, parameters.hDC);
        }
    } else if (is("where")) {
        MCI_DGV_RECT_PARMS parameters = {};
        if (record.send(MCI_WHERE, MCI_DGV_WHERE_SOURCE, parameters) == 0) {
            record.width = parameters.rc.right;
            record.height = parameters.rc.bottom;
        }
    }
    if (moved && *moved == 0) {
        record.from = -1;
    }
}

void set_mci_command(MemberCall& call, const Value& value) {
    if (value.tag == Tag::String) {
        run_command(call.data<MciRecord>(), call.state<MciClassState>(), ansi_text(value.payload.string));
    }
}

// }====

// {==== Methods

// sendCmdString(command): the device's reply (cut to the limit), or the error text when the
// command fails.
void mci_send_cmd_string(MemberCall& call) {
    const std::optional<std::string> command = ansi_argument(call.args, 0);
    if (!command) {
        return;
    }
    HWND window = call.instance != nullptr ? call.data<MciRecord>().window : nullptr;
    std::vector<char> reply(reply_buffer, '\0');
    const MCIERROR result =
        mciSendStringA(command->c_str(), reply.data(), static_cast<UINT>(reply.size()), window);
    if (result != 0) {
        *call.result = error_text(call.engine, result, reply_limit);
        return;
    }
    *call.result =
        ansi_string(call.engine, std::string_view(reply.data(), strnlen(reply.data(), reply_limit - 1)));
}

// getDevices(): the names of the installed devices, "" for a name that cannot be read.
void mci_get_devices(MemberCall& call) {
    DWORD count = 0;
    MCI_SYSINFO_PARMSA quantity = {};
    quantity.lpstrReturn = reinterpret_cast<LPSTR>(&count);
    quantity.dwRetSize = sizeof count;
    if (mciSendCommandA(MCI_ALL_DEVICE_ID, MCI_SYSINFO, MCI_SYSINFO_QUANTITY,
                        reinterpret_cast<DWORD_PTR>(&quantity)) != 0 ||
        count > device_count_limit) {
        count = 0;
    }
    std::vector<std::string> names;
    for (DWORD number = 1; number <= count; ++number) {
        char name[device_name_buffer] = {};
        MCI_SYSINFO_PARMSA info = {};
        info.lpstrReturn = name;
        info.dwRetSize = sizeof name;
        info.dwNumber = number;
        if (mciSendCommandA(MCI_ALL_DEVICE_ID, MCI_SYSINFO, MCI_SYSINFO_NAME,
                            reinterpret_cast<DWORD_PTR>(&info)) != 0) {
            name[0] = '\0';
        }
        names.emplace_back(name, strnlen(name, sizeof name));
    }
    *call.result = ansi_string_array(call.engine, names);
}

// makeHMS, makeMSF (three parts) and makeTMSF (four): the parts packed from the lowest byte up;
// undefined unless every part is an Integer.
void mci_pack(MemberCall& call) {
    const uint32_t parts = call.context<uint32_t>();
    uint32_t packed = 0;
    for (uint32_t i = 0; i < parts; ++i) {
        const std::optional<int64_t> part = call.args.integer(i);
        if (!part) {
            return;
        }
        packed |= (static_cast<uint32_t>(*part) & 0xFFu) << (8 * i);
    }
    *call.result = Value::integer(packed);
}
constexpr uint32_t three_parts = 3;
constexpr uint32_t four_parts = 4;

// The byte of a packed time (the low 32 bits of an Integer).
void mci_unpack(MemberCall& call) {
    if (const std::optional<int64_t> packed = call.args.integer(0)) {
        *call.result =
            Value::integer((static_cast<uint32_t>(*packed) >> (8 * call.context<uint32_t>())) & 0xFFu);
    }
}
constexpr uint32_t byte_0 = 0;
constexpr uint32_t byte_1 = 1;
constexpr uint32_t byte_2 = 2;
constexpr uint32_t byte_3 = 3;

// }====

void mci_construct(MemberCall& call);

// The class object has no record.
void mark_mci_record(ScriptEngine* engine, HostClass*, void* instance) {
    if (instance != nullptr) {
        mark_value(engine, static_cast<MciRecord*>(instance)->on_notify);
    }
}

const Member mci_members[] = {
    property("deviceType", mci_device_type, set_mci_device_type, Needs::Instance),
    property("fileName", mci_file_name, set_mci_file_name, Needs::Instance),
    property("deviceID", mci_device_id, nullptr, Needs::Instance),
    property("sharable", mci_flag, set_mci_flag, Needs::Instance, &sharable_field),
    property("notify", mci_flag, set_mci_flag, Needs::Instance, &notify_field),
    property("wait", mci_flag, set_mci_flag, Needs::Instance, &wait_field),
    property("recordMode", mci_flag, set_mci_flag, Needs::Instance, &record_mode_field),
    property("from", mci_signed, set_mci_signed, Needs::Instance, &from_field),
    property("to", mci_signed, set_mci_signed, Needs::Instance, &to_field),
    property("frames", mci_unsigned, set_mci_unsigned, Needs::Instance, &frames_field),
    property("track", mci_unsigned, set_mci_unsigned, Needs::Instance, &track_field),
    property("left", mci_signed, set_mci_placement, Needs::Instance, &left_field),
    property("top", mci_signed, set_mci_placement, Needs::Instance, &top_field),
    property("width", mci_signed, set_mci_placement, Needs::Instance, &width_field),
    property("height", mci_signed, set_mci_placement, Needs::Instance, &height_field),
    property("channel", mci_channel, set_mci_channel, Needs::Instance),
    property("timeFormat", mci_status, set_mci_time_format, Needs::Instance, &time_format_item),
    property("length", mci_status, nullptr, Needs::Instance, &length_item),
    property("position", mci_status, nullptr, Needs::Instance, &position_item),
    property("mode", mci_status, nullptr, Needs::Instance, &mode_item),
    property("tracks", mci_status, nullptr, Needs::Instance, &tracks_item),
    property("start", mci_status, nullptr, Needs::Instance, &start_item),
    property("trackLength", mci_status, nullptr, Needs::Instance, &track_length_item),
    property("trackPosition", mci_status, nullptr, Needs::Instance, &track_position_item),
    property("canEject", mci_capability, nullptr, Needs::Instance, &can_eject_item),
    property("canPlay", mci_capability, nullptr, Needs::Instance, &can_play_item),
    property("canRecord", mci_capability, nullptr, Needs::Instance, &can_record_item),
    property("canStep", mci_capability, nullptr, Needs::Instance, &has_video_item),
    property("error", mci_error, nullptr, Needs::Instance),
    property("errorMsg", mci_error_msg, nullptr, Needs::Instance),
    property("onNotify", mci_on_notify, set_mci_on_notify, Needs::Instance),
    property("command", nullptr, set_mci_command, Needs::Instance),
    method("sendCmdString", mci_send_cmd_string),
    method("getDevices", mci_get_devices),
    method("makeHMS", mci_pack, Needs::Nothing, &three_parts),
    method("makeMSF", mci_pack, Needs::Nothing, &three_parts),
    method("makeTMSF", mci_pack, Needs::Nothing, &four_parts),
    method("hmsHour", mci_unpack, Needs::Nothing, &byte_0),
    method("hmsMinute", mci_unpack, Needs::Nothing, &byte_1),
    method("hmsSecond", mci_unpack, Needs::Nothing, &byte_2),
    method("msfMinute", mci_unpack, Needs::Nothing, &byte_0),
    method("msfSecond", mci_unpack, Needs::Nothing, &byte_1),
    method("msfFrame", mci_unpack, Needs::Nothing, &byte_2),
    method("tmsfTrack", mci_unpack, Needs::Nothing, &byte_0),
    method("tmsfMinute", mci_unpack, Needs::Nothing, &byte_1),
    method("tmsfSecond", mci_unpack, Needs::Nothing, &byte_2),
    method("tmsfFrame", mci_unpack, Needs::Nothing, &byte_3),
};

const ClassDeclaration mci_class = {
    .name = "MCI",
    .class_text = "[object MCI]",
    .members = mci_members,
    .construct = mci_construct,
    .call = mci_construct,
    .destroy = delete_instance<MciRecord>,
    .mark = mark_mci_record,
    .make_state = new_state<MciClassState>,
    .free_state = delete_state<MciClassState>,
};

// MCI() and new MCI(): a closed device with its hidden playback window.
void mci_construct(MemberCall& call) {
    auto record = std::make_unique<MciRecord>();
    MciRecord* made = record.get();
    made->engine = call.engine;
    made->window = CreateWindowExA(0, playback_window_class, "Playback", WS_CHILD, 0, 0, 0, 0,
                                   host_parent_window(), nullptr, GetModuleHandleA(nullptr), nullptr);
    HostClass* cls = declared_class(call.engine, mci_class);
    *call.result = make_instance(call.engine, cls, std::move(record));
    made->self = call.result->payload.host;
    if (made->window != nullptr) {
        SetWindowLongPtrA(made->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(made));
    }
}

}  // namespace

void register_mci_class(ScriptEngine* engine) {
    register_playback_window_class();
    declare_class(engine, mci_class);
}

}  // namespace tarpon::host
