#include "tools/author/version_resource.h"

#include <cctype>
#include <string>

#include "engine/values/text_codec.h"
#include "projector/appdata/record_stream.h"

namespace tarpon::author {

namespace {

// A block of the version resource: length, value length, type, key, padding, value, children.
// Every part starts on a 4-byte boundary.
struct Block {
    std::vector<uint8_t> bytes;

    void u16(uint16_t v) {
        bytes.push_back(uint8_t(v));
        bytes.push_back(uint8_t(v >> 8));
    }
    void u32(uint32_t v) {
        u16(uint16_t(v));
        u16(uint16_t(v >> 16));
    }
    void pad() {
        while (bytes.size() % 4) {
            bytes.push_back(0);
        }
    }
    void wide(const std::u16string& text) {
        for (char16_t c : text) {
            u16(uint16_t(c));
        }
        u16(0);
    }
    void set_length() {
        bytes[0] = uint8_t(bytes.size());
        bytes[1] = uint8_t(bytes.size() >> 8);
    }
};

Block header(const char16_t* key, uint16_t value_length, uint16_t type) {
    Block block;
    block.u16(0);
    block.u16(value_length);
    block.u16(type);
    block.wide(key);
    block.pad();
    return block;
}

void add_child(Block& parent, const Block& child) {
    parent.pad();
    parent.bytes.insert(parent.bytes.end(), child.bytes.begin(), child.bytes.end());
}

Block string_entry(const char16_t* key, const std::string& ansi) {
    std::u16string value = quill::narrow_to_utf16(ansi);
    Block block = header(key, uint16_t(value.size() + 1), 1);
    block.wide(value);
    block.set_length();
    return block;
}

void version_numbers(const std::optional<std::string>& text, uint16_t parts[4]) {
    std::string version = text.value_or("");
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        parts[i] = 0;
        unsigned value = 0;
        bool any = false;
        while (at < version.size() && std::isdigit(static_cast<unsigned char>(version[at]))) {
            value = std::min(65535u, value * 10 + unsigned(version[at] - '0'));
            any = true;
            ++at;
        }
        parts[i] = uint16_t(value);
        if (!any || at >= version.size() || version[at] != '.') {
            break;
        }
        ++at;
    }
}

}  // namespace

std::vector<uint8_t> version_resource(const appdata::Settings& s) {
    uint16_t v[4];
    version_numbers(s.version, v);
    Block root = header(u"VS_VERSION_INFO", 52, 0);
    root.u32(0xFEEF04BD);  // signature
    root.u32(0x00010000);  // structure version
    root.u32(uint32_t(v[0]) << 16 | v[1]);
    root.u32(uint32_t(v[2]) << 16 | v[3]);
    root.u32(uint32_t(v[0]) << 16 | v[1]);
    root.u32(uint32_t(v[2]) << 16 | v[3]);
    root.u32(0x3F);     // flags mask
    root.u32(0);        // flags
    root.u32(0x40004);  // VOS_NT_WINDOWS32
    root.u32(1);        // VFT_APP
    root.u32(0);
    root.u32(0);
    root.u32(0);

    Block table = header(u"040904B0", 0, 1);
    struct Field {
        const char16_t* key;
        const std::optional<std::string>& value;
    };
    const Field fields[] = {{u"CompanyName", s.company},   {u"FileDescription", s.description},
                            {u"FileVersion", s.version},   {u"LegalCopyright", s.legal_notice},
                            {u"ProductName", s.title},     {u"ProductVersion", s.version},
                            {u"Comments", s.contact}};
    for (const Field& field : fields) {
        if (field.value && !field.value->empty()) {
            add_child(table, string_entry(field.key, *field.value));
        }
    }
    table.set_length();
    Block strings = header(u"StringFileInfo", 0, 1);
    add_child(strings, table);
    strings.set_length();

    Block translation = header(u"Translation", 4, 0);
    translation.u32(0x04B00409);  // U.S. English, Unicode
    translation.set_length();
    Block vars = header(u"VarFileInfo", 0, 1);
    add_child(vars, translation);
    vars.set_length();

    add_child(root, strings);
    add_child(root, vars);
    root.set_length();
    return root.bytes;
}

}  // namespace tarpon::author
