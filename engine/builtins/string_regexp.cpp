// The String methods that take a regular expression: match, replace, search and split. Each
// prepares the string's code units for the library once and runs its searches on that copy; the
// library sees the text from each search position up to the next U+0000.
#include <algorithm>
#include <cstdint>
#include <string>

#include "engine/builtins/regexp.h"
#include "engine/builtins/regexp_object.h"
#include "engine/values/array.h"
#include "engine/values/config.h"
#include "engine/values/engine.h"
#include "engine/values/errors.h"
#include "engine/values/host_class.h"
#include "engine/values/string_record.h"

namespace quill {

namespace {

using Text = std::u16string_view;

// The expression of a RegExp argument and the class that keeps its last-match state.
struct Expression {
    RegExpObject& regexp;
    HostClass* cls;
};

Expression expression_of(const Value& regexp) { return {*regexp_object(regexp), regexp.payload.host->cls}; }

Text text_of(const Value& string) { return string.payload.string->view(); }

// The text of a pair; empty when it did not take part.
Text pair_view(Text text, const RegexPair& pair) {
    if (pair.start < 0) {
        return {};
    }
    return text.substr(static_cast<size_t>(pair.start), static_cast<size_t>(pair.end - pair.start));
}

Value piece(ScriptEngine* engine, Text text, size_t start, size_t end) {
    return make_string_copy(engine, text.substr(start, end - start));
}

// Text being built, refused with "Out of memory" before it grows past the longest string.
class Output {
public:
    explicit Output(ScriptEngine* engine) : m_engine(engine) {}
    void append(Text part) {
        if (part.size() > config::max_string_length - m_text.size()) {
            raise_error(m_engine, Message::OutOfMemory);
        }
        m_text.append(part);
    }
    Value value() const { return make_string_copy(m_engine, m_text); }

private:
    ScriptEngine* m_engine;
    std::u16string m_text;
};

// The replacement for one match with its '$' substitutions. `rest_start` and `rest_end` bound the
// part of the text the search ran on since the previous match.
void append_replacement(Output& out, Text replacement, Text text, size_t rest_start, size_t rest_end,
                        const MatchPairs& pairs) {
    const auto match_start = static_cast<size_t>(pairs[0].start);
    const auto match_end = static_cast<size_t>(pairs[0].end);
    size_t literal = 0;  // start of the text not yet appended
    for (size_t i = 0; i + 1 < replacement.size(); ++i) {
        if (replacement[i] != u'$') {
            continue;
        }
        const char16_t c = replacement[i + 1];
        Text inserted;
        if (c == u'$') {
            inserted = u"$";
        } else if (c == u'&') {
            inserted = pair_view(text, pairs[0]);
        } else if (c == u'`') {
            inserted = text.substr(rest_start, match_start - rest_start);
        } else if (c == u'\'') {
            inserted = text.substr(match_end, rest_end - match_end);
        } else if (c == u'+') {
            const size_t group = last_group_of_run(pairs, INT64_MAX);
            inserted = group > 0 ? pair_view(text, pairs[group]) : Text();
        } else if (c >= u'1' && c <= u'9') {
            inserted = pair_view(text, pairs[c - u'0']);
        } else {
            continue;  // both characters stay as they are
        }
        out.append(replacement.substr(literal, i - literal));
        out.append(inserted);
        literal = i + 2;
        ++i;
    }
    out.append(replacement.substr(literal));
}

}  // namespace

Value regexp_match(ScriptEngine* engine, const Value& string, const Value& regexp) {
    auto [expression, cls] = expression_of(regexp);
    LastMatch& last = last_match_of(cls);
    last.input = string;
    Text text = text_of(string);
    if ((expression.flags & regexp_global) == 0) {
        return regexp_exec_text(engine, cls, expression, text);
    }
    // exec over and over from lastIndex 0, collecting the whole matches; an empty match moves on by
    // one, and past the end of the text the search finds nothing, so the loop ends.
    Value result = Value::array(array_create(engine, 0));
    uint64_t count = 0;
    expression.last_index = 0;
    const RegexText units(text, 0);
    while (search_from_last_index(engine, expression, units, last.pairs)) {
        array_put(engine, result.payload.array, count++, make_string_copy(engine, pair_view(text, last.pairs[0])));
        const int32_t before = expression.last_index;
        expression.last_index = static_cast<int32_t>(last.pairs[0].end);
        if (expression.last_index == before) {
            ++expression.last_index;
        }
    }
    expression.last_index = 0;
    array_set_length(engine, result.payload.array, count);
    return result;
}

Value regexp_search(ScriptEngine* engine, const Value& string, const Value& regexp) {
    auto [expression, cls] = expression_of(regexp);
    LastMatch& last = last_match_of(cls);
    last.input = string;
    return Value::integer(regexp_test_text(engine, cls, expression, text_of(string)) ? last.pairs[0].start
                                                                                     : -1);
}

// Matching starts at 0 for a global expression, else at lastIndex with the text before it copied.
// Empty matches are never replaced: the character after one is copied and the search moves on. The
// text after a U+0000 is never searched but is kept in the result.
Value regexp_replace(ScriptEngine* engine, const Value& string, const Value& regexp, const Value& replacement) {
    auto [expression, cls] = expression_of(regexp);
    LastMatch& last = last_match_of(cls);
    last.input = string;
    last.pairs.reset();
    Text text = text_of(string);
    Text with = text_of(replacement);
    const bool global = (expression.flags & regexp_global) != 0;
    const size_t start = global ? 0 : search_start(expression, text.size());
    Output out(engine);
    out.append(text.substr(0, start));

    const RegexText units(text, start);
    const size_t rest_end = units.part_end(start);
    size_t rest_start = start;
    MatchPairs pairs;
    bool found = false;
    while (rest_start < rest_end &&
           regexp_execute(engine, expression.compiled.get(), units, rest_start, pairs)) {
        found = true;
        const auto match_start = static_cast<size_t>(pairs[0].start);
        const auto match_end = static_cast<size_t>(pairs[0].end);
        out.append(text.substr(rest_start, match_start - rest_start));
        if (match_start == match_end) {
            if (match_end >= rest_end) {
                rest_start = match_end;
                break;
            }
            out.append(text.substr(match_end, 1));
            rest_start = match_end + 1;
            continue;
        }
        append_replacement(out, with, text, rest_start, rest_end, pairs);
        rest_start = match_end;
        if (!global) {
            break;
        }
    }
    out.append(text.substr(rest_start));
    if (global) {
        expression.last_index = 0;
    }
    if (found) {
        last.pairs.assign(pairs);
    }
    return out.value();
}

// Pieces between matches, at most `limit` of them; an empty match moves the search on by one. Groups
// are not added, and neither the last-match state nor lastIndex is touched.
Value regexp_split(ScriptEngine* engine, const Value& string, const Value& regexp, int64_t limit) {
    const RegExpObject& expression = *regexp_object(regexp);
    Text text = text_of(string);
    Value result = Value::array(array_create(engine, 0));
    int64_t count = 0;
    if (limit > 0) {
        const RegexText units(text, 0);
        size_t search = 0;
        size_t piece_start = 0;
        RegexPair match{-1, -1};
        while (count < limit && search <= text.size() &&
               regexp_execute(engine, expression.compiled.get(), units, search, 1, &match)) {
            const auto match_start = std::max(static_cast<size_t>(match.start), piece_start);
            const auto match_end = static_cast<size_t>(match.end);
            array_put(engine, result.payload.array, static_cast<uint64_t>(count++),
                      piece(engine, text, piece_start, match_start));
            piece_start = match_end;
            search = match_end == search ? search + 1 : match_end;
        }
        if (count < limit) {
            array_put(engine, result.payload.array, static_cast<uint64_t>(count++),
                      piece(engine, text, piece_start, text.size()));
        }
    }
    array_set_length(engine, result.payload.array, static_cast<uint64_t>(count));
    return result;
}

}  // namespace quill
