#!/usr/bin/env bash
# help.sh CLI: every command and every command of a group answers --help with
# exit 0 and its own usage line; walks the "Commands:" lists, so new commands
# are covered without being named here.
set -u
cli=$1
failed=0
walk() {
  local out rc
  out=$("$cli" "$@" --help 2>&1); rc=$?
  if [ "$rc" != 0 ] || ! grep -q "^Usage: quillmark-cli${*:+ $*} " <<<"$out"; then
    echo "help.sh: '$*' --help exited $rc:"; echo "$out"; failed=1; return
  fi
  local sub
  for sub in $(awk '/^Commands:/ {on = 1; next} on && /^  [a-z]/ {print $1} on && /^$/ {on = 0}' <<<"$out"); do
    walk "$@" "$sub"
  done
}
walk
count=$("$cli" --help | awk '/^Commands:/ {on = 1; next} on && /^  [a-z]/ {n++} END {print n + 0}')
[ "$count" -ge 9 ] || { echo "help.sh: only $count commands listed"; failed=1; }
exit $failed
