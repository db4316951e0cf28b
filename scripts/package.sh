#!/usr/bin/env bash
# Builds the Debian package kaviro_<version>_<arch>.deb into the top folder:
# a release build of the programs alone in build-package/ (or
# $KAVIRO_PACKAGE_BUILD_DIR), then cpack. Install it with
#   sudo apt install ./kaviro_*.deb
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${KAVIRO_PACKAGE_BUILD_DIR:-$top/build-package}
"$top/scripts/deps.sh" package

cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKAVIRO_INSTALLED_SETTINGS=ON \
      -DKAVIRO_BUILD_TESTS=OFF -DKAVIRO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

rm -f "$build"/package/kaviro_*.deb
(cd "$build" && cpack -G DEB -B "$build/package" >/dev/null)
for deb in "$build"/package/kaviro_*.deb; do
  cp "$deb" "$top/"
  echo "Paket gebaut: $top/$(basename "$deb")"
done
