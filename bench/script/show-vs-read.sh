#!/usr/bin/env bash
# S3: `script show` on the sample drive against `module read 28`, the same
# module moved without the script work, in one hyperfine run. Goal: the
# ratio of the mean wall times is at most 1.2.
#   show-vs-read.sh path/to/quillmark-cli
set -euo pipefail
cli=${1:?usage: show-vs-read.sh QUILLMARK-CLI}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
hyperfine --style basic --warmup 5 --min-runs 40 --export-json "$work/runs.json" \
    -n "module read 28" "$cli --demo module read 28 -o $work/m28.rpm" \
    -n "script show" "$cli --demo script show" >&2
python3 - "$work/runs.json" <<'PY'
import json, sys
r = {x["command"]: x["mean"] for x in json.load(open(sys.argv[1]))["results"]}
read, show = r["module read 28"], r["script show"]
print(f"module read 28: {read * 1e3:.1f} ms, script show: {show * 1e3:.1f} ms, "
      f"ratio {show / read:.2f} (goal: at most 1.2)")
PY
