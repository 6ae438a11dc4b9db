#!/usr/bin/env bash
# Installs what is missing, builds everything and starts Quaymark.
# Until the desktop application exists, this builds the headless quaymark-ingest command and
# shows how to use it; arguments are passed on to it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

ingest=build/default/cli/quaymark-ingest
if [[ $# -gt 0 ]]; then
    exec "$ingest" "$@"
fi
echo
echo "Built $ingest, the import engine as a command. For example:"
echo "  $ingest import /media/\$USER/CARD --to /srv/footage --to /mnt/backup"
echo "  $ingest verify /srv/footage/2025-03-01/Sony_ILCE-7SM3_093005"
echo "  scripts/run.sh --help        (everything it can do)"
