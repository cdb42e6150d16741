// The RegExp class. An instance holds a pattern, its flags, the compiled expression and lastIndex;
// the class keeps the engine-wide last-match state that the static properties ($1 ... $9, input,
// lastMatch, lastParen, leftContext, rightContext) read, on the class object and on every instance.
//
// A pattern that does not compile never raises: the constructor gives Null, `compile` false, and the
// library's text goes to the trace hook after "RegExp runtime error: ".
#include "engine/builtins/regexp.h"

#include <algorithm>
#include <memory>
#include <string>

#include "engine/builtins/regexp_object.h"
#include "engine/values/array.h"
#include "engine/values/atoms.h"
#include "engine/values/collector.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/host_class.h"
#include "engine/values/property_access.h"
#include "engine/values/property_table.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

using Text = std::u16string_view;

constexpr size_t group_names = 9;  // $1 ... $9

// The class's user data: the atoms of its member names and the last-match state.
struct RegExpClassData {
    Atom exec;
    Atom test;
    Atom compile;
    Atom global;
    Atom ignore_case;
    Atom multiline;
    Atom last_index;
    Atom source;
    Atom index;
    Atom input;
    Atom input_short;  // $_
    Atom last_match;
    Atom last_paren;
    Atom left_context;
    Atom right_context;
    Atom groups[group_names];
    LastMatch last;
};

RegExpClassData& class_data(HostClass* cls) { return *static_cast<RegExpClassData*>(cls->user_data); }

// The compile flags of the constructor (and of regular-expression constants), and of `compile`.
constexpr int constructor_compile_flags = reg_extended | reg_nocollate | reg_escape_in_lists;
constexpr int method_compile_flags = reg_extended;

int with_flag_options(int compile_flags, int flags) {
    return compile_flags | ((flags & regexp_ignore_case) != 0 ? reg_icase : 0) |
           ((flags & regexp_multiline) != 0 ? reg_newline : 0);
}

// Each 'g', 'i' and 'm' sets its flag; other characters are ignored.
int flags_from_text(Text text) {
    int flags = 0;
    for (char16_t c : text) {
        flags |= c == u'g' ? regexp_global : c == u'i' ? regexp_ignore_case : c == u'm' ? regexp_multiline : 0;
    }
    return flags;
}

Text up_to_nul(Text text) { return text.substr(0, std::min(text.find(u'\0'), text.size())); }

// Compiles the object's source with its flags, replacing what it held; on failure the object keeps
// no expression and the library's text goes to the trace hook.
bool compile_source(ScriptEngine* engine, RegExpObject& object, int compile_flags) {
    PosixRegex* compiled = nullptr;
    int code = regex_compile(&compiled, object.source, with_flag_options(compile_flags, object.flags));
    object.compiled.reset(compiled);
    if (code != reg_ok) {
        warn(engine, Message::RegExpRuntimeError, regex_error_text(code).c_str());
        return false;
    }
    return true;
}

bool regexp_method(ScriptEngine* engine, HostClass* cls, void* instance, const Value& receiver, Atom method,
                   Value* result, Value* args);

// A new instance with lastIndex 0, or Null when the pattern does not compile. An empty pattern
// becomes "^".
Value new_regexp(ScriptEngine* engine, HostClass* cls, Text pattern, int flags) {
    auto object = std::make_unique<RegExpObject>();
    object->source = up_to_nul(pattern);
    if (object->source.empty()) {
        object->source = u"^";
    }
    object->flags = flags;
    if (!compile_source(engine, *object, constructor_compile_flags)) {
        return Value::null();
    }
    // The record takes the data only once it exists, and its finalizer frees the data should making
    // its own table fail; so the data is freed exactly once whichever allocation fails.
    Value made = make_host_object(engine, cls, nullptr);
    HostRecord* record = made.payload.host;
    record->instance = object.release();
    record->properties = new_table_with_prototype(engine, cls->prototype);
    return made;
}

// new RegExp(pattern, flags) and RegExp(pattern, flags): only String arguments count.
Value construct_regexp(ScriptEngine* engine, HostClass* cls, const Value* args) {
    const uint32_t count = argument_count(args);
    Text pattern = count >= 1 && args[1].tag == Tag::String ? args[1].payload.string->view() : Text();
    int flags = count >= 2 && args[2].tag == Tag::String ? flags_from_text(args[2].payload.string->view()) : 0;
    return new_regexp(engine, cls, pattern, flags);
}

