# Shared by the benchmark scripts (sourced): the generated inputs and the
# measuring helpers. Expects $build and $mb; sets $data and $bytes (the
# timed input), $small and $small_bytes (its first 5 MB, for the counts of
# instructions: the generator writes the same bytes from the start whatever
# the size).
mkdir -p "$build/bench"
data="$build/bench/shef-$mb.txt"
small="$build/bench/shef-5.txt"
[ -s "$data" ] || "$build/gen_shef" "$mb" >"$data"
[ -s "$small" ] || "$build/gen_shef" 5 >"$small"
bytes=$(stat -c %s "$data")
small_bytes=$(stat -c %s "$small")

# Wall time in seconds of one run of a command line.
seconds() {
  local s e
  s=$(date +%s.%N)
  bash -c "$1" >/dev/null
  e=$(date +%s.%N)
  awk -v s="$s" -v e="$e" 'BEGIN{printf "%.3f\n", e - s}'
}

# Peak resident memory in KiB of one run of a command line.
peak_kib() {
  local f
  f=$(mktemp)
  /usr/bin/time -o "$f" -f %M bash -c "exec $1" >/dev/null 2>&1
  tail -n 1 "$f"
  rm -f "$f"
}

# Instructions of one run of a command line under callgrind, or nothing
# when valgrind is not installed.
instructions() {
  command -v valgrind >/dev/null || return 0
  local log
  log=$(mktemp)
  bash -c "exec valgrind --tool=callgrind --callgrind-out-file=/dev/null --log-file='$log' $1" \
    >/dev/null 2>&1
  sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$log"
  rm -f "$log"
}

# "least to most" of numbers, or the one number when they agree.
range() {
  printf '%s\n' "$@" | sort -g | sed -n '1p;$p' | paste -sd' ' |
    awk '{ if ($1 == $2) print $1; else print $1 " to " $2 }'
}

median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", a / b}'; }
mbs() { awk -v b="$bytes" -v t="$1" 'BEGIN{printf "%.0f", b / 1000000 / t}'; }
per_byte() { [ -n "$1" ] && awk -v n="$1" -v b="$2" 'BEGIN{printf "%.1f", n / b}'; }
