# shellcheck shell=bash disable=SC2034,SC2154
# Shared by the benchmark runners (sourced, with $here set to bench/): finding the peer engines and
# timing a command.

# The command that runs a peer (qjs, mujs or duk), or nothing when it is not found. qjs is looked
# for in $QJS, then on the PATH, then as ../shared/peers/qjs beside the repository.
find_peer() {
    case $1 in
    qjs)
        if [ -n "${QJS:-}" ]; then
            [ -x "$QJS" ] && echo "$QJS"
        elif command -v qjs > /dev/null; then
            command -v qjs
        elif [ -x "$here/../../shared/peers/qjs" ]; then
            echo "$(cd "$here/../../shared/peers" && pwd)/qjs"
        fi
        ;;
    *) command -v "$1" ;;
    esac
}

# measure RUNS OUT COMMAND...: runs COMMAND RUNS times with its output (both streams) in OUT and
# sets measured_nanos to the best wall-clock time and measured_kb to the peak resident set size of
# that run in kilobytes ("-" without /usr/bin/time). Fails when a run fails.
measure() {
    local runs=$1 out=$2
    shift 2
    local best="" best_kb="-" start end t kb r
    local rss
    rss=$(mktemp)
    for ((r = 0; r < runs; r++)); do
        start=$(date +%s%N)
        if [ -x /usr/bin/time ]; then
            /usr/bin/time -f %M -o "$rss" "$@" > "$out" 2>&1 || { rm -f "$rss"; return 1; }
        else
            "$@" > "$out" 2>&1 || { rm -f "$rss"; return 1; }
        fi
        end=$(date +%s%N)
        t=$((end - start))
        kb="-"
        [ -x /usr/bin/time ] && kb=$(tail -n 1 "$rss")
        if [ -z "$best" ] || [ "$t" -lt "$best" ]; then
            best=$t
            best_kb=$kb
        fi
    done
    rm -f "$rss"
    measured_nanos=$best
    measured_kb=$best_kb
}
