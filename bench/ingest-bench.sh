#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times quaymark-ingest against plain tools, all figures of one run side by side:
#   large  about 2 GiB of clips with sidecars, one destination, against the plain-tool verified
#          copy (cp, sync, caches dropped, openssl dgst of source and copy), rsync, and the three
#          disk passes no verified copy can skip, timed one after another; and the
#          same import with XXH3-128 left out, to show what the second hash costs.
#   small  5,000 files of 40 KB in 50 folders, one destination, against rsync -a --checksum
#          followed by sync.
#   card   800 MB of clips on an ext4 image whose reads are throttled to 200 MB/s like a card
#          reader (blkio cgroup v1, or io.max on cgroup v2), --parallel 4, to one, two and three
#          destinations: with shared reads each finishes in about the time of one.
#   laggard  800 MB of clips on a tmpfs to two destinations on a tmpfs, alone and then beside
#          a third on an ext4 image whose writes are throttled to 20 MB/s (blkio cgroup v1,
#          io.max on v2): the time the two fast destinations take should not change much.
#   hashcost  1 GiB of clips with source and destination on a tmpfs, with and without
#          XXH3-128: what the hashes cost where storage is not the limit.
# Usage: bench/ingest-bench.sh [large|hashcost|small|card|laggard|all, default all] [work folder]
# BENCH_BASELINE=path/to/another/quaymark-ingest also times that build in the same run (say,
# one built from an earlier commit); BENCH_DEST_TMPFS=1 gives each destination of the card set
# a tmpfs of its own, standing in for separate fast drives.
# Runs as root (cache drops, loop device, cgroup); peak memory is the maximum resident size
# that /usr/bin/time reports.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

ingest=$repo/build/default/bin/quaymark-ingest
# The same command built without XXH3-128, to show what the second hash costs.
sha256_only=$repo/build/default/bench/quaymark-ingest-sha256-only
[[ -x $ingest && -x $sha256_only ]] || { cmake --preset default >/dev/null &&
    cmake --build build/default -j1 --target quaymark-ingest quaymark-ingest-sha256-only; }
command -v rsync >/dev/null && [[ -x /usr/bin/time ]] || scripts/install-deps.sh

sets=${1:-all}
work=${2:-$(mktemp -d /tmp/quaymark-bench.XXXXXX)}
mkdir -p "$work"
card_mount=$work/card-mnt
loop=
cleanup() {
    if mountpoint -q "$card_mount" 2>/dev/null; then umount "$card_mount"; fi
    if mountpoint -q "$work/mem" 2>/dev/null; then umount "$work/mem"; fi
    for d in "$work"/d1 "$work"/d2 "$work"/d3; do
        if mountpoint -q "$d" 2>/dev/null; then umount "$d"; fi
    done
    if [[ -n $loop ]]; then losetup -d "$loop"; fi
    if [[ -d /sys/fs/cgroup/blkio/quaymark-card ]]; then rmdir /sys/fs/cgroup/blkio/quaymark-card || true; fi
    if [[ -d /sys/fs/cgroup/quaymark-card ]]; then rmdir /sys/fs/cgroup/quaymark-card || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

drop_caches() {
    sync
    if [[ $(id -u) -eq 0 ]]; then echo 3 > /proc/sys/vm/drop_caches; fi
}

# Runs a command with caches dropped first; prints "seconds peak-KiB". With CGROUP_PROCS set,
# the command runs from a shell that first puts itself into that cgroup.
measure() {
    local log=$work/time.log
    drop_caches
    if [[ -n ${CGROUP_PROCS:-} ]]; then
        /usr/bin/time -f '%e %M' -o "$log" bash -c 'echo $$ > "$0" && exec "$@"' "$CGROUP_PROCS" "$@" >/dev/null 2>&1
    else
        /usr/bin/time -f '%e %M' -o "$log" "$@" >/dev/null 2>&1
    fi
    if grep -q 'exited with non-zero' "$log"; then
        echo "  FAILED: $*" >&2
        exit 1
    fi
    cat "$log"
}

report() { # name bytes files seconds peak-KiB
    awk -v n="$1" -v b="$2" -v f="$3" -v s="$4" -v m="$5" 'BEGIN {
        printf "  %-44s %7.1f MB/s %7.0f files/s %7.2f s %6.0f MiB peak\n", n, b / s / 1e6, f / s, s, m / 1024 }'
}

