#!/usr/bin/env bash
# Builds the Debian package once, from a build of its own configured as a
# distribution configures it, and reads it back with dpkg-deb: never
# installed. The build directory is kept, so a later run rebuilds only what
# changed. Skips (status 77) where dpkg-deb is absent.
#
#   run_package_test.sh SOURCE_DIR PACKAGE_BUILD_DIR VERSION CXX_COMPILER
set -euo pipefail
src=$1
build=$2
version=$3
cxx=$4
command -v dpkg-deb >/dev/null || { echo "dpkg-deb absent: package not checked"; exit 77; }
fail() { echo "$*"; exit 1; }
conf=/etc/vyr

# No optimisation: what is checked is where things go, not how fast they
# run. The directory is given with a trailing slash, as a user may type it.
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_COMPILER="$cxx" \
  -DVYR_SYSCONFDIR=$conf/ -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >"$build.log" 2>&1 ||
  { cat "$build.log"; fail "configure failed"; }
cmake --build "$build" -j2 --target vyr shef2raw shef2csv shef2db vyrloop vyr_man >"$build.log" 2>&1 ||
  { cat "$build.log"; fail "build failed"; }
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB) >"$build.log" 2>&1 || { cat "$build.log"; fail "cpack failed"; }
debs=("$build"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "not one package: ${debs[*]}"
deb=${debs[0]}

# Paths, as dpkg-deb lists them (./usr/bin/shef2raw); directories end in /.
paths=$(dpkg-deb -c "$deb" | awk '{print $6}')
files=$(grep -v '/$' <<<"$paths")
echo "$files"
bad=$(grep -vE "^\./(usr/|etc/vyr/)" <<<"$files" || true)
[ -z "$bad" ] || fail "outside /usr and $conf: $bad"
! grep -q '^\./usr/local' <<<"$paths" || fail "something under /usr/local"
not_root=$(dpkg-deb -c "$deb" | awk '$2 != "root/root" {print $6}')
[ -z "$not_root" ] || fail "not owned by root: $not_root"
for f in usr/bin/shef2raw usr/bin/shef2csv usr/bin/shef2db usr/bin/vyrloop usr/include/vyr/vyr.h \
         usr/include/vyr/vyrresrc.h usr/share/man/man1/shef2raw.1.gz \
         usr/share/man/man1/shef2csv.1.gz usr/share/man/man1/shef2db.1.gz etc/vyr/vyr.cfg etc/vyr/name_conv etc/vyr/SHEFPARM; do
  grep -qx "\./$f" <<<"$files" || fail "not packed: /$f"
done
grep -qE '^\./usr/lib/([^/]+/)?libvyr\.a$' <<<"$files" || fail "not packed: libvyr.a"
grep -qE '^\./usr/lib/([^/]+/)?cmake/vyr/vyrConfig\.cmake$' <<<"$files" ||
  fail "not packed: vyrConfig.cmake"

# Every file of the configuration directory is a conffile, and nothing else.
conffiles=$(dpkg-deb -I "$deb" conffiles | sort)
in_conf=$(grep "^\./etc/" <<<"$files" | sed 's/^\.//' | sort)
[ -n "$conffiles" ] && [ "$conffiles" = "$in_conf" ] ||
  fail "conffiles differ from the files under $conf: [$conffiles] [$in_conf]"

[ "$(dpkg-deb -f "$deb" Package)" = vyr ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
if command -v dpkg-shlibdeps >/dev/null; then
  dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "Depends names no libc6"
fi

# What the files say: the settings, the manual pages and the programs' own
# search path all name the configuration directory. Unpacked into a scratch
# directory, not installed.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
grep -qx "\*\.file_path $conf" "$tree$conf/vyr.cfg" || fail "vyr.cfg names no $conf"
for page in shef2raw shef2csv shef2db; do
  text=$(gzip -dc "$tree/usr/share/man/man1/$page.1.gz")
  grep -qF "$conf/vyr.cfg" <<<"$text" || fail "$page.1 names no $conf/vyr.cfg"
  ! grep -q '/usr/local' <<<"$text" || fail "$page.1 names /usr/local"
done
for p in shef2raw shef2csv; do
  grep -aqF ".:/home/vyr/etc:$conf" "$tree/usr/bin/$p" ||
    fail "$p does not search .:/home/vyr/etc:$conf"
done
echo "package $deb checked"
