# Shared by the benchmark scripts (sourced): the generated input and the
# timing helpers. Expects $build and $mb; sets $data and $bytes.
data="$build/bench/shef-$mb.txt"
mkdir -p "$build/bench"
[ -s "$data" ] || "$build/gen_shef" "$mb" >"$data"
bytes=$(stat -c %s "$data")

# Median wall time in seconds of 5 runs of a command line.
median() {
  for _ in 1 2 3 4 5; do
    s=$(date +%s.%N); bash -c "$1" >/dev/null; e=$(date +%s.%N)
    awk -v s="$s" -v e="$e" 'BEGIN{printf "%.3f\n", e - s}'
  done | sort -n | sed -n 3p
}

mbs() { awk -v b="$bytes" -v t="$1" 'BEGIN{printf "%.1f", b / 1000000 / t}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", a / b}'; }
