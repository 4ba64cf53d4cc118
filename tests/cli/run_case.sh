#!/usr/bin/env bash
# Runs one golden-file case of the suite's programs.
#
#   run_case.sh BUILD_DIR CASE_DIR
#
# CASE_DIR/cmd is a bash command line, run in a fresh temporary working
# directory that holds a copy of the case's other files, with a fresh HOME,
# no vyr* variables, LC_ALL=C and TZ=UTC, and the build directory first on
# PATH. Its standard output must equal CASE_DIR/stdout byte for byte, its
# standard error CASE_DIR/stderr (empty when that file is absent), and its
# exit status CASE_DIR/status (0 when absent). Every file under
# CASE_DIR/expect/ must equal the file of the same path that the command
# left in its working directory (the raw files it wrote, say).
set -u
build=$(cd "$1" && pwd)
case_dir=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/run" "$work/home"
for f in "$case_dir"/* "$case_dir"/.[!.]*; do
  [ -e "$f" ] || continue
  case "$(basename "$f")" in
    cmd|stdout|stderr|status|expect) ;;
    *) cp -R "$f" "$work/run/" ;;
  esac
done

cd "$work/run"
env -i PATH="$build:/usr/local/bin:/usr/bin:/bin" HOME="$work/home" LC_ALL=C TZ=UTC \
  bash "$case_dir/cmd" >"$work/out" 2>"$work/err" </dev/null
got_status=$?

want_status=0
[ -f "$case_dir/status" ] && want_status=$(cat "$case_dir/status")
fail=0
if ! cmp -s "$work/out" "$case_dir/stdout"; then
  echo "standard output differs:"; diff -u "$case_dir/stdout" "$work/out" | head -n 40; fail=1
fi
if [ -f "$case_dir/stderr" ]; then want_err="$case_dir/stderr"; else want_err=/dev/null; fi
if ! cmp -s "$work/err" "$want_err"; then
  echo "standard error differs:"; diff -u "$want_err" "$work/err" | head -n 40; fail=1
fi
if [ -d "$case_dir/expect" ]; then
  while IFS= read -r -d '' want; do
    rel=${want#"$case_dir/expect/"}
    if [ ! -f "$work/run/$rel" ]; then
      echo "file not written: $rel"; fail=1
    elif ! cmp -s "$want" "$work/run/$rel"; then
      echo "file $rel differs:"; diff -u "$want" "$work/run/$rel" | head -n 40; fail=1
    fi
  done < <(find "$case_dir/expect" -type f -print0)
fi
if [ "$got_status" != "$want_status" ]; then
  echo "exit status $got_status, expected $want_status"; fail=1
fi
exit $fail
