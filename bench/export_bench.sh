#!/usr/bin/env bash
# `aph-server export` beside the sqlite3 shell's CSV of the same tables,
# in one run, in alternating rounds.
#   bench/export_bench.sh [N] [ROUNDS] [OTHER_APH_SERVER]
# An `init --scale N` SQLite database (default 1000000 CSAs) is exported
# ROUNDS times (default 3) by `aph-server export`, and as often by the
# sqlite3 shell (the floor): each table the export wrote, the same columns
# in the same order (its primary key, else the export's key, which the
# file's first columns are), with `-csv -separator ';'`, to a file. With
# OTHER_APH_SERVER (an aph-server built from another commit) its export
# takes a turn in each round too, for a before and after on one machine.
set -euo pipefail
cd "$(dirname "$0")/.."
n=${1:-1000000}
rounds=${2:-3}
other=${3:-}
server=build/bin/aph-server
work=$(mktemp -d /tmp/aph-export-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

seconds() { # command...: prints the wall seconds it took
  /usr/bin/time -f "%e" -o "$work/time" "$@" >/dev/null
  cat "$work/time"
}

echo "Preparando $n CSAs..."
"$server" init "sqlite:$work/db" --scale "$n" >/dev/null
"$server" export "sqlite:$work/db" "$work/first" >/dev/null
floor_export() {
  mkdir -p "$work/floor"
  for file in "$work"/first/*.csv; do
    table=$(basename "$file" .csv)
    columns=$(head -1 "$file" | sed 's/^\xEF\xBB\xBF//; s/\r$//; s/;/, /g')
    key=$(sqlite3 "$work/db" "SELECT group_concat(name, ', ') FROM
      (SELECT name FROM pragma_table_info('$table') WHERE pk > 0 ORDER BY pk)")
    sqlite3 -header -csv -separator ';' "$work/db" \
      "SELECT $columns FROM $table ORDER BY ${key:-1}" >"$work/floor/$table.csv"
  done
  rm -rf "$work/floor"
}
export -f floor_export
export work

for round in $(seq "$rounds"); do
  rm -rf "$work/out" "$work/other"
  ours=$(seconds "$server" export "sqlite:$work/db" "$work/out")
  floor=$(seconds bash -c floor_export)
  line="round $round: aph-server export $ours s, sqlite3 shell $floor s"
  line+=$(awk -v a="$ours" -v b="$floor" 'BEGIN { printf ", ratio %.2fx", a / b }')
  if [ -n "$other" ]; then
    theirs=$(seconds "$other" export "sqlite:$work/db" "$work/other")
    line+=$(awk -v a="$theirs" -v b="$floor" \
      'BEGIN { printf "; other export %.2f s, ratio %.2fx", a, a / b }')
  fi
  echo "$line"
done
