#!/usr/bin/env bash
# Runs every fuzz target in BUILD_DIR/bin for SECONDS seconds from its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${2:-10}
shopt -s nullglob
found=0
for target in "$build"/bin/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    seeds="fuzz/corpus/${name#fuzz_}"
    work=$(mktemp -d)
    [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
    echo "fuzz: $name for ${seconds}s"
    "$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 -print_final_stats=0 \
        "$work" >"$work.log" 2>&1 || { tail -40 "$work.log"; exit 1; }
    rm -rf "$work" "$work.log"
    found=$((found + 1))
done
[ "$found" -gt 0 ] || { echo "fuzz: no fuzz target found in $build/bin"; exit 1; }
echo "fuzz: $found targets ran clean"
