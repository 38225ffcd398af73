#!/bin/sh
# Whole-command comparison on one generated mailbox: brindle-cli convert by subject, Debian's
# undbx (a peer converter in C that decodes nothing) and the I/O floor (bench/floor), on a tmpfs
# folder and on the disk, alternating, each output folder removed before the next run. Prints
# the median wall, user and system time of each and the ratios. Not run by make or ctest.
#
# Usage: bench/convert/compare.sh [BUILD_DIR] [MESSAGES] [ROUNDS] [-- extra convert options]
# Environment: TMPFS_DIR (default /dev/shm), DISK_DIR (default /var/tmp; set it empty to run on
# tmpfs only), MIX=japanese (the generator's --japanese-mix mailbox), CONDITIONS=1 (also run the
# conversion with five regular-expression conditions, alternating with the plain one, and print
# filtered / plain).
set -eu
BUILD=${1:-build}
MESSAGES=${2:-50000}
ROUNDS=${3:-3}
shift $(( $# < 3 ? $# : 3 ))
[ "${1:-}" = "--" ] && shift
EXTRA="$*"
GEN_MIX=""
[ "${MIX:-}" = "japanese" ] && GEN_MIX="--japanese-mix"
CLI="$BUILD/src/cli/brindle-cli"
GEN="$BUILD/bench/convert/brindle_convert_bench"
FLOOR="$BUILD/bench/floor/brindle_io_floor"
for tool in "$CLI" "$GEN" "$FLOOR"; do
    [ -x "$tool" ] || { echo "missing $tool: build the project with benchmarks first" >&2; exit 2; }
done

# shellcheck source=../support/undbx.sh
. "$(dirname "$0")/../support/undbx.sh"

# time_run LABEL OUT COMMAND...: one run into a fresh OUT, removed afterwards; appends
# "wall user sys" to $WORK/LABEL.
time_run() {
    label=$1 out=$2
    shift 2
    rm -rf "$out"
    mkdir -p "$out"
    sync
    status=0
    /usr/bin/time -f "%e %U %S" -o "$WORK/time.tmp" "$@" >/dev/null 2>"$WORK/err.tmp" || status=$?
    # The conditions' run ends with 1 when messages failed: the mix holds a few texts whose
    # escapes the regular-expression search cannot decode, and those messages fail.
    if [ "$status" -ne 0 ] && ! { [ "$label" = filtered ] && [ "$status" -eq 1 ]; }; then
        echo "$label failed:" >&2
        cat "$WORK/err.tmp" >&2
        exit 1
    fi
    tail -n 1 "$WORK/time.tmp" >>"$WORK/$label"  # after time's note of a non-zero status
    rm -rf "$out"
}

# median FILE COLUMN
median() {
    cut -d' ' -f"$2" "$1" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

for base in "${TMPFS_DIR:-/dev/shm}" "${DISK_DIR-/var/tmp}"; do
    [ -n "$base" ] || continue
    WORK="$base/brindle-compare-$$"
    mkdir -p "$WORK"
    trap 'rm -rf "$WORK"' EXIT INT TERM
    BOX="$WORK/box.dbx"
    "$GEN" --write-mailbox "$BOX" --messages "$MESSAGES" $GEN_MIX >/dev/null
    # The floor writes files of the sizes that the conversion writes.
    mkdir -p "$WORK/out"
    "$CLI" convert --naming subject -o "$WORK/out" "$BOX" >/dev/null
    find "$WORK/out" -type f -printf '%s\n' >"$WORK/sizes"
    rm -rf "$WORK/out"
    for round in $(seq "$ROUNDS"); do
        # shellcheck disable=SC2086
        time_run brindle "$WORK/out" "$CLI" convert --naming subject $EXTRA -o "$WORK/out" "$BOX"
        if [ -n "${CONDITIONS:-}" ]; then
            # shellcheck disable=SC2086
            time_run filtered "$WORK/out" "$CLI" convert --naming subject $EXTRA --regexp \
                --where 会議 --where body:見積 --where 'header:^Subject:' \
                --where 'all:[０-９]+' --where 'body:(よろしく|お願い)' -o "$WORK/out" "$BOX"
        fi
        [ -n "$UNDBX" ] && time_run undbx "$WORK/out" "$UNDBX" -v 0 "$BOX" "$WORK/out"
        time_run floor "$WORK/out" "$FLOOR" "$BOX" "$WORK/sizes" "$WORK/out"
    done
    echo "== $base: $MESSAGES messages, $(du -m "$BOX" | cut -f1) MB mailbox, median of $ROUNDS rounds"
    for label in brindle filtered undbx floor; do
        [ -f "$WORK/$label" ] || continue
        echo "$label: wall $(median "$WORK/$label" 1) s, user $(median "$WORK/$label" 2) s, sys $(median "$WORK/$label" 3) s"
    done
    b=$(median "$WORK/brindle" 1)
    f=$(median "$WORK/floor" 1)
    echo "brindle / floor (wall): $(echo "$b $f" | awk '{ printf "%.2f", $1 / $2 }') (target <= 1.5)"
    if [ -f "$WORK/filtered" ]; then
        echo "filtered / plain: wall $(echo "$(median "$WORK/filtered" 1) $b" | awk '{ printf "%.2f", $1 / $2 }') (target <= 1.5)," \
            "user $(echo "$(median "$WORK/filtered" 2) $(median "$WORK/brindle" 2)" | awk '{ printf "%.2f", $1 / $2 }') (target <= 2.5)"
    fi
    if [ -f "$WORK/undbx" ]; then
        u=$(median "$WORK/undbx" 1)
        echo "brindle / undbx (wall): $(echo "$b $u" | awk '{ printf "%.2f", $1 / $2 }') (target <= 0.5)"
    fi
    rm -rf "$WORK"
    trap - EXIT INT TERM
done
