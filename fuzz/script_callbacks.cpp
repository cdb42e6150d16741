// Generated scripts whose built-in calls run script code halfway: the input is a stream of choices
// (fuzz_engine.h) from which the target writes a script that calls methods of String, Array, RegExp,
// Number, Date, Object and Function and the global functions with arguments (and receivers) whose
// toString and valueOf are script functions. Those callbacks grow strings in place, empty and
// refill arrays, sort inside a sort, recompile regular expressions, move lastIndex and allocate
// enough to force collections, all while the native handler that converts them is running. The
// script is compiled (it must compile) and run under the instruction budget, and the heap is
// checked afterwards.
//
// With QUILL_FUZZ_LISTING set in the environment the target prints each script and the run's
// message, to see what a saved input does.
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_engine.h"

namespace {

using quill::fuzz::Choices;

// The script's own values: strings that are not static (so they can change in place), arrays,
// regular expressions, a number, a date, objects with callbacks, and the callbacks themselves.
// rs, ra and rr name the string, array and regular expression whose method the main code is
// calling, so that the callbacks often change the very value the handler is working on.
constexpr const char* prelude = R"(var calls = 0, junk, v, w;
var t0 = "abc" + "", t1 = "hello world" + "", t2 = "a,b,,c" + "";
var a0 = [3, 1, 2], a1 = ["b", "a", "c", "a"], a2 = [];
var r0 = /a/g, r1 = new RegExp("(b)(c)?", "i");
var n0 = 12.5, d0 = new Date(0);
var o0 = {}, o1 = {}, o2 = {}, o3 = {};
var rs = t0, ra = a0, rr = r0;
function garbage() {
    for (var k = 0; k < 2; k++) { junk = "" + ""; junk[150000] = 65; junk = [junk, {}, [k]]; }
}
)";

constexpr int callback_count = 4;    // cb0..cb3, toString or valueOf of o0..o3
constexpr int comparator_count = 2;  // cmp0, cmp1
constexpr int max_nesting = 3;

constexpr const char* strings[] = {"t0", "t1", "t2"};
constexpr const char* arrays[] = {"a0", "a1", "a2"};
constexpr const char* regexps[] = {"r0", "r1"};
constexpr const char* objects[] = {"o0", "o1", "o2", "o3"};
constexpr const char* callbacks[] = {"cb0", "cb1", "cb2", "cb3"};
constexpr const char* comparators[] = {"cmp0", "cmp1"};
// What the callbacks change: the running call's receiver first.
constexpr const char* changed_strings[] = {"rs", "rs", "t0", "t1", "t2"};
constexpr const char* changed_arrays[] = {"ra", "ra", "a0", "a1", "a2"};
constexpr const char* changed_regexps[] = {"rr", "r0", "r1"};

constexpr const char* indexes[] = {"0", "1", "3", "20", "1000", "100000", "-1"};
constexpr const char* numbers[] = {"0", "1", "-1", "2.5", "7", "100000", "NaN", "1e21", "-0"};
constexpr const char* texts[] = {"\"\"",      "\"b\"",     "\"a,b\"", "\"%41\"",
                                 "\"(a)|b\"", "\"$1-$&\"", "\"g\"",   "\"%5.2f\""};
constexpr const char* patterns[] = {"\"b\"", "\"(a*)*b\"", "\"[0-9]+\"", "\"^\"", "\"(\"", "\"\""};
constexpr const char* flags[] = {"\"g\"", "\"i\"", "\"gim\"", "\"\""};

constexpr const char* string_methods[] = {
    "charAt", "charCodeAt", "concat", "indexOf", "lastIndexOf", "match",       "replace",
    "search", "slice",      "split",  "substr",  "substring",   "toLowerCase", "toUpperCase",
    "anchor", "fontColor",  "link",   "bold",    "toString",    "valueOf"};
constexpr const char* array_methods[] = {"concat", "join",   "pop",  "push",    "reverse", "shift",
                                         "slice",  "splice", "sort", "unshift", "toString"};
constexpr const char* regexp_methods[] = {"exec", "test", "compile", "toString"};
constexpr const char* number_methods[] = {"toString", "format", "valueOf"};
constexpr const char* date_methods[] = {
    "setTime", "setFullYear", "setMonth", "setDate",     "setHours",       "setMinutes", "setSeconds",
    "setYear", "setUTCHours", "getTime",  "toGMTString", "toLocaleString", "toString"};