// The text the argument gives (it becomes the input), or without one the current input's text.
// The argument cell keeps the converted string alive.
Text search_text(ScriptEngine* engine, LastMatch& last, Value* args) {
    if (argument_count(args) >= 1) {
        args[1] = to_string(engine, args[1]);
        last.input = args[1];
        return args[1].payload.string->view();
    }
    return to_string(engine, last.input).payload.string->view();
}

Value exec(ScriptEngine* engine, HostClass* cls, RegExpObject& object, Value* args) {
    Text text = search_text(engine, class_data(cls).last, args);
    return regexp_exec_text(engine, cls, object, text);
}

Value test(ScriptEngine* engine, HostClass* cls, RegExpObject& object, Value* args) {
    return Value::boolean(
        regexp_test_text(engine, cls, object, search_text(engine, class_data(cls).last, args)));
}

// compile(pattern, flags): a new source and all three flags; lastIndex stays.
Value compile(ScriptEngine* engine, RegExpObject& object, Value* args) {
    const uint32_t count = argument_count(args);
    if (count == 0) {
        return Value::boolean(false);
    }
    args[1] = to_string(engine, args[1]);
    if (count >= 2) {
        args[2] = to_string(engine, args[2]);
    }
    object.source = up_to_nul(args[1].payload.string->view());
    object.flags = count >= 2 ? flags_from_text(args[2].payload.string->view()) : 0;
    return Value::boolean(compile_source(engine, object, method_compile_flags));
}

Value regexp_text(ScriptEngine* engine, const RegExpObject& object) {
    std::u16string text = u"/" + object.source + u"/";
    for (auto [flag, letter] : {std::pair{regexp_global, u'g'}, {regexp_ignore_case, u'i'}, {regexp_multiline, u'm'}}) {
        if ((object.flags & flag) != 0) {
            text += letter;
        }
    }
    return make_string_copy(engine, text);
}

bool regexp_method(ScriptEngine* engine, HostClass* cls, void* instance, const Value&, Atom method, Value* result,
                   Value* args) {
    const RegExpClassData& data = class_data(cls);
    if (instance == nullptr) {
        if (method != atom_to_string) {
            return false;
        }
        *result = make_static_string(engine, u"[Object RegExp]");
        return true;
    }
    auto& object = *static_cast<RegExpObject*>(instance);
    if (method == data.exec) {
        *result = exec(engine, cls, object, args);
    } else if (method == data.test) {
        *result = test(engine, cls, object, args);
    } else if (method == data.compile) {
        *result = compile(engine, object, args);
    } else if (method == atom_to_string) {
        *result = regexp_text(engine, object);
    } else {
        return false;
    }
    return true;
}

// The text of a pair of the input, or Null when it is unmatched or lies beyond the input.
Value pair_text(ScriptEngine* engine, Text input, const RegexPair& pair) {
    const auto length = static_cast<int64_t>(input.size());
    if (pair.start < 0 || pair.end < pair.start || pair.end > length) {
        return Value::null();
    }
    return make_string_copy(engine, input.substr(static_cast<size_t>(pair.start),
                                                 static_cast<size_t>(pair.end - pair.start)));
}

// The static properties: false for any other name.
bool last_match_property(ScriptEngine* engine, const RegExpClassData& data, Atom property, Value* out) {
    const LastMatch& last = data.last;
    const auto* group = std::find(std::begin(data.groups), std::end(data.groups), property);
    const bool known = group != std::end(data.groups) || property == data.input || property == data.input_short ||
                       property == data.last_match || property == data.last_paren ||
                       property == data.left_context || property == data.right_context;
    if (!known) {
        return false;
    }
    *out = Value::null();
    if (last.input.tag != Tag::String) {
        return true;
    }
    Text input = last.input.payload.string->view();
    const auto length = static_cast<int64_t>(input.size());
    const RegexPair& whole = last.pairs[0];
    if (group != std::end(data.groups)) {
        *out = pair_text(engine, input, last.pairs[group - data.groups + 1]);
    } else if (property == data.input || property == data.input_short) {
        *out = last.input;
    } else if (property == data.last_match) {
        *out = pair_text(engine, input, whole);
    } else if (property == data.last_paren) {
        const size_t group = last_group_of_run(last.pairs, length);
        if (group > 0) {
            *out = pair_text(engine, input, last.pairs[group]);
        }
    } else if (property == data.left_context) {
        *out = pair_text(engine, input, {whole.start < 0 ? -1 : 0, whole.start});
    } else {
        *out = pair_text(engine, input, {whole.end, whole.end < 0 ? -1 : length});
    }
    return true;
}

