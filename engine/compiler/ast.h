// Syntax nodes: what the parser builds and the code generator walks.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/compiler/pool.h"

namespace quill::compiler {

// Node kinds, numbered as the compiler's syntax table numbers them.
enum class NodeKind : int {
    Comma = 0,
    Assign = 1,
    Conditional = 2,
    Logical = 3,         // && ||
    Bitwise = 4,         // & ^ |
    Equality = 5,        // == != === !==
    Relational = 6,      // < > <= >=
    Shift = 7,           // << >> >>>
    Multiplicative = 8,  // * / %
    Additive = 9,        // + -
    This = 10,
    Null = 11,
    True = 12,
    False = 13,
    Identifier = 14,
    Number = 15,
    Integer = 16,
    String = 17,
    Call = 18,
    Member = 19,
    Index = 20,
    New = 21,
    Postfix = 26,
    Prefix = 27,
    RegExp = 28,
    Array = 29,
    Object = 30,
    Block = 31,
    NestedFunction = 32,
    Var = 33,
    Item = 34,  // the empty statement; also the item of generic lists (see below)
    ExpressionStatement = 35,
    If = 36,
    While = 37,
    For = 38,
    ForIn = 39,
    Continue = 40,
    Break = 41,
    Return = 42,
    With = 43,
    Try = 44,
    Throw = 45,
    DoWhile = 46,
    Switch = 47,
    Labelled = 48,
    Function = 49,
    Undefined = 50,
};

// One node of any kind; only the fields its kind uses are set (by kind):
//
//   Comma, binary kinds 3-9   op (operator token, binary kinds), left, right
//   Assign                    op ('=' or a compound operator token), left (target), right (value)
//   Conditional               condition, left (then-value), right (else-value)
//   Identifier                text (name)
//   Number / Integer / String number / integer / text
//   Call                      left (callee), list (arguments in source order)
//   Member                    left (object), text (property name)
//   Index                     left (object), right (key)
//   New                       left (constructor), list (arguments), flag (an argument list was given)
//   Postfix / Prefix          op, left (operand)
//   RegExp                    text (pattern), regexp_flags
//   Array                     list (elements in source order; a hole is an Item node)
//   Object                    list (properties in source order, Item nodes: op = key token kind
//                             tok::integer / tok::string / tok::identifier, integer or text = key,
//                             left = value)
//   Block                     list (statements)
//   NestedFunction            text (enclosing function's global name), text2 (nested function's
//                             global name), text3 (declared name)
//   Var                       list (declarators, Item nodes: text = name, left = initializer or null),
//                             flag (program level: the variables are globals)
//   Item                      the empty statement (nothing set)
//   ExpressionStatement       left
//   If                        condition, body (then), else_body (or null)
//   While / DoWhile           condition, body
//   For                       list (declarators) and flag (they were given), or left (initial
//                             expression or null); condition, update (each or null), body
//   ForIn                     list (one declarator) or left (target identifier), right (object), body
//   Continue / Break          text (label; empty for none)
//   Return / Throw            left (value; null for none)
//   With                      left (object), body
//   Try                       body, list (catch clauses), else_body (the finally statement or null)
//                             catch clause (Item): line (of "catch"), text (identifier),
//                             condition (or null), body
//   Switch                    left (discriminant), list (clauses, Item nodes: left = case expression,
//                             null for default; list = statements)
//   Labelled                  text (label), body
//   Function                  text (global name), text2 (declared name; empty when anonymous),
//                             list (parameters, Identifier nodes), body (Block), flag (uses
//                             "arguments"), line (of "function"), body_line (of the body's '{')
//
// The static type is the value tag of the result when it is known at compile time (Boolean for
// comparisons and for && and || of two Booleans; Null, Boolean, Number, Integer and String for
// literals), else 0.
struct Node {
    NodeKind kind = NodeKind::Item;
    int static_type = 0;
    uint32_t line = 0;
    uint32_t height = 1;  // 1 + the greatest height of the expression children (nesting limit)
    int op = 0;
    uint32_t body_line = 0;
    uint8_t regexp_flags = 0;
    bool flag = false;

    Node* left = nullptr;
    Node* right = nullptr;
    Node* condition = nullptr;
    Node* update = nullptr;
    Node* body = nullptr;
    Node* else_body = nullptr;
    std::vector<Node*> list;

    // Texts point into the tree's text pool.
    std::string_view text;
    std::string_view text2;
    std::string_view text3;
    int64_t integer = 0;
    double number = 0.0;
};

// A parsed program: the nodes and their texts live as long as the tree, unless the parser hands
// them to a sink (see ParseSink), which gives the nodes back as soon as they are used.
struct SyntaxTree {
    // Every function, nested ones included, in the order their bodies ended (inner functions come
    // before the function that contains them).
    std::vector<Node*> functions;
    // The program's own statements.
    std::vector<Node*> statements;

    using Mark = Pool<Node, 512>::Mark;
    // The nodes made after the mark end at once; their texts stay.
    Mark mark() const { return m_nodes.mark(); }
    void release(Mark mark) { m_nodes.release(mark); }

    Node* make(NodeKind kind, uint32_t line) {
        Node* node = m_nodes.make();
        node->kind = kind;
        node->line = line;
        return node;
    }
    // The tree's copy of a text, for the nodes to point at.
    std::string_view keep(std::string_view text) { return m_texts.keep(text); }

private:
    Pool<Node, 512> m_nodes;
    TextPool m_texts;
};

}  // namespace quill::compiler