constexpr const char* object_methods[] = {"toString", "valueOf"};
constexpr const char* statics[] = {
    "String.fromCharCode", "Date.UTC", "Date.parse", "Math.max", "Math.min", "Math.pow", "Math.atan2",
    "Math.round", "parseInt", "parseFloat", "escape", "unescape", "isNaN", "isFinite", "encodeURI",
    "decodeURIComponent", "String", "Number", "Boolean", "print"};
constexpr const char* constructors[] = {"RegExp", "Date", "Array", "Function", "Object", "String"};

class ScriptGenerator {
public:
    explicit ScriptGenerator(Choices& in) : m_in(in) {}

    std::string generate() {
        m_out = prelude;
        for (int i = 0; i < callback_count; ++i) {
            callback(i);
        }
        for (int i = 0; i < comparator_count; ++i) {
            comparator(i);
        }
        for (int i = 0; i < callback_count; ++i) {
            // Each object converts through its own callback; some through a second one as well.
            m_out += std::string(objects[i]) + (m_in.one_in(3) ? ".valueOf = " : ".toString = ") +
                     callbacks[i] + ";\n";
            if (m_in.one_in(3)) {
                m_out += std::string(objects[i]) + ".valueOf = " + m_in.pick(callbacks) + ";\n";
            }
        }
        while (m_in.below(16) != 0) {
            statement();
        }
        return m_out;
    }

private:
    // cbN: a few changes to the script's values, then a result of any type.
    void callback(int i) {
        m_out += std::string("function ") + callbacks[i] + "() {\n    if (++calls > 40) return \"x\";\n";
        body();
        constexpr const char* results[] = {"\"x\"", "7",  "t0",        "t1 + \"\"", "a0",
                                           "r0",    "o1", "undefined", "1e21"};
        m_out += std::string("    return ") + m_in.pick(results) + ";\n}\n";
    }
    // cmpN(x, y): a sort comparator that changes values too.
    void comparator(int i) {
        m_out += std::string("function ") + comparators[i] + "(x, y) {\n    if (++calls > 40) return 0;\n";
        body();
        constexpr const char* results[] = {"x - y", "x < y", "0", "-1", "o0", "y + \"\" < x"};
        m_out += std::string("    return ") + m_in.pick(results) + ";\n}\n";
    }
    void body() {
        for (uint32_t n = m_in.below(5); n > 0; --n) {
            m_out += "    ";
            mutation();
            m_out += "\n";
        }
    }

    // One change to a value a native handler may be working on.
    void mutation() {
        switch (m_in.below(17)) {
        case 0:
        case 16:  // twice as likely as the others: the string grows in place
            m_out += std::string(m_in.pick(changed_strings)) + "[" + m_in.pick(indexes) + "] = 66;";
            break;
        case 1:
            m_out += std::string(m_in.pick(changed_strings)) + " = \"q\" + \"\";";
            break;
        case 2:
            m_out += std::string(m_in.pick(changed_arrays)) +
                     ".length = " + (m_in.one_in(2) ? "0" : m_in.pick(indexes)) + ";";
            break;
        case 3:
            m_out += std::string(m_in.pick(changed_arrays)) + ".push(" + m_in.pick(objects) + ", " +
                     m_in.pick(numbers) + ");";
            break;
        case 4:
            m_out += std::string(m_in.pick(changed_arrays)) + "[" + m_in.pick(indexes) +
                     "] = " + m_in.pick(objects) + ";";
            break;
        case 5:
            m_out += std::string(m_in.pick(changed_arrays)) + ".sort(" + m_in.pick(comparators) + ");";
            break;
        case 6: {
            constexpr const char* changes[] = {".splice(0, 2)", ".shift()", ".pop()", ".reverse()",
                                               ".unshift(1, o2)"};
            m_out += std::string(m_in.pick(changed_arrays)) + m_in.pick(changes) + ";";
            break;
        }
        case 7:
            m_out += std::string(m_in.pick(changed_regexps)) + ".compile(" + m_in.pick(patterns) + ", " +
                     m_in.pick(flags) + ");";
            break;
        case 8:
            m_out += std::string(m_in.pick(changed_regexps)) + ".lastIndex = " + m_in.pick(indexes) + ";";
            break;
        case 9:
            m_out += "garbage();";
            break;
        case 10:
            m_out += std::string(m_in.pick(objects)) + (m_in.one_in(2) ? ".toString = " : ".valueOf = ") +
                     m_in.pick(callbacks) + ";";
            break;
        case 11:
            m_out +=
                std::string("delete ") + m_in.pick(objects) + (m_in.one_in(2) ? ".toString;" : ".valueOf;");
            break;
        case 12:
            m_out += "throw \"from a callback\";";
            break;
        case 13:
            m_out += "d0.setTime(" + std::string(m_in.pick(numbers)) + ");";
            break;
        default:  // a call of a built-in from inside a conversion
            m_out += "v = " + call(max_nesting - 1) + ";";
            break;
        }
    }

