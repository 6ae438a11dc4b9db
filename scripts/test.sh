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

# House style the compiler does not check (.clang-tidy): braces on every if, for and while, and
# functions of at most 60 lines.
mapfile -t sources < <(find app ingest cli report -name '*.cpp' | sort)
clang-tidy -p "build/$preset" --quiet "${sources[@]}"

# A real desktop has other drives mounted: in CI (or with QUAYMARK_EXTRA_DRIVE=1) the suite
# runs beside an exFAT loop drive of its own, which no test may mistake for its own.
extra=""
remove_extra() {
    [[ -n "$extra" ]] || return 0
    umount /media/quaymark-extra 2>/dev/null || true
    losetup -d "$extra" 2>/dev/null || true
    rm -f /tmp/quaymark-extra.img
}
if [[ "${CI:-}" == "true" || "${QUAYMARK_EXTRA_DRIVE:-}" == "1" ]]; then
    truncate -s 64M /tmp/quaymark-extra.img
    if mkfs.exfat -L EXTRA /tmp/quaymark-extra.img >/dev/null &&
        extra=$(losetup -f --show /tmp/quaymark-extra.img) && mkdir -p /media/quaymark-extra &&
        { mount -t exfat "$extra" /media/quaymark-extra 2>/dev/null ||
            /usr/sbin/mount.exfat-fuse "$extra" /media/quaymark-extra; }; then
        trap remove_extra EXIT
        echo "An extra exFAT drive is mounted at /media/quaymark-extra ($extra)."
    else
        remove_extra
        # CI proves the suite beside another drive; without one, that proof is missing.
        if [[ "${CI:-}" == "true" ]]; then
            echo "error: no extra drive could be mounted" >&2
            exit 1
        fi
        echo "warning: no extra drive could be mounted; the suite runs without it" >&2
    fi
fi

ctest --preset "$preset" --timeout 600 -j "$(nproc)"
