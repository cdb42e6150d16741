#include "engine/compiler/parser.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/values/value.h"

namespace quill::compiler {
namespace {

struct Parsed {
    Compilation compilation;
    SyntaxTree tree;
    bool failed = false;
    uint32_t insertions = 0;

    const std::string& diagnostics() const { return compilation.diagnostics.text(); }
};

// Parses a source; the result keeps the tree and the diagnostics.
std::unique_ptr<Parsed> parse(const std::string& source, uint32_t flags = 0) {
    auto parsed = std::make_unique<Parsed>();
    parsed->compilation.flags = flags;
    parsed->compilation.source = SourceText{"string", source};
    Parser parser(parsed->compilation, parsed->tree);
    try {
        parser.parse_program();
    } catch (const CompileError&) {
        parsed->failed = true;
    }
    parsed->insertions = parser.semicolon_insertions();
    return parsed;
}

// The error line a source fails with, "line N: text".
std::string error_of(const std::string& source) {
    auto parsed = parse(source);
    EXPECT_TRUE(parsed->failed) << source;
    // The error is the last line of the text.
    std::string text = parsed->diagnostics();
    if (text.size() < 2) {
        return "no error";
    }
    text.resize(text.size() - 2);
    size_t start = text.rfind('\n');
    std::string last = text.substr(start == std::string::npos ? 0 : start + 1);
    return last.rfind("error: ", 0) == 0 ? last.substr(7) : "no error: " + last;
}

const Node* only_statement(const Parsed& parsed) {
    EXPECT_FALSE(parsed.failed) << parsed.diagnostics();
    EXPECT_EQ(parsed.tree.statements.size(), 1u);
    return parsed.tree.statements.empty() ? nullptr : parsed.tree.statements.front();
}

TEST(Parser, SyntaxErrorTexts) {
    struct Case {
        const char* source;
        const char* error;
    };
    const Case cases[] = {
        {"function f(a, 1) {}", "line 0: syntax error: illegal identifier"},
        {"function f(1) {}", "line 0: syntax error: illegal identifier"},
        {"var a,\n 2;", "line 1: syntax error: illegal identifier"},
        {"a.\n1;", "line 1: syntax error: illegal identifier"},
        {"function f {}", "line 0: syntax error: missing ( before formal parameters"},
        {"function f(a b) {}", "line 0: syntax error: missing ) after formal parameters"},
        {"function f() x;", "line 0: syntax error: invalid function body"},
        {"{ a;\n b;\n )", "line 1: syntax error: missing } after block"},
        {"{ a;", "line 0: syntax error: missing } after block"},
        {")", "line 0: syntax error: invalid statement"},
        {"if (a)\n else b;", "line 0: syntax error: invalid statement"},
        {"L: )", "line 0: syntax error: invalid label"},
        {"function f() { return ); }", "line 0: syntax error: invalid return"},
        {"throw;", "line 0: syntax error: invalid throw"},
        {"with o;", "line 0: syntax error: missing ( before with-statement object"},
        {"with ();", "line 0: syntax error: invalid with-statement object"},
        {"with (o;", "line 0: syntax error: missing ) after with-statement object"},
        {"with (o) )", "line 0: syntax error: invalid with block"},
        {"switch x {}", "line 0: syntax error: missing ( before switch expression"},
        {"switch () {}", "line 0: syntax error: invalid switch expression"},
        {"switch (x {}", "line 0: syntax error: missing ) after switch expression"},
        {"switch (x) case", "line 0: syntax error: missing { before switch body"},
        {"switch (x) { case : }", "line 0: syntax error: invalid case expression"},
        {"switch (x) { case 1 }", "line 0: syntax error: missing : after case label"},
        {"switch (x) { a(); }", "line 0: syntax error: missing } after switch block"},
        {"switch (x) { case 1: a(); )", "line 0: syntax error: missing } after switch block"},
        {"switch (x) {\n default: a();\n default: b();\n}", "line 3: more than one switch default"},
        {"try { a(); }\nb();", "line 0: syntax error: missing catch or finally after try"},
        {"try {} catch e {}", "line 0: syntax error: missing ( before catch"},
        {"try {} catch (1) {}", "line 0: syntax error: missing identifier in catch"},
        {"try {} catch (e {}", "line 0: syntax error: missing ) after catch"},
        {"var x = function () {};", "line 0: syntax error: invalid variable initialization"},
        {"var;", "line 0: syntax error: missing variable name"},
        {"if a;", "line 0: syntax error: missing ( before condition"},
        {"while ();", "line 0: syntax error: invalid condition expression"},
        {"if (a;", "line 0: syntax error: missing ) after condition"},
        {"do a(); until (b);", "line 0: syntax error: missing while after do-loop body"},
        {"for a;", "line 0: syntax error: missing ( after for"},
        {"for (in o) ;", "line 0: syntax error: invalid for-loop initializer or for-in expression"},
        {"for (a b;;) ;", "line 0: syntax error: missing ; after for-loop initializer"},
        {"for (; ); ) ;", "line 0: syntax error: invalid for-loop condition expression"},
        {"for (; a ) ;", "line 0: syntax error: missing ; after for-loop condition"},
        {"for (;; ]) ;", "line 0: syntax error: invalid for-loop control expression"},
        {"for (;; a ;", "line 0: syntax error: missing ) after for-loop control"},
        {"for (var a, b in o) ;", "line 0: syntax error: more than one variable declaration"},
        {"for (a.b in o) ;", "line 0: syntax error: illegal identifier"},
        {"x = 1 +\n;", "line 0: syntax error: invalid expression"},
        {"x = (1;", "line 0: syntax error: invalid expression"},
        {"x = a ? b;", "line 0: syntax error: missing : in conditional expression"},
        {"x = [1 2];", "line 0: syntax error: missing ] after element list"},
        {"x = a[1;", "line 0: syntax error: missing ] in index expression"},
        {"x = {1.5: a};", "line 0: syntax error: invalid property id"},
        {"x = {a 1};", "line 0: syntax error: missing : after property id"},
        {"x = {a: 1 b: 2};", "line 0: syntax error: missing } after property list"},
        {"f(a b);", "line 0: syntax error: missing ) after argument list"},
        {"a = b ++c;", "line 0: missing ;"},
        {"a in b;", "line 0: missing ;"},
        {"a instanceof b;", "line 0: missing ;"},
        {"x = /=/;", "line 0: syntax error: invalid expression"},
        {"class A {}", "line 0: syntax error: invalid statement"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(error_of(c.source), c.error) << c.source;
    }
}

TEST(Parser, AssignmentsNeedATarget) {
    EXPECT_EQ(error_of("this = 1;"), "line 0: syntax error: invalid assignment target");
    EXPECT_EQ(error_of("f() += 1;"), "line 0: syntax error: invalid assignment target");
    EXPECT_EQ(error_of("x = 1;\n[a] = 1;"), "line 1: syntax error: invalid assignment target");
    EXPECT_EQ(error_of("++f();"), "line 0: syntax error: invalid assignment target");
    EXPECT_EQ(error_of("1++;"), "line 0: syntax error: invalid assignment target");
    EXPECT_FALSE(parse("a = b.c = d[e] += ++f + g--;")->failed);
}

TEST(Parser, AutomaticSemicolons) {
    // return at the end of a line returns nothing; the expression is the next statement.
    auto parsed = parse("function f() {\n return\n 42;\n}");
    ASSERT_FALSE(parsed->failed) << parsed->diagnostics();
    const Node* body = parsed->tree.functions.front()->body;
    ASSERT_EQ(body->list.size(), 2u);
    EXPECT_EQ(body->list[0]->kind, NodeKind::Return);
    EXPECT_EQ(body->list[0]->left, nullptr);
    EXPECT_EQ(body->list[1]->kind, NodeKind::ExpressionStatement);

    // ++ on the next line starts a statement of its own.
    auto two = parse("a = b\n++c");
    ASSERT_FALSE(two->failed);
    ASSERT_EQ(two->tree.statements.size(), 2u);
    EXPECT_EQ(two->tree.statements[1]->left->kind, NodeKind::Prefix);
    EXPECT_EQ(two->insertions, 2u);
    EXPECT_EQ(two->diagnostics(), "");

    auto warned = parse("a = 1\nb = 2; { c }", CF_WARN_MISSING_SEMICOLON);
    ASSERT_FALSE(warned->failed);
    EXPECT_EQ(warned->diagnostics(), "warning: line 0: missing ;\r\nwarning: line 1: missing ;\r\n");

    // continue and break take a label only from their own line.
    auto jumps = parse("L: while (x) { break\nL; continue L; }");
    ASSERT_FALSE(jumps->failed) << jumps->diagnostics();
    const Node* loop_body = jumps->tree.statements[0]->body->body;
    EXPECT_EQ(loop_body->list[0]->kind, NodeKind::Break);
    EXPECT_EQ(loop_body->list[0]->text, "");
    EXPECT_EQ(loop_body->list[1]->kind, NodeKind::ExpressionStatement);
    EXPECT_EQ(loop_body->list[2]->text, "L");
}

TEST(Parser, LabelsNeedTheColonOnTheirLine) {
    auto labelled = parse("L: while (c) { }");
    const Node* statement = only_statement(*labelled);
    EXPECT_EQ(statement->kind, NodeKind::Labelled);
    EXPECT_EQ(statement->text, "L");
    EXPECT_EQ(statement->body->kind, NodeKind::While);
    // Without the label, "L" is a statement of its own and ':' starts none.
    EXPECT_EQ(error_of("L\n: x;"), "line 0: syntax error: invalid statement");
}

TEST(Parser, FunctionNamesAndBindings) {
    auto parsed = parse(
        "function g() { function h() {} k = function () {}; }\n"
        "x = function () { return arguments; };\n"
        "function named(a, b)\n{}\n"
        "function () {}\n"
        "function outer() { function inner() { arguments; } }");
    ASSERT_FALSE(parsed->failed) << parsed->diagnostics();
    std::vector<std::string> names;
    for (const Node* f : parsed->tree.functions) {
        names.emplace_back(f->text);
    }
    // Inner functions come first; nested and anonymous functions get generated names.
    EXPECT_EQ(names, (std::vector<std::string>{"@F_0", "@F_1", "g", "@F_2", "named", "@F_3", "@F_4", "outer"}));

    const Node* g = parsed->tree.functions[2];
    const Node* binding = g->body->list[0];
    EXPECT_EQ(binding->kind, NodeKind::NestedFunction);
    EXPECT_EQ(binding->text, "g");
    EXPECT_EQ(binding->text2, "@F_0");
    EXPECT_EQ(binding->text3, "h");
    EXPECT_EQ(g->body->list[1]->left->right->kind, NodeKind::Identifier);
    EXPECT_EQ(g->body->list[1]->left->right->text, "@F_1");

    const std::vector<Node*>& statements = parsed->tree.statements;
    ASSERT_EQ(statements.size(), 5u);
    EXPECT_EQ(statements[0]->kind, NodeKind::Item);
    EXPECT_EQ(statements[1]->left->right->text, "@F_2");
    EXPECT_EQ(statements[2]->kind, NodeKind::Item);
    EXPECT_EQ(statements[3]->kind, NodeKind::Item);

    // The uses-arguments flag, also set by a nested function's use.
    EXPECT_FALSE(g->flag);
    EXPECT_TRUE(parsed->tree.functions[3]->flag);
    EXPECT_TRUE(parsed->tree.functions[6]->flag);
    EXPECT_TRUE(parsed->tree.functions[7]->flag);

    const Node* named = parsed->tree.functions[4];
    EXPECT_EQ(named->text2, "named");
    ASSERT_EQ(named->list.size(), 2u);
    EXPECT_EQ(named->list[1]->text, "b");
    EXPECT_EQ(named->line, 2u);
    EXPECT_EQ(named->body_line, 3u);
}

TEST(Parser, Literals) {
    auto array = parse("[1,]; [,]; [1,,2]; []; x = {a: 1, 'b': 2, 3: 4,};");
    ASSERT_FALSE(array->failed) << array->diagnostics();
    const std::vector<Node*>& s = array->tree.statements;
    ASSERT_EQ(s[0]->left->list.size(), 2u);
    EXPECT_EQ(s[0]->left->list[1]->kind, NodeKind::Item);
    ASSERT_EQ(s[1]->left->list.size(), 2u);
    EXPECT_EQ(s[1]->left->list[0]->kind, NodeKind::Item);
    ASSERT_EQ(s[2]->left->list.size(), 3u);
    EXPECT_EQ(s[2]->left->list[1]->kind, NodeKind::Item);
    EXPECT_EQ(s[3]->left->list.size(), 0u);

    const Node* object = s[4]->left->right;
    ASSERT_EQ(object->list.size(), 3u);
    EXPECT_EQ(object->list[0]->op, tok::identifier);
    EXPECT_EQ(object->list[1]->op, tok::string);
    EXPECT_EQ(object->list[1]->text, "b");
    EXPECT_EQ(object->list[2]->op, tok::integer);
    EXPECT_EQ(object->list[2]->integer, 3);

    auto with_re = parse("x = /a\\/b/gi;");
    const Node* re = only_statement(*with_re)->left->right;
    EXPECT_EQ(re->kind, NodeKind::RegExp);
    EXPECT_EQ(re->text, "a\\/b");
    EXPECT_EQ(re->regexp_flags, 3);
}

TEST(Parser, StatementShapes) {
    auto parsed = parse(
        "var a = 1, b;\n"
        "{ var c; }\n"
        "try x(); catch (e if e == 1) y(); catch (e) z();\n"
        "for (var k = 0 in o) ;\n"
        "for (k in o) ;\n"
        "switch (v) { case 1: case 2: a(); b(); default: }\n");
    ASSERT_FALSE(parsed->failed) << parsed->diagnostics();
    const std::vector<Node*>& s = parsed->tree.statements;
    ASSERT_EQ(s.size(), 6u);
    // Only var statements of the program itself make globals.
    EXPECT_TRUE(s[0]->flag);
    ASSERT_EQ(s[0]->list.size(), 2u);
    EXPECT_EQ(s[0]->list[1]->left, nullptr);
    EXPECT_FALSE(s[1]->list[0]->flag);

    const Node* t = s[2];
    ASSERT_EQ(t->list.size(), 2u);
    EXPECT_NE(t->list[0]->condition, nullptr);
    EXPECT_EQ(t->list[1]->condition, nullptr);
    EXPECT_EQ(t->list[1]->text, "e");
    EXPECT_EQ(t->else_body, nullptr);

    EXPECT_EQ(s[3]->kind, NodeKind::ForIn);
    EXPECT_TRUE(s[3]->flag);
    EXPECT_EQ(s[3]->list[0]->left->integer, 0);
    EXPECT_EQ(s[4]->left->text, "k");

    const Node* sw = s[5];
    ASSERT_EQ(sw->list.size(), 3u);
    EXPECT_TRUE(sw->list[0]->list.empty());
    EXPECT_EQ(sw->list[1]->list.size(), 2u);
    EXPECT_EQ(sw->list[2]->left, nullptr);
}

TEST(Parser, OperatorsAndStaticTypes) {
    auto first = parse("x =\n a == b &&\n c < d;");
    const Node* e = only_statement(*first)->left;
    EXPECT_EQ(e->line, 0u);  // the operator's line
    const Node* both = e->right;
    EXPECT_EQ(both->kind, NodeKind::Logical);
    EXPECT_EQ(both->line, 1u);
    EXPECT_EQ(both->static_type, static_cast<int>(Tag::Boolean));
    EXPECT_EQ(both->left->line, 1u);
    EXPECT_EQ(both->right->line, 2u);
    auto untyped = parse("a && b; a || true; 1.5;");
    EXPECT_EQ(untyped->tree.statements[0]->left->static_type, 0);
    EXPECT_EQ(untyped->tree.statements[1]->left->static_type, 0);
    EXPECT_EQ(untyped->tree.statements[2]->left->static_type, static_cast<int>(Tag::Number));

    // Precedence: * over +, + over <<, << over <, and so on; all left-associative.
    auto precedence = parse("a - b - c * d << 1 < 2 == 3 & 4 ^ 5 | 6;");
    const Node* p = only_statement(*precedence)->left;
    EXPECT_EQ(p->op, '|');
    EXPECT_EQ(p->left->op, '^');
    EXPECT_EQ(p->left->left->op, '&');
    EXPECT_EQ(p->left->left->left->op, tok::eq);
    const Node* shift = p->left->left->left->left->left;
    EXPECT_EQ(shift->op, tok::shl);
    EXPECT_EQ(shift->left->op, '-');
    EXPECT_EQ(shift->left->left->op, '-');
    EXPECT_EQ(shift->left->right->op, '*');

    // Assignments and prefix operators nest to the right; new takes its own argument list.
    auto chained = parse("a = b += - - c;");
    const Node* chain = only_statement(*chained)->left;
    EXPECT_EQ(chain->right->op, tok::add_assign);
    EXPECT_EQ(chain->right->right->left->kind, NodeKind::Prefix);
    auto constructed = parse("new a.b(1)(2).c; new X;");
    const Node* made = constructed->tree.statements[0]->left;
    EXPECT_EQ(made->kind, NodeKind::Member);
    EXPECT_EQ(made->left->kind, NodeKind::Call);
    EXPECT_EQ(made->left->left->kind, NodeKind::New);
    EXPECT_EQ(made->left->left->left->kind, NodeKind::Member);
    EXPECT_TRUE(made->left->left->flag);
    EXPECT_FALSE(constructed->tree.statements[1]->left->flag);
}

TEST(Parser, DeepNestingIsRefusedNotOverflowed) {
    auto nested = [](int depth) { return "x = " + std::string(depth, '(') + "1" + std::string(depth, ')') + ";"; };
    EXPECT_FALSE(parse(nested(150))->failed);
    EXPECT_EQ(error_of(nested(100000)), "line 0: nesting too deep");
    EXPECT_EQ(error_of(std::string(100000, '{')), "line 0: nesting too deep");
    EXPECT_EQ(error_of("x = " + std::string(100000, '!') + "y;"), "line 0: nesting too deep");

    std::string sum = "x = 1";
    for (int i = 0; i < 900; ++i) {
        sum += " + 1";
    }
    EXPECT_FALSE(parse(sum + ";")->failed);
    for (int i = 0; i < 100000; ++i) {
        sum += " + 1";
    }
    EXPECT_EQ(error_of(sum + ";"), "line 0: nesting too deep");
}

}  // namespace
}  // namespace quill::compiler
