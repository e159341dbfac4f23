#!/usr/bin/env bash
# Timed command-line runs of the module 0x21 commands against their peers,
# in one run on the same machine, with the ratios:
#   replace-all over an 8 MiB section with 100 000 matches (same length and
#   deleting) against perl -0777 -pe 's/.../.../g' on the same 12 MiB file, and
#   against the same command on a copy with a single match;
#   m21 show --json against module read 21 on the sample drive.
#
#   bench/m21/m21-cli.sh [BUILD_DIR] [RUNS]     (defaults: build/release, 15)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/release}
runs=${2:-15}
cli=$build/bin/quillmark-cli
fixtures=$build/bin/qm_m21_fixtures
for f in "$cli" "$fixtures"; do
  [ -x "$f" ] || { echo "m21-cli: $f is missing (build quillmark-cli and qm_m21_fixtures)" >&2; exit 1; }
done
command -v perl >/dev/null || { echo "m21-cli: perl is not installed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data
"$fixtures" "$work"
big=$work/big.rpm; one=$work/big-one.rpm

# Best wall time of RUNS runs, in microseconds (the runs of the commands
# compared are interleaved so that both see the same load).
declare -A best
time_once() {  # NAME COMMAND...
  local name=$1; shift
  local start end us
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  us=$(((end - start) / 1000))
  if [ -z "${best[$name]:-}" ] || [ "$us" -lt "${best[$name]}" ]; then best[$name]=$us; fi
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# The commands must work (and agree with perl) before they are timed.
"$cli" m21 replace 2 ROYL LYOR --all --in "$big" -o "$work/ours.rpm" | grep -q "^100000 replacemets\.$"
perl -0777 -pe 's/ROYL/LYOR/g' "$big" > "$work/perl.rpm"
# perl also turns the header's "ROYL" round and leaves the checksum: every
# byte after the checksum field must agree.
cmp <(tail -c +17 "$work/ours.rpm") <(tail -c +17 "$work/perl.rpm")

for ((i = 0; i < runs; i++)); do
  time_once ours_same "$cli" m21 replace 2 ROYL LYOR --all --in "$big" -o "$work/o1.rpm"
  time_once perl_same sh -c "perl -0777 -pe 's/ROYL/LYOR/g' '$big' > '$work/p1.rpm'"
  time_once ours_del "$cli" m21 replace 2 ROYL '' --all --in "$big" -o "$work/o2.rpm"
  time_once perl_del sh -c "perl -0777 -pe 's/ROYL//g' '$big' > '$work/p2.rpm'"
  time_once ours_one "$cli" m21 replace 2 ROYL LYOR --all --in "$one" -o "$work/o3.rpm"
  time_once ours_one_del "$cli" m21 replace 2 ROYL '' --all --in "$one" -o "$work/o4.rpm"
  time_once show_json "$cli" --demo m21 show --json
  time_once module_read "$cli" --demo module read 21 -o "$work/m21.rpm"
done

printf 'm21 command line, best of %d runs (wall time, µs)\n' "$runs"
printf '  replace-all 100000 matches, same length   %8d   perl %8d   ratio %s (goal <= 1.0)\n' \
  "${best[ours_same]}" "${best[perl_same]}" "$(ratio "${best[ours_same]}" "${best[perl_same]}")"
printf '  replace-all 100000 matches, deleting      %8d   perl %8d   ratio %s (goal <= 1.0)\n' \
  "${best[ours_del]}" "${best[perl_del]}" "$(ratio "${best[ours_del]}" "${best[perl_del]}")"
printf '  same length vs one match                  %8d        %8d   ratio %s (goal <= 1.5)\n' \
  "${best[ours_same]}" "${best[ours_one]}" "$(ratio "${best[ours_same]}" "${best[ours_one]}")"
printf '  deleting vs one match                     %8d        %8d   ratio %s (goal <= 1.5)\n' \
  "${best[ours_del]}" "${best[ours_one_del]}" "$(ratio "${best[ours_del]}" "${best[ours_one_del]}")"
printf '  m21 show --json vs module read 21         %8d        %8d   ratio %s (goal <= 1.2)\n' \
  "${best[show_json]}" "${best[module_read]}" "$(ratio "${best[show_json]}" "${best[module_read]}")"
