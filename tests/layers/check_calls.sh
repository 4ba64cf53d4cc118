#!/usr/bin/env bash
# Checks that the library's files call each other in one order: no loop of
# calls between the objects of the given archives. A file calls another when
# it uses a function or object that the other defines (strong definitions
# only: inline functions and templates belong to no one file).
#
#   check_calls.sh ARCHIVE...       exit 0 when there is no loop, 1 with the
#                                   files of a loop told
#   check_calls.sh --self-test CXX  shows that a loop is caught: two files
#                                   that call each other
set -u

if [ "${1:-}" = "--self-test" ]; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  printf 'int pong(int);\nint ping(int n) { return n ? pong(n - 1) : 0; }\n' >"$scratch/ping.cpp"
  printf 'int ping(int);\nint pong(int n) { return n ? ping(n - 1) : 1; }\n' >"$scratch/pong.cpp"
  printf 'int ping(int);\nint top(int n) { return ping(n); }\n' >"$scratch/top.cpp"
  for f in ping pong top; do "$2" -c "$scratch/$f.cpp" -o "$scratch/$f.cpp.o" || exit 1; done
  ar rcs "$scratch/libloop.a" "$scratch/top.cpp.o" "$scratch/ping.cpp.o" "$scratch/pong.cpp.o"
  out=$(bash "$0" "$scratch/libloop.a")
  status=$?
  if [ "$status" -eq 1 ] && grep -q 'ping.cpp' <<<"$out" && grep -q 'pong.cpp' <<<"$out" &&
    ! grep -q 'top.cpp' <<<"$out"; then
    echo "two files calling each other are caught"
    exit 0
  fi
  echo "the loop went unnoticed (status $status): $out"
  exit 1
fi

[ $# -gt 0 ] || { echo "usage: check_calls.sh ARCHIVE..." >&2; exit 2; }

# "member symbol" lines: what each member defines, and what it uses.
defined=$(mktemp) used=$(mktemp)
trap 'rm -f "$defined" "$used"' EXIT
for a in "$@"; do
  nm -A --defined-only "$a" 2>/dev/null | awk '$2 == "T" || $2 == "D" || $2 == "B" || $2 == "R" {
    split($1, p, ":"); print p[2], $3 }' >>"$defined"
  nm -A -u "$a" 2>/dev/null | awk '{ split($1, p, ":"); print p[2], $NF }' >>"$used"
done

# One edge per pair of files, for tsort; each file also stands alone so that
# a file without calls is still ordered.
edges=$(awk 'NR == FNR { owner[$2] = $1; next }
             ($2 in owner) && owner[$2] != $1 { print $1, owner[$2] }' "$defined" "$used" | sort -u)
if out=$( { echo "$edges"; awk '{ print $1, $1 }' "$defined" | sort -u; } | tsort 2>&1 >/dev/null); then
  exit 0
fi
echo "files that call each other in a loop:"
grep -v 'input contains a loop' <<<"$out" | sed 's/^tsort: /  /'
exit 1
