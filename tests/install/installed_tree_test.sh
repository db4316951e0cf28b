#!/usr/bin/env bash
# Installs this build folder into a staging folder (DESTDIR) and checks the
# tree a Linux desktop expects; then runs the installed kaviro-publish as an
# unprivileged user, who cannot write there and keeps the settings in the
# configuration folder.
# Usage: installed_tree_test.sh BUILD_DIR
set -euo pipefail
build=$1
. "$(dirname "$0")/testlib.sh"
require_root

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
stage=$work/stage
DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
usr=$stage/usr

for program in kaviro kaviro-publish kaviro-createdb; do
  [ -x "$usr/bin/$program" ] || fail "Programm fehlt: bin/$program"
done
for example in wohnungen.templ wohnung-detail.templ wohnungen-sqlite.sql wohnungen-postgresql.sql \
               demo-wohnungen.sql demo-bilder/bilder.txt demo-bilder/fassade.jpg; do
  expect_file "$usr/share/kaviro/examples/$example"
done

desktop=$usr/share/applications/de.kaviro.Kaviro.desktop
expect_file "$desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate lehnt $desktop ab"
expect_contains "$(cat "$desktop")" $'\nIcon=kaviro\n' "Menüeintrag"
metainfo=$usr/share/metainfo/de.kaviro.Kaviro.metainfo.xml
appstreamcli validate --no-net "$metainfo" >/dev/null || {
  appstreamcli validate --no-net "$metainfo"
  fail "appstreamcli lehnt $metainfo ab"
}
expect_contains "$(cat "$metainfo")" "<screenshot type=\"default\">" "AppStream-Daten"

expect_file "$usr/share/icons/hicolor/scalable/apps/kaviro.svg"
expect_contains "$(file -b "$usr/share/icons/hicolor/128x128/apps/kaviro.png")" "PNG image data, 128 x 128" "Icon"

for page in kaviro kaviro-publish; do
  man_file=$usr/share/man/man1/$page.1.gz
  expect_file "$man_file"
  text=$(LANG=C.UTF-8 MANWIDTH=80 man --warnings -l "$man_file" 2>"$work/man.err")
  [ ! -s "$work/man.err" ] || fail "man meldet zu $page.1: $(cat "$work/man.err")"
  expect_contains "$text" "BESCHREIBUNG" "Handbuchseite $page.1"
  expect_contains "$text" "kaviro/kaviro.ini" "Handbuchseite $page.1"
done

# The installed programs as the user nobody, with a home of their own.
home=$work/home
mkdir -p "$home/html"
chown -R nobody:nogroup "$home"
as_nobody() {
  setpriv --reuid=nobody --regid=nogroup --clear-groups -- \
    env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"
}
tree_before=$(cd "$stage" && find . -printf '%p %s %m %T@\n' | sort)
publish=$usr/bin/kaviro-publish

config=$home/config/kaviro/kaviro.ini
if out=$(as_nobody XDG_CONFIG_HOME="$home/config" "$publish" 2>&1); then
  fail "kaviro-publish ohne Einstellungsdatei meldet Erfolg: $out"
fi
expect_contains "$out" "\"$config\" wurde nicht gefunden" "Meldung ohne Einstellungsdatei"
out=$(as_nobody "$publish" 2>&1) && fail "kaviro-publish ohne Einstellungsdatei meldet Erfolg: $out"
expect_contains "$out" "\"$home/.config/kaviro/kaviro.ini\" wurde nicht gefunden" "Meldung ohne XDG_CONFIG_HOME"
expect_contains "$(as_nobody XDG_CONFIG_HOME="$home/config" "$publish" --help)" "$config" "--help"

as_nobody "$usr/bin/kaviro-createdb" "$home/wohnungen.db" >/dev/null
as_nobody mkdir -p "$(dirname "$config")"
as_nobody sh -c "cat > '$config'" <<INI
[Template]
Filename=$usr/share/kaviro/examples/wohnungen.templ
Output=$home/html
MultiPage=0
Detailvorlage=$usr/share/kaviro/examples/wohnung-detail.templ
[Database]
ConnectionString=Provider=SQLite;Data Source=$home/wohnungen.db
INI
out=$(as_nobody XDG_CONFIG_HOME="$home/config" "$publish" 2>&1) || fail "kaviro-publish scheitert: $out"
expect_contains "$out" "1 HTML-Seite mit 25 Wohnungen erzeugt." "Ausgabe von kaviro-publish"
expect_file "$home/html/wohnungen.html"
expect_file "$home/html/wohnung-1.html"
expect_file "$home/html/bilder/1-1-klein.jpg"

tree_after=$(cd "$stage" && find . -printf '%p %s %m %T@\n' | sort)
[ "$tree_before" = "$tree_after" ] || fail "im installierten Baum wurde geschrieben:"$'\n'"$(diff <(echo "$tree_before") <(echo "$tree_after"))"
echo "Installierter Baum in Ordnung."
