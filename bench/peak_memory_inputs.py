#!/usr/bin/env python3
"""Time and peak memory of `kova convert` on the 4000 x 2000 field as a Tarvo
grid, a GeoTIFF and a NetCDF file (and two more layouts of the last two).

Writes the files with make_input_grids into a temporary folder and converts
each with its own run of kova convert (using the template beside kova, or the
one given with --template), reporting the wall time (best of --runs runs) and
the largest resident set size of each run. The small field of the same kind
is converted too: its peak is what a conversion of that kind takes whatever
the grid's size (program, libraries, buffers), and what the large grid needs
beyond it, divided by its cells, is the memory per cell.

usage: peak_memory_inputs.py PATH/TO/peak_rss PATH/TO/kova PATH/TO/make_input_grids
                             [--template FILE] [--runs N]
"""
import argparse
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

CELLS = 4000 * 2000
LARGE = (("large.asc", "small.asc"), ("large.tif", "small.tif"),
         ("large_strip.tif", "small.tif"), ("large.nc", "small.nc"),
         ("large_chunked.nc", "small.nc"))


def convert(peak_rss, kova, template, path, output):
    """Seconds and peak kilobytes of one conversion."""
    command = [peak_rss, kova, "convert", str(path), "-o", str(output), "-q"]
    if template:
        command += ["--template", template]
    start = time.monotonic()
    result = subprocess.run(command, capture_output=True, text=True)
    seconds = time.monotonic() - start
    if result.returncode != 0:
        sys.exit(f"kova convert {path} failed:\n{result.stderr}")
    return seconds, int(re.search(r"peak_rss_kb (\d+)", result.stderr).group(1))


def main() -> int:
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("peak_rss")
    parser.add_argument("kova")
    parser.add_argument("make_input_grids")
    parser.add_argument("--template", default="")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="kova-inputs-") as name:
        folder = Path(name)
        subprocess.run([args.make_input_grids, str(folder)], check=True)
        output = folder / "out.img"
        print(f"{'input':17} {'file':>8} {'time':>7} {'peak':>9} {'small':>8}  bytes per cell")
        for large, small in LARGE:
            runs = [convert(args.peak_rss, args.kova, args.template, folder / large, output)
                    for _ in range(max(1, args.runs))]
            _, base_kb = convert(args.peak_rss, args.kova, args.template, folder / small, output)
            seconds = min(r[0] for r in runs)
            peak_kb = max(r[1] for r in runs)
            size_mb = (folder / large).stat().st_size / 1e6
            per_cell = (peak_kb - base_kb) * 1024 / CELLS
            print(f"{large:17} {size_mb:5.1f} MB {seconds:5.2f} s {peak_kb / 1024:6.1f} MB "
                  f"{base_kb / 1024:5.1f} MB  {per_cell:.2f} beyond the small field's peak "
                  f"({peak_kb * 1024 / CELLS:.2f} in all)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
