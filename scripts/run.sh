#!/usr/bin/env bash
# Installs what is missing, builds everything and starts Quaymark.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

echo
echo "Built the import engine library and its tests (build/default)."
echo "There is no program to start yet; run the tests with: scripts/test.sh"
