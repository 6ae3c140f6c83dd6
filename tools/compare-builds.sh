#!/usr/bin/env bash
# Runs the `kova` of another commit and the `kova` of this tree over the same
# inputs and compares what a user gets: the bytes of every file left in the
# working folder, standard output, standard error and the exit code.
#
#   tools/compare-builds.sh BASE_COMMIT [CASE_FILTER]
#
# BASE_COMMIT is built once in a scratch folder outside the work tree
# ($KOVA_COMPARE_CACHE, default ~/.cache/kova-compare/COMMIT) and kept there
# for the next run. This tree is built in $KOVA_COMPARE_BUILD (default
# build/default, the default preset). With KOVA_COMPARE_KEEP set, the inputs
# and both sides' results stay in the scratch folder. CASE_FILTER, an extended regular
# expression, limits the run to the cases whose names match it.
#
# The cases: the example series; the benchmark series (bench/series.py's
# grids, as a pattern run and with --series-range) and the input benchmark's
# files (make_input_grids); 40 varied grids (made below, deterministically);
# GeoTIFF and NetCDF files of several layouts (make_compare_inputs, the tests'
# fixture writers); and the command lines of tools/compare-cases.txt, which
# holds every refusal the command-line tests check. Exit status 0 when every
# case gives the same results on both sides.
set -euo pipefail

