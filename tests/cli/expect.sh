#!/usr/bin/env bash
# expect.sh RC REGEX [STDIN_FILE|-] -- COMMAND...
# Runs COMMAND, fails unless its exit code is RC and its combined output
# matches the extended regular expression REGEX (multi-line text as one string).
rc_want=$1; regex=$2; shift 2
[ "$1" = "--" ] && shift
out=$("$@" 2>&1 </dev/null); rc=$?
printf '%s\n' "$out"
if [ "$rc" != "$rc_want" ]; then echo "expect.sh: exit code $rc, wanted $rc_want" >&2; exit 1; fi
if ! printf '%s' "$out" | tr '\n' '\001' | grep -qE -e "$regex"; then
  echo "expect.sh: output does not match: $regex" >&2; exit 1
fi
