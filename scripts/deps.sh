#!/usr/bin/env bash
# Installs the Debian packages Kaviro needs to build, run and test, when missing.
# Usage: scripts/deps.sh [build|test|package]
#   test adds the servers the tests talk to and the tools that check the
#   installed tree and the package; package adds what cpack needs.
set -euo pipefail

packages=(cmake g++ make pkg-config libssl-dev libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc
          qt6-translations-l10n sqlite3 libsqlite3-dev libpq-dev librsvg2-bin libssh-dev)
package_tools=(dpkg-dev file)
case "${1:-build}" in
  # python3-openssl: pyftpdlib's TLS handler; openssl: the test servers' certificates.
  test) packages+=(vsftpd python3-pyftpdlib python3-openssl openssl postgresql curl xvfb
                   openssh-server openssh-client
                   desktop-file-utils appstream man-db "${package_tools[@]}") ;;
  package) packages+=("${package_tools[@]}") ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installiere fehlende Pakete: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
