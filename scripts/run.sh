#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds everything and starts Quaymark, the desktop application.
# Arguments are passed on to it. The headless import command is built alongside, as
# build/default/bin/quaymark-ingest.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

exec build/default/bin/quaymark "$@"