// Writes to the instance properties and the static properties are accepted and ignored, except
// that an Integer sets lastIndex (its low 32 bits).
bool regexp_property(ScriptEngine* engine, HostClass* cls, void* instance, const Value&, Atom property,
                     PropertyMode mode, Value* value) {
    const RegExpClassData& data = class_data(cls);
    if (instance != nullptr) {
        auto& object = *static_cast<RegExpObject*>(instance);
        const bool get = mode == PropertyMode::Get;
        if (property == data.last_index) {
            if (get) {
                *value = Value::integer(object.last_index);
            } else if (value->tag == Tag::Integer) {
                object.last_index = static_cast<int32_t>(static_cast<uint32_t>(value->payload.integer));
            }
            return true;
        }
        for (auto [name, flag] : {std::pair{data.global, regexp_global},
                                  {data.ignore_case, regexp_ignore_case},
                                  {data.multiline, regexp_multiline}}) {
            if (property == name) {
                if (get) {
                    *value = Value::boolean((object.flags & flag) != 0);
                }
                return true;
            }
        }
        if (property == data.source) {
            if (get) {
                *value = make_string_copy(engine, object.source);
            }
            return true;
        }
    }
    Value found;
    if (!last_match_property(engine, data, property, &found)) {
        return false;
    }
    if (mode == PropertyMode::Get) {
        *value = found;
    }
    return true;
}

// The class object called makes an expression; an instance called runs exec.
void regexp_call(ScriptEngine* engine, HostClass* cls, void* instance, Value* result, Value* args) {
    *result = instance == nullptr ? construct_regexp(engine, cls, args)
                                  : exec(engine, cls, *static_cast<RegExpObject*>(instance), args);
}

void regexp_construct(ScriptEngine* engine, HostClass* cls, Value* args, Value* result) {
    *result = construct_regexp(engine, cls, args);
}

void regexp_destroy(HostClass*, void* instance) { delete static_cast<RegExpObject*>(instance); }

// The input is the one value the class keeps.
void regexp_mark(ScriptEngine* engine, HostClass* cls, void*) { mark_value(engine, class_data(cls).last.input); }

void free_regexp_class_data(void* data) { delete static_cast<RegExpClassData*>(data); }

// The maker of regular-expression constants: the constructor's work with the constant's flags.
bool make_regexp_constant(ScriptEngine* engine, const char16_t* pattern, size_t length, int flags, Value* out) {
    HostClass* cls = engine->regexp_class.payload.host->cls;
    *out = new_regexp(engine, cls, Text(pattern, length),
                      flags & (regexp_global | regexp_ignore_case | regexp_multiline));
    return out->tag != Tag::Null;
}

}  // namespace

int regexp_literal_options(int flags) { return with_flag_options(constructor_compile_flags, flags); }

RegExpObject* regexp_object(const Value& value) {
    if (value.tag != Tag::HostObject || value.payload.host == nullptr || value.payload.host->cls == nullptr ||
        value.payload.host->cls->method != regexp_method) {
        return nullptr;
    }
    return static_cast<RegExpObject*>(value.payload.host->instance);
}

bool is_regexp(const Value& value) { return regexp_object(value) != nullptr; }

LastMatch& last_match_of(HostClass* cls) { return class_data(cls).last; }

void reset_pairs(RegexPair* pairs, size_t n) { std::fill(pairs, pairs + n, RegexPair{-1, -1}); }

size_t last_group_of_run(const RegexPair* pairs, int64_t bound) {
    size_t n = 1;
    while (n < config::regexp_match_pairs && pairs[n].start >= 0 && pairs[n].start < bound) {
        ++n;
    }
    return n - 1;
}

size_t search_start(const RegExpObject& regexp, size_t length) {
    return regexp.last_index < 0 ? 0 : std::min(static_cast<size_t>(regexp.last_index), length);
}

