# Shared by the install tests: failing with a message, skipping, checks.

fail() {
  echo "FEHLER: $*" >&2
  exit 1
}

# Staging and running programs as another user needs root; CI runs as root.
require_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "Übersprungen: dieser Test läuft nur als root (wie in CI)." >&2
    exit 77
  fi
}

# expect_contains TEXT PART WHAT
expect_contains() {
  case "$1" in
    *"$2"*) ;;
    *) fail "$3: \"$2\" fehlt in:"$'\n'"$1" ;;
  esac
}

expect_file() {
  [ -f "$1" ] || fail "Datei fehlt: $1"
}
