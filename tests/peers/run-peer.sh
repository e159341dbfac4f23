#!/bin/sh
# run-peer.sh CASE: one peer case (see peers.py); skips when python3 is missing.
command -v python3 >/dev/null 2>&1 || { echo "SKIP: python3 is not installed"; exit 77; }
exec python3 "$(dirname "$0")/peers.py" "$@"