usage() { echo "usage: tools/compare-builds.sh BASE_COMMIT [CASE_FILTER]" >&2; exit 2; }
[ $# -ge 1 ] && [ $# -le 2 ] || usage
root="$(cd "$(dirname "$0")/.." && pwd)"
base="$(git -C "$root" rev-parse --verify "$1^{commit}")" || usage
filter="${2:-}"
jobs="$(nproc)"
cache="${KOVA_COMPARE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kova-compare}/$base"
current_build="${KOVA_COMPARE_BUILD:-$root/build/default}"
python=/usr/bin/python3  # Debian's, whatever python3 comes first on PATH

# --- The two builds -----------------------------------------------------------

if [ ! -e "$cache/built" ]; then
  echo "Building kova of ${base:0:12} in $cache"
  rm -rf "$cache"
  mkdir -p "$cache/src"
  git -C "$root" archive "$base" | tar -x -C "$cache/src"
  cmake -S "$cache/src" -B "$cache/build" -DCMAKE_BUILD_TYPE=Release -DKOVA_BUILD_TESTS=OFF \
    -DKOVA_BUILD_BENCH=OFF -DKOVA_BUILD_GUI=OFF >"$cache/configure.log"
  cmake --build "$cache/build" -j "$jobs" --target kova template >"$cache/build.log" ||
    { tail -n 30 "$cache/build.log" >&2; exit 1; }
  touch "$cache/built"
fi
echo "Building kova of this tree in $current_build"
if [ ! -e "$current_build/CMakeCache.txt" ]; then
  if [ "$current_build" = "$root/build/default" ]; then
    (cd "$root" && cmake --preset default >/dev/null)
  else
    cmake -S "$root" -B "$current_build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
fi
cmake --build "$current_build" -j "$jobs" --target kova template make_compare_inputs \
  make_input_grids >"$current_build/compare-build.log" ||
  { tail -n 30 "$current_build/compare-build.log" >&2; exit 1; }
declare -A kova=([base]="$cache/build/bin/kova" [current]="$current_build/bin/kova")

# --- The inputs ---------------------------------------------------------------

work="$(mktemp -d "${TMPDIR:-/tmp}/kova-compare.XXXXXX")"
if [ -n "${KOVA_COMPARE_KEEP:-}" ]; then
  echo "Inputs and results kept in $work"
else
  trap 'rm -rf "$work"' EXIT
fi
in="$work/in"
mkdir -p "$in/examples" "$in/series" "$in/bench" "$in/inputs" "$in/tpl"
cp "$root"/examples/*.asc "$in/examples/"
"$current_build/bin/make_input_grids" "$in/bench"
"$current_build/bin/make_compare_inputs" "$in/inputs"
"$python" - "$root" "$in" <<'PY'
# The benchmark series, 40 varied grids and the texts of the refusal cases.
import random, sys
from pathlib import Path
root, folder = Path(sys.argv[1]), Path(sys.argv[2])
sys.path.insert(0, str(root / "bench"))
from peak_memory import write_grid  # the grids of bench/series.py

for i in range(10):
    write_grid(folder / "series" / f"grid{i:03d}.asc", 2000 + i)

def values(rng, count, kind):
    """count value texts of one kind, about one in eight no-data (None)."""
    out = []
    for _ in range(count):
        if kind != "dense" and rng.random() < 0.125:
            out.append(None)
        elif kind == "int":
            out.append(str(rng.randrange(-500, 500)))
        elif kind == "exp":
            out.append(f"{rng.uniform(-1, 1) * 10 ** rng.randrange(-4, 5):.4e}")
        elif kind == "long":  # more digits than the fast conversion takes
            out.append(f"{rng.uniform(0, 1):.22f}")
        elif kind == "neg":
            out.append(f"{-rng.uniform(0, 1000):.2f}")
        else:
            out.append(f"{rng.uniform(0, 100):.3f}")
    return out

def grid(name, cols, rows, kind="dec", nodata="-9999", header=None, sep=" ", eol="\n",
         constant=None, last_eol=True, seed=None):
    rng = random.Random(seed)
    head = header if header is not None else [
        ("ncols", cols), ("nrows", rows), ("xllcorner", 10), ("yllcorner", 40),
        ("cellsize", 0.25), ("NODATA_value", nodata)]
    lines = [f"{k} {v}" for k, v in head]
    for _ in range(rows):
        row = [constant] * cols if constant is not None else values(rng, cols, kind)
        lines.append(sep.join(nodata if v is None else v for v in row))
    text = eol.join(lines) + (eol if last_eol else "")
    (folder / "grids" / f"{name}.asc").write_bytes(text.encode("latin-1"))

(folder / "grids").mkdir()
std = lambda c, r, nd="-9999", **k: [("ncols", c), ("nrows", r), ("xllcorner", k.get("x", 10)),
                                    ("yllcorner", k.get("y", 40)), ("cellsize", k.get("cell", 0.25)),
                                    ("NODATA_value", nd)]
n = 0
def g(label, *a, **k):
    global n
    n += 1
    grid(f"{n:02d}_{label}", *a, seed=n, **k)
g("one_cell", 1, 1)
g("one_row", 7, 1)
g("one_column", 1, 9)
g("small", 3, 2)
g("medium", 120, 70)
g("max_size", 800, 300)
g("too_wide", 801, 2)
g("too_tall", 2, 301)
g("ints", 40, 30, "int")
g("exponents", 40, 30, "exp")
g("long_digits", 25, 20, "long")
g("negative", 30, 20, "neg")
g("constant", 20, 10, constant="7.5")
g("constant_zero", 20, 10, constant="0")
g("all_nodata", 5, 4, constant="-9999")
g("nodata_decimal", 30, 20, nodata="-9999.0")
g("nodata_exponent", 30, 20, nodata="-9.999e3")
g("nodata_zero", 30, 20, "int", nodata="0")
g("nodata_huge", 30, 20, nodata="-3.4028235e38")
g("no_nodata_line", 10, 5, "dense", header=std(10, 5)[:5])
g("crlf", 30, 20, eol="\r\n")
g("cr_only", 10, 5, eol="\r")
g("tabs", 30, 20, sep="\t")
g("many_spaces", 30, 20, sep="   ")
g("no_last_newline", 30, 20, last_eol=False)
g("centres", 30, 20, header=[("ncols", 30), ("nrows", 20), ("xllcenter", 10.125),
                             ("yllcenter", 40.125), ("cellsize", 0.25), ("NODATA_value", -9999)])
g("dx_dy", 30, 20, header=[("ncols", 30), ("nrows", 20), ("xllcorner", 10), ("yllcorner", 40),
                           ("dx", 0.25), ("dy", 0.5), ("NODATA_value", -9999)])
g("rows_first", 30, 20, header=[("nrows", 20), ("ncols", 30), ("cellsize", 0.25),
                                ("yllcorner", 40), ("xllcorner", 10), ("NODATA_value", -9999)])
g("upper_case", 30, 20, header=[("NCOLS", 30), ("NROWS", 20), ("XLLCORNER", 10),
                                ("YLLCORNER", 40), ("CELLSIZE", 0.25), ("NODATA_VALUE", -9999)])
g("other_names", 30, 20, header=[("columns", 30), ("rows", 20), ("left", 10), ("bottom", 40),
                                 ("cell", 0.25), ("nodata", -9999)])
g("southern_western", 30, 20, header=std(30, 20, x=-75.5, y=-40.25))
g("fine_cells", 60, 40, header=std(60, 40, cell=0.008333333333))
g("global", 360, 180, "int", header=std(360, 180, x=-180, y=-90, cell=1))
g("metres_albers", 40, 30, header=std(40, 30, x=-1500000, y=3000000, cell=5000))
g("metres_lambert", 40, 30, header=std(40, 30, x=-200000, y=-150000, cell=10000))
g("metres_lamaz", 40, 30, header=std(40, 30, x=-500000, y=-400000, cell=25000))
g("metres_goode", 40, 30, header=std(40, 30, x=-2000000, y=500000, cell=50000))
g("metres_hammer", 40, 30, header=std(40, 30, x=-3000000, y=-1000000, cell=100000))
g("geostationary", 40, 30, header=std(40, 30, x=-2000, y=-1500, cell=100))
g("ncols_zero", 0, 3)

# Texts of the command-line tests' refusal cases (tools/compare-cases.txt).
texts = {
    "good.asc": "ncols 3\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 0.5\nNODATA_value -9999\n"
                "1 2 3\n4 -9999 6\n",
    "bad_ncols.asc": "ncols x\n",
    "bad_value.asc": "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9\n"
                     "1 2 3\n4 x 6\n",
    "control_bytes.asc": "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                         "NODATA_value -9\n1 a\x7f\xff\n",
    "small2.asc": "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9\n5 6\n",
    "notes.txt": "my notes",
    "short_rows.asc": "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9\n"
                      "1 2 3\n4 5\n",
    "extra_values.asc": "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                        "NODATA_value -9\n1 2 3\n",
    "no_header.asc": "1 2 3\n4 5 6\n",
    "empty.asc": "",
    "negative_cell.asc": "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize -1\n"
                         "NODATA_value -9\n1 2\n",
    "duplicate_key.asc": "ncols 2\nncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                         "NODATA_value -9\n1 2\n",
    "unknown_key.asc": "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nfrob 3\n"
                       "NODATA_value -9\n1 2\n",
    "range_wide.asc": "ncols 3\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                      "NODATA_value -9999\n-5 50 500\n",
    "not_image.img": "not an image at all",
}
(folder / "t").mkdir()
for name, text in texts.items():
    (folder / "t" / name).write_bytes(text.encode("latin-1"))
(folder / "t" / "short.img").write_bytes(b"\0" * 100)
# A field with one undeclared spike that stretches the scale.
spike = [f"{(i * 37 % 301) * 0.1:.1f}" for i in range(2400)]
spike[130] = "9999"
rows = [" ".join(spike[r * 60:(r + 1) * 60]) for r in range(40)]
(folder / "t" / "spike.asc").write_text(
    "ncols 60\nnrows 40\nxllcorner 10\nyllcorner 40\ncellsize 0.5\nNODATA_value -9999\n"
    + "\n".join(rows) + "\n")
PY
# Damaged files: the first 300 bytes of whole ones, every input cut at half
# its size (a Tarvo grid also within its last value), and the files the
# libraries are known to crash or hang on.
head -c 300 "$in/inputs/float32.tif" >"$in/t/cut.tif"
head -c 300 "$in/inputs/classic.nc" >"$in/t/cut.nc"
mkdir -p "$in/cut" "$in/faults"
for f in "$in"/inputs/*.tif "$in"/inputs/*.nc "$in"/inputs/*.asc; do
  head -c $(($(stat -c %s "$f") / 2)) "$f" >"$in/cut/$(basename "$f")"
done
head -c $(($(stat -c %s "$in/inputs/field.asc") - 2)) "$in/inputs/field.asc" >"$in/cut/field_end.asc"
cp "$root"/fuzz/library_faults/*.nc "$in/faults/"
# An image to show, export and write over.
"${kova[current]}" convert -q "$in/examples/rain_dekad1.asc" -o "$in/t/rain.img"

# Templates of every projection, made once by this tree's kova: the
# conversions through them compare the conversion only (the template cases
# below compare the command that makes them).
template_args=(
  "hammer|--projection hammer --origin-lon 20"
  "latlon|--projection latlon"
  "lambert|--projection lambert-conic --origin-lat 23 --origin-lon -96 --parallel1 33 --parallel2 45"
  "geostationary|--projection geostationary --origin-lon -75"
  "lamaz|--projection lambert-azimuthal --origin-lat 45 --origin-lon 10"
  "albers|--projection albers --origin-lat 23 --origin-lon -96 --parallel1 29.5 --parallel2 45.5"
  "goode|--projection goode"
)
for entry in "${template_args[@]}"; do
  name="${entry%%|*}"
  read -r -a args <<<"${entry#*|}"
  "${kova[current]}" template -o "$in/tpl/$name.img" "${args[@]}" >/dev/null 2>&1 ||
    echo "note: kova template $name failed; its conversions compare refusals" >&2
done

# --- The cases ----------------------------------------------------------------
# name | setup | arguments
# setup: paths under the input folder copied into the empty working folder
# (keeping their relative path), DEST=SOURCE to copy under another name,
# FOLDER/ to make a folder (see tools/compare-cases.txt). Arguments are
# shell words; patterns in them reach kova unexpanded.

cases="$work/cases"
{
  examples="examples/rain_dekad1.asc examples/rain_dekad2.asc examples/rain_dekad3.asc"
  echo "examples | $examples | convert examples/*.asc"
  echo "examples_shell_expanded | $examples | convert $examples"
  echo "examples_one_verbose | examples/rain_dekad2.asc | convert -v examples/rain_dekad2.asc"
  echo "series | series/ | convert series/*.asc"
  echo "series_range | series/ | convert --series-range series/*.asc"
  echo "series_one_job | series/ | convert --jobs 1 series/*.asc"
  for f in bench/small.asc bench/small.tif bench/small.nc bench/large.asc bench/large.tif \
           bench/large.nc bench/large_strip.tif bench/large_chunked.nc; do
    echo "bench_$(basename "$f" | tr . _) | $f | convert $f"
  done
  for f in "$in"/grids/*.asc; do
    rel="grids/$(basename "$f")"
    echo "grid_$(basename "$f" .asc) | $rel | convert -v $rel"
  done
  for f in "$in"/grids/*metres*.asc "$in"/grids/*geostationary*.asc "$in"/grids/04_small.asc; do
    rel="grids/$(basename "$f")"
    for t in "$in"/tpl/*.img; do
      echo "grid_$(basename "$f" .asc)_in_$(basename "$t" .img) | $rel tpl/$(basename "$t") | convert --template tpl/$(basename "$t") $rel"
    done
  done
  for f in "$in"/inputs/*; do
    rel="inputs/$(basename "$f")"
    case "$f" in *.img) continue ;; esac
    echo "input_$(basename "$f" | tr . _) | inputs/ | convert -v $rel"
  done
  echo "cut_short | cut/ | convert --keep-going -v cut/*"
  echo "library_faults | faults/ a.asc=inputs/field.asc z.asc=inputs/field.asc | convert --keep-going a.asc faults/*.nc z.asc"
  for entry in "${template_args[@]}"; do
    echo "template_${entry%%|*} |  | template -o t.img ${entry#*|}"
    echo "template_${entry%%|*}_info | tpl/${entry%%|*}.img | info tpl/${entry%%|*}.img"
    echo "template_${entry%%|*}_json | tpl/${entry%%|*}.img | info --json tpl/${entry%%|*}.img"
    echo "template_${entry%%|*}_locate | tpl/${entry%%|*}.img | locate tpl/${entry%%|*}.img 0.5 0.5"
  done
  grep -v '^[[:space:]]*\(#\|$\)' "$root/tools/compare-cases.txt"
} >"$cases"

run_case() {  # side name setup args
  local side=$1 name=$2 setup=$3 argstr=$4 dest src
  local run="$work/run" out="$work/out/$side/$name"
  rm -rf "$run"
  mkdir -p "$run" "$out"
  for item in $setup; do
    case "$item" in
      ln:*:*) dest=${item#ln:} && ln -s "${dest#*:}" "$run/${dest%%:*}" ;;
      hard:*:*) dest=${item#hard:} && ln "$run/${dest#*:}" "$run/${dest%%:*}" ;;
      fifo:*) mkfifo "$run/${item#fifo:}" ;;
      */) if [ -d "$in/$item" ]; then (cd "$in" && cp -r --parents "$item" "$run/"); else mkdir -p "$run/$item"; fi ;;
      *=*) dest=${item%%=*} src=${item#*=}; mkdir -p "$run/$(dirname "$dest")"; cp "$in/$src" "$run/$dest" ;;
      *) (cd "$in" && cp --parents "$item" "$run/") ;;
    esac
  done
  local -a args
  set -f  # patterns go to kova as written
  eval "args=($argstr)"
  set +f
  local rc=0
  (cd "$run" && exec -a kova timeout 600 "${kova[$side]}" "${args[@]}") \
    </dev/null >"$out/stdout" 2>"$out/stderr" || rc=$?
  echo "$rc" >"$out/exit"
  (cd "$run" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum) >"$out/files"
}