ratio() { awk -v a="$2" -v b="$3" -v t="$1" 'BEGIN { printf "  %s: %.2fx\n", t, a / b }'; }

make_large() {
    local root=$1
    for dir in 100CANON 101CANON; do
        mkdir -p "$root/DCIM/$dir"
        for i in 1 2 3 4; do
            head -c $((256 * 1024 * 1024)) /dev/urandom > "$root/DCIM/$dir/C000$i.MP4"
            head -c 20000 /dev/urandom > "$root/DCIM/$dir/C000$i.XML"
            head -c 9000 /dev/urandom > "$root/DCIM/$dir/C000$i.THM"
        done
    done
}

make_small() {
    local root=$1
    for d in $(seq 0 49); do
        mkdir -p "$root/DCIM/$((100 + d))MEDIA"
        for f in $(seq 0 99); do
            head -c 40960 /dev/urandom > "$root/DCIM/$((100 + d))MEDIA/F$f.JPG"
        done
    done
}

fresh() {
    local d
    for d in "$work"/d1 "$work"/d2 "$work"/d3; do
        if mountpoint -q "$d" 2>/dev/null; then
            find "$d" -mindepth 1 -delete
        else
            rm -rf "$d"
            mkdir -p "$d"
        fi
    done
}

# Times quaymark-ingest with the given arguments, then the baseline build if one was given.
# Leaves the seconds of the first in $seconds.
run_ingest() { # label bytes files arguments...
    local label=$1 bytes=$2 files=$3 s m
    shift 3
    fresh
    read -r s m < <(measure "$ingest" "$@")
    report "$label" "$bytes" "$files" "$s" "$m"
    seconds=$s
    # The build without XXH3-128 has no baseline twin: its figure would mean something else.
    if [[ -n ${BENCH_BASELINE:-} && $ingest != "$sha256_only" ]]; then
        fresh
        read -r s m < <(measure "$BENCH_BASELINE" "$@")
        report "$label, baseline" "$bytes" "$files" "$s" "$m"
        baseline_seconds=$s
    fi
}

size_of() { du -sb --apparent-size "$1" | cut -f1; }

# rsync -a --checksum of FOLDER/ into d1, then sync: the peer of every set. Sets $sr.
peer_rsync() {
    local folder=$1 label=$2 bytes=$3 files=$4 mr
    fresh
    read -r sr mr < <(measure bash -c "rsync -a --checksum '$folder/' '$work/d1/' && sync")
    report "$label" "$bytes" "$files" "$sr" "$mr"
}
count_of() { find "$1" -type f | wc -l; }

# What no verified copy can skip, each pass alone on the disk: a cold direct read of the source,
# a durable direct write of as many bytes, a cold direct reread of the copy, one request at a
# time. The plain-tool copy moves the same bytes through the disk.
disk_passes() { # source destination
    find "$1" -type f -print0 | xargs -0 -I{} dd if={} of=/dev/null bs=8M iflag=direct status=none
    find "$1" -type f -printf '%s %P\0' | while IFS=' ' read -r -d '' size name; do
        head -c "$size" /dev/zero | dd of="$2/${name//\//_}" bs=8M iflag=fullblock oflag=direct conv=fsync status=none
    done
    sync
    echo 3 > /proc/sys/vm/drop_caches
    find "$2" -type f -print0 | xargs -0 -I{} dd if={} of=/dev/null bs=8M iflag=direct status=none
}

