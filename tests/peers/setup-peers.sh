#!/usr/bin/env bash
# Installs the peer tools (smartmontools, hdparm, idle3-tools, sg3-utils)
# when they are missing. Never fails: a test whose tool could not be had
# skips with a message saying so.
root=$(cd "$(dirname "$0")/../.." && pwd)
QM_EXTRA_PACKAGES=(smartmontools hdparm idle3-tools sg3-utils python3)
missing=0
for tool in smartctl hdparm idle3ctl sg_sat_identify python3; do
  command -v "$tool" >/dev/null || missing=1
done
if [ "$missing" = 1 ]; then
  # shellcheck source=/dev/null
  if ! (set -e; source "$root/scripts/setup.sh"); then
    echo "peers: could not install ${QM_EXTRA_PACKAGES[*]}; the tests that need them skip" >&2
  fi
fi
for tool in smartctl hdparm idle3ctl sg_sat_identify sg_raw python3; do
  if command -v "$tool" >/dev/null; then echo "peers: $tool: $(command -v "$tool")"
  else echo "peers: $tool: missing"; fi
done
exit 0
