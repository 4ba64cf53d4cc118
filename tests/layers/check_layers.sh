#!/usr/bin/env bash
# Checks that every source of the library includes only headers of its own
# layer or of the layers below it:
#
#   base < resources < files < geo < startup < shef < store < programs
#
# A source's layer is its folder under src/; a public header's layer is the
# one it declares (vyrbase.h base, vyrresrc.h resources, ...). No library
# source includes the umbrellas vyr.h or vyr_int.h: they carry every layer.
#
#   check_layers.sh SOURCE_DIR      exit 0 when clean, 1 with each fault told
#   check_layers.sh --self-test SOURCE_DIR
#                                   shows that a fault is caught: a copy with
#                                   a base file including a files header fails
set -u

if [ "${1:-}" = "--self-test" ]; then
  root=$(cd "$2" && pwd)
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  cp -R "$root/src" "$root/include" "$scratch/"
  printf '#include "vyrfiles.h"\n' >>"$scratch/src/base/date.cpp"
  out=$(bash "$0" "$scratch")
  status=$?
  if [ "$status" -eq 1 ] && grep -q 'src/base/date.cpp includes vyrfiles.h (files)' <<<"$out"; then
    echo "a base source including a files header is caught"
    exit 0
  fi
  echo "the fault went unnoticed (status $status): $out"
  exit 1
fi

root=$(cd "$1" && pwd)
layers=(base resources files geo startup shef store programs)
rank() {
  local i
  for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}

declare -A header_layer=(
  [vyrbase.h]=base [vyr_build.h]=base [vyrresrc.h]=resources [vyrfiles.h]=files
  [vyrdom.h]=geo [vyrcty.h]=geo [vyrraw.h]=shef
)
for layer in "${layers[@]}"; do
  [ -d "$root/src/$layer" ] || continue
  for h in "$root/src/$layer"/*.h; do
    [ -e "$h" ] && header_layer[$(basename "$h")]=$layer
  done
done

# The files of each layer: its folder, and its public headers.
files_of() {
  local h
  ls "$root/src/$1"/*.cpp "$root/src/$1"/*.h 2>/dev/null
  for h in "${!header_layer[@]}"; do
    [ "${header_layer[$h]}" = "$1" ] && [ -e "$root/include/vyr/$h" ] && echo "$root/include/vyr/$h"
  done
}

faults=0
for layer in "${layers[@]}"; do
  own=$(rank "$layer")
  while IFS= read -r f; do
    [ -e "$f" ] || continue
    rel=${f#"$root/"}
    while IFS= read -r inc; do
      case "$inc" in
        vyr.h|vyr_int.h)
          if [ "$layer" != programs ] || [ "$inc" = vyr_int.h ]; then
            echo "$rel includes $inc, which carries every layer"; faults=$((faults + 1))
          fi
          continue ;;
      esac
      target=${header_layer[$inc]:-}
      if [ -z "$target" ]; then
        echo "$rel includes $inc, a header of no layer"; faults=$((faults + 1))
      elif [ "$(rank "$target")" -gt "$own" ]; then
        echo "$rel includes $inc ($target)"; faults=$((faults + 1))
      fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$f")
  done < <(files_of "$layer")
done
[ "$faults" -eq 0 ] || exit 1
echo "every source includes its own layer or those below"
