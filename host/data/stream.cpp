// The stream classes: FileStream (also named Stream) over an open file and StringStream over bytes
// in memory, with one set of members. Text crosses in the stream's charset; reads that end inside a
// multi-byte character keep its first bytes for the next read, so a script reading in pieces loses
// nothing. Failures are results (false, null) with the system's text in the message buffer.
#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>

#include "host/common/class.h"
#include "host/common/system_error.h"
#include "host/data/data_classes.h"
#include "host/data/stream_codec.h"
#include "host/data/stream_store.h"

#include "engine/values/conversions.h"
#include "engine/values/string_record.h"

namespace tarpon::host {

namespace {

using data::ByteStore;
using data::Charset;
using data::StreamFailure;

// Bytes a line or a copy reads from the store at a time.
constexpr size_t read_step = 64 * 1024;

struct StreamRecord {
    std::unique_ptr<ByteStore> store;  // null once closed
    Charset charset = Charset::Ansi;
    // Where the store is read next. The start of a character cut by the last read is held in
    // `pending` and lies just before it: the script's position is position - pending.size().
    uint64_t position = 0;
    std::string pending;

    uint64_t script_position() const { return position - pending.size(); }
    // Back to the script's position with nothing held, before anything but a read.
    void settle() {
        position = script_position();
        pending.clear();
    }
};

const ClassDeclaration& file_stream_declaration();
const ClassDeclaration& string_stream_declaration();

void fail(MemberCall& call, uint32_t code) {
    store_system_error(call.engine, code);
    *call.result = Value::boolean(false);
}

void fail(MemberCall& call, StreamFailure failure) { fail(call, data::system_code(failure)); }

void fail_store(MemberCall& call, const StreamRecord& record) { fail(call, record.store->last_error()); }

// The record of an open stream; a closed one answers false and does nothing.
StreamRecord* open_record(MemberCall& call) {
    StreamRecord& record = call.data<StreamRecord>();
    if (!record.store) {
        *call.result = Value::boolean(false);
        return nullptr;
    }
    return &record;
}

// A whole number from an Integer or a finite Number within 64 bits; nothing otherwise.
std::optional<int64_t> whole_number(const Value& value) {
    if (value.is(Tag::Integer)) {
        return value.payload.integer;
    }
    if (value.is(Tag::Number) && std::isfinite(value.payload.number) && std::fabs(value.payload.number) < 9.2e18) {
        return double_to_int64(value.payload.number);
    }
    return std::nullopt;
}

Value text_value(ScriptEngine* engine, const std::u16string& text) { return make_string_copy(engine, text); }

// Argument i converted to a String in its own cell (kept alive there while other conversions run).
const StringRecord* string_argument(const Arguments& args, ScriptEngine* engine, uint32_t i) {
    Value& cell = args.cell(i);
    cell = to_string(engine, cell);
    return cell.payload.string;
}

std::optional<uint64_t> store_size(MemberCall& call, StreamRecord& record) {
    const std::optional<uint64_t> size = record.store->size();
    if (!size) {
        fail_store(call, record);
    }
    return size;
}

// The whole content, for the members that replace it in one piece.
std::optional<std::string> whole_content(MemberCall& call, StreamRecord& record) {
    if (std::string* bytes = record.store->memory()) {
        return *bytes;
    }
    const std::optional<uint64_t> size = store_size(call, record);
    if (!size) {
        return std::nullopt;
    }
    if (*size > data::memory_content_limit) {
        fail(call, StreamFailure::NoMemory);
        return std::nullopt;
    }
    std::string bytes;
    if (!record.store->read(0, static_cast<size_t>(*size), bytes)) {
        fail_store(call, record);
        return std::nullopt;
    }
    return bytes;
}

// Replaces the content and starts again at its beginning.
bool replace_content(MemberCall& call, StreamRecord& record, std::string bytes) {
    record.pending.clear();
    record.position = 0;
    if (std::string* memory = record.store->memory()) {
        *memory = std::move(bytes);
        return true;
    }
    // Emptied first, since a file opened for appending takes writes only at its end; a file opened
    // for reading alone refuses the cut and stays as it was.
    ByteStore& store = *record.store;
    const bool done = store.truncate(0) && store.write(0, bytes).has_value();
    if (!done) {
        fail_store(call, record);
    }
    return done;
}

// FileStream(path [, mode]): null with the system's text when the file cannot be opened.
void file_stream_construct(MemberCall& call) {
    *call.result = Value::null();
    const StringRecord* path = call.args.string(0);
    if (path == nullptr || path->length == 0 || path->view().find(u'\0') != std::u16string_view::npos) {
        store_system_error(call.engine, data::system_code(StreamFailure::InvalidArgument));
        return;
    }
    std::optional<data::FileMode> mode = data::parse_file_mode(u"r");
    if (call.args.has(1) && !call.args.is(1, Tag::Undefined)) {
        const StringRecord* text = call.args.string(1);
        mode = text != nullptr ? data::parse_file_mode(text->view()) : std::nullopt;
    }
    if (!mode) {
        store_system_error(call.engine, data::system_code(StreamFailure::InvalidArgument));
        return;
    }
    uint32_t error = 0;
    std::unique_ptr<ByteStore> store = data::open_file_store(path->view(), *mode, error);
    if (!store) {
        store_system_error(call.engine, error);
        return;
    }
    auto record = std::make_unique<StreamRecord>();
    record->store = std::move(store);
    *call.result = make_instance(call.engine, call.cls, std::move(record));
}

// StringStream([text]): the text in the ANSI code page.
void string_stream_construct(MemberCall& call) {
    std::string bytes;
    if (call.args.has(0) && !call.args.is(0, Tag::Undefined)) {
        bytes = *data::encode_text(Charset::Ansi, string_argument(call.args, call.engine, 0)->view());
    }
    auto record = std::make_unique<StreamRecord>();
    record->store = data::memory_store(std::move(bytes));
    *call.result = make_instance(call.engine, call.cls, std::move(record));
}

// Decodes what is held, keeping a cut character unless the data ends there.
Value decode_pending(MemberCall& call, StreamRecord& record, bool at_end) {
    data::Decoded decoded = data::decode_text(record.charset, record.pending, at_end);
    record.pending.erase(0, decoded.used);
    return text_value(call.engine, decoded.text);
}

void stream_read(MemberCall& call) {
    const std::optional<int64_t> count = whole_number(call.args[0]);
    StreamRecord* record = open_record(call);
    if (record == nullptr) {
        return;
    }
    if (!count || *count < 0) {
        fail(call, StreamFailure::InvalidArgument);
        return;
    }
    const std::optional<uint64_t> size = store_size(call, *record);
    if (!size) {
        return;
    }
    const uint64_t left = *size > record->position ? *size - record->position : 0;
    const uint64_t wanted = std::min({static_cast<uint64_t>(*count), left, data::memory_content_limit});
    const size_t before = record->pending.size();
    if (!record->store->read(record->position, static_cast<size_t>(wanted), record->pending)) {
        fail_store(call, *record);
        return;
    }
    record->position += record->pending.size() - before;
    *call.result = decode_pending(call, *record, record->position >= *size);
}

// The next line without its "\n" or "\r\n"; null at the end. A line longer than a buffer in memory
// may hold comes in pieces of that size. The bytes read past the line's end are given back, so
// that only a character cut by a read is ever held.
void stream_read_line(MemberCall& call) {
    StreamRecord* record = open_record(call);
    if (record == nullptr) {
        return;
    }
    const size_t unit = data::unit_size(record->charset);
    std::string buffer = std::move(record->pending);
    record->pending.clear();
    size_t scanned = 0;
    size_t line_feed;
    while ((line_feed = data::find_line_feed(record->charset, buffer, scanned)) == std::string::npos) {
        const std::optional<uint64_t> size = store_size(call, *record);
        if (!size) {
            record->pending = std::move(buffer);
            return;
        }
        if (record->position >= *size || buffer.size() >= data::memory_content_limit) {
            break;
        }
        scanned = buffer.size() - buffer.size() % unit;
        const size_t before = buffer.size();
        const size_t step = static_cast<size_t>(std::min<uint64_t>(read_step, *size - record->position));
        if (!record->store->read(record->position, step, buffer)) {
            fail_store(call, *record);
            record->pending = std::move(buffer);
            return;
        }
        record->position += buffer.size() - before;
        if (buffer.size() == before) {
            break;  // the file ended sooner than its size said
        }
    }
    if (line_feed == std::string::npos && buffer.empty()) {
        *call.result = Value::null();
        return;
    }
    const size_t line_end = line_feed == std::string::npos ? buffer.size() : line_feed;
    data::Decoded decoded = data::decode_text(record->charset, std::string_view(buffer).substr(0, line_end), true);
    if (line_feed != std::string::npos && !decoded.text.empty() && decoded.text.back() == u'\r') {
        decoded.text.pop_back();
    }
    const size_t taken = line_feed == std::string::npos ? line_end : line_feed + unit;
    record->position -= buffer.size() - taken;
    *call.result = text_value(call.engine, decoded.text);
}

void stream_read_all(MemberCall& call) {
    StreamRecord* record = open_record(call);
    if (record == nullptr) {
        return;
    }
    const std::optional<uint64_t> size = store_size(call, *record);
    if (!size) {
        return;
    }
    const uint64_t left = *size > record->position ? *size - record->position : 0;
    if (left > data::memory_content_limit - record->pending.size()) {
        fail(call, StreamFailure::NoMemory);
        return;
    }
    const size_t before = record->pending.size();
    if (!record->store->read(record->position, static_cast<size_t>(left), record->pending)) {
        fail_store(call, *record);
        return;
    }
    record->position += record->pending.size() - before;
    *call.result = decode_pending(call, *record, true);
}

// Writes the encoded text at the script's position; the bytes written, or false.
void write_text(MemberCall& call, StreamRecord& record, std::u16string_view text) {
    const std::optional<std::string> bytes = data::encode_text(record.charset, text);
    if (!bytes) {
        fail(call, StreamFailure::NoTranslation);
        return;
    }
    record.settle();
    const std::optional<uint64_t> end = record.store->write(record.position, *bytes);
    if (!end) {
        fail_store(call, record);
        return;
    }
    record.position = *end;
    *call.result = Value::integer(static_cast<int64_t>(bytes->size()));
}

void stream_write(MemberCall& call) {
    if (!call.args.has(0)) {
        if (open_record(call) != nullptr) {
            fail(call, StreamFailure::InvalidArgument);
        }
        return;
    }
    const StringRecord* text = string_argument(call.args, call.engine, 0);
    if (StreamRecord* record = open_record(call)) {
        write_text(call, *record, text->view());
    }
}

void stream_write_line(MemberCall& call) {
    std::u16string line;
    if (call.args.has(0)) {
        line = string_argument(call.args, call.engine, 0)->view();
    }
    line += u"\r\n";
    if (StreamRecord* record = open_record(call)) {
        write_text(call, *record, line);
    }
}

// Moves to the offset from the start, the current position or the end; the new position.
bool move_to(MemberCall& call, StreamRecord& record, int64_t offset, int64_t origin) {
    int64_t base = 0;
    if (origin == 1) {
        base = static_cast<int64_t>(record.script_position());
    } else if (origin == 2) {
        const std::optional<uint64_t> size = store_size(call, record);
        if (!size) {
            return false;
        }
        base = static_cast<int64_t>(*size);
    } else if (origin != 0) {
        fail(call, StreamFailure::InvalidArgument);
        return false;
    }
    int64_t target;
    if (__builtin_add_overflow(base, offset, &target) || target < 0) {
        fail(call, StreamFailure::NegativeSeek);
        return false;
    }
    record.pending.clear();
    record.position = static_cast<uint64_t>(target);
    return true;
}

void stream_seek(MemberCall& call) {
    const std::optional<int64_t> offset = whole_number(call.args[0]);
    const std::optional<int64_t> origin = call.args.has(1) ? whole_number(call.args[1]) : std::optional<int64_t>(0);
    StreamRecord* record = open_record(call);
    if (record == nullptr) {
        return;
    }
    if (!offset || !origin) {
        fail(call, StreamFailure::InvalidArgument);
        return;
    }
    if (move_to(call, *record, *offset, *origin)) {
        *call.result = Value::integer(static_cast<int64_t>(record->position));
    }
}

void stream_position(MemberCall& call) {
    if (StreamRecord* record = open_record(call)) {
        *call.result = Value::integer(static_cast<int64_t>(record->script_position()));
    }
}

void set_stream_position(MemberCall& call, const Value& value) {
    const std::optional<int64_t> offset = whole_number(value);
    StreamRecord& record = call.data<StreamRecord>();
    if (offset && record.store) {
        move_to(call, record, *offset, 0);
    }
}

void stream_size(MemberCall& call) {
    StreamRecord* record = open_record(call);
    if (record == nullptr) {
        return;
    }
    if (const std::optional<uint64_t> size = store_size(call, *record)) {
        *call.result = Value::integer(static_cast<int64_t>(*size));
    }
}

void stream_eof(MemberCall& call) {
    StreamRecord* record = open_record(call);
    if (record == nullptr) {
        return;
    }
    if (const std::optional<uint64_t> size = store_size(call, *record)) {
        *call.result = Value::boolean(record->pending.empty() && record->position >= *size);
    }
}

void stream_flush(MemberCall& call) {
    if (StreamRecord* record = open_record(call)) {
        if (record->store->flush()) {
            *call.result = Value::boolean(true);
        } else {
            fail_store(call, *record);
        }
    }
}

void stream_truncate(MemberCall& call) {
    if (StreamRecord* record = open_record(call)) {
        record->settle();
        if (record->store->truncate(record->position)) {
            *call.result = Value::boolean(true);
        } else {
            fail_store(call, *record);
        }
    }
}

StreamRecord* stream_of(const Value& value) {
    if (auto* record = instance_of<StreamRecord>(value, file_stream_declaration())) {
        return record;
    }
    return instance_of<StreamRecord>(value, string_stream_declaration());
}

// Copies the bytes from the position to the end into the other stream at its position.
void stream_copy_to(MemberCall& call) {
    StreamRecord* source = open_record(call);
    if (source == nullptr) {
        return;
    }
    StreamRecord* target = stream_of(call.args[0]);
    if (target == nullptr || !target->store || target == source) {
        fail(call, StreamFailure::InvalidArgument);
        return;
    }
    const std::optional<uint64_t> size = store_size(call, *source);
    if (!size) {
        return;
    }
    target->settle();
    uint64_t copied = 0;
    std::string chunk = std::move(source->pending);
    source->pending.clear();
    for (;;) {
        if (!chunk.empty()) {
            const std::optional<uint64_t> end = target->store->write(target->position, chunk);
            if (!end) {
                fail_store(call, *target);
                return;
            }
            target->position = *end;
            copied += chunk.size();
            chunk.clear();
        }
        if (source->position >= *size) {
            break;
        }
        const size_t step = static_cast<size_t>(std::min<uint64_t>(read_step, *size - source->position));
        if (!source->store->read(source->position, step, chunk)) {
            fail_store(call, *source);
            return;
        }
        if (chunk.empty()) {
            break;
        }
        source->position += chunk.size();
    }
    *call.result = Value::integer(static_cast<int64_t>(copied));
}

void stream_close(MemberCall& call) {
    if (StreamRecord* record = open_record(call)) {
        record->store.reset();
        record->pending.clear();
        *call.result = Value::boolean(true);
    }
}

void stream_charset(MemberCall& call) {
    *call.result = ansi_string_z(call.engine, data::charset_name(call.data<StreamRecord>().charset));
}

void set_stream_charset(MemberCall& call, const Value& value) {
    if (!value.is(Tag::String)) {
        return;
    }
    if (const std::optional<Charset> charset = data::charset_named(value.payload.string->view())) {
        StreamRecord& record = call.data<StreamRecord>();
        record.settle();  // what is held was read in the old charset
        record.charset = *charset;
    }
}

void stream_compress(MemberCall& call) {
    const std::optional<int64_t> level = call.args.has(0) ? whole_number(call.args[0]) : std::optional<int64_t>(6);
    StreamRecord* record = open_record(call);
    if (record == nullptr) {
        return;
    }
    if (!level || *level < 0 || *level > 9) {
        fail(call, StreamFailure::InvalidArgument);
        return;
    }
    const std::optional<std::string> content = whole_content(call, *record);
    if (!content) {
        return;
    }
    std::optional<std::string> packed = data::zlib_compress(*content, static_cast<int>(*level));
    if (!packed) {
        fail(call, StreamFailure::NoMemory);
        return;
    }
    if (replace_content(call, *record, std::move(*packed))) {
        *call.result = Value::boolean(true);
    }
}

void stream_uncompress(MemberCall& call) {
    StreamRecord* record = open_record(call);
    if (record == nullptr) {
        return;
    }
    const std::optional<std::string> content = whole_content(call, *record);
    if (!content) {
        return;
    }
    std::optional<std::string> unpacked = data::zlib_uncompress(*content);
    if (!unpacked) {
        fail(call, StreamFailure::BadData);
        return;
    }
    if (replace_content(call, *record, std::move(*unpacked))) {
        *call.result = Value::boolean(true);
    }
}

// StringStream's own members: the content as a whole.

void string_stream_text(MemberCall& call) {
    if (StreamRecord* record = open_record(call)) {
        const data::Decoded decoded = data::decode_text(record->charset, *record->store->memory(), true);
        *call.result = text_value(call.engine, decoded.text);
    }
}

void set_string_stream_text(MemberCall& call, const Value& value) {
    if (!value.is(Tag::String)) {
        return;
    }
    StreamRecord& record = call.data<StreamRecord>();
    if (!record.store) {
        return;
    }
    std::optional<std::string> bytes = data::encode_text(record.charset, value.payload.string->view());
    if (!bytes) {
        store_system_error(call.engine, data::system_code(StreamFailure::NoTranslation));
        return;
    }
    replace_content(call, record, std::move(*bytes));
}

void string_stream_to_base64(MemberCall& call) {
    if (StreamRecord* record = open_record(call)) {
        *call.result = ansi_string(call.engine, data::base64_encode(*record->store->memory()));
    }
}

void string_stream_from_base64(MemberCall& call) {
    const StringRecord* text = call.args.string(0);
    StreamRecord* record = open_record(call);
    if (record == nullptr) {
        return;
    }
    std::optional<std::string> bytes;
    if (text != nullptr) {
        std::string ascii;
        ascii.reserve(text->length);
        bool plain = true;
        for (const char16_t c : text->view()) {
            plain = plain && c < 0x80;
            ascii.push_back(static_cast<char>(c));
        }
        if (plain) {
            bytes = data::base64_decode(ascii);
        }
    }
    if (!bytes) {
        fail(call, StreamFailure::BadData);
        return;
    }
    if (replace_content(call, *record, std::move(*bytes))) {
        *call.result = Value::boolean(true);
    }
}

#define TARPON_STREAM_MEMBERS                                                              \
    property("charset", stream_charset, set_stream_charset, Needs::Instance),               \
        method("read", stream_read, Needs::Instance),                                       \
        method("readLine", stream_read_line, Needs::Instance),                              \
        method("readAll", stream_read_all, Needs::Instance),                                \
        method("write", stream_write, Needs::Instance),                                     \
        method("writeLine", stream_write_line, Needs::Instance),                            \
        method("seek", stream_seek, Needs::Instance),                                       \
        property("position", stream_position, set_stream_position, Needs::Instance),        \
        property("size", stream_size, nullptr, Needs::Instance),                            \
        property("eof", stream_eof, nullptr, Needs::Instance),                              \
        method("flush", stream_flush, Needs::Instance),                                     \
        method("truncate", stream_truncate, Needs::Instance),                               \
        method("copyTo", stream_copy_to, Needs::Instance),                                  \
        method("close", stream_close, Needs::Instance),                                     \
        method("compress", stream_compress, Needs::Instance),                               \
        method("uncompress", stream_uncompress, Needs::Instance)

const Member file_stream_members[] = {TARPON_STREAM_MEMBERS};

const Member string_stream_members[] = {
    TARPON_STREAM_MEMBERS,
    property("text", string_stream_text, set_string_stream_text, Needs::Instance),
    method("toBase64", string_stream_to_base64, Needs::Instance),
    method("fromBase64", string_stream_from_base64, Needs::Instance),
};

#undef TARPON_STREAM_MEMBERS

const ClassDeclaration file_stream_class = {
    .name = "FileStream",
    .also_named = "Stream",
    .class_text = "[object FileStream]",
    .members = file_stream_members,
    .construct = file_stream_construct,
    .destroy = delete_instance<StreamRecord>,
};

const ClassDeclaration string_stream_class = {
    .name = "StringStream",
    .class_text = "[object StringStream]",
    .members = string_stream_members,
    .construct = string_stream_construct,
    .destroy = delete_instance<StreamRecord>,
};

const ClassDeclaration& file_stream_declaration() { return file_stream_class; }
const ClassDeclaration& string_stream_declaration() { return string_stream_class; }

}  // namespace

void register_file_stream_class(ScriptEngine* engine) { declare_class(engine, file_stream_class); }
void register_string_stream_class(ScriptEngine* engine) { declare_class(engine, string_stream_class); }

}  // namespace tarpon::host
