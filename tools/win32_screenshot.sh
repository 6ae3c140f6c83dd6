#!/bin/sh
# Shows the native Win32 window under Wine on a virtual X display, converts a
# sample grid in it and writes the window with its preview panel into
# docs/win32-window-preview.png.
#
#   tools/win32_screenshot.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build/windows-64 (cmake --preset windows-64).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build/windows-64"}
cmake --build "$build" -j2 --target tarvo2kova_screenshot template

export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}" WINEDEBUG=-all
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Wine draws the window's frame itself when no window manager runs. (No wine
# command before this one: a Wine server started without the display would
# serve the program, whose window then could not be made.)
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  wine "$build/bin/tarvo2kova_screenshot.exe" "Z:$(echo "$work/window.bmp" | tr / '\\')"
mkdir -p "$root/docs"
python3 "$root/tools/bmp_to_png.py" "$work/window.bmp" "$root/docs/win32-window-preview.png"
echo "wrote $root/docs/win32-window-preview.png"
