#!/usr/bin/env bash
# The quill command-line host: its options, outputs and exit statuses.
# Usage: quill_cli_test.sh PATH/TO/quill
set -u
quill="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

check() {  # check NAME EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        printf 'FAILED %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    fi
}

out="$("$quill" -e 'print(1 + 2, "a" + "b"); print(scriptArgs.length, scriptArgs[1]);' x y)"
check "-e prints" $'3 ab\n2 y' "$out"

printf 'print("from a file", scriptArgs[0]);\n' > "$work/hello.qls"
out="$("$quill" "$work/hello.qls" arg)"
check "run a source file" "from a file arg" "$out"

"$quill" -c "$work/hello.qls" 2>/dev/null
check "-c writes the default output name" "yes" "$([ -f "$work/hello.qsc" ] && echo yes)"
out="$("$quill" "$work/hello.qsc" arg)"
check "run the compiled module" "from a file arg" "$out"
"$quill" -c "$work/hello.qls" -o "$work/other.bin" -g 2>/dev/null
out="$("$quill" "$work/other.bin" z)"
check "a module is known by its content" "from a file z" "$out"

out="$("$quill" -l "$work/hello.qsc" | grep -c 'GET_GLOBAL')"
check "-l lists the module" "2" "$out"
out="$("$quill" -l "$work/hello.qls" | grep -c 'PUSH_CONST')"
check "-l compiles a source first" "1" "$out"

out="$(printf 'print(6 * 7);\n' | "$quill")"
check "standard input" "42" "$out"

"$quill" -e 'x = ;' 2>"$work/err"
check "syntax error status" "1" "$?"
check "syntax error text" "error: line 0: syntax error: invalid expression" "$(tr -d '\r' < "$work/err")"

"$quill" -e 'throw "stop";' 2>"$work/err"
check "uncaught throw status" "1" "$?"
check "uncaught throw text" "stop" "$(cat "$work/err")"

"$quill" -x >/dev/null 2>&1
check "unknown option status" "2" "$?"
"$quill" "$work/missing.qls" 2>"$work/err"
check "missing file status" "1" "$?"
check "missing file text" "can't open the script file: $work/missing.qls" "$(cat "$work/err")"

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "quill command line: all checks passed"
