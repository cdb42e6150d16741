// The String class. String(x) gives the string conversion of x; new String(x) gives a String of the
// same text that carries its own property table, linked to the class's prototype table, so it still
// reports "string" to typeof. The class is the per-type handler of String values, so its toString is
// also the engine's string conversion of strings.
//
// Every position and length counts UTF-16 code units. Positions and lengths that come from a script
// are clamped to the string before any code unit is read: no member reads outside its string.
// Results are always new strings; the receiver is never changed.
//
// Converting an argument may run script code, which can lengthen a string in place (an element
// store past its end moves its characters) and let a collection run. So a member converts its
// arguments into their argument cells, which keep the strings alive, before it takes the length or
// the characters of the receiver or of any argument, and runs nothing between that and its copy.
#include "engine/builtins/string.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "engine/builtins/regexp.h"
#include "engine/builtins/value_class.h"
#include "engine/values/array.h"
#include "engine/values/atoms.h"
#include "engine/values/class_declaration.h"
#include "engine/values/code_units.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/plain_heap.h"
#include "engine/values/property_table.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

using Text = std::u16string_view;

// The largest count `split` stores when no limit is given.
constexpr int64_t default_split_limit = 2147483647;

Text text_of(const Value& string) { return string.payload.string->view(); }

// Replaces argument i by its string conversion and returns its text. The argument cell keeps the
// converted string alive while later conversions run script code.
Text converted_argument(ScriptEngine* engine, const Arguments& args, uint32_t i) {
    Value& cell = args.cell(i);
    cell = to_string(engine, cell);
    return text_of(cell);
}

// A position counted from the end when negative, clamped to 0 .. length.
int64_t position_from_end(int64_t position, int64_t length) {
    if (position < 0) {
        position += length;
        return position < 0 ? 0 : position;
    }
    return position > length ? length : position;
}

Value substring_value(ScriptEngine* engine, Text text, int64_t start, int64_t end) {
    if (start >= end) {
        return make_static_string(engine, u"");
    }
    return make_string_copy(engine, text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)));
}

bool matches_at(Text text, size_t position, Text search) {
    // An empty string may have no character buffer at all, which memcmp must not be given.
    return search.empty() || std::memcmp(text.data() + position, search.data(), search.size() * sizeof(char16_t)) == 0;
}

// The first position from `from` at which `search` occurs, or -1.
int64_t find_forward(Text text, Text search, int64_t from) {
    if (from < 0 || search.size() > text.size()) {
        return -1;
    }
    if (search.empty()) {
        return static_cast<uint64_t>(from) <= text.size() ? from : -1;
    }
    if (static_cast<uint64_t>(from) > text.size() - search.size()) {
        return -1;
    }
    // Candidates are the places of the first unit where the rest fits in the text.
    const char16_t* const begin = text.data();
    const char16_t* const last = begin + (text.size() - search.size()) + 1;
    const Text rest = search.substr(1);
    for (const char16_t* at = begin + from; (at = find_code_unit(at, last, search[0])) != last; ++at) {
        if (Text(at + 1, rest.size()) == rest) {
            return at - begin;
        }
    }
    return -1;
}

Value make_concatenation(ScriptEngine* engine, std::initializer_list<Text> parts) {
    size_t total = 0;
    for (Text part : parts) {
        total += part.size();
    }
    StringRecord* result = make_string_buffer(engine, total);
    size_t at = 0;
    for (Text part : parts) {
        if (!part.empty()) {
            std::memcpy(result->chars + at, part.data(), part.size() * sizeof(char16_t));
        }
        at += part.size();
    }
    return Value::string(result);
}

// A decimal integer at the start of the text, as fromCharCode reads a string: leading white space,
// an optional sign, digits. Digits beyond 64 bits wrap around; only the low 16 bits count anyway.
uint64_t leading_decimal(Text text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    uint64_t number = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        number = number * 10 + static_cast<uint64_t>(text[i] - u'0');
    }
    return negative ? 0 - number : number;
}

char16_t char_code_of(const Value& value) {
    switch (value.tag) {
    case Tag::Integer:
        return static_cast<char16_t>(static_cast<uint64_t>(value.payload.integer) & 0xFFFF);
    case Tag::Number:
        return static_cast<char16_t>(static_cast<uint64_t>(double_to_int64(value.payload.number)) & 0xFFFF);
    case Tag::String:
        return static_cast<char16_t>(leading_decimal(text_of(value)) & 0xFFFF);
    default:
        return 0;
    }
}

// {==== The members

// `length` of a string value; writing it is accepted and changes nothing.
void string_length(MemberCall& call) { *call.result = Value::integer(call.receiver.payload.string->length); }