bench_large() {
    local source=$work/large
    make_large "$source"
    local bytes files
    bytes=$(size_of "$source"); files=$(count_of "$source")
    echo "large clips: $files files, $((bytes / 1000000)) MB, one destination"

    run_ingest "quaymark-ingest (SHA-256 + XXH3-128)" "$bytes" "$files" \
        import "$source" --to "$work/d1" --all-files --parallel 4 --camera B --no-mhl
    local s1=$seconds
    ingest=$sha256_only run_ingest "quaymark-ingest (SHA-256 only)" "$bytes" "$files" \
        import "$source" --to "$work/d1" --all-files --parallel 4 --camera B --no-mhl
    local sx=$seconds
    fresh
    read -r sp mp < <(measure bash -c "cp -r '$source' '$work/d1/' && sync && echo 3 > /proc/sys/vm/drop_caches && find '$source' '$work/d1' -type f -print0 | xargs -0 openssl dgst -sha256")
    report "cp, sync, drop caches, openssl both" "$bytes" "$files" "$sp" "$mp"
    peer_rsync "$source" "rsync -a --checksum + sync" "$bytes" "$files"
    fresh
    read -r sd md < <(measure bash -c "$(declare -f disk_passes); disk_passes '$source' '$work/d1'")
    report "the three disk passes, one after another" "$bytes" "$files" "$sd" "$md"
    ratio "speed over the plain-tool verified copy" "$sp" "$s1"
    ratio "speed over the three disk passes" "$sd" "$s1"
    # Bytes through the disk per second: a verified copy reads, writes and rereads; rsync reads
    # and writes. Where the import runs the disk as fast as rsync does, the disk is the limit.
    awk -v b="$bytes" -v i="$s1" -v p="$sp" -v r="$sr" 'BEGIN {
        printf "  disk traffic: import %.0f MB/s, plain-tool verified copy %.0f MB/s, rsync %.0f MB/s\n",
            3 * b / i / 1e6, 3 * b / p / 1e6, 2 * b / r / 1e6 }'
    awk -v a="$s1" -v b="$sx" 'BEGIN { printf "  XXH3-128 costs %.1f %% of the import time\n", (a - b) / b * 100 }'
    rm -rf "$source"
}

bench_small() {
    local source=$work/small
    make_small "$source"
    local bytes files
    bytes=$(size_of "$source"); files=$(count_of "$source")
    echo "small files: $files files, $((bytes / 1000000)) MB, one destination"

    run_ingest "quaymark-ingest" "$bytes" "$files" \
        import "$source" --to "$work/d1" --all-files --parallel 4 --camera B
    local s1=$seconds
    peer_rsync "$source" "rsync -a --checksum + sync" "$bytes" "$files"
    ratio "files/s against rsync --checksum + sync" "$sr" "$s1"
    rm -rf "$source"
}

