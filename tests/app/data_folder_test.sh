#!/usr/bin/env bash
# Where the program keeps its working files: started with --in-data-folder (as the desktop menu
# starts it) in a folder of its own under the user's data folder, made its owner's alone; started
# from a shell, in the current folder, as always.
# usage: data_folder_test.sh VESKATOR
set -euo pipefail
program="$1"
work="$(mktemp -d)"
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Runs the program from FOLDER until its receive log (made at start-up) is in WORKS_IN.
run_until_started() {
    local folder="$1" works_in="$2"
    shift 2
    mkdir -p "$folder"
    (cd "$folder" && exec env QT_QPA_PLATFORM=offscreen XDG_DATA_HOME="$work/data" \
        XDG_RUNTIME_DIR="$work/runtime" "$program" "$@" >"$work/out" 2>&1) &
    pid=$!
    for _ in $(seq 100); do
        [ -f "$works_in/tempreceiveddata.txt" ] && break
        kill -0 "$pid" 2>/dev/null || fail "the program ended: $(cat "$work/out")"
        sleep 0.1
    done
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pid=
    [ -f "$works_in/tempreceiveddata.txt" ] || fail "nothing started in $works_in"
}
mkdir -m 700 "$work/runtime"

run_until_started "$work/menu" "$work/data/veskator" --in-data-folder
[ -z "$(ls -A "$work/menu")" ] || fail "the menu's start left $(ls -A "$work/menu") behind"
[ "$(stat -c %a "$work/data/veskator")" = 700 ] ||
    fail "the data folder is $(stat -c %a "$work/data/veskator")"

run_until_started "$work/shell" "$work/shell"
echo ok
