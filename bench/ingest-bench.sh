#!/usr/bin/env bash
# Times quaymark-ingest against plain tools on card-like data sets:
#   large clips with sidecars in a DCIM-like tree (about 2 GiB), and 5,000 small files.
# Peers: cp -r followed by OpenSSL's SHA-256 of every source and copy, and rsync -a --checksum.
# Usage: bench/ingest-bench.sh [work folder, default a new folder under /tmp]
# Page caches are dropped before every run when this runs as root.
set -euo pipefail
cd "$(dirname "$0")/.."

ingest=build/default/cli/quaymark-ingest
[[ -x $ingest ]] || { cmake --preset default >/dev/null && cmake --build --preset default --target quaymark-ingest; }
command -v rsync >/dev/null && [[ -x /usr/bin/time ]] || scripts/install-deps.sh

work=${1:-$(mktemp -d /tmp/quaymark-bench.XXXXXX)}
trap 'rm -rf "$work"' EXIT

drop_caches() {
    sync
    if [[ $(id -u) -eq 0 ]]; then echo 3 > /proc/sys/vm/drop_caches; fi
}

make_large() {
    local root=$1/large
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
    local root=$1/small
    for d in $(seq 0 49); do
        mkdir -p "$root/DCIM/$((100 + d))MEDIA"
        for f in $(seq 0 99); do
            head -c $((16384 + (d * 100 + f) * 7919 % 49152)) /dev/urandom \
                > "$root/DCIM/$((100 + d))MEDIA/F$f.JPG"
        done
    done
}

# Runs a command and prints "seconds peak-KiB".
measure() {
    local log=$work/time.log
    drop_caches
    /usr/bin/time -f '%e %M' -o "$log" "$@" >/dev/null
    cat "$log"
}

report() { # name bytes files seconds peak
    awk -v n="$1" -v b="$2" -v f="$3" -v s="$4" -v m="$5" 'BEGIN {
        printf "  %-34s %8.1f MB/s %8.0f files/s %8.1f s %7.0f MiB peak\n", n, b / s / 1e6, f / s, s, m / 1024 }'
}

run_set() {
    local name=$1 source=$work/$1
    local bytes files
    bytes=$(du -sb --apparent-size "$source" | cut -f1)
    files=$(find "$source" -type f | wc -l)
    echo "$name: $files files, $((bytes / 1000000)) MB"

    rm -rf "$work/d1" "$work/d2"; mkdir -p "$work/d1" "$work/d2"
    read -r s1 m1 < <(measure "$ingest" import "$source" --to "$work/d1" --all-files --parallel 4 --camera B)
    report "quaymark-ingest, 1 destination" "$bytes" "$files" "$s1" "$m1"

    rm -rf "$work/d1" "$work/d2"; mkdir -p "$work/d1" "$work/d2"
    read -r s2 m2 < <(measure "$ingest" import "$source" --to "$work/d1" --to "$work/d2" --all-files --parallel 4 --camera B)
    report "quaymark-ingest, 2 destinations" "$((2 * bytes))" "$((2 * files))" "$s2" "$m2"

    rm -rf "$work/d1"; mkdir -p "$work/d1"
    read -r sp mp < <(measure bash -c "cp -r '$source' '$work/d1/' && sync && find '$source' '$work/d1' -type f -print0 | xargs -0 openssl dgst -sha256")
    report "cp -r + openssl sha256 of both" "$bytes" "$files" "$sp" "$mp"

    rm -rf "$work/d1"; mkdir -p "$work/d1"
    read -r sr mr < <(measure bash -c "rsync -a --checksum '$source/' '$work/d1/' && sync")
    report "rsync -a --checksum" "$bytes" "$files" "$sr" "$mr"

    awk -v a="$s1" -v p="$sp" -v r="$sr" 'BEGIN {
        printf "  ratio to cp + openssl: %.2fx   ratio to rsync --checksum: %.2fx\n", p / a, r / a }'
    rm -rf "$work/d1" "$work/d2"
}

echo "Making data sets in $work"
make_large "$work"
make_small "$work"
run_set large
run_set small
