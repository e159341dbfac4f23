#!/usr/bin/env bash
# cli-m21.sh CLI FIXTURES WORK: quillmark-cli m21 as a user runs it, on the
# sample drive, drive folders and crafted module files.
set -u
cli=$1; fix=$2; work=$3
rm -rf "$work"; mkdir -p "$work"
export XDG_DATA_HOME="$work/data"   # the module journal stays in the work folder
fail=0

# run RC REGEX ARGS...: quillmark-cli exits with RC and its output (stdout and
# stderr, lines joined by \x01) matches REGEX.
run() {
  local want=$1 regex=$2; shift 2
  local out rc
  out=$("$cli" "$@" 2>&1); rc=$?
  if [ "$rc" != "$want" ] || ! printf '%s' "$out" | tr '\n' '\001' | grep -qE -e "$regex"; then
    printf 'FAILED: quillmark-cli %s\n  exit %s (wanted %s); output:\n%s\n' "$*" "$rc" "$want" "$out"
    fail=1
  fi
}

# show: both directory variants and headers, the attribute lines, JSON.
run 0 '^DRM2.Section 1 +[0-9A-F]{8} +64  Section 1 Ver:100, Cnt:0.*Section 4 Lifetime Counters +[0-9A-F]{8} +48  Section 4 Ver:100, Cnt:2.  Subsection 0 +00000010 +16.  Subsection 1 +00000020 +16.*Section 11 +00000000 +0  empty.*DRM2: Section Ver:500. +1 Raw Read Error Count .* c2 HDA Temperature `C' \
  --demo m21 show
run 0 '^STD.*STD: Section Ver:042.*  c5 Current Pending Sector Count' m21 show --in "$fix/std-old.rpm"
run 0 '^ +1 Raw Read.* +9 Power-On.* +194 HDA Temperature `C \(Cur/Max/Min\) +100 +93 +0 +45/20/38`C .* +197 .*Pf C  S  H  $' \
  m21 show --copy --decimal --in "$fix/gapped.rpm"
"$cli" m21 show --json --in "$fix/gapped.rpm" > "$work/show.json"
python3 - "$work/show.json" <<'PY' || fail=1
import json, sys
j = json.load(open(sys.argv[1]))
assert j["format"] == "DRM2" and j["royl"] and j["checksumValid"] and j["problems"] == [], j
assert j["sections"][0]["item"] == "Section 1 " and j["sections"][8]["empty"], j["sections"]
rows = j["attributes"]["rows"]
assert [r["slot"] for r in rows] == [0, 2, 3, 4], rows
assert rows[3]["hidden"] and not rows[3]["checked"] and rows[3]["hexText"]["flags"] == "00b2", rows[3]
assert rows[2]["decText"]["raw"] == "45/20/38\u00b0C" and rows[2]["hexText"]["id"] == " c2", rows[2]
PY

# attr: hide an attribute on the drive; S.M.A.R.T. no longer reports it.
mkdir -p "$work/drive" && printf '[Identity]\nModel=WDC WD5000AAKS-00V1A0\n' > "$work/drive/drive.ini"
run 0 '^slot 5 id 9: flags 0032 -> 00B2.module 0021: 3072 bytes written; journal: ' \
  --vdrive "$work/drive" --persist m21 attr --id 9 --hide
run 0 '^ +1 Raw Read' --vdrive "$work/drive" smart
"$cli" --vdrive "$work/drive" smart | grep -q "Power-On Hours" && { echo "FAILED: id 9 still reported"; fail=1; }
run 0 'flags 00B2 -> 0032' --vdrive "$work/drive" --persist m21 attr --slot 5 --show
run 0 'Power-On Hours' --vdrive "$work/drive" smart
# --dry-run and -o leave the source alone; a row after an empty slot is its own slot.
cp "$fix/gapped.rpm" "$work/g.rpm"
run 0 'slot 2 id 9: flags 0032 -> 00B2.module 0021: not written \(--dry-run\)' \
  m21 attr --id 9 --hide --dry-run --in "$work/g.rpm"
