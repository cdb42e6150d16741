// The parser: tokens into the syntax tree.
//
// Each parse function returns null, consuming nothing, when the lookahead cannot start its construct;
// the caller then decides which error that is. Errors are raised at the line of the last consumed
// token unless noted.
#include "engine/compiler/parser.h"

#include <algorithm>
#include <initializer_list>

#include "engine/values/config.h"
#include "engine/values/value.h"

namespace quill::compiler {

namespace {

constexpr int boolean_type = static_cast<int>(Tag::Boolean);

bool is_assignment_operator(int kind) {
    switch (kind) {
    case '=':
    case tok::mul_assign:
    case tok::div_assign:
    case tok::mod_assign:
    case tok::add_assign:
    case tok::sub_assign:
    case tok::and_assign:
    case tok::xor_assign:
    case tok::or_assign:
    case tok::shl_assign:
    case tok::shr_assign:
    case tok::ushr_assign:
        return true;
    default:
        return false;
    }
}

// The left sides after which the grammar takes an assignment operator.
bool takes_assignment(NodeKind kind) {
    int k = static_cast<int>(kind);
    return (k >= 10 && k <= 21) || kind == NodeKind::RegExp || kind == NodeKind::Array ||
           kind == NodeKind::Undefined;
}

// The expressions a value can be stored into.
bool is_target(const Node* node) {
    return node->kind == NodeKind::Identifier || node->kind == NodeKind::Member || node->kind == NodeKind::Index;
}

bool is_prefix_operator(int kind) {
    switch (kind) {
    case '!':
    case '+':
    case '-':
    case '~':
    case tok::kw_delete:
    case tok::kw_typeof:
    case tok::kw_void:
    case tok::plus_plus:
    case tok::minus_minus:
        return true;
    default:
        return false;
    }
}

// The binary operators, lowest precedence first; all are left-associative.
struct BinaryLevel {
    NodeKind kind;
    std::initializer_list<int> operators;
};

const BinaryLevel binary_levels[] = {
    {NodeKind::Logical, {tok::or_or}},
    {NodeKind::Logical, {tok::and_and}},
    {NodeKind::Bitwise, {'|'}},
    {NodeKind::Bitwise, {'^'}},
    {NodeKind::Bitwise, {'&'}},
    {NodeKind::Equality, {tok::eq, tok::ne, tok::strict_eq, tok::strict_ne}},
    {NodeKind::Relational, {'<', '>', tok::le, tok::ge}},
    {NodeKind::Shift, {tok::shl, tok::shr, tok::ushr}},
    {NodeKind::Additive, {'+', '-'}},
    {NodeKind::Multiplicative, {'*', '/', '%'}},
};

// The level of a binary operator token, or -1.
int binary_level(int kind) {
    for (int level = 0; level < static_cast<int>(std::size(binary_levels)); ++level) {
        const std::initializer_list<int>& operators = binary_levels[level].operators;
        if (std::find(operators.begin(), operators.end(), kind) != operators.end()) {
            return level;
        }
    }
    return -1;
}

}  // namespace

// Counts one level of recursion for as long as it lives.
class NestingGuard {
public:
    explicit NestingGuard(Parser& parser) : m_parser(parser) {
        if (++m_parser.m_nesting > config::compiler_max_nesting) {
            m_parser.m_compilation.diagnostics.fail(m_parser.m_lexer.last_line(), "%s",
                                                    compiler_message(CompilerMessage::NestingTooDeep));
        }
    }
    ~NestingGuard() { --m_parser.m_nesting; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

private:
    Parser& m_parser;
};

Parser::Parser(Compilation& compilation, SyntaxTree& tree, ParseSink* sink)
    : m_compilation(compilation), m_tree(tree), m_sink(sink),
      m_lexer(compilation.source, compilation.flags, compilation.diagnostics) {}

void Parser::syntax_error(CompilerMessage message) { syntax_error_at(m_lexer.last_line(), message); }

void Parser::syntax_error_at(uint32_t line, CompilerMessage message) {
    m_compilation.diagnostics.fail(line, syntax_error_format, compiler_message(message));
}

void Parser::expect(int kind, CompilerMessage message) {
    if (m_lexer.peek().kind != kind) {
        syntax_error(message);
    }
    m_lexer.next();
}

// Sets the node's height from its expression children and checks it against the limit.
Node* Parser::measured(Node* node) {
    uint32_t height = 0;
    for (const Node* child : {node->left, node->right, node->condition}) {
        if (child != nullptr) {
            height = std::max(height, child->height);
        }
    }
    for (const Node* item : node->list) {
        height = std::max(height, item->height);
    }
    node->height = height + 1;
    if (node->height > config::compiler_max_expression_height) {
        m_compilation.diagnostics.fail(node->line, "%s", compiler_message(CompilerMessage::NestingTooDeep));
    }
    return node;
}

// program: {source-element}
void Parser::parse_program() {
    while (m_lexer.peek().kind != tok::end) {
        SyntaxTree::Mark mark = m_tree.mark();
        Node* statement = parse_statement();
        if (statement == nullptr) {
            syntax_error(CompilerMessage::InvalidStatement);
        }
        if (statement->kind == NodeKind::Var) {
            statement->flag = true;  // program-level variables are globals
        }
        if (m_sink != nullptr) {
            m_sink->statement(statement);
            m_tree.release(mark);
        } else {
            m_tree.statements.push_back(statement);
        }
    }
}

// A statement ends with ';', or without one before '}', the end of the input or a token on a later
// line than the last one consumed.
void Parser::end_statement() {
    const Token& token = m_lexer.peek();
    if (token.kind == ';') {
        m_lexer.next();
        return;
    }
    if (token.kind == '}' || token.kind == tok::end || token.line > m_lexer.last_line()) {
        ++m_insertions;
        if ((m_compilation.flags & CF_WARN_MISSING_SEMICOLON) != 0) {
            m_compilation.diagnostics.warn(m_lexer.last_line(), "%s",
                                           compiler_message(CompilerMessage::MissingSemicolon));
        }
        return;
    }
    m_compilation.diagnostics.fail(m_lexer.last_line(), "%s", compiler_message(CompilerMessage::MissingSemicolon));
}

// statement: block | function-declaration | var-statement | if | do | while | for
//          | expression ';' | identifier ':' statement
//          | ';' | continue | break | return | switch | with | try | throw
Node* Parser::parse_statement() {
    NestingGuard guard(*this);
    switch (m_lexer.peek().kind) {
    case '{':
        return parse_block();
    case tok::kw_function:
        return parse_function_statement();
    case tok::kw_var: {
        Node* node = parse_var();
        end_statement();
        return node;
    }
    case tok::kw_if:
        return parse_if();
    case tok::kw_do:
        return parse_do();
    case tok::kw_while:
        return parse_while();
    case tok::kw_for:
        return parse_for();
    default:
        break;
    }

    if (Node* expression = parse_expression()) {
        const Token& next = m_lexer.peek();
        if (expression->kind == NodeKind::Identifier && next.kind == ':' && next.line == m_lexer.last_line()) {
            m_lexer.next();
            Node* node = make(NodeKind::Labelled, expression->line);
            node->text = expression->text;
            node->body = parse_statement();
            if (node->body == nullptr) {
                syntax_error(CompilerMessage::InvalidLabel);
            }
            return node;
        }
        end_statement();
        Node* node = make(NodeKind::ExpressionStatement, expression->line);
        node->left = expression;
        return node;
    }

    switch (m_lexer.peek().kind) {
    case ';':
        return make(NodeKind::Item, m_lexer.next().line);
    case tok::kw_continue:
        return parse_jump(NodeKind::Continue);
    case tok::kw_break:
        return parse_jump(NodeKind::Break);
    case tok::kw_return:
        return parse_return();
    case tok::kw_switch:
        return parse_switch();
    case tok::kw_with:
        return parse_with();
    case tok::kw_try:
        return parse_try();
    case tok::kw_throw:
        return parse_throw();
    default:
        return nullptr;
    }
}

// A function declaration where a statement stands. At program level the function is compiled from the
// function list and its place holds an empty statement; inside a function a named declaration
// becomes a binding that stores the function into the enclosing function object.
Node* Parser::parse_function_statement() {
    FunctionHead function = parse_function();
    if (m_function_names.empty() || function.text2.empty()) {
        return make(NodeKind::Item, function.line);
    }
    Node* node = make(NodeKind::NestedFunction, function.line);
    node->text = m_function_names.back();
    node->text2 = function.text;
    node->text3 = function.text2;
    return node;
}

// function-declaration: 'function' [identifier] '(' [identifier {',' identifier}] ')' block
Parser::FunctionHead Parser::parse_function() {
    SyntaxTree::Mark mark = m_tree.mark();
    Token keyword = m_lexer.next();
    uint32_t arguments_before = m_lexer.arguments_count();
    Node* node = make(NodeKind::Function, keyword.line);
    if (m_lexer.peek().kind == tok::identifier) {
        const Token& name = m_lexer.peek();
        check_name(m_compilation, name.line, name.text);
        node->text2 = m_tree.keep(m_lexer.next().text);
    }
    if (node->text2.empty() || !m_function_names.empty()) {
        node->text = m_tree.keep("@F_" + std::to_string(m_function_counter++));
    } else {
        node->text = node->text2;
    }

    expect('(', CompilerMessage::MissingParenBeforeParameters);
    if (m_lexer.peek().kind != ')') {
        for (;;) {
            const Token& name = m_lexer.peek();
            if (name.kind != tok::identifier) {
                syntax_error_at(name.line, CompilerMessage::IllegalIdentifier);
            }
            Token parameter = m_lexer.next();
            Node* identifier = make(NodeKind::Identifier, parameter.line);
            identifier->text = m_tree.keep(parameter.text);
            node->list.push_back(identifier);
            if (m_lexer.peek().kind != ',') {
                break;
            }
            m_lexer.next();
        }
    }
    expect(')', CompilerMessage::MissingParenAfterParameters);
    if (m_lexer.peek().kind != '{') {
        syntax_error(CompilerMessage::InvalidFunctionBody);
    }

    m_function_names.push_back(node->text);
    node->body = parse_block();
    m_function_names.pop_back();
    node->body_line = node->body->line;
    node->flag = m_lexer.arguments_count() != arguments_before;
    FunctionHead head{node->line, node->text, node->text2};
    if (m_sink != nullptr) {
        m_sink->function(node);
        m_tree.release(mark);  // the function's nodes, its nested functions' already given back
    } else {
        m_tree.functions.push_back(node);
    }
    return head;
}

// block: '{' {statement} '}'
Node* Parser::parse_block() {
    Node* node = make(NodeKind::Block, m_lexer.next().line);
    while (m_lexer.peek().kind != '}') {
        Node* statement = parse_statement();
        if (statement == nullptr) {
            syntax_error(CompilerMessage::MissingBraceAfterBlock);
        }
        node->list.push_back(statement);
    }
    m_lexer.next();
    return node;
}

// var-statement: 'var' declarator {',' declarator}     (the caller ends the statement)
// declarator: identifier ['=' assignment-expression]
Node* Parser::parse_var() {
    Node* node = make(NodeKind::Var, m_lexer.next().line);
    if (m_lexer.peek().kind != tok::identifier) {
        syntax_error(CompilerMessage::MissingVariableName);
    }
    for (;;) {
        Token name = m_lexer.next();
        Node* declarator = make(NodeKind::Item, name.line);
        declarator->text = m_tree.keep(name.text);
        if (m_lexer.peek().kind == '=') {
            m_lexer.next();
            declarator->left = parse_assignment();
            if (declarator->left == nullptr) {
                syntax_error(CompilerMessage::InvalidVariableInitialization);
            }
        }
        node->list.push_back(declarator);
        if (m_lexer.peek().kind != ',') {
            return node;
        }
        m_lexer.next();
        const Token& next = m_lexer.peek();
        if (next.kind != tok::identifier) {
            syntax_error_at(next.line, CompilerMessage::IllegalIdentifier);
        }
    }
}

// condition: '(' expression ')'
Node* Parser::parse_condition() {
    expect('(', CompilerMessage::MissingParenBeforeCondition);
    Node* condition = parse_expression();
    if (condition == nullptr) {
        syntax_error(CompilerMessage::InvalidCondition);
    }
    expect(')', CompilerMessage::MissingParenAfterCondition);
    return condition;
}

// if: 'if' condition statement ['else' statement]
Node* Parser::parse_if() {
    Node* node = make(NodeKind::If, m_lexer.next().line);
    node->condition = parse_condition();
    node->body = parse_statement();
    if (node->body == nullptr) {
        syntax_error(CompilerMessage::InvalidStatement);
    }
    if (m_lexer.peek().kind == tok::kw_else) {
        m_lexer.next();
        node->else_body = parse_statement();
        if (node->else_body == nullptr) {
            syntax_error(CompilerMessage::InvalidStatement);
        }
    }
    return node;
}

// do: 'do' statement 'while' condition ';'
Node* Parser::parse_do() {
    Node* node = make(NodeKind::DoWhile, m_lexer.next().line);
    node->body = parse_statement();
    if (node->body == nullptr) {
        syntax_error(CompilerMessage::InvalidStatement);
    }
    expect(tok::kw_while, CompilerMessage::MissingWhileAfterDo);
    node->condition = parse_condition();
    end_statement();
    return node;
}

// while: 'while' condition statement
Node* Parser::parse_while() {
    Node* node = make(NodeKind::While, m_lexer.next().line);
    node->condition = parse_condition();
    node->body = parse_statement();
    if (node->body == nullptr) {
        syntax_error(CompilerMessage::InvalidStatement);
    }
    return node;
}

// for: 'for' '(' ['var' declarators | expression] ';' [expression] ';' [expression] ')' statement
//    | 'for' '(' ('var' declarator | identifier) 'in' expression ')' statement
Node* Parser::parse_for() {
    uint32_t line = m_lexer.next().line;
    expect('(', CompilerMessage::MissingParenAfterFor);
    Node* declarations = nullptr;
    Node* initial = nullptr;
    if (m_lexer.peek().kind == tok::kw_var) {
        declarations = parse_var();
    } else if (m_lexer.peek().kind != ';') {
        initial = parse_expression();
        if (initial == nullptr) {
            syntax_error(CompilerMessage::InvalidForInitializer);
        }
    }

    Node* node;
    if (m_lexer.peek().kind == ';') {
        m_lexer.next();
        node = make(NodeKind::For, line);
        if (m_lexer.peek().kind != ';') {
            node->condition = parse_expression();
            if (node->condition == nullptr) {
                syntax_error(CompilerMessage::InvalidForCondition);
            }
        }
        expect(';', CompilerMessage::MissingSemicolonAfterForCondition);
        if (m_lexer.peek().kind != ')') {
            node->update = parse_expression();
            if (node->update == nullptr) {
                syntax_error(CompilerMessage::InvalidForControl);
            }
        }
        expect(')', CompilerMessage::MissingParenAfterForControl);
    } else if (m_lexer.peek().kind == tok::kw_in) {
        m_lexer.next();
        node = make(NodeKind::ForIn, line);
        if (declarations != nullptr && declarations->list.size() > 1) {
            syntax_error(CompilerMessage::MoreThanOneVariable);
        }
        if (declarations == nullptr && initial->kind != NodeKind::Identifier) {
            syntax_error_at(initial->line, CompilerMessage::IllegalIdentifier);
        }
        node->right = parse_expression();
        if (node->right == nullptr) {
            syntax_error(CompilerMessage::InvalidExpression);
        }
        expect(')', CompilerMessage::MissingParenAfterForControl);
    } else {
        syntax_error(CompilerMessage::MissingSemicolonAfterForInitializer);
    }

    if (declarations != nullptr) {
        node->list = std::move(declarations->list);
        node->flag = true;
    } else {
        node->left = initial;
    }
    node->body = parse_statement();
    if (node->body == nullptr) {
        syntax_error(CompilerMessage::InvalidStatement);
    }
    return node;
}

// continue: 'continue' [identifier] ';'      break: 'break' [identifier] ';'
// The label is taken only from the keyword's line.
Node* Parser::parse_jump(NodeKind kind) {
    Node* node = make(kind, m_lexer.next().line);
    const Token& next = m_lexer.peek();
    if (next.kind == tok::identifier && next.line == node->line) {
        node->text = m_tree.keep(m_lexer.next().text);
    }
    end_statement();
    return node;
}

// return: 'return' [expression] ';'     (the value only from the keyword's line)
Node* Parser::parse_return() {
    Node* node = make(NodeKind::Return, m_lexer.next().line);
    const Token& next = m_lexer.peek();
    if (next.kind != ';' && next.kind != '}' && next.kind != tok::end && next.line == node->line) {
        node->left = parse_expression();
        if (node->left == nullptr) {
            syntax_error(CompilerMessage::InvalidReturn);
        }
    }
    end_statement();
    return node;
}

// switch: 'switch' '(' expression ')' '{' {('case' expression ':' | 'default' ':') {statement}} '}'
Node* Parser::parse_switch() {
    Node* node = make(NodeKind::Switch, m_lexer.next().line);
    expect('(', CompilerMessage::MissingParenBeforeSwitch);
    node->left = parse_expression();
    if (node->left == nullptr) {
        syntax_error(CompilerMessage::InvalidSwitchExpression);
    }
    expect(')', CompilerMessage::MissingParenAfterSwitch);
    expect('{', CompilerMessage::MissingBraceBeforeSwitch);
    int defaults = 0;
    for (;;) {
        int kind = m_lexer.peek().kind;
        if (kind == '}') {
            m_lexer.next();
            break;
        }
        if (kind != tok::kw_case && kind != tok::kw_default) {
            syntax_error(CompilerMessage::MissingBraceAfterSwitch);
        }
        Node* clause = make(NodeKind::Item, m_lexer.next().line);
        if (kind == tok::kw_case) {
            clause->left = parse_expression();
            if (clause->left == nullptr) {
                syntax_error(CompilerMessage::InvalidCaseExpression);
            }
        } else {
            ++defaults;
        }
        expect(':', CompilerMessage::MissingColonAfterCase);
        for (;;) {
            int next = m_lexer.peek().kind;
            if (next == tok::kw_case || next == tok::kw_default || next == '}') {
                break;
            }
            Node* statement = parse_statement();
            if (statement == nullptr) {
                break;  // the clause loop reports the token
            }
            clause->list.push_back(statement);
        }
        node->list.push_back(clause);
    }
    if (defaults > 1) {
        m_compilation.diagnostics.fail(m_lexer.last_line(), "%s",
                                       compiler_message(CompilerMessage::MoreThanOneDefault));
    }
    return node;
}

// with: 'with' '(' expression ')' statement
Node* Parser::parse_with() {
    Node* node = make(NodeKind::With, m_lexer.next().line);
    expect('(', CompilerMessage::MissingParenBeforeWith);
    node->left = parse_expression();
    if (node->left == nullptr) {
        syntax_error(CompilerMessage::InvalidWithObject);
    }
    expect(')', CompilerMessage::MissingParenAfterWith);
    node->body = parse_statement();
    if (node->body == nullptr) {
        syntax_error(CompilerMessage::InvalidWithBlock);
    }
    return node;
}

// try: 'try' statement {'catch' '(' identifier ['if' expression] ')' statement} ['finally' statement]
//      with at least one catch clause or the finally part
Node* Parser::parse_try() {
    Node* node = make(NodeKind::Try, m_lexer.next().line);
    node->body = parse_statement();
    if (node->body == nullptr) {
        syntax_error(CompilerMessage::InvalidStatement);
    }
    while (m_lexer.peek().kind == tok::kw_catch) {
        Node* clause = make(NodeKind::Item, m_lexer.next().line);
        expect('(', CompilerMessage::MissingParenBeforeCatch);
        if (m_lexer.peek().kind != tok::identifier) {
            syntax_error(CompilerMessage::MissingCatchIdentifier);
        }
        clause->text = m_tree.keep(m_lexer.next().text);
        if (m_lexer.peek().kind == tok::kw_if) {
            m_lexer.next();
            clause->condition = parse_expression();
            if (clause->condition == nullptr) {
                syntax_error(CompilerMessage::InvalidCondition);
            }
        }
        expect(')', CompilerMessage::MissingParenAfterCatch);
        clause->body = parse_statement();
        if (clause->body == nullptr) {
            syntax_error(CompilerMessage::InvalidStatement);
        }
        node->list.push_back(clause);
    }
    if (m_lexer.peek().kind == tok::kw_finally) {
        m_lexer.next();
        node->else_body = parse_statement();
        if (node->else_body == nullptr) {
            syntax_error(CompilerMessage::InvalidStatement);
        }
    }
    if (node->list.empty() && node->else_body == nullptr) {
        syntax_error(CompilerMessage::MissingCatchOrFinally);
    }
    return node;
}

// throw: 'throw' expression ';'
Node* Parser::parse_throw() {
    Node* node = make(NodeKind::Throw, m_lexer.next().line);
    node->left = parse_expression();
    if (node->left == nullptr) {
        syntax_error(CompilerMessage::InvalidThrow);
    }
    end_statement();
    return node;
}

// expression: assignment-expression {',' assignment-expression}
Node* Parser::parse_expression() {
    Node* left = parse_assignment();
    if (left == nullptr) {
        return nullptr;
    }
    while (m_lexer.peek().kind == ',') {
        uint32_t line = m_lexer.next().line;
        Node* right = parse_assignment();
        if (right == nullptr) {
            syntax_error(CompilerMessage::InvalidExpression);
        }
        Node* node = make(NodeKind::Comma, line);
        node->left = left;
        node->right = right;
        left = measured(node);
    }
    return left;
}

// assignment-expression: conditional-expression [assignment-operator assignment-expression]
// The right side of a plain '=' may also be a function declaration: the value is then the function's
// global name.
Node* Parser::parse_assignment() {
    NestingGuard guard(*this);
    Node* left = parse_conditional();
    if (left == nullptr) {
        return nullptr;
    }
    if (!is_assignment_operator(m_lexer.peek().kind) || !takes_assignment(left->kind)) {
        return left;
    }
    Token op = m_lexer.next();
    if (!is_target(left)) {
        syntax_error(CompilerMessage::InvalidAssignmentTarget);
    }
    Node* right = parse_assignment();
    if (right == nullptr) {
        if (op.kind != '=' || m_lexer.peek().kind != tok::kw_function) {
            syntax_error(CompilerMessage::InvalidExpression);
        }
        FunctionHead function = parse_function();
        right = make(NodeKind::Identifier, function.line);
        right->text = function.text;
    }
    Node* node = make(NodeKind::Assign, op.line);
    node->op = op.kind;
    node->left = left;
    node->right = right;
    return measured(node);
}

// conditional-expression: or-expression ['?' assignment-expression ':' assignment-expression]
Node* Parser::parse_conditional() {
    Node* condition = parse_binary(0);
    if (condition == nullptr || m_lexer.peek().kind != '?') {
        return condition;
    }
    m_lexer.next();
    Node* node = make(NodeKind::Conditional, condition->line);
    node->condition = condition;
    node->left = parse_assignment();
    if (node->left == nullptr) {
        syntax_error(CompilerMessage::InvalidExpression);
    }
    expect(':', CompilerMessage::MissingColonInConditional);
    node->right = parse_assignment();
    if (node->right == nullptr) {
        syntax_error(CompilerMessage::InvalidExpression);
    }
    return measured(node);
}

// binary-expression(level): unary-expression {operator(level' >= level) binary-expression(level' + 1)}
// Precedence climbing over binary_levels, from || up to * / %: one native frame per operand rather
// than one per level.
Node* Parser::parse_binary(int min_level) {
    Node* left = parse_unary();
    if (left == nullptr) {
        return nullptr;
    }
    for (;;) {
        int kind = m_lexer.peek().kind;
        int level = binary_level(kind);
        if (level < min_level) {
            return left;
        }
        uint32_t line = m_lexer.next().line;
        Node* right = parse_binary(level + 1);
        if (right == nullptr) {
            syntax_error(CompilerMessage::InvalidExpression);
        }
        Node* node = make(binary_levels[level].kind, line);
        node->op = kind;
        node->left = left;
        node->right = right;
        if (node->kind == NodeKind::Equality || node->kind == NodeKind::Relational ||
            (node->kind == NodeKind::Logical && left->static_type == boolean_type &&
             right->static_type == boolean_type)) {
            node->static_type = boolean_type;
        }
        left = measured(node);
    }
}

// unary-expression: prefix-operator unary-expression | postfix-expression
Node* Parser::parse_unary() {
    int kind = m_lexer.peek().kind;
    if (!is_prefix_operator(kind)) {
        return parse_postfix();
    }
    NestingGuard guard(*this);
    uint32_t line = m_lexer.next().line;
    Node* operand = parse_unary();
    if (operand == nullptr) {
        syntax_error(CompilerMessage::InvalidExpression);
    }
    if ((kind == tok::plus_plus || kind == tok::minus_minus) && !is_target(operand)) {
        syntax_error(CompilerMessage::InvalidAssignmentTarget);
    }
    Node* node = make(NodeKind::Prefix, line);
    node->op = kind;
    node->left = operand;
    return measured(node);
}

// postfix-expression: call-expression ['++' | '--']     (the operator on the operand's last line)
Node* Parser::parse_postfix() {
    Node* operand = parse_call_member();
    if (operand == nullptr) {
        return nullptr;
    }
    const Token& next = m_lexer.peek();
    if ((next.kind != tok::plus_plus && next.kind != tok::minus_minus) || next.line != m_lexer.last_line()) {
        return operand;
    }
    int kind = m_lexer.next().kind;
    if (!is_target(operand)) {
        syntax_error(CompilerMessage::InvalidAssignmentTarget);
    }
    Node* node = make(NodeKind::Postfix, operand->line);
    node->op = kind;
    node->left = operand;
    return measured(node);
}

// call-expression: (new-expression | primary) {'(' arguments ')' | '.' identifier | '[' expression ']'}
Node* Parser::parse_call_member() {
    Node* expression = m_lexer.peek().kind == tok::kw_new ? parse_new() : parse_primary();
    if (expression == nullptr) {
        return nullptr;
    }
    for (;;) {
        if (m_lexer.peek().kind == '(') {
            Node* node = make(NodeKind::Call, expression->line);
            node->left = expression;
            node->list = parse_arguments();
            expression = measured(node);
        } else if (Node* member = parse_member_suffix(expression)) {
            expression = member;
        } else {
            return expression;
        }
    }
}

// new-expression: 'new' (new-expression | primary) {'.' identifier | '[' expression ']'} ['(' arguments ')']
Node* Parser::parse_new() {
    NestingGuard guard(*this);
    Node* node = make(NodeKind::New, m_lexer.next().line);
    Node* constructor = m_lexer.peek().kind == tok::kw_new ? parse_new() : parse_primary();
    if (constructor == nullptr) {
        syntax_error(CompilerMessage::InvalidExpression);
    }
    while (Node* member = parse_member_suffix(constructor)) {
        constructor = member;
    }
    node->left = constructor;
    if (m_lexer.peek().kind == '(') {
        node->list = parse_arguments();
        node->flag = true;
    }
    return measured(node);
}

// member-suffix: '.' identifier | '[' expression ']'; null when neither follows.
Node* Parser::parse_member_suffix(Node* object) {
    int kind = m_lexer.peek().kind;
    if (kind == '.') {
        m_lexer.next();
        const Token& name = m_lexer.peek();
        if (name.kind != tok::identifier) {
            syntax_error_at(name.line, CompilerMessage::IllegalIdentifier);
        }
        check_name(m_compilation, name.line, name.text);
        Node* node = make(NodeKind::Member, object->line);
        node->left = object;
        node->text = m_tree.keep(m_lexer.next().text);
        return measured(node);
    }
    if (kind == '[') {
        m_lexer.next();
        Node* node = make(NodeKind::Index, object->line);
        node->left = object;
        node->right = parse_expression();
        if (node->right == nullptr) {
            syntax_error(CompilerMessage::InvalidExpression);
        }
        expect(']', CompilerMessage::MissingBracketInIndex);
        return measured(node);
    }
    return nullptr;
}

// arguments: '(' [assignment-expression {',' assignment-expression}] ')'
std::vector<Node*> Parser::parse_arguments() {
    m_lexer.next();
    std::vector<Node*> arguments;
    if (m_lexer.peek().kind == ')') {
        m_lexer.next();
        return arguments;
    }
    for (;;) {
        Node* argument = parse_assignment();
        if (argument == nullptr) {
            syntax_error(CompilerMessage::InvalidExpression);
        }
        arguments.push_back(argument);
        int kind = m_lexer.peek().kind;
        if (kind == ',') {
            m_lexer.next();
        } else if (kind == ')') {
            m_lexer.next();
            return arguments;
        } else {
            syntax_error(CompilerMessage::MissingParenAfterArguments);
        }
    }
}

// primary: '(' expression ')' | '/' regular-expression | array-literal | object-literal | integer
//        | floating | string | identifier | 'this' | 'null' | 'true' | 'false' | 'undefined'
Node* Parser::parse_primary() {
    const Token& token = m_lexer.peek();
    Node* node = nullptr;
    switch (token.kind) {
    case '(': {
        m_lexer.next();
        node = parse_expression();
        if (node == nullptr || m_lexer.peek().kind != ')') {
            syntax_error(CompilerMessage::InvalidExpression);
        }
        m_lexer.next();
        return node;
    }
    case '/': {
        node = make(NodeKind::RegExp, m_lexer.next().line);
        RegExpBody body = m_lexer.scan_regexp_body();
        node->text = m_tree.keep(body.pattern);
        node->regexp_flags = body.flags;
        return node;
    }
    case '[':
        return parse_array();
    case '{':
        return parse_object();
    case tok::integer:
        node = make(NodeKind::Integer, token.line);
        node->integer = token.integer;
        node->static_type = static_cast<int>(Tag::Integer);
        break;
    case tok::number:
        node = make(NodeKind::Number, token.line);
        node->number = token.number;
        node->static_type = static_cast<int>(Tag::Number);
        break;
    case tok::string:
        node = make(NodeKind::String, token.line);
        node->text = m_tree.keep(token.text);
        node->static_type = static_cast<int>(Tag::String);
        break;
    case tok::identifier:
        node = make(NodeKind::Identifier, token.line);
        node->text = m_tree.keep(token.text);
        break;
    case tok::kw_this:
        node = make(NodeKind::This, token.line);
        break;
    case tok::kw_null:
        node = make(NodeKind::Null, token.line);
        node->static_type = static_cast<int>(Tag::Null);
        break;
    case tok::kw_true:
        node = make(NodeKind::True, token.line);
        node->static_type = boolean_type;
        break;
    case tok::kw_false:
        node = make(NodeKind::False, token.line);
        node->static_type = boolean_type;
        break;
    case tok::kw_undefined:
        node = make(NodeKind::Undefined, token.line);
        break;
    default:
        return nullptr;
    }
    m_lexer.next();
    return node;
}

// array-literal: '[' [element] {',' [element]} ']'
// A comma with no element before it, and a comma right before ']', each add a hole.
Node* Parser::parse_array() {
    Node* node = make(NodeKind::Array, m_lexer.next().line);
    if (m_lexer.peek().kind == ']') {
        m_lexer.next();
        return node;
    }
    for (;;) {
        if (m_lexer.peek().kind == ',') {
            node->list.push_back(make(NodeKind::Item, m_lexer.next().line));
        } else {
            Node* element = parse_assignment();
            if (element == nullptr) {
                syntax_error(CompilerMessage::InvalidExpression);
            }
            node->list.push_back(element);
            int kind = m_lexer.peek().kind;
            if (kind == ']') {
                m_lexer.next();
                return measured(node);
            }
            if (kind != ',') {
                syntax_error(CompilerMessage::MissingBracketAfterElements);
            }
            m_lexer.next();
        }
        if (m_lexer.peek().kind == ']') {
            node->list.push_back(make(NodeKind::Item, m_lexer.next().line));
            return measured(node);
        }
    }
}

// object-literal: '{' [property {',' property}] [','] '}'
// property: (integer | string | identifier) ':' assignment-expression
Node* Parser::parse_object() {
    Node* node = make(NodeKind::Object, m_lexer.next().line);
    for (;;) {
        if (m_lexer.peek().kind == '}') {
            m_lexer.next();
            return measured(node);
        }
        const Token& key = m_lexer.peek();
        if (key.kind != tok::integer && key.kind != tok::string && key.kind != tok::identifier) {
            syntax_error(CompilerMessage::InvalidPropertyId);
        }
        if (key.kind == tok::identifier) {
            check_name(m_compilation, key.line, key.text);
        }
        Token key_token = m_lexer.next();
        Node* property = make(NodeKind::Item, key_token.line);
        property->op = key_token.kind;
        property->integer = key_token.integer;
        property->text = m_tree.keep(key_token.text);
        expect(':', CompilerMessage::MissingColonAfterPropertyId);
        property->left = parse_assignment();
        if (property->left == nullptr) {
            syntax_error(CompilerMessage::InvalidExpression);
        }
        node->list.push_back(measured(property));
        int kind = m_lexer.peek().kind;
        if (kind == ',') {
            m_lexer.next();
        } else if (kind != '}') {
            syntax_error(CompilerMessage::MissingBraceAfterProperties);
        }
    }
}

}  // namespace quill::compiler
