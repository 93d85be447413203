#!/usr/bin/env bash
# HashFile on a 1 GiB file beside `openssl dgst -sha256` on the same file:
# wall time and peak resident memory of each, as /usr/bin/time -v reports
# them, the best time of RUNS runs (default 5) with the file in the page
# cache. Targets: HashFile's time at most 1.25 times openssl's and its peak
# memory under 64 MiB; the script exits 1 when one is missed.
#   bench/hashfile.sh [PENNAFORM_COMMAND]     (default build/cli/pennaform)
set -euo pipefail

cli=${1:-build/cli/pennaform}
runs=${RUNS:-5}
[ -x /usr/bin/time ] || { echo "hashfile.sh: /usr/bin/time is missing (apt-get install time)" >&2; exit 2; }
[ -x "$cli" ] || { echo "hashfile.sh: no command at $cli" >&2; exit 2; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
file=$dir/one-gibibyte.bin
head -c $((1 << 30)) /dev/urandom >"$file"

ours=$("$cli" HashFile "$file" 3)
theirs=$(openssl dgst -sha256 -r "$file" | cut -d' ' -f1 | tr a-f A-F)
if [ "$ours" != "$theirs" ]; then
  echo "hashfile.sh: digests differ: $ours vs $theirs" >&2
  exit 1
fi

# measure NAME COMMAND...: appends "NAME seconds kilobytes" to $dir/runs.
measure() {
  local name=$1
  shift
  /usr/bin/time -v "$@" >/dev/null 2>"$dir/time.txt"
  awk -v name="$name" '
    /Elapsed \(wall clock\)/ { n = split($NF, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i] }
    /Maximum resident set size/ { kb = $NF }
    END { print name, s, kb }' "$dir/time.txt" >>"$dir/runs"
}

for _ in $(seq "$runs"); do
  measure openssl openssl dgst -sha256 "$file"
  measure hashfile "$cli" HashFile "$file" 3
done

awk '
  { if (!($1 in best) || $2 < best[$1]) best[$1] = $2; if ($3 > rss[$1]) rss[$1] = $3 }
  END {
    ratio = best["hashfile"] / best["openssl"]
    printf "openssl dgst -sha256  best %.2f s  peak %.1f MiB\n", best["openssl"], rss["openssl"] / 1024
    printf "pennaform HashFile    best %.2f s  peak %.1f MiB\n", best["hashfile"], rss["hashfile"] / 1024
    printf "time ratio %.2f (target <= 1.25), peak memory target < 64 MiB\n", ratio
    exit !(ratio <= 1.25 && rss["hashfile"] < 64 * 1024)
  }' "$dir/runs"
