# Sourced by the benchmark scripts that compare with Debian's undbx: sets UNDBX to its path,
# installing it for the benchmark only when it is missing, or to nothing when it cannot be had.
UNDBX=$(command -v undbx || true)
if [ -z "$UNDBX" ]; then
    echo "undbx is not installed; installing it for this benchmark only (apt-get install undbx)"
    if apt-get install -y --no-install-recommends undbx >/dev/null 2>&1; then
        UNDBX=$(command -v undbx || true)
    fi
    [ -n "$UNDBX" ] || echo "undbx cannot be installed here: it is left out of the comparison"
fi
