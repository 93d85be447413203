#!/usr/bin/env bash
# CreatePKCS10 with 2048 bits, run as a process, beside
# `openssl req -newkey rsa:2048 -nodes -subj /CN=x` run as a process, the two
# alternating in one run: the median CPU time (user and system) of RUNS runs
# each (default 40). CPU time, not wall time: the machines that run it are
# shared, and a wait for the disk or for another process is not work done.
# Target: CreatePKCS10's median at most 1.1 times openssl's; the script exits
# 1 when it is missed. Key generation dominates both and its time varies
# widely from key to key, so the run count matters more than usual.
#   bench/enrol.sh [PENNAFORM_COMMAND]     (default build/cli/pennaform)
set -euo pipefail

cli=${1:-build/cli/pennaform}
runs=${RUNS:-40}
[ -x "$cli" ] || { echo "enrol.sh: no command at $cli" >&2; exit 2; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# seconds COMMAND...: the CPU time of one run, in seconds (the user and
# system times that the shell's `times` reports for its finished children),
# then its wall time, which also counts the waits for the disk's flushes.
seconds() {
  local start cpu
  start=$(date +%s.%N)
  cpu=$(
    "$@" >/dev/null 2>&1 || true
    times
  )
  echo "$cpu" | awk -v start="$start" -v end="$(date +%s.%N)" 'NR == 2 {
    split($1, u, /m|s/); split($2, s, /m|s/)
    printf "%.3f %.3f\n", u[1] * 60 + u[2] + s[1] * 60 + s[2], end - start
  }'
}

for ((i = 0; i < runs; i++)); do
  seconds "$cli" --home "$dir/home" CreatePKCS10 x 2048 1 >>"$dir/ours"
  seconds openssl req -newkey rsa:2048 -nodes -subj /CN=x -keyout "$dir/key.pem" \
    -out "$dir/req.pem" 2>/dev/null >>"$dir/theirs"
done

median() { cut -d' ' -f"$2" "$1" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ours=$(median "$dir/ours" 1)
theirs=$(median "$dir/theirs" 1)
ratio=$(echo "$ours / $theirs" | bc -l)
printf 'CreatePKCS10 2048: median CPU %.3f s; openssl req: median CPU %.3f s; ratio %.2f (target <= 1.10), %d runs each\n' \
  "$ours" "$theirs" "$ratio" "$runs"
printf 'wall time, beside it: %.3f s against %.3f s\n' "$(median "$dir/ours" 2)" "$(median "$dir/theirs" 2)"
awk -v r="$ratio" 'BEGIN {exit !(r <= 1.10)}'