cmp -s "$fix/gapped.rpm" "$work/g.rpm" || { echo "FAILED: --dry-run wrote"; fail=1; }
run 0 'slot 3 id 194: C2 22 00 64 5D .* -> C2 22 00 2A 5D 26 00 14 00 2D 00 00.module 0021: [0-9]+ bytes -> ' \
  m21 attr --slot 3 --entry "C2 22 00 2A 5D 26 00 14 00 2D 00 00" -o "$work/g2.rpm" --in "$work/g.rpm"
run 0 ' c2 HDA Temperature `C \(Cur/Max/Min\) +2A ' m21 show --in "$work/g2.rpm"
run 1 'slot 1 holds no listed attribute' m21 attr --slot 1 --hide --in "$work/g.rpm"
run 2 'exactly 12 bytes' m21 attr --slot 0 --entry "C2 22" --in "$work/g.rpm"
run 2 'one of --hide, --show, --entry' m21 attr --slot 0 --in "$work/g.rpm"

# section save and load: names, views, shorter, longer, empty sections.
run 0 '^Section 4 Lifetime Counters: 48 bytes -> .*/s4.bin' m21 section save 4 -o "$work/s4.bin" --in "$fix/gapped.rpm"
(cd "$work" && run 0 '^Section 4 Lifetime Counters: 16 bytes -> Section 4 Lifetime Counters.bin$' \
  m21 section save 4.1 --in "$fix/gapped.rpm")
[ "$(stat -c %s "$work/Section 4 Lifetime Counters.bin")" = 16 ] || { echo "FAILED: 4.1 size"; fail=1; }
run 1 '^section 9 is empty' m21 section save 9 --in "$fix/gapped.rpm"
head -c 49 /dev/zero > "$work/49.bin"
run 1 '49 bytes do not fit the 48 bytes' m21 section load 4 "$work/49.bin" --in "$work/g.rpm"
run 0 'module 0021: [0-9]+ bytes -> ' m21 section load 4 "$work/49.bin" --cut -o "$work/g3.rpm" --in "$work/g.rpm"
head -c 8 /dev/zero > "$work/8.bin"
run 0 '^8 of 48 bytes replaced; the rest keeps its old bytes' \
  m21 section load 4 "$work/8.bin" -o "$work/g4.rpm" --in "$work/g.rpm"

# find and replace in a section.
run 0 '^Match at 0x00000022 \(image 0x000003D2\), length 2$' \
  m21 find 10 "01 2F" --all --in "$fix/gapped.rpm"
run 1 '^No match found\.$' m21 find 10 ROYL --in "$fix/gapped.rpm"
run 1 '"bytes": "726F796C".*"matches": \[\]' m21 find 1 ROYL --text --ignore-case --json --in "$fix/gapped.rpm"
run 0 '^1 replacemets\..module 0021: [0-9]+ bytes -> ' \
  m21 replace 10 "C5 B2" "C5 32" --all -o "$work/r.rpm" --in "$fix/gapped.rpm"
run 0 '^Replaced at 0x00000022 \(image 0x000003D2\)' m21 replace 10 "01 2F" "01 AF" -o "$work/r2.rpm" --in "$fix/gapped.rpm"
run 1 'no hex digits' m21 replace 10 "01 2F" zz --rhex -o "$work/r3.rpm" --in "$fix/gapped.rpm"
[ ! -e "$work/r3.rpm" ] || { echo "FAILED: a refused replace wrote"; fail=1; }

# A failed module read.
mkdir -p "$work/refuses" && printf '[Identity]\nModel=X\n[Faults]\nModuleStatus.21=0x0103\n' > "$work/refuses/drive.ini"
run 1 '^module 0021: read failed, vendor status 0103' --vdrive "$work/refuses" m21 show
exit $fail
