// The FontObject class: a logical font record with a colour and a point size, read and written
// through properties, and the list of the screen's fonts.
#include "host/ui/font_object.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/values/conversions.h"
#include "host/common/class.h"
#include "host/ui/ui_classes.h"

namespace tarpon::host {

namespace {

// The longest face name the 32-byte field holds with its terminator.
constexpr size_t face_name_limit = LF_FACESIZE - 1;

FontRecord new_font_record() {
    FontRecord record;
    record.font.lfCharSet = DEFAULT_CHARSET;
    return record;
}

// Copies the text into the face name, cut to what the field holds.
void set_face_name(LOGFONTA& font, const std::string& name) {
    const size_t length = std::min(std::strlen(name.c_str()), face_name_limit);
    std::memcpy(font.lfFaceName, name.data(), length);
    std::memset(font.lfFaceName + length, 0, LF_FACESIZE - length);
}

void font_name(MemberCall& call) {
    const LOGFONTA& font = call.data<FontRecord>().font;
    *call.result =
        ansi_string(call.engine, std::string_view(font.lfFaceName, strnlen(font.lfFaceName, LF_FACESIZE)));
}

void set_font_name(MemberCall& call, const Value& value) {
    if (value.tag == Tag::String) {
        set_face_name(call.data<FontRecord>().font, ansi_text(value.payload.string));
    }
}

void font_size(MemberCall& call) { *call.result = Value::integer(call.data<FontRecord>().size); }

void set_font_size(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Integer) {
        call.data<FontRecord>().size = static_cast<int32_t>(value.payload.integer);
    }
}

// The colour as written: the stored colour reference turned back into 0xRRGGBB.
void font_color(MemberCall& call) {
    *call.result = Value::integer(swap_red_blue(call.data<FontRecord>().color));
}

void set_font_color(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Integer) {
        call.data<FontRecord>().color = swap_red_blue(static_cast<uint32_t>(value.payload.integer));
    }
}

void font_bold(MemberCall& call) {
    *call.result = Value::boolean(call.data<FontRecord>().font.lfWeight == FW_BOLD);
}

void set_font_bold(MemberCall& call, const Value& value) {
    call.data<FontRecord>().font.lfWeight = to_boolean(value) ? FW_BOLD : FW_NORMAL;
}

void font_italic(MemberCall& call) {
    *call.result = Value::boolean(call.data<FontRecord>().font.lfItalic != 0);
}

void set_font_italic(MemberCall& call, const Value& value) {
    call.data<FontRecord>().font.lfItalic = to_boolean(value) ? 1 : 0;
}

void font_underline(MemberCall& call) {
    *call.result = Value::boolean(call.data<FontRecord>().font.lfUnderline != 0);
}

void set_font_underline(MemberCall& call, const Value& value) {
    call.data<FontRecord>().font.lfUnderline = to_boolean(value) ? 1 : 0;
}

// One pass over the fonts: counts them, and with a list also keeps their full names.
struct FontPass {
    size_t count = 0;
    std::vector<std::string>* names = nullptr;
    size_t limit = 0;  // the names the list takes: the first pass's count
};

int CALLBACK enumerate_font(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM data) {
    auto* pass = reinterpret_cast<FontPass*>(data);
    if (pass->names != nullptr) {
        if (pass->names->size() >= pass->limit) {
            return 0;
        }
        const auto* full = reinterpret_cast<const ENUMLOGFONTEXA*>(font);
        const char* name = reinterpret_cast<const char*>(full->elfFullName);
        pass->names->emplace_back(name, strnlen(name, sizeof full->elfFullName));
    }
    ++pass->count;
    return 1;
}

// getFonts(character set, face name): the full names of the screen's fonts of that character set
// (default: all) and face (default: every family), or null when there are none.
void font_get_fonts(MemberCall& call) {
    LOGFONTA wanted = {};
    const std::optional<int64_t> charset = call.args.integer(0);
    wanted.lfCharSet = charset ? static_cast<BYTE>(*charset & 0xFF) : DEFAULT_CHARSET;
    if (std::optional<std::string> face = ansi_argument(call.args, 1)) {
        set_face_name(wanted, *face);
    }
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        *call.result = Value::null();
        return;
    }
    FontPass counting;
    EnumFontFamiliesExA(screen, &wanted, enumerate_font, reinterpret_cast<LPARAM>(&counting), 0);
    std::vector<std::string> names;
    if (counting.count > 0) {
        FontPass filling{0, &names, counting.count};
        EnumFontFamiliesExA(screen, &wanted, enumerate_font, reinterpret_cast<LPARAM>(&filling), 0);
        // The list has the first pass's length even if fonts came or went in between.
        names.resize(counting.count);
    }
    ReleaseDC(nullptr, screen);
    *call.result = names.empty() ? Value::null() : ansi_string_array(call.engine, names);
}

void font_construct(MemberCall& call);

const Member font_members[] = {
    property("name", font_name, set_font_name, Needs::Instance),
    property("size", font_size, set_font_size, Needs::Instance),
    property("color", font_color, set_font_color, Needs::Instance),
    property("bold", font_bold, set_font_bold, Needs::Instance),
    property("italic", font_italic, set_font_italic, Needs::Instance),
    property("underline", font_underline, set_font_underline, Needs::Instance),
    method("getFonts", font_get_fonts),
};

const ClassDeclaration font_class = {
    .name = "FontObject",
    .class_text = "[object FontObject]",
    .members = font_members,
    .construct = font_construct,
    .destroy = delete_instance<FontRecord>,
};

void font_construct(MemberCall& call) {
    *call.result = make_instance(call.engine, call.cls, std::make_unique<FontRecord>(new_font_record()));
}

}  // namespace

Value make_font_object(ScriptEngine* engine, const FontRecord& record) {
    HostClass* cls = declared_class(engine, font_class);
    if (cls == nullptr) {
        return Value::null();
    }
    FontRecord copy = record;
    copy.font.lfFaceName[face_name_limit] = '\0';
    return make_instance(engine, cls, std::make_unique<FontRecord>(copy));
}

const FontRecord* font_record_of(const Value& value) { return instance_of<FontRecord>(value, font_class); }

void register_font_object_class(ScriptEngine* engine) { declare_class(engine, font_class); }

}  // namespace tarpon::host
