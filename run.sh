#!/usr/bin/env bash
# Installs what is missing, builds Kaviro and runs its main job on the demo data.
#
# On first use it prepares a demo workspace: demo/wohnungen.db (the demo
# listings), demo/wohnungen.templ (the demo template), the output folder
# demo/html, and the settings file kaviro.ini beside the built programs,
# pointing at them. Nothing that exists already is overwritten, so edits to
# the template, the database or the settings stay.
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
if [ ! -e "$demo/wohnungen.templ" ]; then
  cp "$top/examples/wohnungen.templ" "$demo/wohnungen.templ"
  echo "Demo-Vorlage angelegt: $demo/wohnungen.templ"
fi
if [ ! -e "$settings" ]; then
  # The settings file is Windows-1252 like the desktop program writes it.
  {
    printf '[Template]\r\nFilename=%s\r\nOutput=%s\r\nMultiPage=1\r\nRowsPerPage=5\r\n' \
      "$demo/wohnungen.templ" "$demo/html"
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
