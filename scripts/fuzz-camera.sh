#!/usr/bin/env bash
# Fuzzes the QuickTime camera metadata reader with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer.
#   scripts/fuzz-camera.sh [SECONDS]     run for SECONDS (default 600), at the lowest priority
# Builds with clang in build/fuzz; the growing corpus is build/fuzz/corpus, and an input that
# crashes, hangs or breaks a read limit is written to build/fuzz/artifacts/. Keep such an input
# as a regression test by copying it into tests/fuzz/regressions/ (camera_tests replays it).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS]" >&2; exit 2; }

scripts/install-deps.sh

build=build/fuzz
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S tests/fuzz -B "$build" -G Ninja \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="$sanitizers" \
    -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" >/dev/null
cmake --build "$build" --target camera_fuzz

mkdir -p "$build/corpus" "$build/artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# A hang is any input that takes more than 10 s; inputs up to 128 KiB reach the 4096-key lists.
exec nice -n 19 "$build/camera_fuzz" \
    -max_total_time="$seconds" \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -max_len=131072 \
    -dict=tests/fuzz/camera.dict \
    -artifact_prefix="$build/artifacts/" \
    -print_final_stats=1 \
    "$build/corpus" tests/fuzz/seeds tests/fuzz/regressions
