#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests: a temporary data directory,
# a Unix socket in that directory and no TCP port, fsync off. The server
# refuses to run as root: then it runs as the postgres system user that
# Debian's package creates, in a short directory under /tmp that user can
# write (a socket's path must stay under 107 bytes).
#
#   cluster.sh start STATE_FILE   starts it; STATE_FILE gets "uri URI",
#                                 "dir DIR" and "pw_uri URI", or "absent
#                                 REASON" when no server is installed
#   cluster.sh stop STATE_FILE    stops it and removes its directory
#
# The role vyr_pw logs in with a password (scram-sha-256 in pg_hba.conf),
# for the tests of a wrong password; every other role is trusted.
# VYR_PG_SERVER_OPTIONS adds server settings ("-c shared_buffers=512MB").
set -u
action=${1:?start or stop}
state=${2:?state file}
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
as_server=()
[ "$(id -u)" = 0 ] && as_server=(runuser -u postgres --)

case $action in
start)
  rm -f "$state"
  if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    echo "absent no PostgreSQL server installed (no initdb under /usr/lib/postgresql/*/bin)" >"$state"
    echo "PostgreSQL server absent: the PostgreSQL tests will skip"
    exit 0
  fi
  if [ ${#as_server[@]} -gt 0 ] && ! id postgres >/dev/null 2>&1; then
    echo "absent running as root and there is no postgres system user to run the server" >"$state"
    echo "no postgres user: the PostgreSQL tests will skip"
    exit 0
  fi
  dir=$(mktemp -d /tmp/vyrpg.XXXXXX) || exit 1
  chmod 755 "$dir"
  [ ${#as_server[@]} -gt 0 ] && chown postgres "$dir"
  run() { "${as_server[@]}" "$@"; }
  if ! run "$bin/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 --locale=C --no-sync \
      >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log"; rm -rf "$dir"; exit 1
  fi
  printf 'local all vyr_pw scram-sha-256\nlocal all all trust\n' | run tee "$dir/data/pg_hba.conf" >/dev/null
  if ! run "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-c listen_addresses= -k $dir -c fsync=off -c full_page_writes=off -c synchronous_commit=off ${VYR_PG_SERVER_OPTIONS:-}" \
      start >/dev/null; then
    cat "$dir/server.log"; rm -rf "$dir"; exit 1
  fi
  run "$bin/psql" -X -q -h "$dir" -U postgres -d postgres \
    -c "CREATE ROLE vyr_pw LOGIN PASSWORD 'right-horse-battery'" >/dev/null || exit 1
  {
    echo "dir $dir"
    echo "uri postgresql:///postgres?host=$dir&user=postgres"
    echo "pw_uri postgresql:///postgres?host=$dir&user=vyr_pw"
  } >"$state"
  echo "PostgreSQL test cluster running in $dir"
  ;;
stop)
  [ -f "$state" ] || exit 0
  dir=$(sed -n 's/^dir //p' "$state")
  rm -f "$state"
  [ -n "$dir" ] || exit 0
  "${as_server[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1
  rm -rf "$dir"
  ;;
*)
  echo "cluster.sh start|stop STATE_FILE" >&2; exit 2
  ;;
esac
