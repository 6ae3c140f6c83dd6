#!/usr/bin/env python3
"""Time and peak memory of `kova convert` on the 4000 x 2000 field as a Tarvo
grid, a GeoTIFF and a NetCDF file.

Writes the three files with make_input_grids into a temporary folder, converts
each with its own run of kova convert and reports the wall time and the
largest resident set size of each run.

usage: peak_memory_inputs.py PATH/TO/peak_rss PATH/TO/kova PATH/TO/make_input_grids
"""
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path


def main() -> int:
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    peak_rss, kova, make_input_grids = sys.argv[1:]
    cells = 4000 * 2000
    with tempfile.TemporaryDirectory(prefix="kova-inputs-") as folder:
        subprocess.run([make_input_grids, folder], check=True)
        for name in ("large.asc", "large.tif", "large.nc"):
            path = Path(folder) / name
            start = time.monotonic()
            result = subprocess.run([peak_rss, kova, "convert", str(path)],
                                    capture_output=True, text=True)
            seconds = time.monotonic() - start
            if result.returncode != 0:
                print(result.stderr, file=sys.stderr)
                return 1
            peak_kb = int(re.search(r"peak_rss_kb (\d+)", result.stderr).group(1))
            print(f"{name:10} {path.stat().st_size / 1e6:7.1f} MB  {seconds:6.2f} s  "
                  f"peak {peak_kb / 1024:6.1f} MB  ({peak_kb * 1024 / cells:.2f} bytes per cell)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
