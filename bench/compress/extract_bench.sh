#!/usr/bin/env bash
# Extraction of our own cabinet of the 100 MB / 200-file set (one folder per
# file), whole process, side by side with cabextract:
#   farm-bench --vs 'cabextract -q -d D CAB' -- zorel cab extract CAB D2
# Both extract into folders of their own that stay between runs (each run
# overwrites the same files), and both results are compared with the set.
#
# usage: bench/compress/extract_bench.sh [BUILD_DIR] [RUNS]
# Needs the zorel and zorel-cab targets built in BUILD_DIR (default build).
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-9}
work=$(mktemp -d /tmp/zorel-extract-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

"$build/bench/compress/zorel-cab" make-set "$work/set"
(cd "$work" && "$build/bench/compress/zorel-cab" create set.cab set)
echo "cabinet: $(stat -c %s "$work/set.cab") bytes, $(find "$work/set" -type f | wc -l) files"

farm-bench -n "$runs" --timeout 900 --vs "cabextract -q -d $work/cx $work/set.cab" -- \
  "$build/src/cli/zorel" cab extract "$work/set.cab" "$work/ours"

diff -r "$work/set" "$work/ours/set" >/dev/null && diff -r "$work/set" "$work/cx/set" >/dev/null &&
  echo "both extractions match the set"
