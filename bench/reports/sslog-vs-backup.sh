#!/usr/bin/env bash
# sslog --detail against backup on the same ten-head drive folder (surface
# logs of 4096 sectors, 255-zone tables): decoding, zone lookups and ~874 000
# detail lines may cost at most 1.5 times the wall time of moving the bytes.
#   sslog-vs-backup.sh QUILLMARK_CLI [WORK_DIR]
set -euo pipefail
cli=$1
work=${2:-$(mktemp -d)}
here=$(cd "$(dirname "$0")" && pwd)
drive="$work/big-drive"
[ -d "$drive/modules" ] || python3 "$here/make-big-drive.py" "$drive"
rm -rf "$work/backup"

seconds() { date +%s.%N; }
t0=$(seconds)
"$cli" --vdrive "$drive" sslog --detail >"$work/sslog.txt"
t1=$(seconds)
"$cli" --vdrive "$drive" backup "$work/backup" >/dev/null
t2=$(seconds)

lines=$(wc -l <"$work/sslog.txt")
awk -v a="$t0" -v b="$t1" -v c="$t2" -v lines="$lines" 'BEGIN {
    s = b - a; k = c - b; r = s / k
    printf "sslog --detail: %.2f s (%d lines)\nbackup:         %.2f s\n", s, lines, k
    printf "ratio sslog/backup %.2f (target <= 1.50): %s\n", r, r <= 1.5 ? "within target" : "OUTSIDE TARGET"
    exit r <= 1.5 ? 0 : 1
}'
