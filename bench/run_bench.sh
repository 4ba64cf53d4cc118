#!/usr/bin/env bash
# Both converters against awk on the same generated SHEF file, in one run:
# three runs of each, the converters writing their files, with the ratios to
# awk and the cost of the element echo as ranges over the runs; peak
# resident memory on a small and the large input; instructions per input
# byte under callgrind on the input's first 5 MB, when valgrind is
# installed; then start-up with a large definition file and the scanner's
# micro-benchmarks. Wall times on a shared machine vary by up to a half from
# one run to the next: the instruction counts are the stable measure.
#
#   run_bench.sh BUILD_DIR [MEGABYTES]
set -euo pipefail
build=${1:-build}
mb=${2:-100}
. "$(dirname "$0")/bench_lib.sh"

# shef2raw runs as a user runs it: the input chosen by its date under the
# site's conventions, the raw file named after it, in a scratch directory.
# shef2csv writes its CSV into the same directory.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/small"
printf 'shef_dat %%D/%%Y%%m%%d%%h.shef - 0\nshef_raw %%R/%%Y%%m%%d%%h.raw - 0\n' >"$work/name_conv"
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
ln -s "$(absolute "$data")" "$work/data/2026120712.shef"
ln -s "$(absolute "$small")" "$work/small/2026120712.shef"
raw_of() { echo "'$build/shef2raw' -fp '$work' -dp '$work/$1' -rp '$work/raw' 2026120712"; }
csv_of() { echo "'$build/shef2csv' -me error -ho '#20261208' '$1' >'$work/out.csv'"; }
awk_of() { echo "awk '{n+=NF} END{print n}' '$1'"; }
raw=$(raw_of data)
csv=$(csv_of "$data")
awk_run=$(awk_of "$data")

# The runs interleave, so that each ratio compares runs under the same load.
cat "$data" >/dev/null
t_awk=() t_raw=() t_csv=() t_echo=() r_raw=() r_csv=() r_echo=()
for _ in 1 2 3; do
  t_awk+=("$(seconds "$awk_run")")
  t_raw+=("$(seconds "$raw >/dev/null 2>&1")")
  t_csv+=("$(seconds "$csv 2>/dev/null")")
  t_echo+=("$(seconds "$raw -me out3 >/dev/null 2>&1")")
  r_raw+=("$(ratio "${t_raw[-1]}" "${t_awk[-1]}")")
  r_csv+=("$(ratio "${t_csv[-1]}" "${t_awk[-1]}")")
  r_echo+=("$(ratio "${t_echo[-1]}" "${t_raw[-1]}")")
done
raw_file="$work/raw/2026120712.raw"
[ -s "$raw_file" ] || { echo "no raw file written"; exit 1; }
[ -s "$work/out.csv" ] || { echo "no CSV written"; exit 1; }
raw_bytes=$(stat -c %s "$raw_file")
csv_bytes=$(stat -c %s "$work/out.csv")

row() { printf '%-26s %7s %7s %7s   %s\n' "$@"; }
printf 'input: %s (%d bytes); wall time of three runs in seconds\n' "$data" "$bytes"
row "" "run 1" "run 2" "run 3" "(median)"
speed() { echo "$(mbs "$(median "$@")") MB/s"; }
row "awk '{n+=NF}'" "${t_awk[@]}" "$(speed "${t_awk[@]}")"
row "shef2raw, raw file" "${t_raw[@]}" "$(speed "${t_raw[@]}"), $raw_bytes bytes written"
row "shef2csv, CSV file" "${t_csv[@]}" "$(speed "${t_csv[@]}"), $csv_bytes bytes written"
row "shef2raw -me out3" "${t_echo[@]}" "$(speed "${t_echo[@]}")"
printf 'shef2raw / awk time:       %-14s (target at most 1.5, goal 1.0)\n' "$(range "${r_raw[@]}")"
printf 'shef2csv / awk time:       %-14s (target at most 2.5, goal 1.5)\n' "$(range "${r_csv[@]}")"
printf 'echo on / echo off time:   %s\n' "$(range "${r_echo[@]}")"

printf 'peak resident memory, %s and %s bytes of input (the same at any size, about 3 MB):\n' \
  "$small_bytes" "$bytes"
printf '  shef2raw %s and %s KiB, shef2csv %s and %s KiB\n' \
  "$(peak_kib "$(raw_of small)")" "$(peak_kib "$raw")" \
  "$(peak_kib "$(csv_of "$small")")" "$(peak_kib "$csv")"

if command -v valgrind >/dev/null; then
  i_awk=$(instructions "$(awk_of "$small")")
  i_raw=$(instructions "$(raw_of small)")
  i_echo=$(instructions "$(raw_of small) -me out3")
  i_csv=$(instructions "$(csv_of "$small")")
  printf 'instructions per input byte (callgrind, the first %s bytes):\n' "$small_bytes"
  printf '  %-24s %7s\n' "awk '{n+=NF}'" "$(per_byte "$i_awk" "$small_bytes")"
  printf '  %-24s %7s   (target at most 45, goal 30)\n' "shef2raw" "$(per_byte "$i_raw" "$small_bytes")"
  printf '  %-24s %7s   (target at most 178)\n' \
    "shef2raw -me out3" "$(per_byte "$i_echo" "$small_bytes")"
  printf '  %-24s %7s   (target at most 60)\n' "shef2csv" "$(per_byte "$i_csv" "$small_bytes")"
  printf 'echo on / echo off instructions: %s\n' "$(ratio "$i_echo" "$i_raw")"
else
  echo "instructions per input byte: valgrind is not installed"
fi

# Start-up with a definition file of 200,000 keys (every one a free
# resource): storing stays cheap however long the list grows.
defdir="$build/bench/defs"
mkdir -p "$defdir"
[ -s "$defdir/vyr.cfg" ] || awk 'BEGIN{for(i=0;i<200000;i++) printf "*.key%d value%d\n", i, i}' >"$defdir/vyr.cfg"
t_def=()
for _ in 1 2 3; do t_def+=("$(seconds "'$build/shef2raw' -me none -df '$defdir' /dev/null")"); done
printf 'start-up, 200,000 keys in a definition file: %s s (target well under 1)\n' "$(range "${t_def[@]}")"

echo
"$build/scanp_bench" --benchmark_min_time=0.2
bash "$(dirname "$0")/db_bench.sh" "$build"
