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
#include "engine/values/class_declaration.h"
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

// The class-wide state: the last-match state, and the names of the match array's properties.
struct RegExpState {
    LastMatch last;
    Atom index;
    Atom input;
};

void* make_state(ScriptEngine* engine) {
    auto state = std::make_unique<RegExpState>();
    state->index = intern(engine, "index");
    state->input = intern(engine, "input");
    return state.release();
}

RegExpState& state_of(HostClass* cls) { return *static_cast<RegExpState*>(class_state(cls)); }

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
    return make_instance(engine, cls, std::move(object));
}

// new RegExp(pattern, flags) and RegExp(pattern, flags): only String arguments count.
Value construct_regexp(ScriptEngine* engine, HostClass* cls, const Arguments& args) {
    const StringRecord* pattern = args.string(0);
    const StringRecord* flags = args.string(1);
    return new_regexp(engine, cls, pattern != nullptr ? pattern->view() : Text(),
                      flags != nullptr ? flags_from_text(flags->view()) : 0);
}

// The text the argument gives (it becomes the input), or without one the current input's text.
// The argument cell keeps the converted string alive.
Text search_text(ScriptEngine* engine, LastMatch& last, const Arguments& args) {
    if (args.has(0)) {
        Value& text = args.cell(0);
        text = to_string(engine, text);
        last.input = text;
        return text.payload.string->view();
    }
    return to_string(engine, last.input).payload.string->view();
}

