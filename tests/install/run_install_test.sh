#!/usr/bin/env bash
# Installs the build into a scratch prefix (never the machine's own
# directories), checks what is there, then builds and runs a program that
# finds the library with find_package(vyr).
#
#   run_install_test.sh BUILD_DIR VERSION_TEXT
set -euo pipefail
build=$(cd "$1" && pwd)
version_text=$2
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "$*"; exit 1; }
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/shef2raw bin/shef2csv bin/shef2db bin/vyrloop lib/libvyr.a \
         include/vyr/vyr.h include/vyr/vyrresrc.h include/vyr/vyrcty.h include/vyr/vyrdom.h \
         include/vyr/vyrraw.h lib/cmake/vyr/vyrConfig.cmake lib/cmake/vyr/vyrConfigVersion.cmake \
         share/man/man1/shef2raw.1.gz share/man/man1/shef2csv.1.gz share/man/man1/shef2db.1.gz share/doc/vyr/README.md \
         vyr/etc/vyr.cfg vyr/etc/name_conv vyr/etc/SHEFPARM; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
# The library's internal headers stay out of the include directory.
extra=$(ls "$prefix/include/vyr" | grep -vxE 'vyr(|base|resrc|files|cty|dom|raw)\.h' || true)
[ -z "$extra" ] || fail "installed beside the public headers: $extra"
# This layout keeps the search path the programs always had; the installed
# settings name the installed configuration directory.
grep -aqF '.:/home/vyr/etc:/usr/local/vyr/etc' "$prefix/bin/shef2raw" ||
  fail "shef2raw does not search .:/home/vyr/etc:/usr/local/vyr/etc"
grep -qx "\*.file_path $prefix/vyr/etc" "$prefix/vyr/etc/vyr.cfg" ||
  fail "vyr.cfg names no $prefix/vyr/etc"
gzip -dc "$prefix/share/man/man1/shef2csv.1.gz" | grep -q '^\.SH EXIT STATUS' ||
  fail "shef2csv.1.gz is no manual page"
cmake -S "$here/consumer" -B "$prefix/consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/consumer" >/dev/null
out=$("$prefix/consumer/consumer")
echo "$out"
[ "$(sed -n 2p <<<"$out")" = "$version_text" ] || fail "VYR_version is not $version_text"
