#!/usr/bin/env bash
# zorel matrix over the five machine images with examples/checks/basic.js:
# images in parallel (one per core, the default) against one after another
# (--jobs 1), pair by pair:
#   farm-bench --vs 'zorel matrix --jobs 1 ...' -- zorel matrix ...
# Both run offline with stages 100,101 (no packaging), each on fresh
# machines in its own scratch folder, removed after every run.
#
# usage: bench/matrix/matrix_bench.sh [BUILD_DIR] [RUNS]
# Needs the zorel and zorel-wintools targets built in BUILD_DIR (default build).
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
images=default,win7-sp1,win81,win10-x86,win11-23h2
script="$here/examples/checks/basic.js"
zorel="$build/src/cli/zorel"

echo "cores: $(nproc); images: $images"
farm-bench -n "$runs" --warmup 1 --timeout 1800 \
  --vs "$zorel matrix --script $script --images $images --stages 100,101 --jobs 1" -- \
  "$zorel" matrix --script "$script" --images "$images" --stages 100,101
