#!/bin/sh
# How many messages brindle-cli convert --salvage and Debian's undbx -r get out of the same
# damaged mailboxes (see salvage_compare.cpp). Installs undbx for this benchmark only when it is
# missing. Not run by make or ctest; exits 1 when brindle gets fewer intact messages than undbx
# from any mailbox, or loses a message the damage did not touch.
#
# Usage: bench/mailbox/salvage_compare.sh [BUILD_DIR] [SEEDS]
set -eu
BUILD=${1:-build}
SEEDS=${2:-500}
CLI="$BUILD/src/cli/brindle-cli"
DRIVER="$BUILD/bench/mailbox/brindle_salvage_compare"
for tool in "$CLI" "$DRIVER"; do
    [ -x "$tool" ] || { echo "missing $tool: build the project with benchmarks first" >&2; exit 2; }
done
# shellcheck source=../support/undbx.sh
. "$(dirname "$0")/../support/undbx.sh"
CORPUS=$(cd "$(dirname "$0")/../../.." && pwd)/shared/corpus
[ -d "$CORPUS" ] || CORPUS=
WORK=$(mktemp -d "${TMPDIR:-/tmp}/brindle-salvage.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
"$DRIVER" "$CLI" "${UNDBX:--}" "$SEEDS" "$WORK" "$CORPUS"
