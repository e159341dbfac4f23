#!/usr/bin/env bash
# script-generate.sh CLI WORKDIR: generated steps written to a drive folder
# and read back from the drive; the exports' line ends and byte layout.
set -eu
cli=$1; work=$2
rm -rf "$work"; mkdir -p "$work"
"$cli" --demo backup "$work/drive" >/dev/null

# The directory's 25xx modules as steps after the last one, written to the drive.
"$cli" --vdrive "$work/drive" --persist script generate dir --select 31 --write >/dev/null
"$cli" --vdrive "$work/drive" script show > "$work/show.txt"
grep -q "^Self Scan Script - 28 - All: 25, Cur: 25, " "$work/show.txt"
for n in 1 2 3 4 5 6; do grep -q "^ 3$((n + 1))  240$n  S:" "$work/show.txt"; done
grep -q "^ 37  2406  S:FFFF E:FFFF A:FFFF  ERR:FFFF  Directory step: translator check" "$work/show.txt"

# The self-scan log's script in place of the old one, from a module file,
# written to the drive and read back; without --clear it does not fit.
"$cli" --vdrive "$work/drive" module read E6 -o "$work/e6.rpm" >/dev/null
if "$cli" --vdrive "$work/drive" script generate e6 --from E6="$work/e6.rpm" --write \
     > "$work/overflow.txt" 2>&1; then
  echo "a script longer than the module must not be written"; exit 1
fi
grep -qx "Test Count Overflow! Max Count: 44" "$work/overflow.txt"
"$cli" --vdrive "$work/drive" --persist script generate e6 --clear --include 3421 \
  --from E6="$work/e6.rpm" --write >/dev/null
"$cli" --vdrive "$work/drive" script show > "$work/e6.txt"
grep -q "^Self Scan Script - 28 - All: 14, Cur: 1, " "$work/e6.txt"
grep -q "^  4  3421  S:0005 E:0013 A:0014  ERR:FFFF" "$work/e6.txt"
grep -q "^ 17  B9  " "$work/e6.txt"

# Exports: CR LF after every line, the last one included; the first lines
# of each as the interpreter and the INI reader expect them.
"$cli" --vdrive "$work/drive" script export --ini "$work/PST.ini" >/dev/null
"$cli" --vdrive "$work/drive" script export --trx "$work/PST.trx" >/dev/null
for f in PST.ini PST.trx; do
  lines=$(tr -cd '\n' < "$work/$f" | wc -c)
  crlf=$(grep -c $'\r$' "$work/$f")
  [ "$lines" = "$crlf" ] || { echo "$f: $lines lines, $crlf with CR LF"; exit 1; }
  [ "$(tail -c 2 "$work/$f" | od -An -tx1 | tr -d ' ')" = "0d0a" ]
done
printf '[PST Sequence]\r\n%-40s = %s\r\n' '1 Clear self-scan logs' 'B1,0,,,,,,,,,,,,,,,2,,' |
  cmp - <(head -2 "$work/PST.ini")
printf '  fprintf "\\nB1 Clear self-scan logs\\n"\r\n  xf 0xB1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,2,0;msf\r\n' |
  cmp - <(sed -n 6,7p "$work/PST.trx")
[ "$(tail -1 "$work/PST.trx")" = $'ecommand\r' ]

# An export that cannot be put in place leaves the old file as it was.
cp "$work/PST.ini" "$work/old.ini"
mkdir "$work/PST.dir"
if "$cli" --vdrive "$work/drive" script export --ini "$work/PST.dir" 2>/dev/null; then
  echo "an export over a folder must fail"; exit 1
fi
[ -z "$(ls -A "$work/PST.dir")" ]
cmp "$work/PST.ini" "$work/old.ini"
# A source module the drive refuses ends the generator quietly: nothing added.
mkdir -p "$work/refusing" && cp -r "$work/drive/." "$work/refusing/"
printf '[Faults]\nModuleStatus.1100=0x0101\n' >> "$work/refusing/drive.ini"
"$cli" --vdrive "$work/refusing" script generate ptm --keep-gotos -o "$work/ptm.rpm" > "$work/ptm.txt"
grep -q "script 28: 20 steps, current step 1 -> " "$work/ptm.txt"
echo "generate and export ok"
