#!/usr/bin/env bash
# shef2csv throughput against awk on the same generated SHEF file, with the
# CSV written to a file in a temporary directory, and its peak memory.
#
#   csv_bench.sh BUILD_DIR [MEGABYTES]
set -euo pipefail
build=${1:-build}
mb=${2:-100}
data="$build/bench/shef-$mb.txt"
mkdir -p "$build/bench"
[ -s "$data" ] || "$build/gen_shef" "$mb" >"$data"
bytes=$(stat -c %s "$data")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Median wall time in seconds of 5 runs of a command line.
median() {
  for _ in 1 2 3 4 5; do
    s=$(date +%s.%N); bash -c "$1" >/dev/null; e=$(date +%s.%N)
    awk -v s="$s" -v e="$e" 'BEGIN{printf "%.3f\n", e - s}'
  done | sort -n | sed -n 3p
}

run="'$build/shef2csv' -ho '#20261208' '$data' >'$out/out.csv'"
csv=$(median "$run")
awkt=$(median "awk '{n+=NF} END{print n}' '$data'")
rss=$( { /usr/bin/time -f %M bash -c "exec $run"; } 2>&1 | tail -n 1)
csv_bytes=$(stat -c %s "$out/out.csv")

mbs() { awk -v b="$bytes" -v t="$1" 'BEGIN{printf "%.1f", b / 1000000 / t}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", a / b}'; }
echo
printf 'shef2csv on %s (%d bytes), CSV to %s (%d bytes)\n' "$data" "$bytes" "$out" "$csv_bytes"
printf '%-28s %8s s %8s MB/s\n' "shef2csv" "$csv" "$(mbs "$csv")"
printf '%-28s %8s s %8s MB/s\n' "awk '{n+=NF}' (reference)" "$awkt" "$(mbs "$awkt")"
printf 'shef2csv / awk time ratio:        %s (target <= 4, goal 2)\n' "$(ratio "$csv" "$awkt")"
printf 'shef2csv peak resident memory:    %s KiB (target < 10240)\n' "$rss"
