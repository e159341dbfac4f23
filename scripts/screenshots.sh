#!/bin/sh
# Builds quillmark and writes pictures of its main window on the built-in
# sample drive into docs/screenshots/: main.png (PIO mode, the controller
# channel selected and the drive identified), main-api.png (API mode),
# module21.png (the module 0x21 editor's attribute list), progress.png
# (the progress monitor following a test run of the drive), defects.png (the
# defect viewer on the sample drive's P-List), servo.png (a servo test run,
# Read Track over all four heads, on the simulated clock) and script.png (the
# script window on the sample drive's self-scan script).
# Runs under a virtual X server, so it works on a machine without a display.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
preset=${PRESET:-debug}
build="$root/build/$preset"
out="$root/docs/screenshots"

cmake --preset "$preset" -S "$root" >/dev/null
cmake --build "$build" --target quillmark qm_module21_window_test
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
shoot "$out/defects.png" --click "View Defects"
# The run writes wrro.bin into the current folder: not into the source tree.
scratch=$(mktemp -d)
(cd "$scratch" && shoot "$out/servo.png" --virtual-time --click "Servo Test" --then GO)
rm -rf "$scratch"

QM_M21_SCREENSHOT="$out/module21.png" xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/bin/qm_module21_window_test" filesCaptionAndClosing >/dev/null
echo "wrote $out/module21.png"

cmake --build "$build" --target qm_progress_window_test
QM_SCREENSHOT_DIR="$out" xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/bin/qm_progress_window_test" screenshot >/dev/null
echo "wrote $out/progress.png"

cmake --build "$build" --target qm_script_window_test
QM_SCREENSHOT_DIR="$out" xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/bin/qm_script_window_test" screenshot >/dev/null
echo "wrote $out/script.png"
