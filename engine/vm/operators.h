// The operators of the language on values: arithmetic, bitwise, relational and equality. The
// interpreter takes Integer fast paths inline and calls these for everything else.
#pragma once

#include "engine/values/value.h"

namespace quill {
struct ScriptEngine;
}

namespace quill::vm {

Value op_add(ScriptEngine* engine, const Value& left, const Value& right);
Value op_sub(ScriptEngine* engine, const Value& left, const Value& right);
Value op_mul(ScriptEngine* engine, const Value& left, const Value& right);
Value op_div(ScriptEngine* engine, const Value& left, const Value& right);
Value op_mod(ScriptEngine* engine, const Value& left, const Value& right);
Value op_neg(ScriptEngine* engine, const Value& operand);
Value op_bitand(ScriptEngine* engine, const Value& left, const Value& right);
Value op_bitor(ScriptEngine* engine, const Value& left, const Value& right);
Value op_bitxor(ScriptEngine* engine, const Value& left, const Value& right);
Value op_shl(ScriptEngine* engine, const Value& left, const Value& right);
Value op_shr(ScriptEngine* engine, const Value& left, const Value& right);
Value op_ushr(ScriptEngine* engine, const Value& left, const Value& right);

enum class Relation { Less, Greater, LessEqual, GreaterEqual };
// A Boolean, or Undefined when either operand converts to NaN.
Value op_compare(ScriptEngine* engine, Relation relation, const Value& left, const Value& right);

bool loose_equals(ScriptEngine* engine, const Value& left, const Value& right);
bool strict_equals(const Value& left, const Value& right);

}  // namespace quill::vm
