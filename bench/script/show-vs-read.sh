#!/usr/bin/env bash
# S3: `script show` on the sample drive against `module read 28`, the same
# module moved without the script work. The two commands take turns, so a
# change in the machine's load hits both alike; the medians of their wall
# times are compared. Goal: the ratio is at most 1.2.
#   show-vs-read.sh path/to/quillmark-cli [pairs]
set -euo pipefail
cli=${1:?usage: show-vs-read.sh QUILLMARK-CLI [PAIRS]}
pairs=${2:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run() {  # prints the wall time of one run in microseconds
    local t0=${EPOCHREALTIME/./}
    "$@" >/dev/null
    echo $(( ${EPOCHREALTIME/./} - t0 ))
}
for _ in 1 2 3; do  # warm-up
    "$cli" --demo module read 28 -o "$work/m28.rpm" >/dev/null
    "$cli" --demo script show >/dev/null
done
for ((i = 0; i < pairs; i++)); do
    run "$cli" --demo module read 28 -o "$work/m28.rpm" >>"$work/read"
    run "$cli" --demo script show >>"$work/show"
done
median() { sort -n "$1" | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
read_us=$(median "$work/read")
show_us=$(median "$work/show")
awk -v r="$read_us" -v s="$show_us" -v n="$pairs" 'BEGIN {
    printf "module read 28: %.1f ms, script show: %.1f ms (medians of %d turns each), ratio %.2f (goal: at most 1.2)\n",
        r / 1000, s / 1000, n, s / r }'
