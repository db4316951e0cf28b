#!/usr/bin/env bash
# Times the whole kaviro-publish run on 100,000 listings in SQLite, into one
# page and into pages of five (20,000 files), each run beside the cost of
# writing the same bytes into the same files afresh, and beside the floor:
# reading and sorting the rows with SQLite's own interface plus that writing.
# Also the peak memory beside the size of the snapshot. Medians of RUNS runs
# (default 5), the runs of all programs interleaved.
#
# The references are timed the same way as kaviro-publish, as whole
# processes: one reads the pages' bytes from one file (packed beforehand) and
# creates and writes the same files in a new folder; sqlite3 runs the
# snapshot's query (kaviro_publisher_bench --read-sorted).
#
# Usage: bench/publisher/publish_bench.sh [BUILD_DIR]
# With BASELINE_BIN set to a folder holding another kaviro-publish (an
# earlier build), that one is timed in the same runs too, for a before and
# after.
# Every run writes into a fresh folder below $KAVIRO_BENCH_DIR (default: the
# build folder); all of it is removed at the end. Creating files is much
# slower for some minutes after many were deleted, so leave a few minutes
# between two runs of this script.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-${KAVIRO_BUILD_DIR:-$top/build}}" && pwd)
runs=${RUNS:-5}
bin=$build/bin
bench=$bin/kaviro_publisher_bench
listings=100000
. "$top/bench/publisher/timing.sh"

work=$(mktemp -d "${KAVIRO_BENCH_DIR:-$build}/publish-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "Lege $listings Wohnungen in SQLite an ..."
"$bench" --template "$work/bench.templ"
sqlite3 "$work/bench.db" < "$top/examples/wohnungen-sqlite.sql"
"$bench" --listings-sql "$listings" | sqlite3 "$work/bench.db"
snapshot=$("$bench" --snapshot-bytes "$listings")

for mode in 0 1; do
  : > "$work/publish-$mode"
  : > "$work/write-$mode"
  : > "$work/sql-$mode"
  : > "$work/baseline-$mode"
  : > "$work/rss-$mode"
  for i in $(seq 1 "$runs"); do
    out=$work/out-$mode-$i
    mkdir "$out"
    printf '[Template]\r\nFilename=%s\r\nOutput=%s\r\nMultiPage=%s\r\nRowsPerPage=5\r\n[Database]\r\nConnectionString=Provider=SQLite;Data Source=%s\r\n' \
      "$work/bench.templ" "$out" "$mode" "$work/bench.db" > "$work/kaviro.ini"
    timed "$work/rss" "$bin/kaviro-publish" --settings "$work/kaviro.ini" >> "$work/publish-$mode"
    [ -s "$work/rss" ] && cat "$work/rss" >> "$work/rss-$mode"
    [ -f "$work/pack-$mode" ] || "$bench" --pack "$out" "$work/pack-$mode"
    timed "$work/rss-ref" "$bench" --write-pack "$work/pack-$mode" "$work/ref-$mode-$i" >> "$work/write-$mode"
    timed "$work/rss-ref" "$bench" --read-sorted "$work/bench.db" >> "$work/sql-$mode"
    if [ -n "${BASELINE_BIN:-}" ]; then
      mkdir "$work/base-$mode-$i"
      sed "s|$out|$work/base-$mode-$i|" "$work/kaviro.ini" > "$work/baseline.ini"
      timed "$work/rss-ref" "$BASELINE_BIN/kaviro-publish" --settings "$work/baseline.ini" >> "$work/baseline-$mode"
    fi
  done
done

report() {
  local mode=$1 title=$2 target=$3
  local publish write sql baseline files bytes
  publish=$(median < "$work/publish-$mode")
  write=$(median < "$work/write-$mode")
  sql=$(median < "$work/sql-$mode")
  files=$(find "$work/out-$mode-1" -type f -name '*.html' | wc -l)
  bytes=$(du -sb "$work/out-$mode-1" | cut -f1)
  awk -v t="$title" -v p="$publish" -v w="$write" -v q="$sql" -v f="$files" -v b="$bytes" -v z="$target" 'BEGIN {
    printf "%s: %d Datei(en), %.1f MB\n", t, f, b / 1e6
    printf "  kaviro-publish %.3f s, ein Prozess, der dieselben Dateien schreibt, %.3f s, Verhaeltnis %.2f (Ziel hoechstens %s)\n", p, w, p / w, z
    printf "  SQLite liest und sortiert %.3f s; Boden (Lesen, Sortieren, Schreiben) %.3f s, Verhaeltnis %.2f (Ziel hoechstens 1.5)\n", q, q + w, p / (q + w)
  }'
  if [ -s "$work/baseline-$mode" ]; then
    baseline=$(median < "$work/baseline-$mode")
    awk -v p="$publish" -v o="$baseline" -v w="$write" -v q="$sql" 'BEGIN {
      printf "  Vergleichsstand %.3f s (Boden-Verhaeltnis %.2f), dieser Stand %.3f s\n", o, o / (q + w), p
    }'
  fi
}
report 0 "Eine Seite" "2; und hoechstens 0.47 s"
report 1 "Seiten zu fuenf" "1.3"
if [ -s "$work/rss-0" ]; then
  for mode in 0 1; do
    rss=$(median < "$work/rss-$mode")
    awk -v r="$rss" -v s="$snapshot" -v m="$mode" 'BEGIN {
      printf "Speicher (%s): hoechstens %.1f MB belegt, Snapshot %.1f MB, Verhaeltnis %.2f (Ziel hoechstens 2)\n",
             m ? "Seiten zu fuenf" : "eine Seite", r / 1024, s / 1e6 / 1.048576, r * 1024 / s
    }'
  done
fi
