#!/usr/bin/env bash
# Installs what is missing, builds Kaviro and runs its main job on the demo data.
#
# On first use it prepares a demo workspace: demo/wohnungen.db (the demo
# listings with their photos), demo/wohnungen.templ and
# demo/wohnung-detail.templ (the demo templates for the list pages and for
# one page per listing), the output folder demo/html, and the settings file
# kaviro.ini beside the built programs, pointing at them. Nothing that exists
# already is overwritten, so edits to the templates, the database or the
# settings stay; remove demo/ and kaviro.ini to start afresh.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
build=${KAVIRO_BUILD_DIR:-$top/build}
"$top/scripts/deps.sh" build
"$top/scripts/build.sh"

bin=$build/bin
demo=$top/demo
settings=$bin/kaviro.ini

mkdir -p "$demo/html"
if [ ! -e "$demo/wohnungen.db" ]; then
  "$bin/kaviro-createdb" "$demo/wohnungen.db" >/dev/null
  echo "Demo-Datenbank angelegt: $demo/wohnungen.db"
fi
for template in wohnungen.templ wohnung-detail.templ; do
  if [ ! -e "$demo/$template" ]; then
    cp "$top/examples/$template" "$demo/$template"
    echo "Demo-Vorlage angelegt: $demo/$template"
  fi
done
if [ ! -e "$settings" ]; then
  # The settings file is Windows-1252 like the desktop program writes it.
  {
    printf '[Template]\r\nFilename=%s\r\nOutput=%s\r\nMultiPage=1\r\nRowsPerPage=5\r\nDetailvorlage=%s\r\n' \
      "$demo/wohnungen.templ" "$demo/html" "$demo/wohnung-detail.templ"
    printf '[Database]\r\nConnectionString=Provider=SQLite;Data Source=%s\r\n' "$demo/wohnungen.db"
  } | iconv -f UTF-8 -t WINDOWS-1252 > "$settings.tmp" || {
    rm -f "$settings.tmp"
    echo "Der Pfad $top enthält Zeichen, die die Einstellungsdatei (Windows-1252) nicht fassen kann." >&2
    exit 1
  }
  mv "$settings.tmp" "$settings"
  echo "Einstellungsdatei angelegt: $settings"
fi

# With a display the desktop program opens on the demo workspace (it reads
# the same settings file beside it); without one the headless publisher runs.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$bin/kaviro" ]; then
  echo "Kaviro öffnet die Demo-Wohnungen ($settings)."
  exec "$bin/kaviro"
fi

pages=$("$bin/kaviro-publish" --settings "$settings")
printf '%s\n' "$pages"
first=$(printf '%s\n' "$pages" | head -n 1)
echo
echo "Die Seiten liegen in $(dirname "$first"). Die erste Seite im Browser: file://$first"
