// The parser: recursive descent over the lexer's tokens with one token of lookahead, building the
// syntax tree of one program. The first error ends the compilation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compiler/ast.h"
#include "engine/compiler/compilation.h"
#include "engine/compiler/compiler_messages.h"
#include "engine/compiler/lexer.h"

namespace quill::compiler {

class Parser {
public:
    // Reads compilation.source.bytes; nodes go into `tree`.
    Parser(Compilation& compilation, SyntaxTree& tree);

    // Parses the whole source into tree.functions and tree.statements.
    void parse_program();

    // Statements ended without a ';'.
    uint32_t semicolon_insertions() const { return m_insertions; }

private:
    friend class NestingGuard;

    Node* parse_statement();
    Node* parse_function_statement();
    Node* parse_function();
    Node* parse_block();
    Node* parse_var();
    Node* parse_if();
    Node* parse_do();
    Node* parse_while();
    Node* parse_for();
    Node* parse_jump(NodeKind kind);
    Node* parse_return();
    Node* parse_switch();
    Node* parse_with();
    Node* parse_try();
    Node* parse_throw();
    Node* parse_condition();
    void end_statement();

    Node* parse_expression();
    Node* parse_assignment();
    Node* parse_conditional();
    Node* parse_binary(int min_level);
    Node* parse_unary();
    Node* parse_postfix();
    Node* parse_call_member();
    Node* parse_new();
    Node* parse_member_suffix(Node* object);
    std::vector<Node*> parse_arguments();
    Node* parse_primary();
    Node* parse_array();
    Node* parse_object();

    Node* make(NodeKind kind, uint32_t line) { return m_tree.make(kind, line); }
    Node* measured(Node* node);
    // Consumes a token of the given kind or raises the syntax error.
    void expect(int kind, CompilerMessage message);

    [[noreturn]] void syntax_error(CompilerMessage message);
    [[noreturn]] void syntax_error_at(uint32_t line, CompilerMessage message);

    Compilation& m_compilation;
    SyntaxTree& m_tree;
    Lexer m_lexer;
    uint32_t m_insertions = 0;
    int m_function_counter = 0;
    // Global names of the functions whose bodies are being parsed, innermost last.
    std::vector<std::string_view> m_function_names;
    int m_nesting = 0;
};

}  // namespace quill::compiler
