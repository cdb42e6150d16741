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
#include <string_view>

#include "engine/builtins/regexp.h"
#include "engine/builtins/value_class.h"
#include "engine/values/array.h"
#include "engine/values/atoms.h"
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

// The class's user data: the atoms of its member names.
struct StringAtoms {
    Atom length;
    Atom char_at;
    Atom char_code_at;
    Atom concat;
    Atom from_char_code;
    Atom index_of;
    Atom last_index_of;
    Atom match;
    Atom replace;
    Atom search;
    Atom slice;
    Atom split;
    Atom substr;
    Atom substring;
    Atom to_lower_case;
    Atom to_upper_case;
    Atom anchor;
    Atom big;
    Atom blink;
    Atom bold;
    Atom fixed;
    Atom font_color;
    Atom font_size;
    Atom italics;
    Atom link;
    Atom small;
    Atom strike;
    Atom sub;
    Atom sup;
};

// An HTML wrapper: the text before the attribute (before the string when it takes none) and the
// text after the string. A wrapper with an attribute closes the attribute with `attribute_end`.
struct Wrapper {
    Atom StringAtoms::*name;
    bool takes_attribute;
    const char16_t* open;
    const char16_t* close;
};

constexpr Wrapper wrappers[] = {
    {&StringAtoms::anchor, true, u"<A NAME=\"", u"</A>"},
    {&StringAtoms::big, false, u"<BIG>", u"</BIG>"},
    {&StringAtoms::blink, false, u"<BLINK>", u"</BLINK>"},
    {&StringAtoms::bold, false, u"<B>", u"</B>"},
    {&StringAtoms::fixed, false, u"<TT>", u"</TT>"},
    {&StringAtoms::font_color, true, u"<FONT COLOR=\"", u"</FONT>"},
    {&StringAtoms::font_size, true, u"<FONT SIZE=\"", u"</FONT>"},
    {&StringAtoms::italics, false, u"<I>", u"</I>"},
    {&StringAtoms::link, true, u"<A HREF=\"", u"</A>"},
    {&StringAtoms::small, false, u"<SMALL>", u"</SMALL>"},
    {&StringAtoms::strike, false, u"<STRIKE>", u"</STRIKE>"},
    {&StringAtoms::sub, false, u"<SUB>", u"</SUB>"},
    {&StringAtoms::sup, false, u"<SUP>", u"</SUP>"},
};

constexpr Text attribute_end = u"\">";

Text text_of(const Value& string) { return string.payload.string->view(); }

// Argument n (from 1) when it is present and an Integer.
bool integer_argument(const Value* args, uint32_t n, int64_t* out) {
    if (argument_count(args) < n || args[n].tag != Tag::Integer) {
        return false;
    }
    *out = args[n].payload.integer;
    return true;
}