bool regexp_execute(ScriptEngine* engine, const PosixRegex* regex, const RegexText& text, size_t start,
                    size_t pair_count, RegexPair* pairs) {
    const int code = regex_execute(regex, text, start, pair_count, pairs);
    if (code != reg_ok && code != reg_nomatch) {
        const std::string reason = regex_error_text(code);
        set_message(engine, Message::RegExpRuntimeError, reason.c_str());
        warn(engine, Message::RegExpRuntimeError, reason.c_str());
    }
    return code == reg_ok;
}

bool search_from_last_index(ScriptEngine* engine, const RegExpObject& regexp, const RegexText& text,
                            RegexPair* pairs) {
    reset_pairs(pairs, config::regexp_match_pairs);
    const size_t length = text.end();
    if ((regexp.flags & regexp_global) != 0 && regexp.last_index > 0 &&
        static_cast<size_t>(regexp.last_index) > length) {
        return false;
    }
    return regexp_execute(engine, regexp.compiled.get(), text, search_start(regexp, length),
                          config::regexp_match_pairs, pairs);
}

bool regexp_test_text(ScriptEngine* engine, HostClass* cls, RegExpObject& regexp, Text text) {
    LastMatch& last = class_data(cls).last;
    bool found = search_from_last_index(engine, regexp, RegexText(text, search_start(regexp, text.size())),
                                        last.pairs);
    if ((regexp.flags & regexp_global) != 0) {
        regexp.last_index = found ? static_cast<int32_t>(last.pairs[0].end) : 0;
    }
    return found;
}

Value regexp_exec_text(ScriptEngine* engine, HostClass* cls, RegExpObject& regexp, Text text) {
    RegExpClassData& data = class_data(cls);
    const RegexPair* pairs = data.last.pairs;
    const bool global = (regexp.flags & regexp_global) != 0;
    if (!search_from_last_index(engine, regexp, RegexText(text, search_start(regexp, text.size())),
                                data.last.pairs)) {
        if (global) {
            regexp.last_index = 0;
        }
        return Value::null();
    }
    // The array ends at the first unmatched pair.
    size_t n = 0;
    while (n < config::regexp_match_pairs && pairs[n].start >= 0) {
        ++n;
    }
    Value result = Value::array(array_create(engine, 0));
    for (size_t k = 0; k < n; ++k) {
        array_put(engine, result.payload.array, k, pair_text(engine, text, pairs[k]));
    }
    array_set_length(engine, result.payload.array, n);
    PropertyTable* table = own_table_of(engine, result);
    table_put(engine, table, data.index, Value::integer(pairs[0].start));
    table_put(engine, table, data.input, data.last.input);
    if (global) {
        regexp.last_index = static_cast<int32_t>(pairs[0].end);
    }
    return result;
}

void register_regexp_class(ScriptEngine* engine) {
    auto data = std::make_unique<RegExpClassData>();
    data->exec = intern(engine, "exec");
    data->test = intern(engine, "test");
    data->compile = intern(engine, "compile");
    data->global = intern(engine, "global");
    data->ignore_case = intern(engine, "ignoreCase");
    data->multiline = intern(engine, "multiline");
    data->last_index = intern(engine, "lastIndex");
    data->source = intern(engine, "source");
    data->index = intern(engine, "index");
    data->input = intern(engine, "input");
    data->input_short = intern(engine, "$_");
    data->last_match = intern(engine, "lastMatch");
    data->last_paren = intern(engine, "lastParen");
    data->left_context = intern(engine, "leftContext");
    data->right_context = intern(engine, "rightContext");
    for (size_t n = 0; n < group_names; ++n) {
        data->groups[n] = intern(engine, "$" + std::to_string(n + 1));
    }
    reset_pairs(data->last.pairs, config::regexp_match_pairs);

    HostClass* cls = new_host_class(engine);
    // The class frees its user data from here on.
    cls->user_data = data.release();
    cls->user_data_finalizer = free_regexp_class_data;
    cls->call = regexp_call;
    cls->method = regexp_method;
    cls->property = regexp_property;
    cls->construct = regexp_construct;
    cls->destroy = regexp_destroy;
    cls->mark = regexp_mark;
    engine->regexp_class = make_host_object(engine, cls, nullptr);
    set_global(engine, "RegExp", engine->regexp_class);
    engine->make_regexp = make_regexp_constant;
}

}  // namespace quill
