// Programs compiled by the whole compiler and run by the engine: behaviour of the generated code that
// only a run shows (values, stack balance over many iterations, exceptions).
#include <gtest/gtest.h>

#include <string>

#include "engine/quill.h"
#include "engine/vm/services.h"

namespace quill::compiler {
namespace {

class CompiledPrograms : public ::testing::Test {
protected:
    void SetUp() override { handle = quill::create_engine(); }
    void TearDown() override { quill::destroy_engine(handle); }

    // The program's result as text, or "failed: " and the engine's message.
    std::string run(const std::string& source) {
        if (!quill::run_source_text(handle, source.c_str())) {
            return std::string("failed: ") + last_message(handle);
        }
        return last_result_text(handle);
    }

    EngineHandle* handle = nullptr;
};

TEST_F(CompiledPrograms, ResultsOfPrograms) {
    EXPECT_EQ(run("1 + 2;"), "3");
    EXPECT_EQ(run("var x = 5;"), "undefined");
    EXPECT_EQ(run("x = 4; { x * 2; }"), "8");
    EXPECT_EQ(run("switch (3) { case 3: 1; }"), "undefined");
    EXPECT_EQ(run("({a: 1, a: 2}).a;"), "1");
    EXPECT_EQ(run("[1, 2, 3][0] + [1, 2, 3][2];"), "4");
    EXPECT_EQ(run("[1,].length;"), "2");
    EXPECT_EQ(run("#'a' + 017 + 0x1F;"), "143");
    EXPECT_EQ(run("delete (x = 4);"), "true");
    EXPECT_EQ(run("delete (x = 4); x;"), "4");
}

TEST_F(CompiledPrograms, FunctionsAndNames) {
    EXPECT_EQ(run("function f(a) { var a; return a; } f(1);"), "undefined");
    EXPECT_EQ(run("function f(a, b) { return b; } f(1);"), "undefined");
    EXPECT_EQ(run("function f() { { var a = 5; } { var b; return b; } } f();"), "undefined");
    EXPECT_EQ(run("function g() { function h() { return 7; } return g.h(); } g();"), "7");
    EXPECT_EQ(run("t = function (x) { return x * 3; }; t(5);"), "15");
    EXPECT_EQ(run("o = {v: 2}; with (o) { v = v + 1; } o.v;"), "3");
}

TEST_F(CompiledPrograms, ExceptionsAndReturns) {
    EXPECT_EQ(run("function thrower() { throw 'x'; }\n"
                  "function f() { try { return thrower(); } catch (e) { return 'caught ' + e; } }\n"
                  "f();"),
              "caught x");
    EXPECT_EQ(run("s = ''; try { throw 1; } catch (e if e == 1) { s += 'a'; } catch (e) { s += 'b'; } s;"), "ab");
    EXPECT_EQ(run("s = ''; try { throw 2; } catch (e if e.no.such) { s += 'a'; } catch (e) { s += e; } s;"), "2");
    EXPECT_EQ(run("s = ''; try { try { throw 'in'; } finally { s += 'f'; } } catch (e) { s += e; } s;"), "fin");
    EXPECT_EQ(run("function f() { try { return 1; } finally { g(); } } f();"), "1");
}

TEST_F(CompiledPrograms, SwitchAndLabels) {
    const char* pick =
        "function pick(x) { s = ''; switch (x) { default: s += 'd'; case 1: s += 'c'; } return s; }\n";
    EXPECT_EQ(run(std::string(pick) + "pick(2);"), "dc");
    EXPECT_EQ(run(std::string(pick) + "pick(1);"), "c");
    // continue L starts the labelled for again, initialisation included.
    EXPECT_EQ(run("n = 0; L: for (i = 0; i < 3; i++) { n++; if (n < 5) continue L; } n + ',' + i;"), "7,3");
    EXPECT_EQ(run("n = 0; L: { n++; if (n < 3) continue L; } n;"), "3");
}

// Loops whose break or continue left cells behind would run out of stack long before the end.
TEST_F(CompiledPrograms, JumpsLeaveNoCellsBehind) {
    EXPECT_EQ(run("n = 0; for (i = 0; i < 100000; i++) {\n"
                  "  L: { for (k in [1, 2]) { n++; break L; } } }\nn;"),
              "100000");
    EXPECT_EQ(run("n = 0; for (i = 0; i < 100000; i++) {\n"
                  "  for (k in [1, 2]) { switch (k) { case 1: n++; continue; } } }\nn;"),
              "100000");
    EXPECT_EQ(run("n = 0; for (i = 0; i < 100000; i++) { try { throw i; } catch (e) { n++; continue; } }\nn;"),
              "100000");
    EXPECT_EQ(run("n = 0; while (n < 100000) { try { n++; } finally { continue; } }\nn;"), "100000");
    EXPECT_EQ(run("n = 0; o = {}; while (n < 100000) { with (o) { try { n++; continue; } catch (e) {} } }\nn;"),
              "100000");
}

TEST_F(CompiledPrograms, LongArrayLiterals) {
    std::string elements;
    for (int i = 0; i < 300; ++i) {
        elements += std::to_string(i) + ",";
    }
    EXPECT_EQ(run("a = [" + elements + "]; a.length + ':' + a[0] + ':' + a[299] + ':' + a[300];"),
              "301:0:299:undefined");
}

}  // namespace
}  // namespace quill::compiler