// On the class object its class text; a string is its own string form.
void string_to_string(MemberCall& call) {
    *call.result = is_class_object(call.receiver) ? class_text(call.engine, call.cls) : call.receiver;
}

void string_value_of(MemberCall& call) { *call.result = call.receiver; }

void char_at(MemberCall& call) {
    Text text = text_of(call.receiver);
    std::optional<int64_t> position = call.args.integer(0);
    if (!position || *position < 0 || *position >= static_cast<int64_t>(text.size())) {
        *call.result = make_static_string(call.engine, u"");
        return;
    }
    *call.result = make_string_copy(call.engine, text.substr(static_cast<size_t>(*position), 1));
}

// Without arguments the first code unit; a position that is not an Integer, or lies outside the
// string on either side, gives NaN.
// The interpreter answers the call with one Integer argument itself, by the same code_unit_at.
void char_code_at(MemberCall& call) {
    int64_t position = 0;
    if (call.args.has(0)) {
        std::optional<int64_t> given = call.args.integer(0);
        if (!given) {
            *call.result = Value::nan();
            return;
        }
        position = *given;
    }
    *call.result = code_unit_at(call.receiver.payload.string, position);
}

// All conversions first, then the measure and the one copy (see the top of this file).
void concat(MemberCall& call) {
    const Arguments& args = call.args;
    const uint32_t count = args.count();
    for (uint32_t i = 0; i < count; ++i) {
        converted_argument(call.engine, args, i);
    }
    size_t total = text_of(call.receiver).size();
    for (uint32_t i = 0; i < count; ++i) {
        total += text_of(args[i]).size();
    }
    StringRecord* result = make_string_buffer(call.engine, total);
    size_t at = 0;
    for (uint32_t i = 0; i <= count; ++i) {
        Text part = text_of(i == 0 ? call.receiver : args[i - 1]);
        if (!part.empty()) {
            std::memcpy(result->chars + at, part.data(), part.size() * sizeof(char16_t));
        }
        at += part.size();
    }
    *call.result = Value::string(result);
}

void from_char_code(MemberCall& call) {
    const uint32_t count = call.args.count();
    StringRecord* result = make_string_buffer(call.engine, count);
    for (uint32_t i = 0; i < count; ++i) {
        result->chars[i] = char_code_of(call.args[i]);
    }
    *call.result = Value::string(result);
}

void index_of(MemberCall& call) {
    if (!call.args.has(0)) {
        *call.result = Value::integer(-1);
        return;
    }
    Text search = converted_argument(call.engine, call.args, 0);
    const int64_t from = call.args.integer(1).value_or(0);
    *call.result = Value::integer(find_forward(text_of(call.receiver), search, from));
}

void last_index_of(MemberCall& call) {
    *call.result = Value::integer(-1);
    if (!call.args.has(0)) {
        return;
    }
    Text search = converted_argument(call.engine, call.args, 0);
    Text text = text_of(call.receiver);
    if (search.size() > text.size()) {
        return;
    }
    const auto last = static_cast<int64_t>(text.size() - search.size());
    const int64_t from = std::min(call.args.integer(1).value_or(last), last);
    for (int64_t p = from; p >= 0; --p) {
        if (matches_at(text, static_cast<size_t>(p), search)) {
            *call.result = Value::integer(p);
            return;
        }
    }
}

// Matching needs a regular expression; anything else finds nothing.
void match(MemberCall& call) {
    *call.result = is_regexp(call.args[0]) ? regexp_match(call.engine, call.receiver, call.args[0])
                                           : Value::array(array_create(call.engine, 0));
}

// replace(pattern, replacement) with a String replacement. A String pattern: the first occurrence is
// replaced, without '$' substitutions; without one the string comes back unchanged. A RegExp pattern
// is the regular expression's work. Any other arguments give the empty string.
void replace(MemberCall& call) {
    ScriptEngine* engine = call.engine;
    const Arguments& args = call.args;
    const StringRecord* replacement = args.string(1);
    const StringRecord* pattern = args.string(0);
    if (replacement != nullptr && is_regexp(args[0])) {
        *call.result = regexp_replace(engine, call.receiver, args[0], args[1]);
    } else if (replacement == nullptr || pattern == nullptr) {
        *call.result = make_static_string(engine, u"");
    } else {
        Text text = text_of(call.receiver);
        const int64_t found = find_forward(text, pattern->view(), 0);
        if (found < 0) {
            *call.result = make_string_copy(engine, text);
            return;
        }
        const auto at = static_cast<size_t>(found);
        *call.result = make_concatenation(
            engine, {text.substr(0, at), replacement->view(), text.substr(at + pattern->view().size())});
    }
}

