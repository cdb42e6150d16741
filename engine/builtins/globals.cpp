// The global values and functions of the language.
//
// Every function here is the class object of a declared class of its own with only a call handler.
// Arguments that are absent are not the same as Undefined arguments: each handler checks the count
// before it reads a cell.
//
// GC note: a handler may run script code while it converts an argument (an object's toString or
// valueOf), and a collection may happen there. The argument block itself is on the interpreter
// stack and stays marked, but a String made by a conversion is referenced only from C++; so a
// handler converts at most one argument into a collected String and then makes no further call
// that may run a script, or copies the text out to the plain heap first (parseInt, trace).
#include "engine/builtins/globals.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <string_view>

#include "engine/values/atoms.h"
#include "engine/values/class_declaration.h"
#include "engine/values/config.h"
#include "engine/values/messages.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/number_scan.h"
#include "engine/values/plain_heap.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

constexpr char16_t hex_digits[] = u"0123456789ABCDEF";

// {==== Character sets

// A set of ASCII characters. The code unit 0 is a member of every set: the functions below treat
// it as a character to keep, never to escape or decode.
struct CharSet {
    bool member[128];
};

constexpr CharSet char_set(std::string_view chars) {
    CharSet set{};
    set.member[0] = true;
    for (char c : chars) {
        set.member[static_cast<unsigned char>(c)] = true;
    }
    return set;
}

constexpr bool contains(const CharSet& set, uint32_t c) { return c < 128 && set.member[c]; }

#define QUILL_UPPER "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
#define QUILL_LOWER "abcdefghijklmnopqrstuvwxyz"
#define QUILL_DIGITS "0123456789"
#define QUILL_URI_RESERVED ";/?:@&=+$,#"
#define QUILL_URI_UNRESERVED QUILL_DIGITS QUILL_UPPER QUILL_LOWER "-_.!~*'()"

// Characters escape copies unchanged.
constexpr CharSet escape_alphabet = char_set(QUILL_UPPER QUILL_LOWER QUILL_DIGITS "@*_+-./");
// Keep-sets of the encoders: what they copy unchanged.
constexpr CharSet encode_uri_keep = char_set(QUILL_URI_RESERVED QUILL_URI_UNRESERVED);
constexpr CharSet encode_component_keep = char_set(QUILL_URI_UNRESERVED);
// Keep-sets of the decoders: what they leave encoded.
constexpr CharSet decode_uri_keep = char_set(QUILL_URI_RESERVED);
constexpr CharSet decode_component_keep = char_set("");

#undef QUILL_UPPER
#undef QUILL_LOWER
#undef QUILL_DIGITS
#undef QUILL_URI_RESERVED
#undef QUILL_URI_UNRESERVED

static_assert(escape_alphabet.member[u'@'] && !escape_alphabet.member[u' ']);
static_assert(encode_uri_keep.member[u'#'] && !encode_component_keep.member[u'#']);

bool is_hex_digit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Requires: is_hex_digit(c).
uint32_t hex_value(char16_t c) {
    return c <= u'9' ? static_cast<uint32_t>(c - u'0') : static_cast<uint32_t>((c | 0x20) - u'a' + 10);
}

// The byte written as two hex digits at text[at] and text[at + 1], or -1 when the text ends first or
// either is not a hex digit.
int hex_byte(std::u16string_view text, size_t at) {
    if (at + 1 >= text.size() || !is_hex_digit(text[at]) || !is_hex_digit(text[at + 1])) {
        return -1;
    }
    return static_cast<int>(hex_value(text[at]) * 16 + hex_value(text[at + 1]));
}

bool is_high_surrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// }====

// {==== Two-pass text transforms
//
// Each transform is written once against an output that either counts code units or stores them:
// the first pass finds the exact length (and any error), the second fills a string of that length.

struct CountingOutput {
    size_t count = 0;
    void put(char16_t) { ++count; }
    void put_text(std::u16string_view text) { count += text.size(); }
};

struct StoringOutput {
    char16_t* next;
    void put(char16_t c) { *next++ = c; }
    void put_text(std::u16string_view text) {
        for (char16_t c : text) {
            *next++ = c;
        }
    }
};