Value exec(ScriptEngine* engine, HostClass* cls, RegExpObject& object, const Arguments& args) {
    Text text = search_text(engine, state_of(cls).last, args);
    return regexp_exec_text(engine, cls, object, text);
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

// The text of a pair of the input, or Null when it is unmatched or lies beyond the input.
Value pair_text(ScriptEngine* engine, Text input, const RegexPair& pair) {
    const auto length = static_cast<int64_t>(input.size());
    if (pair.start < 0 || pair.end < pair.start || pair.end > length) {
        return Value::null();
    }
    return make_string_copy(engine, input.substr(static_cast<size_t>(pair.start),
                                                 static_cast<size_t>(pair.end - pair.start)));
}

// {==== The members

RegExpObject& object_of(const MemberCall& call) { return call.data<RegExpObject>(); }

void regexp_exec(MemberCall& call) { *call.result = exec(call.engine, call.cls, object_of(call), call.args); }

void regexp_test(MemberCall& call) {
    Text text = search_text(call.engine, state_of(call.cls).last, call.args);
    *call.result = Value::boolean(regexp_test_text(call.engine, call.cls, object_of(call), text));
}

// compile(pattern, flags): a new source and all three flags; lastIndex stays.
void regexp_compile(MemberCall& call) {
    const Arguments& args = call.args;
    RegExpObject& object = object_of(call);
    if (!args.has(0)) {
        *call.result = Value::boolean(false);
        return;
    }
    args.cell(0) = to_string(call.engine, args[0]);
    if (args.has(1)) {
        args.cell(1) = to_string(call.engine, args[1]);
    }
    object.source = up_to_nul(args[0].payload.string->view());
    object.flags = args.has(1) ? flags_from_text(args[1].payload.string->view()) : 0;
    *call.result = Value::boolean(compile_source(call.engine, object, method_compile_flags));
}

// On an instance its text form; on the class object its class text.
void regexp_to_string(MemberCall& call) {
    *call.result = call.instance == nullptr ? class_text(call.engine, call.cls) : regexp_text(call.engine, object_of(call));
}

// The instance properties. Writes are ignored, except that an Integer sets lastIndex (its low 32
// bits).
void flag(MemberCall& call) { *call.result = Value::boolean((object_of(call).flags & call.context<int>()) != 0); }

void last_index(MemberCall& call) { *call.result = Value::integer(object_of(call).last_index); }

void set_last_index(MemberCall& call, const Value& value) {
    if (value.tag == Tag::Integer) {
        object_of(call).last_index = static_cast<int32_t>(static_cast<uint32_t>(value.payload.integer));
    }
}

void source(MemberCall& call) { *call.result = make_string_copy(call.engine, object_of(call).source); }

// The static properties, on the class object and on every instance alike; writes are ignored.
// Each is Null while no String has been searched.
template <Value (*read)(ScriptEngine* engine, const LastMatch& last, Text input, const MemberCall& call)>
void last_match_property(MemberCall& call) {
    const LastMatch& last = state_of(call.cls).last;
    *call.result = last.input.tag == Tag::String ? read(call.engine, last, last.input.payload.string->view(), call)
                                                 : Value::null();
}

Value group(ScriptEngine* engine, const LastMatch& last, Text input, const MemberCall& call) {
    return pair_text(engine, input, last.pairs[call.context<size_t>()]);
}

Value input(ScriptEngine*, const LastMatch& last, Text, const MemberCall&) { return last.input; }

Value last_match(ScriptEngine* engine, const LastMatch& last, Text input, const MemberCall&) {
    return pair_text(engine, input, last.pairs[0]);
}

Value last_paren(ScriptEngine* engine, const LastMatch& last, Text input, const MemberCall&) {
    const size_t group = last_group_of_run(last.pairs, static_cast<int64_t>(input.size()));
    return group > 0 ? pair_text(engine, input, last.pairs[group]) : Value::null();
}

Value left_context(ScriptEngine* engine, const LastMatch& last, Text input, const MemberCall&) {
    const RegexPair whole = last.pairs[0];
    return pair_text(engine, input, {whole.start < 0 ? -1 : 0, whole.start});
}

Value right_context(ScriptEngine* engine, const LastMatch& last, Text input, const MemberCall&) {
    const RegexPair whole = last.pairs[0];
    return pair_text(engine, input, {whole.end, whole.end < 0 ? -1 : static_cast<int64_t>(input.size())});
}

// }====

// The class object called makes an expression; an instance called runs exec.
void regexp_call(MemberCall& call) {
    *call.result = call.instance == nullptr ? construct_regexp(call.engine, call.cls, call.args)
                                            : exec(call.engine, call.cls, object_of(call), call.args);
}

void regexp_construct(MemberCall& call) { *call.result = construct_regexp(call.engine, call.cls, call.args); }

// The input is the one value the class keeps.
void regexp_mark(ScriptEngine* engine, HostClass* cls, void*) { mark_value(engine, state_of(cls).last.input); }

constexpr int global_flag = regexp_global;
constexpr int ignore_case_flag = regexp_ignore_case;
constexpr int multiline_flag = regexp_multiline;
constexpr size_t groups[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};

constexpr Needs instance = Needs::Instance;
constexpr Needs any = Needs::Nothing;

const Member regexp_members[] = {
    method("exec", regexp_exec, instance),
    method("test", regexp_test, instance),
    method("compile", regexp_compile, instance),
    method("toString", regexp_to_string),
    property("global", flag, nullptr, instance, &global_flag),
    property("ignoreCase", flag, nullptr, instance, &ignore_case_flag),
    property("multiline", flag, nullptr, instance, &multiline_flag),
    property("lastIndex", last_index, set_last_index, instance),
    property("source", source, nullptr, instance),
    property("$1", last_match_property<group>, nullptr, any, &groups[0]),
    property("$2", last_match_property<group>, nullptr, any, &groups[1]),
    property("$3", last_match_property<group>, nullptr, any, &groups[2]),
    property("$4", last_match_property<group>, nullptr, any, &groups[3]),
    property("$5", last_match_property<group>, nullptr, any, &groups[4]),
    property("$6", last_match_property<group>, nullptr, any, &groups[5]),
    property("$7", last_match_property<group>, nullptr, any, &groups[6]),
    property("$8", last_match_property<group>, nullptr, any, &groups[7]),
    property("$9", last_match_property<group>, nullptr, any, &groups[8]),
    property("$_", last_match_property<input>),
    property("input", last_match_property<input>),
    property("lastMatch", last_match_property<last_match>),
    property("lastParen", last_match_property<last_paren>),
    property("leftContext", last_match_property<left_context>),
    property("rightContext", last_match_property<right_context>),
};

const ClassDeclaration regexp_class = {
    .name = "RegExp",
    .class_text = "[Object RegExp]",
    .members = regexp_members,
    .construct = regexp_construct,
    .call = regexp_call,
    .destroy = delete_instance<RegExpObject>,
    .mark = regexp_mark,
    .make_state = make_state,
    .free_state = delete_state<RegExpState>,
};

// The maker of regular-expression constants: the constructor's work with the constant's flags.
bool make_regexp_constant(ScriptEngine* engine, const char16_t* pattern, size_t length, int flags, Value* out) {
    HostClass* cls = engine->regexp_class.payload.host->cls;
    *out = new_regexp(engine, cls, Text(pattern, length),
                      flags & (regexp_global | regexp_ignore_case | regexp_multiline));
    return out->tag != Tag::Null;
}

}  // namespace

