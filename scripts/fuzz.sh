#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS] [TARGET...]
#
# Builds the libFuzzer targets (fuzz/<TARGET>.cpp) with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer in build-fuzz/, then runs each target for
# SECONDS (default 600) on a working copy of its seed corpus
# (build-fuzz/corpus/<TARGET>, seeded from fuzz/corpus/<TARGET>). With no
# TARGET, every fuzz/*.cpp is run. Targets run side by side, at most one per
# CPU at a time. Logs go to build-fuzz/logs/<TARGET>.log and the inputs that
# made this run of a target fail to build-fuzz/artifacts/<TARGET>/ (emptied
# when the target starts).
#
# Prints each run's execution count; exits non-zero if any run found a fault
# (or failed to run).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"

seconds="${1:-600}"
[[ $# -gt 0 ]] && shift
if ! [[ "$seconds" =~ ^[0-9]+$ ]]; then
    echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
    exit 2
fi
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
    for source in "$root"/fuzz/*.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPENNAFORM_FUZZ=ON -DPENNAFORM_TESTS=OFF -DPENNAFORM_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/logs"
run_target() {
    local name="$1" corpus="$build/corpus/$1" artifacts="$build/artifacts/$1/"
    rm -rf "$artifacts"
    mkdir -p "$corpus" "$artifacts"
    if [[ -d "$root/fuzz/corpus/$name" ]]; then
        cp -n "$root/fuzz/corpus/$name"/* "$corpus"/ 2>/dev/null || true
    fi
    local rc=0
    "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$artifacts" "$corpus" >"$build/logs/$name.log" 2>&1 || rc=$?
    echo "$rc" >"$build/logs/$name.rc"
}

jobs_max="$(nproc)"
for name in "${targets[@]}"; do
    rm -f "$build/logs/$name.rc"
    while [[ $(jobs -rp | wc -l) -ge $jobs_max ]]; do wait -n || true; done
    echo "fuzzing $name for ${seconds}s"
    run_target "$name" &
done
wait

status=0
for name in "${targets[@]}"; do
    rc="$(cat "$build/logs/$name.rc" 2>/dev/null || echo missing)"
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$name.log" | tail -n 1)"
    findings="$(find "$build/artifacts/$name" -type f | wc -l)"
    if [[ "$rc" == 0 && "$findings" -eq 0 ]]; then
        echo "$name: ${runs:-?} executions, no finding"
    else
        echo "$name: FINDING (exit $rc, ${runs:-?} executions, $findings artifact(s) in build-fuzz/artifacts/$name); see build-fuzz/logs/$name.log"
        status=1
    fi
done
exit "$status"
