// The RegExp class: compiled regular expressions, the engine-wide state of the last match behind
// RegExp.$1 and its kin, and the String methods that take a regular expression.
#pragma once

#include <cstdint>

#include "engine/values/value.h"

namespace quill {

struct ScriptEngine;

// Stores the RegExp class object in its global slot (and in the engine, which keeps it alive) and
// installs the maker the loader uses for regular-expression constants. Runs once, at engine creation.
void register_regexp_class(ScriptEngine* engine);

// The library compile flags (posix_regex.h) of a regular-expression constant with these flag bits
// (1 global, 2 ignore case, 4 multiline): those of the constructor. The compiler checks literals
// with them.
int regexp_literal_options(int flags);

// Whether the value is a RegExp instance (the class object is not one).
bool is_regexp(const Value& value);

// The String methods given a RegExp instance `regexp`; `string` is the String they were called on.
// match: an array of the match and its groups, Null, or (global) an array of every match.
Value regexp_match(ScriptEngine* engine, const Value& string, const Value& regexp);
// replace: the string with matches replaced by `replacement` after its '$' substitutions.
Value regexp_replace(ScriptEngine* engine, const Value& string, const Value& regexp, const Value& replacement);
// search: the position of the first match from the expression's lastIndex, or -1.
Value regexp_search(ScriptEngine* engine, const Value& string, const Value& regexp);
// split: an array of at most `limit` pieces between matches.
Value regexp_split(ScriptEngine* engine, const Value& string, const Value& regexp, int64_t limit);

}  // namespace quill
