#!/usr/bin/env bash
# The bridge under load beside sessions: 50 WebSocket clients x 200 calls
# against `pennaform serve`, then 50 `pennaform session` processes x 200
# calls; every answer checked. Needs a build with PENNAFORM_BENCH=ON.
#   bench/bridge_load.sh [BUILD_DIR [CLIENTS [CALLS [ROUNDS]]]]   (default build 50 200 3)
set -euo pipefail

build=${1:-build}
program=$build/bench/bench_bridge_load
[ -x "$program" ] || { echo "bridge_load.sh: no $program (configure with -DPENNAFORM_BENCH=ON)" >&2; exit 2; }
exec "$program" "$build/cli/pennaform" "${2:-50}" "${3:-200}" "${4:-3}"
