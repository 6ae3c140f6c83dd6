#!/usr/bin/env bash
# The Windows programs make the same images as the Linux one, to the byte:
# the example grids, a grid of the largest size (plain and with exponents),
# and varied grids (exponents, CRLF line ends, no-data texts, constant
# grids). Each grid is converted by the Linux kova and by kova.exe of each
# Windows build under Wine (each in its build's Wine prefix); images, exit
# codes and standard output must agree. Then the GeoTIFF and NetCDF images:
# the end-to-end table of kova_convert_input_tests keeps the images of each
# case where KOVA_KEEP_IMAGES says (the Windows test presets set it to
# BUILD/input-images); it is run here for the Linux build beside LINUX_KOVA,
# and every image the Windows runs kept must equal the Linux one.
#
#   tests/windows/same_images.sh LINUX_KOVA WINDOWS_BUILD_FOLDER...
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 LINUX_KOVA WINDOWS_BUILD_FOLDER..." >&2; exit 2; }
linux_kova=$(realpath "$1")
shift
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all

mkdir "$work/grids"
cp "$source_dir"/examples/*.asc "$work/grids/"
python3 - "$work/grids" <<'PY'
import random, sys
folder = sys.argv[1]
def write(name, text, crlf=False):
    with open(f"{folder}/{name}.asc", "w", newline="") as f:
        f.write(text.replace("\n", "\r\n") if crlf else text)
def grid(cols, rows, values, nodata="-9999", left="-180.0", bottom="-67.5", cell="0.45"):
    head = f"columns {cols}\nrows {rows}\nleft {left}\nbottom {bottom}\ncell {cell}\nnodata {nodata}\n"
    lines = [" ".join(values[r * cols:(r + 1) * cols]) for r in range(rows)]
    return head + "\n".join(lines) + "\n"
rng = random.Random(20240611)
def rain(n, exponents=False, nodata="-9999"):
    out = []
    for _ in range(n):
        if rng.random() < 0.1:
            out.append(nodata)
        else:
            v = rng.randint(0, 99999) / 1000
            out.append(f"{v:.4e}" if exponents else f"{v:.3f}")
    return out
write("max_plain", grid(800, 300, rain(240000)), crlf=True)
write("max_exponents", grid(800, 300, rain(240000, exponents=True)), crlf=True)
for i in range(8):
    cols, rows = rng.randint(1, 60), rng.randint(1, 40)
    write(f"exponents_{i}", grid(cols, rows, [f"{rng.uniform(-1e3, 1e3):.6E}" for _ in range(cols * rows)]))
    write(f"crlf_{i}", grid(cols, rows, rain(cols * rows)), crlf=True)
    text = ["-9999.0", "-1e4", "-9999", "-3.4028235e+38"][i % 4]
    write(f"nodata_{i}", grid(cols, rows, rain(cols * rows, nodata=text), nodata=text))
    value = ["0", "1.5", "-7.25", "12345.678"][i % 4]
    write(f"constant_{i}", grid(cols, rows, [value] * (cols * rows), left=f"{rng.uniform(-170, 0):.4f}",
                                bottom=f"{rng.uniform(-60, 0):.4f}", cell=f"{rng.uniform(0.01, 1):.5f}"))
write("all_nodata", grid(3, 2, ["-9999"] * 6))
write("tiny_values", grid(4, 1, ["1e-38", "2.5e-39", "0.0000001", "-1e-45"]))
PY

convert() {  # NAME FOLDER PROGRAM...: converts every grid, one run each
  local name=$1 folder=$2
  shift 2
  mkdir -p "$work/$name"
  for grid in "$work"/grids/*.asc; do
    local base
    base=$(basename "$grid" .asc)
    cp "$grid" "$work/$name/"
    set +e
    (cd "$work/$name" && "$@" convert "$base.asc" >"$base.out" 2>/dev/null)
    echo $? >"$work/$name/$base.code"
    set -e
  done
}

convert linux "$work/linux" "$linux_kova"
failed=0
for build in "$@"; do
  name=$(basename "$build")
  export WINEPREFIX
  WINEPREFIX=$(realpath "$build")/wineprefix
  convert "$name" "$work/$name" wine "$(realpath "$build")/bin/kova.exe"
  for grid in "$work"/grids/*.asc; do
    base=$(basename "$grid" .asc)
    for kind in img out code; do
      a="$work/linux/$base.$kind"
      b="$work/$name/$base.$kind"
      if [ -e "$a" ] || [ -e "$b" ]; then
        if ! cmp -s "$a" "$b"; then
          echo "differs: $base.$kind from $name" >&2
          failed=1
        fi
      fi
    done
  done
done
count=$(ls "$work"/grids/*.asc | wc -l)
images=$(ls "$work"/linux/*.img | wc -l)

input_tests=$(dirname "$linux_kova")/kova_convert_input_tests
inputs=""
if [ -x "$input_tests" ]; then
  KOVA_KEEP_IMAGES="$work/inputs" "$input_tests" --gtest_filter='Inputs/KovaConvertInputKinds.*' \
    >"$work/inputs.log" 2>&1 || { cat "$work/inputs.log" >&2; echo "the Linux input table failed" >&2; exit 1; }
  linux_images=$(cd "$work/inputs" && find . -name '*.img' | sort)
  for build in "$@"; do
    kept=$build/input-images
    if [ ! -d "$kept" ]; then
      echo "no GeoTIFF or NetCDF images kept in $kept (a build without the readers?)"
      continue
    fi
    if [ "$(cd "$kept" && find . -name '*.img' | sort)" != "$linux_images" ]; then
      echo "the input cases of $(basename "$build") made other images than Linux:" >&2
      diff <(echo "$linux_images") <(cd "$kept" && find . -name '*.img' | sort) >&2 || true
      failed=1
    fi
    while IFS= read -r image; do
      if [ -e "$kept/$image" ] && ! cmp -s "$work/inputs/$image" "$kept/$image"; then
        echo "differs: $image of the input table from $(basename "$build")" >&2
        failed=1
      fi
    done <<<"$linux_images"
    inputs=", $(echo "$linux_images" | grep -c .) GeoTIFF and NetCDF images"
  done
fi
if [ $failed -ne 0 ]; then
  echo "same_images: the Windows images differ from the Linux ones" >&2
  exit 1
fi
echo "same_images: $count grids ($images images)$inputs the same from Linux kova and $# Windows builds"