// Replaces argument n by its string conversion and returns its text. The argument cell keeps the
// converted string alive while later conversions run script code.
Text converted_argument(ScriptEngine* engine, Value* args, uint32_t n) {
    args[n] = to_string(engine, args[n]);
    return text_of(args[n]);
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
    size_t found = text.find(search, static_cast<size_t>(from));
    return found == Text::npos ? -1 : static_cast<int64_t>(found);
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

Value from_char_code(ScriptEngine* engine, Value* args) {
    const uint32_t count = argument_count(args);
    StringRecord* result = make_string_buffer(engine, count);
    for (uint32_t i = 0; i < count; ++i) {
        result->chars[i] = char_code_of(args[i + 1]);
    }
    return Value::string(result);
}

Value char_at(ScriptEngine* engine, Text text, Value* args) {
    int64_t position = 0;
    if (!integer_argument(args, 1, &position) || position < 0 || position >= static_cast<int64_t>(text.size())) {
        return make_static_string(engine, u"");
    }
    return make_string_copy(engine, text.substr(static_cast<size_t>(position), 1));
}

// Without arguments the first code unit; a position that is not an Integer, or lies outside the
// string on either side, gives NaN.
Value char_code_at(Text text, Value* args) {
    int64_t position = 0;
    if (argument_count(args) >= 1 && !integer_argument(args, 1, &position)) {
        return Value::nan();
    }
    if (position < 0 || position >= static_cast<int64_t>(text.size())) {
        return Value::nan();
    }
    return Value::integer(text[static_cast<size_t>(position)]);
}

// All conversions first, then the measure and the one copy (see the top of this file).
Value concat(ScriptEngine* engine, const Value& receiver, Value* args) {
    const uint32_t count = argument_count(args);
    for (uint32_t i = 1; i <= count; ++i) {
        converted_argument(engine, args, i);
    }
    size_t total = text_of(receiver).size();
    for (uint32_t i = 1; i <= count; ++i) {
        total += text_of(args[i]).size();
    }
    StringRecord* result = make_string_buffer(engine, total);
    size_t at = 0;
    for (uint32_t i = 0; i <= count; ++i) {
        Text part = text_of(i == 0 ? receiver : args[i]);
        if (!part.empty()) {
            std::memcpy(result->chars + at, part.data(), part.size() * sizeof(char16_t));
        }
        at += part.size();
    }
    return Value::string(result);
}

Value index_of(ScriptEngine* engine, const Value& receiver, Value* args) {
    if (argument_count(args) < 1) {
        return Value::integer(-1);
    }
    Text search = converted_argument(engine, args, 1);
    int64_t from = 0;
    integer_argument(args, 2, &from);
    return Value::integer(find_forward(text_of(receiver), search, from));
}

Value last_index_of(ScriptEngine* engine, const Value& receiver, Value* args) {
    if (argument_count(args) < 1) {
        return Value::integer(-1);
    }
    Text search = converted_argument(engine, args, 1);
    Text text = text_of(receiver);
    if (search.size() > text.size()) {
        return Value::integer(-1);
    }
    const auto last = static_cast<int64_t>(text.size() - search.size());
    int64_t from = last;
    if (integer_argument(args, 2, &from) && from > last) {
        from = last;
    }
    for (int64_t p = from; p >= 0; --p) {
        if (matches_at(text, static_cast<size_t>(p), search)) {
            return Value::integer(p);
        }
    }
    return Value::integer(-1);
}

// replace(pattern, replacement) with a String replacement. A String pattern: the first occurrence is
// replaced, without '$' substitutions; without one the string comes back unchanged. A RegExp pattern
// is the regular expression's work. Any other arguments give the empty string.
Value replace(ScriptEngine* engine, const Value& receiver, Value* args) {
    if (argument_count(args) < 2 || args[2].tag != Tag::String) {
        return make_static_string(engine, u"");
    }
    if (is_regexp(args[1])) {
        return regexp_replace(engine, receiver, args[1], args[2]);
    }
    if (args[1].tag != Tag::String) {
        return make_static_string(engine, u"");
    }
    Text text = text_of(receiver);
    Text pattern = text_of(args[1]);
    const int64_t found = find_forward(text, pattern, 0);
    if (found < 0) {
        return make_string_copy(engine, text);
    }
    const auto at = static_cast<size_t>(found);
    return make_concatenation(engine, {text.substr(0, at), text_of(args[2]), text.substr(at + pattern.size())});
}

Value slice(ScriptEngine* engine, Text text, Value* args) {
    const auto length = static_cast<int64_t>(text.size());
    int64_t start = 0;
    int64_t end = length;
    if (!integer_argument(args, 1, &start) || (argument_count(args) >= 2 && !integer_argument(args, 2, &end))) {
        return make_static_string(engine, u"");
    }
    return substring_value(engine, text, position_from_end(start, length), position_from_end(end, length));
}

Value substr(ScriptEngine* engine, Text text, Value* args) {
    const auto length = static_cast<int64_t>(text.size());
    int64_t start = 0;
    if (!integer_argument(args, 1, &start)) {
        return make_static_string(engine, u"");
    }
    start = position_from_end(start, length);
    int64_t count = length;
    if (integer_argument(args, 2, &count) && count < 0) {
        count = 0;
    }
    count = std::min(count, length - start);
    return substring_value(engine, text, start, start + count);
}

// substring(start, end): the arguments are never swapped; an end before the start gives "".
Value substring(ScriptEngine* engine, Text text, Value* args) {
    const auto length = static_cast<int64_t>(text.size());
    int64_t start = 0;
    if (!integer_argument(args, 1, &start)) {
        return make_static_string(engine, u"");
    }
    start = std::max<int64_t>(start, 0);
    int64_t end = length;
    if (integer_argument(args, 2, &end) && end > length) {
        end = length;
    }
    if (start > end) {
        return make_static_string(engine, u"");
    }
    return substring_value(engine, text, start, end);
}

Value split(ScriptEngine* engine, const Value& receiver, Value* args) {
    Text text = text_of(receiver);
    int64_t limit = default_split_limit;
    integer_argument(args, 2, &limit);
    if (argument_count(args) >= 1 && is_regexp(args[1])) {
        return regexp_split(engine, receiver, args[1], limit);
    }
    ArrayRecord* result = array_create(engine, 0);
    if (argument_count(args) < 1 || args[1].tag != Tag::String) {
        array_put(engine, result, 0, make_string_copy(engine, text));
        array_set_length(engine, result, 1);
        return Value::array(result);
    }
    Text separator = text_of(args[1]);
    int64_t count = 0;
    if (separator.empty()) {
        for (; count < limit && count < static_cast<int64_t>(text.size()); ++count) {
            array_put(engine, result, static_cast<uint64_t>(count),
                      make_string_copy(engine, text.substr(static_cast<size_t>(count), 1)));
        }
    } else {
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
    return Value::array(result);
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

// The whole wrapped text, however long the string and the attribute are.
Value wrap(ScriptEngine* engine, const Value& receiver, const Wrapper& wrapper, Value* args) {
    if (!wrapper.takes_attribute) {
        return make_concatenation(engine, {Text(wrapper.open), text_of(receiver), Text(wrapper.close)});
    }
    Text attribute = argument_count(args) >= 1 ? converted_argument(engine, args, 1) : Text();
    return make_concatenation(engine,
                              {Text(wrapper.open), attribute, attribute_end, text_of(receiver), Text(wrapper.close)});
}

// The members of a string value; false for a name the class does not know.
bool string_member(ScriptEngine* engine, const StringAtoms& atoms, const Value& receiver, Atom method, Value* result,
                   Value* args) {
    // For the members that convert nothing; the others read the receiver after their conversions.
    Text text = text_of(receiver);
    if (method == atom_to_string || method == atom_value_of) {
        *result = receiver;
    } else if (method == atoms.char_at) {
        *result = char_at(engine, text, args);
    } else if (method == atoms.char_code_at) {
        *result = char_code_at(text, args);
    } else if (method == atoms.concat) {
        *result = concat(engine, receiver, args);
    } else if (method == atoms.from_char_code) {
        *result = from_char_code(engine, args);
    } else if (method == atoms.index_of) {
        *result = index_of(engine, receiver, args);
    } else if (method == atoms.last_index_of) {
        *result = last_index_of(engine, receiver, args);
    } else if (method == atoms.match) {
        // Matching needs a regular expression; anything else finds nothing.
        *result = argument_count(args) >= 1 && is_regexp(args[1]) ? regexp_match(engine, receiver, args[1])
                                                                  : Value::array(array_create(engine, 0));
    } else if (method == atoms.replace) {
        *result = replace(engine, receiver, args);
    } else if (method == atoms.search) {
        *result = argument_count(args) >= 1 && is_regexp(args[1]) ? regexp_search(engine, receiver, args[1])
                                                                  : Value::integer(-1);
    } else if (method == atoms.slice) {
        *result = slice(engine, text, args);
    } else if (method == atoms.split) {
        *result = split(engine, receiver, args);
    } else if (method == atoms.substr) {
        *result = substr(engine, text, args);
    } else if (method == atoms.substring) {
        *result = substring(engine, text, args);
    } else if (method == atoms.to_lower_case) {
        *result = map_case(engine, text, false);
    } else if (method == atoms.to_upper_case) {
        *result = map_case(engine, text, true);
    } else {
        for (const Wrapper& wrapper : wrappers) {
            if (method == atoms.*wrapper.name) {
                *result = wrap(engine, receiver, wrapper, args);
                return true;
            }
        }
        return false;
    }
    return true;
}

bool string_method(ScriptEngine* engine, HostClass* cls, void*, const Value& receiver, Atom method, Value* result,
                   Value* args) {
    const auto& atoms = *static_cast<StringAtoms*>(cls->user_data);
    if (!is_class_object(receiver)) {
        return string_member(engine, atoms, receiver, method, result, args);
    }
    if (method == atom_to_string) {
        *result = make_static_string(engine, u"[Object String]");
    } else if (method == atom_value_of) {
        *result = receiver;
    } else if (method == atoms.from_char_code) {
        *result = from_char_code(engine, args);
    } else {
        return false;
    }
    return true;
}

// `length` of a string value; writing it is accepted and changes nothing.
bool string_property(ScriptEngine*, HostClass* cls, void*, const Value& receiver, Atom property, PropertyMode mode,
                     Value* value) {
    if (is_class_object(receiver) || property != static_cast<StringAtoms*>(cls->user_data)->length) {
        return false;
    }
    if (mode == PropertyMode::Get) {
        *value = Value::integer(receiver.payload.string->length);
    }
    return true;
}

Value string_of(ScriptEngine* engine, Value* args) {
    if (argument_count(args) < 1) {
        return make_static_string(engine, u"");
    }
    args[1] = to_string(engine, args[1]);
    return args[1];
}

void string_call(ScriptEngine* engine, HostClass*, void*, Value* result, Value* args) {
    *result = string_of(engine, args);
}

// A fresh copy, so that its own table is not shared with the string it came from.
void string_construct(ScriptEngine* engine, HostClass* cls, Value* args, Value* result) {
    Value copy = make_string_copy(engine, text_of(string_of(engine, args)));
    copy.payload.string->properties = new_table_with_prototype(engine, cls->prototype);
    *result = copy;
}


}  // namespace

void register_string_class(ScriptEngine* engine) {
    StringAtoms names{
        .length = intern(engine, "length"),
        .char_at = intern(engine, "charAt"),
        .char_code_at = intern(engine, "charCodeAt"),
        .concat = intern(engine, "concat"),
        .from_char_code = intern(engine, "fromCharCode"),
        .index_of = intern(engine, "indexOf"),
        .last_index_of = intern(engine, "lastIndexOf"),
        .match = intern(engine, "match"),
        .replace = intern(engine, "replace"),
        .search = intern(engine, "search"),
        .slice = intern(engine, "slice"),
        .split = intern(engine, "split"),
        .substr = intern(engine, "substr"),
        .substring = intern(engine, "substring"),
        .to_lower_case = intern(engine, "toLowerCase"),
        .to_upper_case = intern(engine, "toUpperCase"),
        .anchor = intern(engine, "anchor"),
        .big = intern(engine, "big"),
        .blink = intern(engine, "blink"),
        .bold = intern(engine, "bold"),
        .fixed = intern(engine, "fixed"),
        .font_color = intern(engine, "fontColor"),
        .font_size = intern(engine, "fontSize"),
        .italics = intern(engine, "italics"),
        .link = intern(engine, "link"),
        .small = intern(engine, "small"),
        .strike = intern(engine, "strike"),
        .sub = intern(engine, "sub"),
        .sup = intern(engine, "sup"),
    };
    HostClass* cls = register_value_class(engine, "String", {Tag::String});
    set_class_data(engine, cls, names);
    cls->call = string_call;
    cls->method = string_method;
    cls->property = string_property;
    cls->construct = string_construct;
}

}  // namespace quill