# The hashes' own cost, with storage out of the way: source and destination on a tmpfs.
bench_hashcost() {
    [[ $(id -u) -eq 0 ]] || { echo "hashcost: needs root (tmpfs)"; return; }
    local mem=$work/mem
    mkdir -p "$mem"
    mount -t tmpfs -o size=3g tmpfs "$mem"
    local source=$mem/card bytes files
    mkdir -p "$source/DCIM/100CANON" "$mem/d"
    for i in 1 2 3 4; do
        head -c $((256 * 1024 * 1024)) /dev/urandom > "$source/DCIM/100CANON/C000$i.MP4"
    done
    bytes=$(size_of "$source"); files=$(count_of "$source")
    echo "hash cost on tmpfs: $files files, $((bytes / 1000000)) MB, one destination"
    local s m sx mx sb mb
    rm -rf "$mem/d"/*
    read -r s m < <(measure "$ingest" import "$source" --to "$mem/d" --parallel 4 --camera B --no-mhl)
    report "quaymark-ingest (SHA-256 + XXH3-128)" "$bytes" "$files" "$s" "$m"
    rm -rf "$mem/d"/*
    read -r sx mx < <(measure "$sha256_only" import "$source" --to "$mem/d" --parallel 4 --camera B --no-mhl)
    report "quaymark-ingest (SHA-256 only)" "$bytes" "$files" "$sx" "$mx"
    if [[ -n ${BENCH_BASELINE:-} ]]; then
        rm -rf "$mem/d"/*
        read -r sb mb < <(measure "$BENCH_BASELINE" import "$source" --to "$mem/d" --parallel 4 --camera B --no-mhl)
        report "baseline (SHA-256 + XXH3-128)" "$bytes" "$files" "$sb" "$mb"
    fi
    awk -v a="$s" -v b="$sx" 'BEGIN { printf "  XXH3-128 costs %.1f %% of the import time\n", (a - b) / b * 100 }'
    umount "$mem"
}

# Throttles reads or writes of the loop device to BYTES a second for the processes of the
# cgroup whose procs file it prints (blkio v1, io.max on v2).
throttle() { # read|write bytes
    local device
    device=$(lsblk -no MAJ:MIN "$loop" | tr -d ' ')
    if [[ -d /sys/fs/cgroup/blkio ]]; then
        mkdir -p /sys/fs/cgroup/blkio/quaymark-card
        echo "$device $2" > "/sys/fs/cgroup/blkio/quaymark-card/blkio.throttle.$1_bps_device"
        echo /sys/fs/cgroup/blkio/quaymark-card/cgroup.procs
    else
        mkdir -p /sys/fs/cgroup/quaymark-card
        echo "$device ${1:0:1}bps=$2" > /sys/fs/cgroup/quaymark-card/io.max
        echo /sys/fs/cgroup/quaymark-card/cgroup.procs
    fi
}

bench_card() {
    [[ $(id -u) -eq 0 ]] || { echo "card: needs root (loop device, cgroup)"; return; }
    local image=$work/card.img
    truncate -s 1200M "$image"
    mkfs.ext4 -q -F "$image"
    loop=$(losetup --find --show "$image")
    mkdir -p "$card_mount"
    mount "$loop" "$card_mount"
    mkdir -p "$card_mount/DCIM/100CANON"
    for i in 1 2 3 4 5 6 7 8; do
        head -c 100000000 /dev/urandom > "$card_mount/DCIM/100CANON/C000$i.MP4"
    done
    sync
    CGROUP_PROCS=$(throttle read 200000000)
    local source=$card_mount bytes files
    bytes=$(size_of "$source/DCIM"); files=$(count_of "$source/DCIM")
    echo "card at 200 MB/s: $files files, $((bytes / 1000000)) MB, --parallel 4"

    if [[ -n ${BENCH_DEST_TMPFS:-} ]]; then
        echo "  (each destination on a tmpfs of its own)"
        for d in "$work"/d1 "$work"/d2 "$work"/d3; do
            rm -rf "$d"; mkdir -p "$d"; mount -t tmpfs -o size=1200m tmpfs "$d"
        done
    fi
    local b1= b2= b3=
    run_ingest "quaymark-ingest, 1 destination" "$bytes" "$files" \
        import "$source" --to "$work/d1" --parallel 4 --camera B
    local s1=$seconds; b1=${baseline_seconds:-}
    run_ingest "quaymark-ingest, 2 destinations" "$bytes" "$files" \
        import "$source" --to "$work/d1" --to "$work/d2" --parallel 4 --camera B
    local s2=$seconds; b2=${baseline_seconds:-}
    run_ingest "quaymark-ingest, 3 destinations" "$bytes" "$files" \
        import "$source" --to "$work/d1" --to "$work/d2" --to "$work/d3" --parallel 4 --camera B
    local s3=$seconds; b3=${baseline_seconds:-}
    ratio "time of 2 destinations over 1" "$s2" "$s1"
    ratio "time of 3 destinations over 1" "$s3" "$s1"
    if [[ -z ${BENCH_DEST_TMPFS:-} ]]; then
        # Every destination writes and rereads its copy on the one disk: once that disk runs
        # flat out, each destination more adds its time.
        awk -v b="$bytes" -v a="$s1" -v c="$s2" -v d="$s3" 'BEGIN {
            printf "  destination disk traffic, 1/2/3 destinations: %.0f / %.0f / %.0f MB/s\n",
                2 * b / a / 1e6, 4 * b / c / 1e6, 6 * b / d / 1e6 }'
    fi
    if [[ -n $b1 ]]; then
        ratio "baseline: time of 2 destinations over 1" "$b2" "$b1"
        ratio "baseline: time of 3 destinations over 1" "$b3" "$b1"
    fi
    peer_rsync "$source/DCIM" "rsync -a --checksum + sync, 1 destination" "$bytes" "$files"
    unset CGROUP_PROCS
}

# Seconds from the start until each fast destination's receipt exists, for an import run in
# the cgroup, looked for every 0.1 s: "d1-seconds d2-seconds".
fast_finish() { # cgroup-procs arguments...
    local procs=$1 start a= b= now
    shift
    start=$(date +%s.%N)
    bash -c 'echo $$ > "$0" && exec "$@"' "$procs" "$ingest" "$@" >/dev/null 2>&1 &
    local pid=$!
    while [[ -z $a || -z $b ]] && kill -0 "$pid" 2>/dev/null; do
        now=$(date +%s.%N)
        [[ -z $a ]] && compgen -G "$work/d1/*/_QUAYMARK_VERIFIED.json" >/dev/null &&
            a=$(awk -v s="$start" -v n="$now" 'BEGIN { printf "%.1f", n - s }')
        [[ -z $b ]] && compgen -G "$work/d2/*/_QUAYMARK_VERIFIED.json" >/dev/null &&
            b=$(awk -v s="$start" -v n="$now" 'BEGIN { printf "%.1f", n - s }')
        sleep 0.1
    done
    wait "$pid"
    # Finished between two looks: the end is the bound.
    now=$(awk -v s="$start" -v n="$(date +%s.%N)" 'BEGIN { printf "%.1f", n - s }')
    echo "${a:-$now} ${b:-$now}"
}

