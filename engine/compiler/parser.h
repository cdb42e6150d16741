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

// Takes each function and each program-level statement as soon as the parser has finished it, in
// the order the tree's lists would hold them. The nodes are given back when the call returns (the
// texts stay as long as the tree).
class ParseSink {
public:
    virtual void function(const Node* function) = 0;
    virtual void statement(const Node* statement) = 0;

protected:
    ~ParseSink() = default;
};

class Parser {
public:
    // Reads compilation.source.bytes; nodes go into `tree`. With a sink, the functions and the
    // program's statements go to it instead of the tree's lists.
    Parser(Compilation& compilation, SyntaxTree& tree, ParseSink* sink = nullptr);

    // Parses the whole source into tree.functions and tree.statements, or into the sink.
    void parse_program();

    // Statements ended without a ';'.
    uint32_t semicolon_insertions() const { return m_insertions; }

private:
    friend class NestingGuard;

    Node* parse_statement();
    // What the enclosing code keeps of a parsed function: its nodes may be gone.
    struct FunctionHead {
        uint32_t line;
        std::string_view text;   // global name
        std::string_view text2;  // declared name
    };

    Node* parse_function_statement();
    FunctionHead parse_function();
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
    ParseSink* m_sink;
    Lexer m_lexer;
    uint32_t m_insertions = 0;
    int m_function_counter = 0;
    // Global names of the functions whose bodies are being parsed, innermost last.
    std::vector<std::string_view> m_function_names;
    int m_nesting = 0;
};

}  // namespace quill::compiler
