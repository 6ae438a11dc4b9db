#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds everything and runs every test.
#   scripts/test.sh            the normal build
#   scripts/test.sh asan       AddressSanitizer + UndefinedBehaviorSanitizer
#   scripts/test.sh tsan       ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."

preset=${1:-default}
[[ "${CI:-}" == "true" && $# -eq 0 ]] && preset=ci

scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"

# House style the compiler does not check: braces on every if, for and while (.clang-tidy).
mapfile -t sources < <(find app -name '*.cpp' | sort)
clang-tidy -p "build/$preset" --quiet "${sources[@]}"

ctest --preset "$preset" --timeout 600 -j "$(nproc)"
