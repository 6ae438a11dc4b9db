#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer.
#   scripts/fuzz.sh camera [SECONDS]    the QuickTime camera metadata reader
#   scripts/fuzz.sh records [SECONDS]   the journal and receipt decoders and their round trip
# SECONDS defaults to 600; the fuzzer runs at the lowest priority. Builds with clang in
# build/fuzz; the growing corpus is build/fuzz/corpus-TARGET, and an input that crashes, hangs
# or breaks a limit is written to build/fuzz/artifacts/. Keep such an input as a regression test
# by copying it into the target's regressions folder (tests/fuzz/regressions for camera,
# tests/fuzz/records/regressions for records); camera_tests and records_tests replay them.
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:-}
seconds=${2:-600}
case "$target" in
camera) inputs=(tests/fuzz/seeds tests/fuzz/regressions) options=(-max_len=131072 -dict=tests/fuzz/camera.dict) ;;
records) inputs=(tests/fuzz/records/seeds tests/fuzz/records/regressions) options=(-max_len=16384) ;;
*) echo "usage: $0 camera|records [SECONDS]" >&2; exit 2 ;;
esac
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: $0 camera|records [SECONDS]" >&2; exit 2; }

scripts/install-deps.sh

build=build/fuzz
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S tests/fuzz -B "$build" -G Ninja \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="$sanitizers" \
    -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" >/dev/null
cmake --build "$build" --target "${target}_fuzz"

corpus="$build/corpus-$target"
mkdir -p "$corpus" "$build/artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# A hang is any input that takes more than 10 s.
exec nice -n 19 "$build/${target}_fuzz" \
    -max_total_time="$seconds" \
    -timeout=10 \
    -rss_limit_mb=2048 \
    "${options[@]}" \
    -artifact_prefix="$build/artifacts/" \
    -print_final_stats=1 \
    "$corpus" "${inputs[@]}"