void search(MemberCall& call) {
    *call.result = is_regexp(call.args[0]) ? regexp_search(call.engine, call.receiver, call.args[0])
                                           : Value::integer(-1);
}

void slice(MemberCall& call) {
    Text text = text_of(call.receiver);
    const auto length = static_cast<int64_t>(text.size());
    std::optional<int64_t> start = call.args.integer(0);
    std::optional<int64_t> end = call.args.has(1) ? call.args.integer(1) : length;
    if (!start || !end) {
        *call.result = make_static_string(call.engine, u"");
        return;
    }
    *call.result = substring_value(call.engine, text, position_from_end(*start, length),
                                   position_from_end(*end, length));
}

void split(MemberCall& call) {
    ScriptEngine* engine = call.engine;
    Text text = text_of(call.receiver);
    const int64_t limit = call.args.integer(1).value_or(default_split_limit);
    if (is_regexp(call.args[0])) {
        *call.result = regexp_split(engine, call.receiver, call.args[0], limit);
        return;
    }
    ArrayRecord* result = array_create(engine, 0);
    *call.result = Value::array(result);
    const StringRecord* separator_string = call.args.string(0);
    if (separator_string == nullptr) {
        array_put(engine, result, 0, make_string_copy(engine, text));
        array_set_length(engine, result, 1);
        return;
    }
    Text separator = separator_string->view();
    int64_t count = 0;
    if (separator.empty()) {
        for (; count < limit && count < static_cast<int64_t>(text.size()); ++count) {
            array_put(engine, result, static_cast<uint64_t>(count),
                      make_string_copy(engine, text.substr(static_cast<size_t>(count), 1)));
        }
    } else {
        if (separator.size() == 1) {
            // The pieces are counted first (a quick scan) so that the array is sized once.
            const char16_t unit = separator[0];
            const char16_t* const begin = text.data();
            const char16_t* const end = begin + text.size();
            uint64_t pieces = 1;
            for (const char16_t* at = begin; (at = find_code_unit(at, end, unit)) != end; ++at) {
                ++pieces;
            }
            const uint64_t wanted = limit > 0 ? std::min(pieces, static_cast<uint64_t>(limit)) : 0;
            array_reserve(engine, result, wanted);
            const char16_t* piece = begin;
            for (; static_cast<uint64_t>(count) < wanted; ++count) {
                const char16_t* at = find_code_unit(piece, end, unit);
                array_put(engine, result, static_cast<uint64_t>(count),
                          make_string_copy(engine, piece, static_cast<size_t>(at - piece)));
                piece = at + (at != end ? 1 : 0);
            }
            array_set_length(engine, result, static_cast<uint64_t>(count));
            return;
        }
        size_t piece_start = 0;
        int64_t at = 0;
        while (count < limit && (at = find_forward(text, separator, static_cast<int64_t>(piece_start))) >= 0) {
            auto p = static_cast<size_t>(at);
            array_put(engine, result, static_cast<uint64_t>(count),
                      make_string_copy(engine, text.substr(piece_start, p - piece_start)));
            ++count;
            piece_start = p + separator.size();
        }
        if (count < limit) {
            array_put(engine, result, static_cast<uint64_t>(count), make_string_copy(engine, text.substr(piece_start)));
            ++count;
        }
    }
    array_set_length(engine, result, static_cast<uint64_t>(count));
}

void substr(MemberCall& call) {
    Text text = text_of(call.receiver);
    const auto length = static_cast<int64_t>(text.size());
    std::optional<int64_t> given = call.args.integer(0);
    if (!given) {
        *call.result = make_static_string(call.engine, u"");
        return;
    }
    const int64_t start = position_from_end(*given, length);
    const int64_t count = std::min(std::max<int64_t>(call.args.integer(1).value_or(length), 0), length - start);
    *call.result = substring_value(call.engine, text, start, start + count);
}

// substring(start, end): the arguments are never swapped; an end before the start gives "".
void substring(MemberCall& call) {
    Text text = text_of(call.receiver);
    const auto length = static_cast<int64_t>(text.size());
    std::optional<int64_t> given = call.args.integer(0);
    if (!given) {
        *call.result = make_static_string(call.engine, u"");
        return;
    }
    const int64_t start = std::max<int64_t>(*given, 0);
    const int64_t end = std::min(call.args.integer(1).value_or(length), length);
    *call.result = start > end ? make_static_string(call.engine, u"") : substring_value(call.engine, text, start, end);
}

