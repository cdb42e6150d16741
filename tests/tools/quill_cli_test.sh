#!/usr/bin/env bash
# The quill command-line host: its options, outputs and exit statuses.
# Usage: quill_cli_test.sh PATH/TO/quill  (or a command that runs it, e.g. wine-run quill.exe)
set -u
quill=("$@")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

# The Windows build's quill.exe ends its lines with CR LF; the texts are the same.
windows=no
case "${quill[${#quill[@]} - 1]}" in *.exe) windows=yes ;; esac

check() {  # check NAME EXPECTED ACTUAL
    local actual="${3//$'\r'/}"
    if [ "$2" != "$actual" ]; then
        printf 'FAILED %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$actual"
        failures=$((failures + 1))
    fi
}

out="$("${quill[@]}" -e 'print(1 + 2, "a" + "b"); print(scriptArgs.length, scriptArgs[1]);' x y)"
check "-e prints" $'3 ab\n2 y' "$out"

printf 'print("from a file", scriptArgs[0]);\n' > "$work/hello.qls"
out="$("${quill[@]}" "$work/hello.qls" arg)"
check "run a source file" "from a file arg" "$out"

"${quill[@]}" -c "$work/hello.qls" 2>/dev/null
check "-c writes the default output name" "yes" "$([ -f "$work/hello.qsc" ] && echo yes)"
out="$("${quill[@]}" "$work/hello.qsc" arg)"
check "run the compiled module" "from a file arg" "$out"
"${quill[@]}" -c "$work/hello.qls" -o "$work/other.bin" -g 2>/dev/null
out="$("${quill[@]}" "$work/other.bin" z)"
check "a module is known by its content" "from a file z" "$out"

out="$("${quill[@]}" -l "$work/hello.qsc" | grep -c 'GET_GLOBAL')"
check "-l lists the module" "2" "$out"
out="$("${quill[@]}" -l "$work/hello.qls" | grep -c 'PUSH_CONST')"
check "-l compiles a source first" "1" "$out"

out="$(printf 'print(6 * 7);\n' | "${quill[@]}")"
check "standard input" "42" "$out"

"${quill[@]}" -e 'x = ;' 2>"$work/err"
check "syntax error status" "2" "$?"
check "syntax error text" "error: line 0: syntax error: invalid expression" "$(tr -d '\r' < "$work/err")"

"${quill[@]}" -e 'throw "stop";' 2>"$work/err"
check "uncaught throw status" "1" "$?"
check "uncaught throw text" "stop" "$(cat "$work/err")"

"${quill[@]}" -x >/dev/null 2>&1
check "unknown option status" "64" "$?"
out="$("${quill[@]}" --help)"
check "--help status" "0" "$?"
check "--help shows the usage" "usage: quill [-w] FILE [ARG...]" "$(printf '%s\n' "$out" | head -n 1)"

"${quill[@]}" -e 'function f() { return f(); } f();' 2>"$work/err"
check "runtime error status" "1" "$?"
check "runtime error text" "Runtime error: stack overflow" "$(cat "$work/err")"
"${quill[@]}" -e 'print(1);' extra -x >/dev/null
check "script arguments are not options" "0" "$?"
"${quill[@]}" -c >/dev/null 2>&1
check "-c without a file status" "64" "$?"
"${quill[@]}" -l "$work/missing.qsc" 2>/dev/null
check "-l of a missing file status" "2" "$?"
out="$("${quill[@]}" --version)"
check "--version status" "0" "$?"
check "--version names the program" "yes" "$(printf '%s\n' "$out" | grep -q '^quill [0-9]' && echo yes)"

# Compiler warnings always go to standard error, the script's output stays clean and it runs.
out="$("${quill[@]}" -e 'print("\q" == "q" ? "ran" : "no");' 2>"$work/err")"
check "a warned source runs" "ran" "$out"
check "compiler warning on standard error" "warning: line 0: unknown escape sequence '\\q'" "$(tr -d '\r' < "$work/err")"
# -w shows the engine's warnings and trace output on standard error; without it they are dropped.
out="$("${quill[@]}" -w -e 'print(nothing_here); trace("traced");' 2>"$work/err")"
check "-w keeps standard output" "undefined" "$out"
check "-w warnings and trace" $'Warning: using undefined variable "nothing_here"\ntraced' "$(tr -d '\r' < "$work/err")"
"${quill[@]}" -e 'print(nothing_here); trace("traced");' >/dev/null 2>"$work/err"
check "no warnings without -w" "" "$(cat "$work/err")"
printf 'print(undefined_one);\n' > "$work/warn.qls"
"${quill[@]}" -w "$work/warn.qls" >/dev/null 2>"$work/err"
check "-w with a file" 'Warning: using undefined variable "undefined_one"' "$(tr -d '\r' < "$work/err")"

# Every host class of the build is there (the Windows build has the classes of the system).
if [ "$windows" = yes ]; then
    out="$("${quill[@]}" -e 'print(RegKey, Folder === File, Shell, SysInfo);')"
    check "host classes" "[object RegKey] true [object Shell] [object SysInfo]" "$out"
fi
"${quill[@]}" "$work/missing.qls" 2>"$work/err"
check "missing file status" "2" "$?"
check "missing file text" "can't open the script file: $work/missing.qls" "$(cat "$work/err")"

# A script that cannot be read or holds no whole module says why, with the system's reason or the
# reader's, and never runs as if it were empty.
head -c 60 "$work/hello.qsc" > "$work/cut.qsc"
"${quill[@]}" "$work/cut.qsc" 2>"$work/err"
check "truncated module status" "2" "$?"
check "truncated module text" "Invalid compiled module: a section runs past the end of the module" "$(cat "$work/err")"
printf 'QS1b' > "$work/short.bin"
"${quill[@]}" "$work/short.bin" 2>"$work/err"
check "short module text" "Invalid compiled module: the section table is cut off" "$(cat "$work/err")"
"${quill[@]}" "$work/missing.qsc" 2>"$work/err"
check "missing module status" "2" "$?"
check "missing module text" "can't read the module file: $work/missing.qsc: No such file or directory" "$(cat "$work/err")"
mkdir "$work/folder.qsc" "$work/folder"
"${quill[@]}" "$work/folder.qsc" 2>"$work/err"
check "directory as module status" "2" "$?"
# (the C library's reason for opening a folder as a file differs between the systems)
reason="Is a directory"
[ "$windows" = yes ] && reason="Permission denied"
check "directory as module text" "can't read the module file: $work/folder.qsc: $reason" "$(cat "$work/err")"
"${quill[@]}" "$work/folder" 2>"$work/err"
check "directory as script status" "2" "$?"
check "directory as script text" "can't open the script file: $work/folder" "$(cat "$work/err")"
"${quill[@]}" -c "$work/folder" -o "$work/folder.out" 2>"$work/err"
check "directory compiled status" "2" "$?"
check "directory compiled writes nothing" "no" "$([ -e "$work/folder.out" ] && echo yes || echo no)"
cp "$work/hello.qsc" "$work/locked.qsc"
chmod 000 "$work/locked.qsc"
if ! [ -r "$work/locked.qsc" ]; then  # (whoever may read any file skips this)
    "${quill[@]}" "$work/locked.qsc" 2>"$work/err"
    check "unreadable module text" "can't read the module file: $work/locked.qsc: Permission denied" "$(cat "$work/err")"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "quill command line: all checks passed"
