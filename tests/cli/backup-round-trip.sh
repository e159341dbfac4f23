#!/usr/bin/env bash
# backup-round-trip.sh CLI WORKDIR: backs up the sample drive, mounts the
# backup as a drive folder, backs that up, and compares the two folders.
set -eu
cli=$1; work=$2
rm -rf "$work"; mkdir -p "$work"
"$cli" --demo backup "$work/a" | tee "$work/a.txt"
grep -q "backup: 35 modules, 5 tables" "$work/a.txt"
"$cli" --vdrive "$work/a" backup "$work/b" >/dev/null
"$cli" --vdrive "$work/a" identify | grep -qx "WDC WD5000AAKS-00V1A0 FW:05.01D05 SN:WD-WCAWF1939879"
diff -r "$work/a" "$work/b"
# A module that the drive refuses is reported and skipped, and the exit code says so.
mkdir -p "$work/c" && cp -r "$work/a/." "$work/c/"
printf '[Faults]\nModuleStatus.33=0x0101\n' >> "$work/c/drive.ini"
if "$cli" --vdrive "$work/c" backup "$work/d" > "$work/d.txt" 2>&1; then
  echo "a backup with a refused module must fail"; exit 1
fi
grep -q "module 0033: read failed, vendor status 0101" "$work/d.txt"
grep -q "34 modules, 5 tables.*; 1 failed" "$work/d.txt"
[ ! -e "$work/d/modules/~id0033.rpm" ]
echo "round trip ok"