# BENCH_BASELINE, when set, is timed the same way after this build.
bench_laggard() {
    [[ $(id -u) -eq 0 ]] || { echo "laggard: needs root (tmpfs, loop device, cgroup)"; return; }
    mkdir -p "$work/mem" "$work/d3"
    mount -t tmpfs -o size=3g tmpfs "$work/mem"
    local source=$work/mem/card
    mkdir -p "$source/DCIM/100CANON"
    for i in 1 2 3 4 5 6 7 8; do
        head -c 100000000 /dev/urandom > "$source/DCIM/100CANON/C000$i.MP4"
    done
    local image=$work/slow.img
    truncate -s 1200M "$image"
    mkfs.ext4 -q -F "$image"
    loop=$(losetup --find --show "$image")
    mount "$loop" "$work/d3"
    local procs
    procs=$(throttle write 20000000)
    echo "laggard: 8 clips of 100 MB, source and two destinations on a tmpfs"
    local fast slow
    rm -rf "$work/d1" "$work/d2"; mkdir -p "$work/mem/d1" "$work/mem/d2"
    ln -s "$work/mem/d1" "$work/d1"; ln -s "$work/mem/d2" "$work/d2"
    fast=$(fast_finish "$procs" import "$source" --to "$work/d1" --to "$work/d2" --camera B \
        --rule B)
    echo "  two fast destinations alone: finished at $fast s"
    rm -rf "$work/mem/d1"/* "$work/mem/d2"/*
    slow=$(fast_finish "$procs" import "$source" --to "$work/d1" --to "$work/d2" --to "$work/d3" \
        --camera B --rule B)
    echo "  beside a third written at 20 MB/s: the fast two finished at $slow s"
    if [[ -n ${BENCH_BASELINE:-} ]]; then
        rm -rf "$work/mem/d1"/* "$work/mem/d2"/* "$work/d3"/*
        slow=$(ingest=$BENCH_BASELINE fast_finish "$procs" import "$source" --to "$work/d1" \
            --to "$work/d2" --to "$work/d3" --camera B --rule B)
        echo "  baseline, beside the same third: the fast two finished at $slow s"
    fi
    rm -f "$work/d1" "$work/d2"
    umount "$work/d3"
}

echo "Work folder $work; caches dropped before every run"
case $sets in
    large) bench_large ;;
    small) bench_small ;;
    card) bench_card ;;
    laggard) bench_laggard ;;
    hashcost) bench_hashcost ;;
    all) bench_large; bench_hashcost; bench_small; bench_card ;;
    *) echo "usage: $0 [large|hashcost|small|card|laggard|all] [work folder]" >&2; exit 2 ;;
esac
fresh
