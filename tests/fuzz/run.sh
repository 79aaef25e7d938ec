#!/usr/bin/env bash
# Runs each fuzz target of a fuzz build for a short, bounded and repeatable time, starting from
# seeds the generator writes from tools/mdbgen/examples, the corpus kept in tests/fuzz/corpus
# (grown by longer runs) and the inputs kept in tests/fuzz/regressions (inputs that once found a
# fault). Any crash, hang or sanitizer finding fails the run.
#
#     tests/fuzz/run.sh BUILD_FOLDER [RUNS]
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${2:-20000}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/reader" "$work/decode"
for description in "$here"/../../tools/mdbgen/examples/*.txt; do
    name=$(basename "$description" .txt)
    "$build/tools/mdbgen/dualyn-mdbgen" "$description" "$work/reader/$name.mdb"
    "$build/app/dualyn-reader" "$work/reader/$name.mdb" > "$work/decode/$name.bin"
done
for target in reader decode; do
    mkdir -p "$work/$target-found"
    seeds=("$work/$target")
    [ -d "$here/regressions/$target" ] && seeds+=("$here/regressions/$target")
    [ -d "$here/corpus/$target" ] && seeds+=("$here/corpus/$target")
    echo "fuzzing $target: $runs runs"
    "$build/tests/fuzz/${target}_fuzz" -seed=1 -runs="$runs" -max_total_time=300 -timeout=30 \
        -rss_limit_mb=4096 -max_len=300000 -artifact_prefix="$work/$target-found/" "${seeds[@]}" 2>&1 | tail -n 3
done
