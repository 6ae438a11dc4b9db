#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the handover report of a card of 4K H.264 clips once its import is verified: facts,
# a preview of every clip from the helper, and the PDF, CSV and HTML.
# Target: 100 clips in under 30 s, peak memory under 300 MiB.
# Usage: bench/report-bench.sh [clips, default 100] [work folder]
# Peak memory is the maximum resident size that /usr/bin/time reports for the command (the
# helper runs as its child, one clip at a time).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
ingest=$repo/build/default/bin/quaymark-ingest
[[ -x $ingest && -x $repo/build/default/bin/quaymark-thumbnail ]] ||
    { cmake --preset default >/dev/null &&
        cmake --build build/default -j1 --target quaymark-ingest quaymark-thumbnail; }

clips=${1:-100}
work=${2:-$(mktemp -d /tmp/quaymark-report-bench.XXXXXX)}
mkdir -p "$work/CARD" "$work/DEST"

# One 4K clip with a GOP like a camera's, copied under camera names: the report's work per clip
# does not depend on what the pictures show.
ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=3840x2160:rate=25 \
    -f lavfi -i sine=sample_rate=48000 -t 4 -c:v libx264 -preset ultrafast -g 25 \
    -pix_fmt yuv420p -c:a aac -timecode 10:00:00:00 "$work/clip.mov"
for i in $(seq -w 1 "$clips"); do
    cp "$work/clip.mov" "$work/CARD/A001C0$i.MOV"
done
"$ingest" import "$work/CARD" --to "$work/DEST" --camera FX6 --no-report \
    --catalog "$work/catalog.sqlite3" >/dev/null
folder=$(find "$work/DEST" -mindepth 2 -maxdepth 2 -type d | head -1)

/usr/bin/time -f "%e s elapsed, %M KiB peak" -o "$work/time.txt" \
    "$ingest" report "$folder" >/dev/null
echo "report of $clips 4K clips: $(cat "$work/time.txt")"
ls -l "$folder"/_QUAYMARK_REPORT.*
