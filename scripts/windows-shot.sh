#!/usr/bin/env bash
# windows-shot.sh BUILD [WINDOW.png]: takes the picture of the window of the Windows build in BUILD
# (make windows) under Wine, on a virtual display, with Qt's windows platform plugin, as a
# Windows user sees it at start-up; by default into docs/window-windows.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
shot=$(realpath -m "${2:-$root/docs/window-windows.png}")
# Qt's DLLs from Qt's own folder, on the drive Z: that is the build machine's root.
export WINEPATH="Z:$(realpath "$build/deps/qt")/bin"
cd "$(dirname "$shot")"
xvfb-run -a -s "-screen 0 1024x768x24" "$root/scripts/wine-run.sh" --display "$build/wine" \
  "$build/app/elevara_window_shot.exe" "$(basename "$shot")"
echo "windows-shot: $shot"