template <typename Output>
void put_percent_byte(Output& out, uint32_t byte) {
    out.put(u'%');
    out.put(hex_digits[(byte >> 4) & 0xF]);
    out.put(hex_digits[byte & 0xF]);
}

template <typename Output>
void escape_text(std::u16string_view text, Output& out) {
    for (char16_t c : text) {
        if (contains(escape_alphabet, c)) {
            out.put(c);
        } else if (c < 256) {
            put_percent_byte(out, c);
        } else {
            out.put(u'%');
            out.put(u'u');
            for (int shift = 12; shift >= 0; shift -= 4) {
                out.put(hex_digits[(c >> shift) & 0xF]);
            }
        }
    }
}

template <typename Output>
void unescape_text(std::u16string_view text, Output& out) {
    size_t length = text.size();
    for (size_t i = 0; i < length; ++i) {
        char16_t c = text[i];
        if (c == u'%') {
            if (i + 5 < length && text[i + 1] == u'u' && is_hex_digit(text[i + 2]) && is_hex_digit(text[i + 3]) &&
                is_hex_digit(text[i + 4]) && is_hex_digit(text[i + 5])) {
                uint32_t unit = 0;
                for (size_t k = i + 2; k <= i + 5; ++k) {
                    unit = unit * 16 + hex_value(text[k]);
                }
                out.put(static_cast<char16_t>(unit));
                i += 5;
                continue;
            }
            int byte = hex_byte(text, i + 1);
            if (byte >= 0) {
                out.put(static_cast<char16_t>(byte));
                i += 2;
                continue;
            }
        }
        out.put(c);
    }
}