// Only the ASCII letters change; every other code unit is copied as it is.
Value map_case(ScriptEngine* engine, Text text, bool upper) {
    StringRecord* result = make_string_buffer(engine, text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (upper && c >= u'a' && c <= u'z') {
            c = static_cast<char16_t>(c - u'a' + u'A');
        } else if (!upper && c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
        result->chars[i] = c;
    }
    return Value::string(result);
}

void to_lower_case(MemberCall& call) { *call.result = map_case(call.engine, text_of(call.receiver), false); }
void to_upper_case(MemberCall& call) { *call.result = map_case(call.engine, text_of(call.receiver), true); }

// An HTML wrapper: the text before the attribute (before the string when it takes none) and the
// text after the string. A wrapper with an attribute closes the attribute with `attribute_end`.
struct Wrapper {
    bool takes_attribute;
    const char16_t* open;
    const char16_t* close;
};

constexpr Text attribute_end = u"\">";

// The whole wrapped text, however long the string and the attribute are.
void wrap(MemberCall& call) {
    const auto& wrapper = call.context<Wrapper>();
    if (!wrapper.takes_attribute) {
        *call.result =
            make_concatenation(call.engine, {Text(wrapper.open), text_of(call.receiver), Text(wrapper.close)});
        return;
    }
    Text attribute = call.args.has(0) ? converted_argument(call.engine, call.args, 0) : Text();
    *call.result = make_concatenation(
        call.engine, {Text(wrapper.open), attribute, attribute_end, text_of(call.receiver), Text(wrapper.close)});
}

constexpr Wrapper anchor{true, u"<A NAME=\"", u"</A>"};
constexpr Wrapper big{false, u"<BIG>", u"</BIG>"};
constexpr Wrapper blink{false, u"<BLINK>", u"</BLINK>"};
constexpr Wrapper bold{false, u"<B>", u"</B>"};
constexpr Wrapper fixed{false, u"<TT>", u"</TT>"};
constexpr Wrapper font_color{true, u"<FONT COLOR=\"", u"</FONT>"};
constexpr Wrapper font_size{true, u"<FONT SIZE=\"", u"</FONT>"};
constexpr Wrapper italics{false, u"<I>", u"</I>"};
constexpr Wrapper link{true, u"<A HREF=\"", u"</A>"};
constexpr Wrapper small{false, u"<SMALL>", u"</SMALL>"};
constexpr Wrapper strike{false, u"<STRIKE>", u"</STRIKE>"};
constexpr Wrapper sub{false, u"<SUB>", u"</SUB>"};
constexpr Wrapper sup{false, u"<SUP>", u"</SUP>"};

// }====

// String(x): the string conversion, made in the argument cell.
Value string_of(MemberCall& call) {
    if (!call.args.has(0)) {
        return make_static_string(call.engine, u"");
    }
    Value& cell = call.args.cell(0);
    cell = to_string(call.engine, cell);
    return cell;
}

void string_call(MemberCall& call) { *call.result = string_of(call); }

// A fresh copy, so that its own table is not shared with the string it came from.
void string_construct(MemberCall& call) {
    Value copy = make_string_copy(call.engine, text_of(string_of(call)));
    copy.payload.string->properties = new_table_with_prototype(call.engine, call.cls->prototype);
    *call.result = copy;
}

constexpr Needs value = Needs::Value;

const Member string_members[] = {
    property("length", string_length, nullptr, value),
    method("toString", string_to_string),
    method("valueOf", string_value_of),
    method("charAt", char_at, value),
    method("charCodeAt", char_code_at, value),
    method("concat", concat, value),
    method("fromCharCode", from_char_code),
    method("indexOf", index_of, value),
    method("lastIndexOf", last_index_of, value),
    method("match", match, value),
    method("replace", replace, value),
    method("search", search, value),
    method("slice", slice, value),
    method("split", split, value),
    method("substr", substr, value),
    method("substring", substring, value),
    method("toLowerCase", to_lower_case, value),
    method("toUpperCase", to_upper_case, value),
    method("anchor", wrap, value, &anchor),
    method("big", wrap, value, &big),
    method("blink", wrap, value, &blink),
    method("bold", wrap, value, &bold),
    method("fixed", wrap, value, &fixed),
    method("fontColor", wrap, value, &font_color),
    method("fontSize", wrap, value, &font_size),
    method("italics", wrap, value, &italics),
    method("link", wrap, value, &link),
    method("small", wrap, value, &small),
    method("strike", wrap, value, &strike),
    method("sub", wrap, value, &sub),
    method("sup", wrap, value, &sup),
};

const ClassDeclaration string_class = {
    .name = "String",
    .class_text = "[Object String]",
    .members = string_members,
    .construct = string_construct,
    .call = string_call,
    .types = {Tag::String},
};

}  // namespace

void register_string_class(ScriptEngine* engine) {
    engine->quick_string_class = declare_class(engine, string_class);
    engine->char_code_at = intern(engine, "charCodeAt");
    engine->length_atom = intern(engine, "length");
}

}  // namespace quill
