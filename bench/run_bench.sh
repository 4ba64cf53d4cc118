#!/usr/bin/env bash
# Converter throughput against awk on the same generated SHEF file, its
# echo cost and peak memory, start-up with a large definition file, then the
# scanner's micro-benchmarks.
#
#   run_bench.sh BUILD_DIR [MEGABYTES]
set -euo pipefail
build=${1:-build}
mb=${2:-100}
. "$(dirname "$0")/bench_lib.sh"

# The converter runs as a user runs it: the input chosen by its date under
# the site's conventions, the raw file named after it, in a scratch
# directory.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data"
printf 'shef_dat %%D/%%Y%%m%%d%%h.shef - 0\nshef_raw %%R/%%Y%%m%%d%%h.raw - 0\n' >"$work/name_conv"
ln -s "$(cd "$(dirname "$data")" && pwd)/$(basename "$data")" "$work/data/2026120712.shef"
run="'$build/shef2raw' -fp '$work' -dp '$work/data' -rp '$work/raw' 2026120712"

conv=$(median "$run >/dev/null")
echo3=$(median "$run -me out3 >/dev/null")
awkt=$(median "awk '{n+=NF} END{print n}' '$data'")
rss=$( { eval "/usr/bin/time -f %M $run" >/dev/null; } 2>&1 | tail -n 1)
[ -s "$work/raw/2026120712.raw" ] || { echo "no raw file written"; exit 1; }

printf 'input: %s (%d bytes)\n' "$data" "$bytes"
printf '%-28s %8s s %8s MB/s\n' "shef2raw (echo off)" "$conv" "$(mbs "$conv")"
printf '%-28s %8s s %8s MB/s\n' "awk '{n+=NF}' (reference)" "$awkt" "$(mbs "$awkt")"
printf '%-28s %8s s %8s MB/s\n' "shef2raw -me out3" "$echo3" "$(mbs "$echo3")"
printf 'shef2raw / awk time ratio:        %s (target <= 3)\n' "$(ratio "$conv" "$awkt")"
printf 'echo on / echo off time ratio:    %s (target <= 2)\n' "$(ratio "$echo3" "$conv")"
printf 'shef2raw peak resident memory:    %s KiB (target < 10240)\n' "$rss"

# Start-up with a definition file of 200,000 keys (every one a free
# resource): storing stays cheap however long the list grows.
defdir="$build/bench/defs"
mkdir -p "$defdir"
[ -s "$defdir/vyr.cfg" ] || awk 'BEGIN{for(i=0;i<200000;i++) printf "*.key%d value%d\n", i, i}' >"$defdir/vyr.cfg"
deft=$(median "'$build/shef2raw' -me none -df '$defdir' /dev/null")
printf 'start-up, 200,000 keys in a definition file: %s s (target well under 1)\n' "$deft"

echo
"$build/scanp_bench" --benchmark_min_time=0.2
bash "$(dirname "$0")/csv_bench.sh" "$build" "$mb"
bash "$(dirname "$0")/db_bench.sh" "$build"
