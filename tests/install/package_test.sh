#!/usr/bin/env bash
# Builds the Debian package from this build folder's programs with cpack and
# inspects it: its control fields, its files, and a clean install into a
# throw-away root (dpkg --root; no maintainer scripts run, the host's package
# database stays untouched).
# Usage: package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
. "$(dirname "$0")/testlib.sh"
require_root

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log"
  fail "cpack scheitert"
}
deb=$(echo "$work"/out/kaviro_"$version"_*.deb)
expect_file "$deb"

info=$(dpkg-deb --info "$deb")
expect_contains "$info" " Package: kaviro"$'\n' "Paketname"
expect_contains "$info" " Version: $version"$'\n' "Version"
depends=$(dpkg-deb --field "$deb" Depends)
for dependency in qt6-translations-l10n libqt6sql6-sqlite libqt6core6 libqt6widgets6 libqt6sql6 libssl3; do
  expect_contains "$depends" "$dependency" "Depends"
done
recommends=$(dpkg-deb --field "$deb" Recommends)
expect_contains "$recommends" "libqt6sql6-psql" "Recommends"
expect_contains "$recommends" "libqt6sql6-odbc" "Recommends"

contents="$(dpkg-deb --contents "$deb")"$'\n'
for file in usr/bin/kaviro usr/bin/kaviro-publish usr/bin/kaviro-createdb \
            usr/share/kaviro/examples/wohnungen.templ usr/share/kaviro/examples/demo-wohnungen.sql \
            usr/share/kaviro/examples/wohnung-detail.templ usr/share/kaviro/examples/demo-bilder/bilder.txt \
            usr/share/applications/de.kaviro.Kaviro.desktop usr/share/metainfo/de.kaviro.Kaviro.metainfo.xml \
            usr/share/icons/hicolor/scalable/apps/kaviro.svg usr/share/icons/hicolor/128x128/apps/kaviro.png \
            usr/share/man/man1/kaviro.1.gz usr/share/man/man1/kaviro-publish.1.gz; do
  expect_contains "$contents" " ./$file"$'\n' "Paketinhalt"
done
expect_contains "$contents" "-rwxr-xr-x root/root" "Rechte der Programme"

root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: >"$root/var/lib/dpkg/status"
dpkg --root="$root" --force-depends --log=/dev/null --install "$deb" >"$work/dpkg.log" 2>&1 || {
  cat "$work/dpkg.log"
  fail "dpkg --root kann das Paket nicht installieren"
}
expect_contains "$(dpkg --root="$root" --status kaviro)" "Status: install ok installed" "dpkg-Status"
expect_contains "$("$root/usr/bin/kaviro-publish" --version)" "Version : $version" "kaviro-publish --version"
echo "Paket $(basename "$deb") in Ordnung."
