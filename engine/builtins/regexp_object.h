// What the RegExp class and the String methods that take a RegExp share: the instance data, the
// engine-wide last-match state, and the search from lastIndex.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/builtins/posix_regex.h"
#include "engine/values/config.h"
#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;
struct HostClass;

// Flag bits, as regular-expression constants carry them.
inline constexpr int regexp_global = 1;
inline constexpr int regexp_ignore_case = 2;
inline constexpr int regexp_multiline = 4;

struct RegexFree {
    void operator()(PosixRegex* regex) const { regex_free(regex); }
};

// A RegExp instance's data, owned by its host object.
struct RegExpObject {
    std::u16string source;                         // the pattern, up to its first U+0000
    int flags = 0;
    std::unique_ptr<PosixRegex, RegexFree> compiled;  // null after a failed `compile`
    int32_t last_index = 0;                        // where the next search starts
};

// The pairs of a search. Only the first `used` are stored: every pair from there on is unmatched,
// whatever the array holds, so a search writes only as many pairs as its expression has groups
// and a reset costs nothing.
struct MatchPairs {
    RegexPair items[config::regexp_match_pairs];
    size_t used = 0;

    RegexPair operator[](size_t i) const { return i < used ? items[i] : RegexPair{-1, -1}; }
    void reset() { used = 0; }
    void assign(const MatchPairs& other);
};

// The engine-wide last-match state, kept by the RegExp class: the text last searched and the pairs
// of the last search, as positions in it.
struct LastMatch {
    Value input;
    MatchPairs pairs;
};

// The instance data of a RegExp instance, or null for any other value.
RegExpObject* regexp_object(const Value& value);

// The last-match state the RegExp class keeps.
LastMatch& last_match_of(HostClass* cls);

// The last group of the run of matched groups 1, 2, ... that starts below `bound`; 0 when group 1
// does not belong to it.
size_t last_group_of_run(const MatchPairs& pairs, int64_t bound);

// regex_execute for a script: true on a match. A search the library abandons (beyond its bounds on
// work or stack) finds nothing, as a failed one does, and leaves "RegExp runtime error: " with the
// library's reason in the message buffer and at the trace hook, so that the two can be told apart.
bool regexp_execute(ScriptEngine* engine, const PosixRegex* regex, const RegexText& text, size_t start,
                    size_t pair_count, RegexPair* pairs);
// The same into match pairs, as many as the expression has groups (and the whole match); on no
// match the pairs stay as they were.
bool regexp_execute(ScriptEngine* engine, const PosixRegex* regex, const RegexText& text, size_t start,
                    MatchPairs& pairs);

// Searches the text from the expression's lastIndex (negative counts as 0, beyond the end as the
// end) into the given pairs, all of which are reset first. A global expression whose lastIndex lies
// beyond the end of the text finds nothing: no search can make progress there. An expression whose
// last `compile` failed finds nothing either. `text` must hold the positions from lastIndex on.
bool search_from_last_index(ScriptEngine* engine, const RegExpObject& regexp, const RegexText& text,
                            MatchPairs& pairs);

// Where a search from lastIndex starts in a text of `length` code units.
size_t search_start(const RegExpObject& regexp, size_t length);

// test on `text`: searches from lastIndex into the last-match state; a global expression moves
// lastIndex to the end of the match, or to 0 when there is none.
bool regexp_test_text(ScriptEngine* engine, HostClass* cls, RegExpObject& regexp, std::u16string_view text);

// exec on `text`, the string conversion of the input: searches from lastIndex into the last-match
// state and gives the match array (with "index" and "input") or Null; a global expression moves
// lastIndex.
Value regexp_exec_text(ScriptEngine* engine, HostClass* cls, RegExpObject& regexp, std::u16string_view text);

}  // namespace quill
