#!/usr/bin/env bash
# tarpon-author driven as an author would: new, build, inspect and unpack, their faults and exit
# statuses. With a stub (the appdata probe of the Windows build) the built executable is also run:
# it reads its own items, archive, run folder and saved options and prints them.
# Usage: author_cli_test.sh [--emulator CMD] --tool PATH [--stub PATH]
set -u
emulator=()
tool=""
stub=""
while [ $# -gt 0 ]; do
    case "$1" in
        --emulator) emulator=("$2"); shift 2 ;;
        --tool) tool="$2"; shift 2 ;;
        --stub) stub="$2"; shift 2 ;;
        *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done
author=("${emulator[@]}" "$tool")
work="$(mktemp -d)"
[ -n "${KEEP_WORK:-}" ] || trap 'rm -rf "$work"' EXIT
failures=0

# The Windows tool sees this machine's files through Wine's Z: drive and ends lines in CR LF.
windows=no
case "$tool" in *.exe) windows=yes ;; esac
path() { if [ $windows = yes ]; then printf 'Z:%s' "$1"; else printf '%s' "$1"; fi; }

check() {  # check NAME EXPECTED ACTUAL
    local expected="${2//$'\r'/}" actual="${3//$'\r'/}"
    if [ "$expected" != "$actual" ]; then
        printf 'FAILED %s\n  expected: %q\n  actual:   %q\n' "$1" "$expected" "$actual"
        failures=$((failures + 1))
    fi
}
contains() {  # contains NAME NEEDLE HAYSTACK
    case "${3//$'\r'/}" in
        *"$2"*) ;;
        *) printf 'FAILED %s\n  wanted: %q\n  in:     %q\n' "$1" "$2" "$3"; failures=$((failures + 1)) ;;
    esac
}
run() {  # run ARGS...: the tool's output and errors in $out, its status in $status
    out="$("${author[@]}" "$@" 2>&1)"
    status=$?
}

# new: a project with settings, one script and the folders.
show="$work/show"
run new "$(path "$show")"
check "new succeeds" 0 "$status"
check "new writes the project" "yes yes yes yes" \
    "$([ -f "$show/tarpon.toml" ] && echo yes) $([ -f "$show/scripts/Initialize.qls" ] && echo yes) $([ -d "$show/files" ] && echo yes) $([ -d "$show/movies" ] && echo yes)"
check "new writes a compressed starter movie" "CWS" "$(head -c 3 "$show/movies/start.swf")"
contains "new writes the script the movie's button runs" "getMainWnd().caption" "$(cat "$show/scripts/Hello.qls")"
run new "$(path "$show")"
check "new refuses an existing project" 1 "$status"

for command in new build inspect unpack; do
    run "$command" --help
    check "$command --help" 0 "$status"
    contains "$command --help shows its usage" "Usage:" "$out"
done
run frobnicate
check "an unknown command is a usage error" 2 "$status"
run build
check "a missing argument is a usage error" 2 "$status"

# Without a stub anywhere the build says what to pass.
if [ ! -f "$(dirname "$tool")/tarpon.exe" ]; then
    out="$(TARPON_RUNTIME= "${author[@]}" build "$(path "$show")" --runtime "$(path "$work/empty")" 2>&1)"
    status=$?
    if ! printf '%s' "$out" | grep -q 'runtime folder:'; then :; fi
    case "$out" in
        *"no projector stub"*) check "a missing stub fails the build" 1 "$status"
                               contains "the missing stub names the option" "--stub FILE" "$out" ;;
        *) ;;  # a stub was found in the configured runtime folder
    esac
fi

if [ -z "$stub" ]; then
    [ $failures -eq 0 ] || exit 1
    echo "no stub given: the builds were not tried"
    exit 0
fi

# A sample project: settings, scripts, movies with a plug-in, masks from a file and an image, a help
# file and appended files.
sample="$work/sample"
mkdir -p "$sample/scripts" "$sample/movies" "$sample/plug_ins" "$sample/masks" "$sample/files/sub"
cat > "$sample/tarpon.toml" <<'END'
[identity]
registry_key = "TarponTest\\appdata-probe"
profile = "Show"

[about]
title = "Probe Show"
version = "1.2.3"

[window]
caption = "Probe caption"
size = "custom"
width = 800
height = 600
frame = ["caption", "sizing_border"]

[input]
hot_key = "Ctrl+Shift+F5"
exit_keys = ["escape", "hot_key"]

[misc]
flags = ["help"]
help_file = "help.txt"

[movies]
list = ["intro.swf", "main.swf"]
plug_ins = ["plug.dll"]
END
printf 'var shown = 1;\ntrue;\n' > "$sample/scripts/Initialize.qls"
printf 'print("other");\n' > "$sample/scripts/other.qls"
printf 'FWS intro' > "$sample/movies/intro.swf"
printf 'FWS main' > "$sample/movies/main.swf"
printf 'plug-in' > "$sample/plug_ins/plug.dll"
printf 'help text' > "$sample/help.txt"
printf 'hello' > "$sample/files/readme.txt"
printf 'deep' > "$sample/files/sub/deep.txt"
python3 - "$sample/masks" <<'END'
import struct, sys
# round.bmp: 4 x 2, magenta key colour around two black pixels.
w, h = 4, 2
rows = [[0xFF00FF, 0, 0, 0xFF00FF], [0xFF00FF] * 4]
data = b""
for row in reversed(rows):
    line = b"".join(struct.pack("<BBB", p & 255, p >> 8 & 255, p >> 16) for p in row)
    data += line + b"\0" * (-len(line) % 4)
