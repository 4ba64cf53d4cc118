#!/usr/bin/env bash
# shef2csv throughput against awk on the same generated SHEF file, with the
# CSV written to a file in a temporary directory, and its peak memory.
#
#   csv_bench.sh BUILD_DIR [MEGABYTES]
set -euo pipefail
build=${1:-build}
mb=${2:-100}
. "$(dirname "$0")/bench_lib.sh"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

run="'$build/shef2csv' -me error -ho '#20261208' '$data' >'$out/out.csv'"
csv=$(median "$run")
awkt=$(median "awk '{n+=NF} END{print n}' '$data'")
rss=$( { /usr/bin/time -f %M bash -c "exec $run"; } 2>&1 | tail -n 1)
csv_bytes=$(stat -c %s "$out/out.csv")

echo
printf 'shef2csv on %s (%d bytes), CSV to %s (%d bytes)\n' "$data" "$bytes" "$out" "$csv_bytes"
printf '%-28s %8s s %8s MB/s\n' "shef2csv" "$csv" "$(mbs "$csv")"
printf '%-28s %8s s %8s MB/s\n' "awk '{n+=NF}' (reference)" "$awkt" "$(mbs "$awkt")"
printf 'shef2csv / awk time ratio:        %s (target <= 4, goal 2)\n' "$(ratio "$csv" "$awkt")"
printf 'shef2csv peak resident memory:    %s KiB (target < 10240)\n' "$rss"