total=0
failed=0
files=0
differ=()
while IFS= read -r line; do
  name="$(echo "${line%%|*}" | xargs)"
  rest="${line#*|}"
  setup="${rest%%|*}"
  argstr="${rest#*|}"
  [ -z "$filter" ] || [[ "$name" =~ $filter ]] || continue
  total=$((total + 1))
  for side in base current; do run_case "$side" "$name" "$setup" "$argstr"; done
  [ "$(cat "$work/out/current/$name/exit")" = 0 ] || failed=$((failed + 1))
  files=$((files + $(wc -l <"$work/out/current/$name/files")))
  what=()
  for part in stdout stderr exit files; do
    cmp -s "$work/out/base/$name/$part" "$work/out/current/$name/$part" || what+=("$part")
  done
  if [ ${#what[@]} -gt 0 ]; then
    differ+=("$name")
    echo "DIFFERENT $name ($(echo "${what[*]}" | tr ' ' ,)): kova $(echo "$argstr" | xargs)"
    for part in "${what[@]}"; do
      diff -u --label "base/$part" --label "current/$part" \
        "$work/out/base/$name/$part" "$work/out/current/$name/$part" | head -n 12 || true
    done
  fi
done <"$cases"

# The templates beside the two programs, which every conversion without
# --template reads.
total=$((total + 1))
if ! cmp -s "$cache/build/bin/template.img" "$current_build/bin/template.img"; then
  differ+=("template.img")
  echo "DIFFERENT template.img beside the programs"
fi

echo "${base:0:12} against this tree: $total cases ($failed of them refused or failed), $files files" \
  "compared; $(( total - ${#differ[@]} )) cases identical"
if [ ${#differ[@]} -gt 0 ]; then
  echo "Different: ${differ[*]}"
  exit 1
fi
echo "All identical: image bytes, standard output, standard error and exit codes."