// Code units outside the keep-set become the %XX bytes of their UTF-8 form; a surrogate pair is one
// code point. False on a lone surrogate.
template <typename Output>
bool encode_text(std::u16string_view text, const CharSet& keep, Output& out) {
    size_t length = text.size();
    for (size_t i = 0; i < length; ++i) {
        uint32_t c = text[i];
        if (contains(keep, c)) {
            out.put(static_cast<char16_t>(c));
            continue;
        }
        if (is_low_surrogate(c)) {
            return false;
        }
        if (is_high_surrogate(c)) {
            if (i + 1 >= length || !is_low_surrogate(text[i + 1])) {
                return false;
            }
            c = (c - 0xD800) * 0x400 + (text[i + 1] - 0xDC00u) + 0x10000;
            ++i;
        }
        if (c < 0x80) {
            put_percent_byte(out, c);
        } else if (c < 0x800) {
            put_percent_byte(out, 0xC0 | (c >> 6));
            put_percent_byte(out, 0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            put_percent_byte(out, 0xE0 | (c >> 12));
            put_percent_byte(out, 0x80 | ((c >> 6) & 0x3F));
            put_percent_byte(out, 0x80 | (c & 0x3F));
        } else {
            put_percent_byte(out, 0xF0 | (c >> 18));
            put_percent_byte(out, 0x80 | ((c >> 12) & 0x3F));
            put_percent_byte(out, 0x80 | ((c >> 6) & 0x3F));
            put_percent_byte(out, 0x80 | (c & 0x3F));
        }
    }
    return true;
}

// Each %XX run of one UTF-8 sequence becomes its character, or a surrogate pair above U+FFFF. A
// character in the keep-set stays as written. False on a malformed escape, a cut or malformed
// sequence, and on what strict UTF-8 refuses: sequences over four bytes, over-long forms (so that an
// encoded "/" or "." cannot slip past the keep-set), surrogates and values beyond U+10FFFF.
template <typename Output>
bool decode_text(std::u16string_view text, const CharSet& keep, Output& out) {
    size_t length = text.size();
    for (size_t k = 0; k < length; ++k) {
        if (text[k] != u'%') {
            out.put(text[k]);
            continue;
        }
        int lead = hex_byte(text, k + 1);
        if (lead < 0) {
            return false;
        }
        size_t last = k + 2;  // the last hex digit of the sequence
        uint32_t value = static_cast<uint32_t>(lead);
        if (value >= 0x80) {
            if ((value & 0x40) == 0) {
                return false;  // a continuation byte cannot start a sequence
            }
            int bytes = 0;
            while (bytes < 8 && (value & (0x80u >> bytes)) != 0) {
                ++bytes;
            }
            if (bytes > 4) {
                return false;
            }
            last = k + 2 + 3 * static_cast<size_t>(bytes - 1);
            if (last >= length) {
                return false;
            }
            value &= 0x7Fu >> bytes;  // the bits after the length prefix and its 0
            for (int j = 1; j < bytes; ++j) {
                size_t at = k + 3 * static_cast<size_t>(j);
                int next = text[at] == u'%' ? hex_byte(text, at + 1) : -1;
                if (next < 0x80 || next > 0xBF) {
                    return false;
                }
                value = (value << 6) | (static_cast<uint32_t>(next) & 0x3F);
            }
            static const uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
            if (value < shortest[bytes] || (value >= 0xD800 && value <= 0xDFFF)) {
                return false;
            }
            if (value >= 0x10000) {
                uint32_t v = value - 0x10000;
                if (v > 0xFFFFF) {
                    return false;
                }
                out.put(static_cast<char16_t>(0xD800 + (v >> 10)));
                value = 0xDC00 + (v & 0x3FF);
            }
        }
        if (contains(keep, value)) {
            out.put_text(text.substr(k, last + 1 - k));
        } else {
            out.put(static_cast<char16_t>(value));
        }
        k = last;
    }
    return true;
}

// A new String of `length` code units filled by a transform's storing pass.
template <typename Transform>
Value build_string(ScriptEngine* engine, size_t length, Transform transform) {
    StringRecord* record = make_string_buffer(engine, length);
    StoringOutput storing{record->chars};
    transform(storing);
    return Value::string(record);
}

// }====

// The argument as a String: unchanged when it is one, otherwise through the string conversion.
Value string_argument(ScriptEngine* engine, const Value& value) {
    return value.tag == Tag::String ? value : to_string(engine, value);
}

void send_trace(ScriptEngine* engine, const char* text) {
    if (engine->trace_sink != nullptr) {
        engine->trace_sink(engine, text, engine->trace_data);
    }
}

// {==== The global functions

void parse_int(MemberCall& call) {
    ScriptEngine* engine = call.engine;
    const Arguments& args = call.args;
    Value* result = call.result;
    if (!args.has(0)) {
        *result = Value::nan();
        return;
    }
    // The scanner reads terminated text; the plain-heap copy also survives a collection that the
    // radix's valueOf may cause.
    PlainPtr<char16_t> text = string_to_wide(engine, string_argument(engine, args[0]).payload.string);
    // An Integer radix gives its low 32 bits, as the integer conversion does; non-finite numbers and
    // NaN give 0, which is automatic. The scanner takes the radix as unsigned.
    uint32_t radix = args.has(1) ? static_cast<uint32_t>(to_int32(engine, args[1])) : 0;
    IntegerScan scan = scan_integer(text.get(), radix);
    switch (scan.kind) {
    case ScanKind::None:
        *result = Value::nan();
        break;
    case ScanKind::Integer:
        *result = Value::integer(scan.integer);
        break;
    case ScanKind::Double:
        *result = Value::number(scan.number);
        break;
    }
}

// The number conversion, always widened to a double: strings honour "0x" and octal leading zeros
// exactly as that conversion does.
void parse_float(MemberCall& call) {
    if (!call.args.has(0)) {
        *call.result = Value::nan();
        return;
    }
    Value number = to_number(call.engine, call.args[0]);
    if (number.tag == Tag::Integer) {
        number = Value::number(static_cast<double>(number.payload.integer));
    }
    *call.result = number;
}

// NOTE: a Number holding a NaN double (from arithmetic such as Infinity - Infinity) counts as NaN
// here and is not finite, like the NaN value itself.
void is_nan(MemberCall& call) {
    if (!call.args.has(0)) {
        return;
    }
    Value number = to_number(call.engine, call.args[0]);
    *call.result = Value::boolean(number.tag == Tag::NaN ||
                             (number.tag == Tag::Number && std::isnan(number.payload.number)));
}

void is_finite(MemberCall& call) {
    if (!call.args.has(0)) {
        return;
    }
    Value number = to_number(call.engine, call.args[0]);
    *call.result = Value::boolean(number.tag == Tag::Integer ||
                             (number.tag == Tag::Number && std::isfinite(number.payload.number)));
}

void escape(MemberCall& call) {
    if (!call.args.has(0)) {
        *call.result = make_static_string(call.engine, u"");
        return;
    }
    std::u16string_view text = string_argument(call.engine, call.args[0]).payload.string->view();
    CountingOutput counting;
    escape_text(text, counting);
    *call.result = build_string(call.engine, counting.count, [&](auto& out) { escape_text(text, out); });
}

void unescape(MemberCall& call) {
    if (!call.args.has(0)) {
        return;
    }
    std::u16string_view text = string_argument(call.engine, call.args[0]).payload.string->view();
    CountingOutput counting;
    unescape_text(text, counting);
    *call.result = build_string(call.engine, counting.count, [&](auto& out) { unescape_text(text, out); });
}

// }====

// {==== The URI functions
//
// They never raise on bad input: malformed text sends "Invalid URI string" to the trace hook and
// leaves the result Undefined. Empty input (or none) also leaves it Undefined. A result longer than
// any string may be ends the call the same way as a failed allocation: Undefined, no message.

template <typename Transform>
void uri_call(MemberCall& call, Transform transform) {
    ScriptEngine* engine = call.engine;
    if (!call.args.has(0)) {
        return;
    }
    std::u16string_view text = string_argument(engine, call.args[0]).payload.string->view();
    if (text.empty()) {
        return;
    }
    CountingOutput counting;
    if (!transform(text, counting)) {
        send_trace(engine, message_text(Message::InvalidUri));
        return;
    }
    if (counting.count > config::max_string_length) {
        return;
    }
    *call.result = build_string(engine, counting.count, [&](auto& out) { transform(text, out); });
}

void encode_uri(MemberCall& call) {
    uri_call(call, [](std::u16string_view text, auto& out) {
        return encode_text(text, encode_uri_keep, out);
    });
}

void encode_uri_component(MemberCall& call) {
    uri_call(call, [](std::u16string_view text, auto& out) {
        return encode_text(text, encode_component_keep, out);
    });
}

void decode_uri(MemberCall& call) {
    uri_call(call, [](std::u16string_view text, auto& out) {
        return decode_text(text, decode_uri_keep, out);
    });
}

void decode_uri_component(MemberCall& call) {
    uri_call(call, [](std::u16string_view text, auto& out) {
        return decode_text(text, decode_component_keep, out);
    });
}

// }====

// The engine's trace hook: each argument's text goes to the trace sink, where warnings go too
// (discarded when there is none). Never stops the script; leaves the result Undefined.
void trace(MemberCall& call) {
    ScriptEngine* engine = call.engine;
    // Without a sink nothing would see the texts, so they are not even made.
    if (engine->trace_sink == nullptr) {
        return;
    }
    for (uint32_t i = 0; i < call.args.count(); ++i) {
        PlainPtr<char> text = string_to_narrow(engine, string_argument(engine, call.args[i]).payload.string);
        send_trace(engine, text.get());
    }
}

// A global function: the class object of a class with only a call handler. Writing a property of
// one warns and stores nothing, as for any object that has no properties.
constexpr ClassDeclaration global_function(const char* name, MemberHandler call) {
    return ClassDeclaration{.name = name, .call = call, .fixed_properties = true};
}

const ClassDeclaration global_functions[] = {
    global_function("parseInt", parse_int),
    global_function("parseFloat", parse_float),
    global_function("escape", escape),
    global_function("unescape", unescape),
    global_function("isNaN", is_nan),
    global_function("isFinite", is_finite),
    global_function("trace", trace),
};

const ClassDeclaration uri_functions[] = {
    global_function("encodeURI", encode_uri),
    global_function("decodeURI", decode_uri),
    global_function("encodeURIComponent", encode_uri_component),
    global_function("decodeURIComponent", decode_uri_component),
};

}  // namespace

void register_global_functions(ScriptEngine* engine) {
    set_global(engine, "NaN", Value::nan());
    set_global(engine, "Infinity", Value::number(std::numeric_limits<double>::infinity()));
    for (const ClassDeclaration& function : global_functions) {
        declare_class(engine, function);
    }
}

void register_uri_functions(ScriptEngine* engine) {
    for (const ClassDeclaration& function : uri_functions) {
        declare_class(engine, function);
    }
}

}  // namespace quill
