#!/usr/bin/env bash
# Starts the desktop program (offscreen) on SQLite tables of 1,000, 100,000
# and 1,000,000 listings and reports, as medians of RUNS runs (default 3),
# the time until the window answers and its peak memory, beside the rows
# the grid has read. The target: 100,000 listings usable within 0.3 s, and
# memory that does not grow with the rows not shown.
#
# Usage: bench/app/window_bench.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-${KAVIRO_BUILD_DIR:-$top/build}}" && pwd)
runs=${RUNS:-3}
bin=$build/bin
work=$(mktemp -d "${KAVIRO_BENCH_DIR:-$build}/window-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%12s %12s %12s %14s\n' Wohnungen "ms bis bereit" "Zeilen gelesen" "Speicher MiB"
for listings in 1000 100000 1000000; do
  db=$work/$listings.db
  sqlite3 "$db" < "$top/examples/wohnungen-sqlite.sql"
  "$bin/kaviro_publisher_bench" --listings-sql "$listings" | sqlite3 "$db"
  printf '[Database]\r\nConnectionString=Provider=SQLite;Data Source=%s\r\n' "$db" > "$work/kaviro.ini"
  : > "$work/ms"; : > "$work/kib"
  for _ in $(seq 1 "$runs"); do
    read -r ms rows kib < <("$bin/kaviro_window_bench" "$work/kaviro.ini" 2>/dev/null)
    echo "$ms" >> "$work/ms"; echo "$kib" >> "$work/kib"
  done
  awk -v n="$listings" -v ms="$(median < "$work/ms")" -v r="$rows" -v k="$(median < "$work/kib")" \
    'BEGIN { printf "%12d %12d %12d %14.1f\n", n, ms, r, k / 1024 }'
  rm -f "$db"
done
