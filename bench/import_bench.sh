#!/usr/bin/env bash
# Importing CSAs beside the bare load of the same rows, in one run.
#   bench/import_bench.sh [N] [POSTGRES_URI]
# N CSAs (default 1000000) of an `init --scale N` database go out to CSV and
# back into the same database with its CSAs removed: once through
# `aph-server import`, once through the engine's own loader (the sqlite3
# shell's .import; PostgreSQL's COPY through psql), into the same schema
# with the same indexes. With POSTGRES_URI (a database the user may create
# databases from), PostgreSQL too. Reports seconds and peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-1000000}
pg=${2:-}
server=build/bin/aph-server
work=$(mktemp -d /tmp/aph-import-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
empty_csas="PRAGMA foreign_keys=OFF; DELETE FROM APH_HISTGERCSA; DELETE FROM APH_HISTGERACAO;
DELETE FROM APH_HISTEVENTO; DELETE FROM CSA; VACUUM;"

measure() { # label command...: prints "label  S s  M MB", gives S
  local label=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null
  read -r seconds kb <"$work/time"
  printf '%-34s %8.2f s %6d MB\n' "$label" "$seconds" $((kb / 1024)) >&2
  echo "$seconds"
}

echo "Preparando $n CSAs..."
"$server" init "sqlite:$work/src.db" --scale "$n" >/dev/null
# The same rows twice: for the import, days as dates; for the loader, days
# as the stored numbers. Approvals are the hours worked: the loaders write
# an empty field as text, not as null, which the approvals' check refuses.
rows="NRPROPOSFAS, NRVERPROPFAS, NRSERVCONT, CDFUNC, %s AS DTSERVPREST, CDEMPRESA,
NRSERVPREST, NRAPURFATFAS, QTHRTRAB, QTHRTRAB AS QTHRAPROFATU, QTHRTRAB AS QTHRAPRCOMIS,
NULL AS CDGRPOCOR, NULL AS CDOCORR, NULL AS NRSEQUCHT, NULL AS CDOPERINCL, NULL AS DTINCLUSAO"
# shellcheck disable=SC2059 # the day's form goes into the list
sqlite3 -header -csv -separator ';' "$work/src.db" \
  "SELECT $(printf "$rows" "date(DTSERVPREST + 2415018.5)") FROM CSA" >"$work/import.csv"
# shellcheck disable=SC2059
sqlite3 -header -csv -separator ';' "$work/src.db" \
  "SELECT $(printf "$rows" DTSERVPREST) FROM CSA" >"$work/load.csv"
sqlite3 "$work/src.db" "$empty_csas"
# The operator an import of CSAs names: any active one of the database.
op=$(sqlite3 "$work/src.db" "SELECT MIN(CDOPERADOR) FROM OPERADOR WHERE IDOPERATIVO = 'A'")

echo "SQLite, $n CSAs:"
cp "$work/src.db" "$work/floor.db"
floor=$(measure "sqlite3 .import (floor)" sqlite3 "$work/floor.db" -cmd ".mode csv" \
  -cmd ".separator ;" ".import --skip 1 $work/load.csv CSA")
cp "$work/src.db" "$work/import.db"
ours=$(measure "aph-server import" "$server" import "sqlite:$work/import.db" "$work/import.csv" \
  --operador "$op")
awk -v a="$ours" -v b="$floor" 'BEGIN { printf "ratio: %.2fx\n", a / b }'

[ -n "$pg" ] || exit 0
db="aph_import_bench_$$"
psql -q "$pg" -c "CREATE DATABASE $db" >/dev/null
trap 'psql -q "$pg" -c "DROP DATABASE IF EXISTS $db" >/dev/null 2>&1; rm -rf "$work"' EXIT
uri="${pg%/*}/$db"
"$server" init "$uri" --scale "$n" >/dev/null
psql -q "$uri" -c "DELETE FROM APH_HISTGERCSA; DELETE FROM APH_HISTGERACAO;
  DELETE FROM APH_HISTEVENTO; DELETE FROM CSA" -c "VACUUM ANALYZE" >/dev/null
echo "PostgreSQL, $n CSAs:"
floor=$(measure "COPY through psql (floor)" psql -q "$uri" -c \
  "\\copy CSA FROM '$work/load.csv' WITH (FORMAT csv, HEADER true, DELIMITER ';')")
psql -q "$uri" -c "DELETE FROM CSA" -c "VACUUM ANALYZE" >/dev/null
ours=$(measure "aph-server import" "$server" import "$uri" "$work/import.csv" --operador "$op")
awk -v a="$ours" -v b="$floor" 'BEGIN { printf "ratio: %.2fx\n", a / b }'
