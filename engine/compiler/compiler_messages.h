// Every diagnostic text of the compiler's front and middle (lexer, parser, code generator), in one
// table, used by name. Texts are the system's own and must stay exactly as written.
#pragma once

namespace quill::compiler {

// X(name, text). A text is a printf format where it holds conversions. Parser texts marked
// "syntax" are raised through the "syntax error: %s" wrapper (see syntax_error_format).
#define QUILL_COMPILER_MESSAGES(X)                                                                   \
    /* lexer */                                                                                      \
    X(IllegalCharacter, "illegal character")                                                         \
    X(IllegalHexEscape, "illegal character '%s%c%c'")                                                \
    X(IllegalUnicodeEscape, "illegal unicode character '%s%c%c%c%c'")                                \
    X(InvalidExponent, "invalid exponent part in a decimal literal")                                 \
    X(UnterminatedConstant, "unterminated %s constant")                                              \
    X(UnknownEscape, "unknown escape sequence '%c%c'")                                               \
    X(LineTerminatorInConstant, "ECMAScript don't allow line terminators in %s constants")           \
    /* parser: raised as they stand */                                                               \
    X(MissingSemicolon, "missing ;")                                                                 \
    X(MoreThanOneDefault, "more than one switch default")                                            \
    /* parser: "syntax" texts */                                                                     \
    X(IllegalIdentifier, "illegal identifier")                                                       \
    X(IllegalFunctionName, "illegal function name")                                                  \
    X(MissingParenBeforeParameters, "missing ( before formal parameters")                            \
    X(MissingParenAfterParameters, "missing ) after formal parameters")                              \
    X(InvalidFunctionBody, "invalid function body")                                                  \
    X(MissingBraceAfterBlock, "missing } after block")                                               \
    X(InvalidStatement, "invalid statement")                                                         \
    X(InvalidLabel, "invalid label")                                                                 \
    X(InvalidReturn, "invalid return")                                                               \
    X(InvalidThrow, "invalid throw")                                                                 \
    X(MissingParenBeforeWith, "missing ( before with-statement object")                              \
    X(InvalidWithObject, "invalid with-statement object")                                            \
    X(MissingParenAfterWith, "missing ) after with-statement object")                                \
    X(InvalidWithBlock, "invalid with block")                                                        \
    X(MissingParenBeforeSwitch, "missing ( before switch expression")                                \
    X(InvalidSwitchExpression, "invalid switch expression")                                          \
    X(MissingParenAfterSwitch, "missing ) after switch expression")                                  \
    X(MissingBraceBeforeSwitch, "missing { before switch body")                                      \
    X(InvalidCaseExpression, "invalid case expression")                                              \
    X(MissingColonAfterCase, "missing : after case label")                                           \
    X(MissingBraceAfterSwitch, "missing } after switch block")                                       \
    X(MissingCatchOrFinally, "missing catch or finally after try")                                   \
    X(MissingParenBeforeCatch, "missing ( before catch")                                             \
    X(MissingCatchIdentifier, "missing identifier in catch")                                         \
    X(MissingParenAfterCatch, "missing ) after catch")                                               \
    X(InvalidVariableInitialization, "invalid variable initialization")                              \
    X(MissingVariableName, "missing variable name")                                                  \
    X(MissingParenBeforeCondition, "missing ( before condition")                                     \
    X(InvalidCondition, "invalid condition expression")                                              \
    X(MissingParenAfterCondition, "missing ) after condition")                                       \
    X(MissingWhileAfterDo, "missing while after do-loop body")                                       \
    X(MissingParenAfterFor, "missing ( after for")                                                   \
    X(InvalidForInitializer, "invalid for-loop initializer or for-in expression")                    \
    X(MissingSemicolonAfterForInitializer, "missing ; after for-loop initializer")                   \
    X(InvalidForCondition, "invalid for-loop condition expression")                                  \
    X(MissingSemicolonAfterForCondition, "missing ; after for-loop condition")                       \
    X(InvalidForControl, "invalid for-loop control expression")                                      \
    X(MissingParenAfterForControl, "missing ) after for-loop control")                               \
    X(MoreThanOneVariable, "more than one variable declaration")                                     \
    X(InvalidExpression, "invalid expression")                                                       \
    X(MissingColonInConditional, "missing : in conditional expression")                              \
    X(MissingBracketAfterElements, "missing ] after element list")                                   \
    X(MissingBracketInIndex, "missing ] in index expression")                                        \
    X(InvalidPropertyId, "invalid property id")                                                      \
    X(MissingColonAfterPropertyId, "missing : after property id")                                    \
    X(MissingBraceAfterProperties, "missing } after property list")                                  \
    X(MissingParenAfterArguments, "missing ) after argument list")                                   \
    X(InvalidAssignmentTarget, "invalid assignment target")                                          \
    /* limits the encodings and the machine impose (raised as they stand) */                         \
    X(NestingTooDeep, "nesting too deep")                                                            \
    X(TooManyArguments, "too many arguments")                                                        \
    X(TooManyParameters, "too many parameters")                                                      \
    X(TooManyLocals, "too many local variables")                                                     \
    X(NameTooLong, "name longer than %d bytes")                                                      \
    /* code generator */                                                                             \
    X(InvalidContinue, "invalid continue")                                                           \
    X(InvalidBreak, "invalid break")                                                                 \
    X(InvalidRegExp, "invalid regular expression: %s")

enum class CompilerMessage {
#define QUILL_COMPILER_MESSAGE_ENUM(name, text) name,
    QUILL_COMPILER_MESSAGES(QUILL_COMPILER_MESSAGE_ENUM)
#undef QUILL_COMPILER_MESSAGE_ENUM
};

// The wrapper of the parser's "syntax" texts.
inline constexpr const char* syntax_error_format = "syntax error: %s";

// The text of a message.
inline const char* compiler_message(CompilerMessage message) {
    static constexpr const char* texts[] = {
#define QUILL_COMPILER_MESSAGE_TEXT(name, text) text,
        QUILL_COMPILER_MESSAGES(QUILL_COMPILER_MESSAGE_TEXT)
#undef QUILL_COMPILER_MESSAGE_TEXT
    };
    return texts[static_cast<int>(message)];
}

}  // namespace quill::compiler
