#!/bin/sh
# Renders the real main window into docs/window.png, and the window with the
# message of a finished conversion into docs/window-converted.png, and the
# window with the preview of the new image into docs/window-preview.png.
#
#   tools/screenshot.sh [BUILD_DIR] [--xvfb]
#
# BUILD_DIR defaults to build/default (the one ./run builds). Without --xvfb the window is drawn on Qt's
# offscreen platform; with it, on an X server started by xvfb-run.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/default"
platform=offscreen
for arg in "$@"; do
  case "$arg" in
    --xvfb) platform=xcb ;;
    *) build=$arg ;;
  esac
done

cmake --build "$build" -j2 --target tarvo2kova_screenshot
mkdir -p "$root/docs"
program="$build/bin/tarvo2kova_screenshot"

if [ "$platform" = xcb ]; then
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$program" "$root/docs"
else
  QT_QPA_PLATFORM=offscreen "$program" "$root/docs"
fi
echo "written: $root/docs/window.png $root/docs/window-converted.png $root/docs/window-preview.png"