header = struct.pack("<2sIHHIIiiHHIIiiII", b"BM", 54 + len(data), 0, 0, 54, 40, w, h, 1, 24, 0, len(data), 0, 0, 0, 0)
open(sys.argv[1] + "/round.bmp", "wb").write(header + data)
# star.msk: a count and region data with one rectangle.
region = struct.pack("<IIII4i4i", 32, 1, 1, 16, 0, 0, 2, 2, 0, 0, 2, 2)
open(sys.argv[1] + "/star.msk", "wb").write(struct.pack("<I", len(region)) + region)
END

exe="$work/sample.exe"
run build "$(path "$sample")" --stub "$(path "$stub")" --player "$(path "$sample/plug_ins/plug.dll")" -o "$(path "$exe")"
check "build succeeds" 0 "$status"
contains "build reports its steps" "compiling scripts/Initialize.qls" "$out"
contains "build counts the movies" "movies: 3 stored" "$out"

run inspect "$(path "$exe")"
check "inspect succeeds" 0 "$status"
contains "inspect lists the identity" "identity \"TarponTest\\appdata-probe/Show\", code valid" "$out"
contains "inspect checks the stamp" "settings stamp, matches ST" "$out"
contains "inspect lists the scripts" "compiled script OTHER" "$out"
contains "inspect lists appended files" "sub/deep.txt" "$out"
contains "inspect prints the settings" 'hot_key = "Ctrl+Shift+F5"' "$out"

# inspect's text is a project file: built again it gives the same executable.
cp -r "$sample" "$work/again"
printf '%s\n' "${out//$'\r'/}" > "$work/again/tarpon.toml"
run build "$(path "$work/again")" --stub "$(path "$stub")" --player "$(path "$sample/plug_ins/plug.dll")" -o "$(path "$work/again.exe")"
check "the inspected settings build" 0 "$status"
# Compiled modules carry random filler bits (and so pack to varying sizes): scripts are left out of
# the comparison.
check "inspect reproduces the project" "$("${author[@]}" inspect "$(path "$exe")" | tail -n +2 | grep -v ' QUILL ')" \
    "$("${author[@]}" inspect "$(path "$work/again.exe")" | tail -n +2 | grep -v ' QUILL ')"
"${author[@]}" unpack "$(path "$exe")" "$(path "$work/first")" > /dev/null
"${author[@]}" unpack "$(path "$work/again.exe")" "$(path "$work/second")" > /dev/null
check "inspect reproduces every item but the compiled scripts" "" \
    "$(diff -r -x scripts "$work/first" "$work/second")"

# unpack, then build: the same items.
run unpack "$(path "$exe")" "$(path "$work/unpacked")"
check "unpack succeeds" 0 "$status"
check "unpack writes modules and files" "yes yes yes" \
    "$([ -f "$work/unpacked/scripts/INITIALIZE.qsc" ] && echo yes) $([ -f "$work/unpacked/files/sub/deep.txt" ] && echo yes) $([ -f "$work/unpacked/masks/round.msk" ] && echo yes)"
run build "$(path "$work/unpacked")" --stub "$(path "$stub")" -o "$(path "$work/unpacked.exe")"
check "the unpacked project builds" 0 "$status"
check "unpack then build gives the same executable" "same" "$(cmp -s "$exe" "$work/unpacked.exe" && echo same)"

# Faults: a script that does not compile, an unknown key.
printf 'var x = ;\n' > "$sample/scripts/Broken.qls"
run build "$(path "$sample")" --stub "$(path "$stub")" -o "$(path "$work/broken.exe")"
check "a compile error fails the build" 1 "$status"
contains "the compile error names the file and line" "scripts/Broken.qls: error: line" "$out"
rm "$sample/scripts/Broken.qls"
sed -i 's/^\[window\]$/[window]\nwobble = 1/' "$sample/tarpon.toml"
run build "$(path "$sample")" --stub "$(path "$stub")" -o "$(path "$work/broken.exe")"
check "an unknown key fails the build" 1 "$status"
contains "the unknown key is named with its line" "tarpon.toml:10: window.wobble: unknown key" "$out"

# The built probe reads everything back through the system, first writing the saved options and
# then using them.
if [ $windows = yes ]; then
    expected_first='identity: TarponTest\appdata-probe / Show
run folder: made
saved options: written
settings: title "Probe Show", caption "Probe caption", size mode 3, 800x600, hot key 0x74+0x3
help file: <run>\help.txt "help text"
mask: round
mask: star
movie: kind 1 <run>\intro.swf "FWS intro"
movie: kind 1 <run>\main.swf "FWS main"
movie: kind 2 <run>\Plug_Ins\plug.dll "plug-in"
start movie: <run>\intro.swf
script INITIALIZE: a compiled module
additional readme.txt: <run>\_extra\readme.txt "hello"
again: the same copy
additional sub/deep.txt: <run>\_extra\sub\deep.txt "deep"
additional missing.txt: ""
run folder removed: yes'
    "${emulator[@]}" "$exe" -cleanup > /dev/null 2>&1
    check "the projector reads its data" "$expected_first" "$("${emulator[@]}" "$exe" 2>&1)"
    check "the second start uses the saved options" "saved options: used" \
        "$("${emulator[@]}" "$exe" 2>&1 | grep 'saved options' | tr -d '\r')"
    "${emulator[@]}" "$exe" -cleanup > /dev/null 2>&1
fi

[ $failures -eq 0 ] || exit 1
echo "all passed"
