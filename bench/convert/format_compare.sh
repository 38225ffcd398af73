#!/bin/sh
# The output formats on one generated mailbox (tmpfs by default): brindle-cli convert into .eml
# files (by number), into one mbox file and into one Maildir; then, with the output of the
# first run left in place, convert --update where nothing is new, against brindle-cli list of
# the same mailbox (what reading and parsing every message costs). Prints the median wall,
# user and system time of each. Not run by make or ctest.
#
# Usage: bench/convert/format_compare.sh [BUILD_DIR] [MESSAGES] [ROUNDS]
# Environment: WORK_DIR (default /dev/shm).
set -eu
BUILD=${1:-build}
MESSAGES=${2:-50000}
ROUNDS=${3:-3}
CLI="$BUILD/src/cli/brindle-cli"
GEN="$BUILD/bench/convert/brindle_convert_bench"
for tool in "$CLI" "$GEN"; do
    [ -x "$tool" ] || { echo "missing $tool: build the project with benchmarks first" >&2; exit 2; }
done
WORK="${WORK_DIR:-/dev/shm}/brindle-formats-$$"
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT INT TERM
BOX="$WORK/box.dbx"
"$GEN" --write-mailbox "$BOX" --messages "$MESSAGES" >/dev/null

# timed LABEL COMMAND...: appends "wall user sys" to $WORK/LABEL.
timed() {
    label=$1
    shift
    sync
    /usr/bin/time -f "%e %U %S" -o "$WORK/time.tmp" "$@" >/dev/null 2>"$WORK/err.tmp" || {
        echo "$label failed:" >&2
        cat "$WORK/err.tmp" >&2
        exit 1
    }
    tail -n 1 "$WORK/time.tmp" >>"$WORK/$label"
}

median() {
    cut -d' ' -f"$2" "$1" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

for round in $(seq "$ROUNDS"); do
    for format in eml mbox maildir; do
        out="$WORK/out-$format"
        rm -rf "$out"
        mkdir -p "$out"
        timed "$format" "$CLI" convert --format "$format" -o "$out" "$BOX"
        timed "$format-update" "$CLI" convert --update --format "$format" -o "$out" "$BOX"
        rm -rf "$out"
    done
    timed list "$CLI" list "$BOX"
done
echo "== $MESSAGES messages, $(du -m "$BOX" | cut -f1) MB mailbox, median of $ROUNDS rounds"
for label in eml mbox maildir eml-update mbox-update maildir-update list; do
    echo "$label: wall $(median "$WORK/$label" 1) s, user $(median "$WORK/$label" 2) s, sys $(median "$WORK/$label" 3) s"
done
