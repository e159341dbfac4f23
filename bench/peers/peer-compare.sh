#!/usr/bin/env bash
# Times smartctl and quillmark-cli reading the same drive's S.M.A.R.T. data
# through the same device node (the virtual drive behind libqmvd-preload.so),
# in one run, and prints the wall-time ratio.
#
#   bench/peers/peer-compare.sh [BUILD_DIR] [RUNS]     (defaults: build/debug, 50)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/debug}
runs=${2:-50}
cli=$build/bin/quillmark-cli
preload=$build/lib/libqmvd-preload.so
for f in "$cli" "$preload"; do
  [ -e "$f" ] || { echo "peer-compare: $f is missing (build the project first)" >&2; exit 1; }
done
command -v smartctl >/dev/null || { echo "peer-compare: smartctl is not installed" >&2; exit 1; }
unset QMVD_VDRIVE QMVD_STATE QMVD_LOG

smartctl_cmd=(smartctl -a -d sat /dev/sdqv)
ours_cmd=("$cli" --api /dev/qmvd0 smart)
# Both must work before they are timed (smartctl: bits 0-2 of its status).
set +e
LD_PRELOAD=$preload "${smartctl_cmd[@]}" >/dev/null; rc=$?
set -e
[ $((rc & 7)) = 0 ] || { echo "peer-compare: smartctl failed ($rc)" >&2; exit 1; }
LD_PRELOAD=$preload "${ours_cmd[@]}" >/dev/null

# Mean wall time of one run in microseconds.
mean_us() {
  local start end i
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do
    LD_PRELOAD=$preload "$@" >/dev/null 2>&1 || true
  done
  end=$(date +%s%N)
  echo $(((end - start) / runs / 1000))
}

# One warm-up round each, then the timed rounds interleaved so that both see
# the same machine load.
mean_us "${smartctl_cmd[@]}" >/dev/null
mean_us "${ours_cmd[@]}" >/dev/null
s1=$(mean_us "${smartctl_cmd[@]}"); o1=$(mean_us "${ours_cmd[@]}")
s2=$(mean_us "${smartctl_cmd[@]}"); o2=$(mean_us "${ours_cmd[@]}")
smartctl_us=$(((s1 + s2) / 2))
ours_us=$(((o1 + o2) / 2))

echo "S.M.A.R.T. read of the sample drive through /dev/sdqv | /dev/qmvd0 (SG_IO, preloaded), $((2 * runs)) runs each"
awk -v s="$smartctl_us" -v o="$ours_us" 'BEGIN {
  printf "  %-44s %8.2f ms\n", "smartctl -a -d sat /dev/sdqv", s / 1000
  printf "  %-44s %8.2f ms\n", "quillmark-cli --api /dev/qmvd0 smart", o / 1000
  printf "  wall-time ratio quillmark-cli / smartctl: %.2f\n", o / s
}'
if command -v hyperfine >/dev/null; then
  echo
  LD_PRELOAD=$preload hyperfine -N --warmup 3 --runs "$runs" "${smartctl_cmd[*]}" "${ours_cmd[*]}"
fi