int regexp_literal_options(int flags) { return with_flag_options(constructor_compile_flags, flags); }

RegExpObject* regexp_object(const Value& value) { return instance_of<RegExpObject>(value, regexp_class); }

bool is_regexp(const Value& value) { return regexp_object(value) != nullptr; }

LastMatch& last_match_of(HostClass* cls) { return state_of(cls).last; }

void MatchPairs::assign(const MatchPairs& other) {
    std::copy(other.items, other.items + other.used, items);
    used = other.used;
}

size_t last_group_of_run(const MatchPairs& pairs, int64_t bound) {
    size_t n = 1;
    while (n < pairs.used && pairs.items[n].start >= 0 && pairs.items[n].start < bound) {
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

bool regexp_execute(ScriptEngine* engine, const PosixRegex* regex, const RegexText& text, size_t start,
                    MatchPairs& pairs) {
    const size_t count = std::min(config::regexp_match_pairs, regex_group_count(regex) + 1);
    if (!regexp_execute(engine, regex, text, start, count, pairs.items)) {
        return false;
    }
    pairs.used = count;
    return true;
}

bool search_from_last_index(ScriptEngine* engine, const RegExpObject& regexp, const RegexText& text,
                            MatchPairs& pairs) {
    pairs.reset();
    const size_t length = text.end();
    if ((regexp.flags & regexp_global) != 0 && regexp.last_index > 0 &&
        static_cast<size_t>(regexp.last_index) > length) {
        return false;
    }
    return regexp_execute(engine, regexp.compiled.get(), text, search_start(regexp, length), pairs);
}

bool regexp_test_text(ScriptEngine* engine, HostClass* cls, RegExpObject& regexp, Text text) {
    LastMatch& last = state_of(cls).last;
    bool found = search_from_last_index(engine, regexp, RegexText(text, search_start(regexp, text.size())),
                                        last.pairs);
    if ((regexp.flags & regexp_global) != 0) {
        regexp.last_index = found ? static_cast<int32_t>(last.pairs[0].end) : 0;
    }
    return found;
}

Value regexp_exec_text(ScriptEngine* engine, HostClass* cls, RegExpObject& regexp, Text text) {
    RegExpState& data = state_of(cls);
    const MatchPairs& pairs = data.last.pairs;
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
    while (n < pairs.used && pairs.items[n].start >= 0) {
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
    declare_class(engine, regexp_class);
    // The engine keeps the class object, which the constants are made with, whatever scripts do
    // to the global.
    engine->regexp_class = get_global(engine, "RegExp");
    engine->make_regexp = make_regexp_constant;
}

}  // namespace quill
