#!/usr/bin/env bash
# shef2db against what a user would otherwise do, in the same run, on the
# generated SHEF (20 MB unless said): posting into a new SQLite file
# against shef2csv into a file then sqlite3's .import into a plain table;
# posting into PostgreSQL against shef2csv piped to psql's \copy into a
# plain table, on a throwaway cluster (fsync off, shared_buffers 512MB)
# when the server is installed; posting the same input a second time
# (every value kept, the tables unchanged); shef2db's peak memory.
#
#   db_bench.sh BUILD_DIR [MEGABYTES]
set -euo pipefail
build=${1:-build}
mb=${2:-20}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/bench_lib.sh"
work=$(mktemp -d)
cluster="$work/pg.state"
trap 'bash "$here/../tests/pg/cluster.sh" stop "$cluster"; rm -rf "$work"' EXIT

# Wall time of a command line after an untimed set-up.
timed() {
  bash -c "$1" >/dev/null
  s=$(date +%s.%N); bash -c "$2" >/dev/null; e=$(date +%s.%N)
  awk -v s="$s" -v e="$e" 'BEGIN{printf "%.3f\n", e - s}'
}
# shef2db (set-up $1, command $2) against the pipeline (set-up $3, command
# $4), taking turns 3 times so that both see the same load: prints the
# median time of each and the median of the three ratios.
compare() {
  local a b r as=() bs=() rs=()
  for _ in 1 2 3; do
    a=$(timed "$1" "$2"); b=$(timed "$3" "$4")
    as+=("$a"); bs+=("$b"); rs+=("$(ratio "$a" "$b")")
  done
  mid() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
  echo "$(mid "${as[@]}") $(mid "${bs[@]}") $(mid "${rs[@]}")"
}
median_after() {
  for _ in 1 2 3; do timed "$1" "$2"; done | sort -n | sed -n 2p
}
peak() { { /usr/bin/time -f %M bash -c "exec $1" >/dev/null; } 2>&1 | tail -n 1; }

post="'$build/shef2db' -me error -ho '#20261208'"
csv="'$build/shef2csv' -me error -ho '#20261208' '$data'"
# What the second posting must leave as it was, and what it must log.
current="SELECT count(*), sum(CAST(value AS NUMERIC)), sum(revised), max(product_id), min(posting_time), max(posting_time) FROM observed"
last_product="SELECT values_read, kept FROM product ORDER BY product_id DESC LIMIT 1"

echo
echo "shef2db on $data ($bytes bytes)"
db="$work/shef.db"
read -r sq_post sq_pipe sq_ratio < <(compare "rm -f '$db' '$db-wal' '$db-shm'" "$post -db '$db' '$data'" \
  "rm -f '$work'/csv.db* '$work/out.csv'" \
  "$csv >'$work/out.csv' && sqlite3 '$work/csv.db' '.import --csv $work/out.csv t'")
rm -f "$db" "$db-wal" "$db-shm"
sq_rss=$(peak "$post -db '$db' '$data'")
before=$(sqlite3 "$db" "$current")
sq_again=$(median_after ":" "$post -db '$db' '$data'")
[ "$(sqlite3 "$db" "$current")" = "$before" ] || { echo "SQLite: the second posting changed observed"; exit 1; }
kept=$(sqlite3 "$db" "$last_product")
[ "${kept%|*}" = "${kept#*|}" ] || { echo "SQLite: the second posting did not keep every value ($kept)"; exit 1; }
printf 'SQLite, %s values\n' "${kept%|*}"
printf '  %-44s %8s s\n' "shef2db into a new file" "$sq_post"
printf '  %-44s %8s s\n' "shef2csv > file; sqlite3 .import --csv" "$sq_pipe"
printf '  %-44s %8s s (every value kept, tables unchanged)\n' "shef2db, the same input again" "$sq_again"
printf '  shef2db / pipeline time ratio:   %s (target <= 2, goal 0.5)\n' "$sq_ratio"
printf '  shef2db peak resident memory:    %s KiB (target < 51200)\n' "$sq_rss"

VYR_PG_SERVER_OPTIONS="-c shared_buffers=512MB" \
  bash "$here/../tests/pg/cluster.sh" start "$cluster" >/dev/null
uri=$(sed -n 's/^uri //p' "$cluster")
if [ -z "$uri" ]; then
  echo "PostgreSQL: $(sed -n 's/^absent //p' "$cluster"); skipped"
  exit 0
fi
dir=$(sed -n 's/^dir //p' "$cluster")
psql_do() { psql -X -q -v ON_ERROR_STOP=1 -h "$dir" -U postgres -d "$1" -tA -c "$2"; }
fresh() { echo "psql -X -q -h '$dir' -U postgres -d postgres -c 'DROP DATABASE IF EXISTS $1' -c 'CREATE DATABASE $1' 2>/dev/null"; }
pg_db="postgresql:///bench?host=$dir&user=postgres"
table="CREATE TABLE t (station text, obs_time timestamptz, pe text, duration text,
  type_source text, extremum text, probability text, value double precision, qualifier text,
  creation_time timestamptz, revised smallint, message text, line bigint,
  duration_value bigint, comment text)"
read -r pg_post pg_pipe pg_ratio < <(compare "$(fresh bench)" "$post -db '$pg_db' '$data'" \
  "$(fresh plain) && psql -X -q -h '$dir' -U postgres -d plain -c '$table'" \
  "$csv | psql -X -q -h '$dir' -U postgres -d plain -c '\\copy t FROM STDIN CSV HEADER'")
bash -c "$(fresh bench)"
pg_rss=$(peak "$post -db '$pg_db' '$data'")
before=$(psql_do bench "$current")
pg_again=$(median_after ":" "$post -db '$pg_db' '$data'")
[ "$(psql_do bench "$current")" = "$before" ] || { echo "PostgreSQL: the second posting changed observed"; exit 1; }
kept=$(psql_do bench "$last_product")
[ "${kept%|*}" = "${kept#*|}" ] || { echo "PostgreSQL: the second posting did not keep every value ($kept)"; exit 1; }
printf 'PostgreSQL (throwaway cluster: fsync off, shared_buffers 512MB), %s values\n' "${kept%|*}"
printf '  %-44s %8s s\n' "shef2db into a new database" "$pg_post"
printf '  %-44s %8s s\n' "shef2csv | psql \\copy" "$pg_pipe"
printf '  %-44s %8s s (every value kept, tables unchanged)\n' "shef2db, the same input again" "$pg_again"
printf '  shef2db / pipeline time ratio:   %s (target <= 5, goal 1.5)\n' "$pg_ratio"
printf '  shef2db peak resident memory:    %s KiB (target < 51200)\n' "$pg_rss"