    // A statement of the main code, most inside a try so that one failed call does not end the run.
    void statement() {
        bool guarded = !m_in.one_in(8);
        m_out += guarded ? "try { " : "";
        switch (m_in.below(8)) {
        case 0:
            m_out += "print(" + argument(1) + ", " + argument(1) + ");";
            break;
        case 1: {  // the operators convert too
            constexpr const char* operators[] = {" + ", " < ", " * ", " == ", " - "};
            m_out += "v = " + argument(1) + m_in.pick(operators) + argument(1) + ";";
            break;
        }
        case 2:
            mutation();
            break;
        case 3:
            m_out += std::string(m_in.pick(arrays)) + ".sort(" + m_in.pick(comparators) + ");";
            break;
        default: {
            m_receiver.clear();
            std::string text = call(0);
            m_out += m_receiver + "w = " + text + ";";
            break;
        }
        }
        m_out += guarded ? " } catch (e) { print(e); }\n" : "\n";
    }

    // A call of a built-in method or function; receivers and arguments come from argument().
    std::string call(int nesting) {
        switch (m_in.below(10)) {
        case 0:
            return method(string_receiver(nesting), string_methods, nesting);
        case 1:
            return method(receiver("ra", m_in.pick(arrays), nesting), array_methods, nesting);
        case 2:
            return method(receiver("rr", m_in.pick(regexps), nesting), regexp_methods, nesting);
        case 3:
            return method(m_in.one_in(2) ? "n0" : "(7)", number_methods, nesting);
        case 4:
            return method("d0", date_methods, nesting);
        case 5:
            return method(m_in.one_in(2) ? m_in.pick(objects) : m_in.pick(callbacks), object_methods,
                          nesting);
        case 6:
            return std::string("new ") + m_in.pick(constructors) + arguments(nesting);
        case 7:  // the String methods on a string the callbacks may change
            return method(receiver("rs", m_in.pick(strings), nesting), string_methods, nesting);
        default:
            return std::string(m_in.pick(statics)) + arguments(nesting);
        }
    }
    // A variable as the receiver; for the main code's call also under the name the callbacks change.
    std::string receiver(const char* alias, const char* variable, int nesting) {
        if (nesting == 0) {
            m_receiver = std::string(alias) + " = " + variable + "; ";
        }
        return variable;
    }
    std::string string_receiver(int nesting) {
        switch (m_in.below(4)) {
        case 0:
            return "\"ab\"";
        case 1:
            return "String(" + argument(nesting + 1) + ")";
        default:
            return receiver("rs", m_in.pick(strings), nesting);
        }
    }
    template <size_t N>
    std::string method(const std::string& receiver, const char* const (&names)[N], int nesting) {
        return receiver + "." + m_in.pick(names) + arguments(nesting);
    }
    std::string arguments(int nesting) {
        std::string text = "(";
        for (uint32_t n = m_in.below(5); n > 0; --n) {
            text += argument(nesting + 1);
            text += n > 1 ? ", " : "";
        }
        return text + ")";
    }

    // An argument or operand: mostly the script's values, objects with callbacks first.
    std::string argument(int nesting) {
        switch (m_in.below(nesting >= max_nesting ? 8 : 10)) {
        case 0:
        case 1:
            return m_in.pick(objects);
        case 2:
            return m_in.pick(strings);
        case 3:
            return m_in.pick(arrays);
        case 4:
            return m_in.pick(regexps);
        case 5:
            return m_in.pick(numbers);
        case 6:
            return m_in.pick(texts);
        case 7: {
            constexpr const char* others[] = {"undefined", "null", "cb0",      "cmp1",
                                              "d0",        "true", "[o0, o1]", "{}"};
            return m_in.pick(others);
        }
        default:
            return call(nesting + 1);
        }
    }

    Choices& m_in;
    std::string m_out;
    std::string m_receiver;  // "rs = t1; " before the main code's call of a t1 method
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Choices choices(data, size);
    std::string script = ScriptGenerator(choices).generate();
    static const bool show = std::getenv("QUILL_FUZZ_LISTING") != nullptr;
    if (show) {
        std::fprintf(stderr, "%s\n", script.c_str());
    }
    quill::fuzz::InputEngine input;
    bool ok = input.run_trusted_source(script);
    if (show) {
        std::fprintf(stderr, "%s: %s\n", ok ? "ran" : "failed", quill::last_message(input.handle()));
    }
    input.check_heap();
    return 0;
}
