#!/bin/sh
# Builds quillmark and writes pictures of its main window on the built-in
# sample drive into docs/screenshots/: main.png (PIO mode, the controller
# channel selected and the drive identified) and main-api.png (API mode); and
# progress.png, the progress monitor following a test run of the drive; and
# script.png, the script window on the sample drive's self-scan script.
# Runs under a virtual X server, so it works on a machine without a display.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
preset=${PRESET:-debug}
build="$root/build/$preset"
out="$root/docs/screenshots"

cmake --preset "$preset" -S "$root" >/dev/null
cmake --build "$build" --target quillmark
mkdir -p "$out"

shoot() {
    file=$1
    shift
    xvfb-run -a -s "-screen 0 1280x1024x24" \
        "$build/bin/quillmark" --demo "$@" --screenshot "$file"
    echo "wrote $file"
}

shoot "$out/main.png"
shoot "$out/main-api.png" --api

cmake --build "$build" --target qm_progress_window_test
QM_SCREENSHOT_DIR="$out" xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/bin/qm_progress_window_test" screenshot >/dev/null
echo "wrote $out/progress.png"

cmake --build "$build" --target qm_script_window_test
QM_SCREENSHOT_DIR="$out" xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/bin/qm_script_window_test" screenshot >/dev/null
echo "wrote $out/script.png"
