#!/usr/bin/env bash
# Installs what is missing, builds Kaviro and runs its main job on the demo data.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/deps.sh" build
"$top/scripts/build.sh"
echo "Kaviro ist gebaut. Der Seitengenerator fehlt noch; es gibt noch nichts zu veröffentlichen."
