#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Kills imports of a card that carries its own ASC MHL history at random moments, to two or
# three destinations (one of them exFAT over FUSE), resumes every import folder the kill left,
# and checks each result with `quaymark-ingest verify`. Half the kills fall at a random point
# in time, half at a random document rename (strace's fault injection).
#   sudo scripts/hard-stop-soak.sh [rounds, default 50]
# MHL_CHECK="command args|other command args" also runs each command with the folder as its
# last argument (another ASC MHL tool, say); a non-zero exit or an output line with "ERROR"
# fails the round. Prints one line per round, then "N rounds, N passed".
set -uo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-50}
ingest=$PWD/build/default/bin/quaymark-ingest
[[ -x $ingest ]] || { cmake --preset default >/dev/null && cmake --build build/default --target quaymark-ingest; }
[[ $(id -u) -eq 0 ]] || { echo "needs root (loop device, mount)" >&2; exit 2; }

work=$(mktemp -d /tmp/quaymark-soak.XXXXXX)
loop=
cleanup() {
    mountpoint -q "$work/exfat" 2>/dev/null && umount "$work/exfat"
    [[ -n $loop ]] && losetup -d "$loop"
    rm -rf "$work"
}
trap cleanup EXIT

truncate -s 512M "$work/exfat.img"
mkfs.exfat -L SOAK "$work/exfat.img" >/dev/null
loop=$(losetup --find --show "$work/exfat.img")
mkdir -p "$work/exfat" "$work/local1" "$work/local2"
mount.exfat-fuse -o rw "$loop" "$work/exfat"

card=$work/card
mkdir -p "$card/DCIM/100" "$card/PRIVATE"
for i in 1 2 3; do head -c $((24 << 20)) /dev/urandom > "$card/DCIM/100/C000$i.MP4"; done
for i in $(seq 1 60); do head -c 20000 /dev/urandom > "$card/PRIVATE/S$i.XML"; done
# The card's own history: a first generation as an import made it.
"$ingest" import "$card" --to "$work" --all-files --rule seed --camera S >/dev/null
mv "$work/seed/ascmhl" "$card/ascmhl"
rm -rf "$work/seed"

import_args() { echo import "$card" --all-files --camera S --rule "r$1" "${@:2}"; }
renames=$(strace -f -qq -e trace=rename -o /dev/stdout "$ingest" \
    $(import_args count --to "$work/local1") 2>/dev/null | grep -c 'rename(')
rm -rf "$work/local1/rcount"

check() { # folder
    local out
    out=$("$ingest" verify "$1" 2>&1) || { echo "verify: $out"; return 1; }
    IFS='|' read -ra tools <<< "${MHL_CHECK:-}"
    for tool in "${tools[@]}"; do
        # shellcheck disable=SC2086
        out=$($tool "$1" 2>&1) || { echo "$tool: exit $?: $out"; return 1; }
        if grep -q ERROR <<< "$out"; then echo "$tool: $out"; return 1; fi
    done
}

passed=0
for round in $(seq 1 "$rounds"); do
    dests=("$work/exfat" "$work/local1")
    (( RANDOM % 2 )) && dests+=("$work/local2")
    to=()
    for d in "${dests[@]}"; do to+=(--to "$d"); done
    if (( round % 2 )); then
        when=$(( RANDOM % renames + 1 ))
        how="at rename $when"
        { strace -f -qq -o /dev/null -e trace=rename -e inject=rename:signal=KILL:when=$when \
            "$ingest" $(import_args "$round" "${to[@]}") >/dev/null 2>&1; } 2>/dev/null
    else
        delay=$(( RANDOM % 1500 ))
        how="after $delay ms"
        "$ingest" $(import_args "$round" "${to[@]}") >/dev/null 2>&1 &
        pid=$!
        sleep "$(awk -v d="$delay" 'BEGIN { print d / 1000 }')"
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    result="ok"
    for d in "${dests[@]}"; do
        folder=$d/r$round
        [[ -d $folder ]] || continue # killed before this destination's folder was made
        if [[ ! -f $folder/_QUAYMARK_VERIFIED.json ]]; then
            if ! out=$("$ingest" resume "$folder" --source "$card" --all-files 2>&1); then
                result="resume of $folder failed: $out"
                break
            fi
        fi
        if ! out=$(check "$folder"); then
            result="$folder: $out"
            break
        fi
    done
    echo "round $round, ${#dests[@]} destinations, killed $how: $result"
    [[ $result == ok ]] && passed=$((passed + 1))
    for d in "${dests[@]}"; do rm -rf "$d/r$round"; done
done
echo "$rounds rounds, $passed passed"
[[ $passed -eq $rounds ]]
