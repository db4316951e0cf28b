#!/usr/bin/env bash
# Times kaviro-publish writing list pages, detail pages and photos, each run
# beside the cost of writing the same bytes into the same files afresh:
#   the demo: the database kaviro-createdb makes, with its photos of
#     1600 x 1067 pixels, and the demo templates;
#   1,000 listings with 5 photos each of 2000 x 1333 pixels (about 570 KB, as
#     the photo store keeps a camera's photo), with the same templates.
# Pages of five, one detail page per listing. A generation writes each photo
# as stored and a thumbnail it scales from it. Medians of RUNS runs
# (default 5), generation and reference taking turns.
#
# The reference is timed like kaviro-publish, as a whole process: it reads
# the bytes of a generation from one file (packed beforehand) and creates and
# writes the same files, sub-folder included, in a new folder.
#
# Usage: bench/publisher/photo_bench.sh [BUILD_DIR]
# Every run writes into a fresh folder below $KAVIRO_BENCH_DIR (default: the
# build folder). The 1,000 listings take about 3 GB in the database, 3 GB in
# the pack and 3 GB per run, so each run's folders are removed after it
# (leave some 12 GB free); all of it is removed at the end.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-${KAVIRO_BUILD_DIR:-$top/build}}" && pwd)
runs=${RUNS:-5}
bin=$build/bin
bench=$bin/kaviro_publisher_bench
listings=1000
photos=5
. "$top/bench/publisher/timing.sh"

work=$(mktemp -d "${KAVIRO_BENCH_DIR:-$build}/photo-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "Lege die Demo-Datenbank und $listings Wohnungen mit je $photos Fotos an ..."
"$bin/kaviro-createdb" "$work/demo.db" > /dev/null
"$bin/kaviro-createdb" "$work/viele.db" --empty > /dev/null
"$bench" --listings-sql "$listings" | sqlite3 "$work/viele.db"
"$bin/kaviro_photo_bench_data" "$work/viele.db" "$photos"

# Runs generation and reference RUNS times on one database; prints the report.
compare() { # title database
  local title=$1 db=$2 name i out
  name=$(basename "$db" .db)
  : > "$work/publish-$name"
  : > "$work/write-$name"
  : > "$work/rss-$name"
  for i in $(seq 1 "$runs"); do
    out=$work/out-$name-$i
    mkdir "$out"
    printf '[Template]\r\nFilename=%s\r\nOutput=%s\r\nMultiPage=1\r\nRowsPerPage=5\r\nDetailvorlage=%s\r\n[Database]\r\nConnectionString=Provider=SQLite;Data Source=%s\r\n' \
      "$top/examples/wohnungen.templ" "$out" "$top/examples/wohnung-detail.templ" "$db" > "$work/$name.ini"
    timed "$work/rss" "$bin/kaviro-publish" --settings "$work/$name.ini" >> "$work/publish-$name"
    [ -s "$work/rss" ] && cat "$work/rss" >> "$work/rss-$name"
    if [ ! -f "$work/pack-$name" ]; then
      "$bench" --pack "$out" "$work/pack-$name"
      find "$out" -type f | wc -l > "$work/files-$name"
      du -sb "$out" | cut -f1 > "$work/bytes-$name"
    fi
    timed "$work/rss-ref" "$bench" --write-pack "$work/pack-$name" "$work/ref-$name-$i" >> "$work/write-$name"
    rm -rf "$out" "$work/ref-$name-$i"
  done
  rm -f "$work/pack-$name"
  local rss=0
  [ -s "$work/rss-$name" ] && rss=$(median < "$work/rss-$name")
  awk -v t="$title" -v p="$(median < "$work/publish-$name")" -v w="$(median < "$work/write-$name")" \
      -v f="$(cat "$work/files-$name")" -v b="$(cat "$work/bytes-$name")" -v r="$rss" 'BEGIN {
    printf "%s: %d Dateien, %.1f MB\n", t, f, b / 1e6
    printf "  kaviro-publish %.3f s, ein Prozess, der dieselben Dateien schreibt, %.3f s, Verhaeltnis %.1f\n", p, w, p / w
    if (r > 0) printf "  kaviro-publish belegt hoechstens %.1f MB\n", r / 1024
  }'
}

compare "Demo" "$work/demo.db"
compare "$listings Wohnungen mit je $photos Fotos" "$work/viele.db"
