#!/usr/bin/env bash
# Installs the build into a scratch prefix (never the machine's own
# directories), checks what is there, then builds and runs a program that
# finds the library with find_package(vyr).
#
#   run_install_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/shef2raw bin/vyrloop lib/libvyr.a include/vyr/vyr.h include/vyr/vyrresrc.h \
         lib/cmake/vyr/vyrConfig.cmake share/man/man1/shef2raw.1 vyr/etc/vyr.cfg vyr/etc/name_conv; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
# The installed settings name the installed configuration directory.
grep -qx "\*.file_path $prefix/vyr/etc" "$prefix/vyr/etc/vyr.cfg" || { echo "vyr.cfg names no $prefix/vyr/etc"; exit 1; }
cmake -S "$here/consumer" -B "$prefix/consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/consumer" >/dev/null
"$prefix/consumer/consumer"
