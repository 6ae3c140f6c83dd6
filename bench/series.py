#!/usr/bin/env python3
"""A series of maximum-size grids through the built `kova convert`.

Writes N grids of 800 x 300 values (three decimals, about one cell in ten
no-data) into a temporary folder, converts them with one pattern run (the
default jobs of kova convert), runs again over the existing outputs, and
reports per file: the wall time of the first run, of the rerun and of a
first run with --series-range (one scale for the series, found by reading
every file once more before converting; best of several), the peak resident memory of a series of N and of a series of 5
files, and, measured in the same run on the same files, the time numpy's
loadtxt takes merely to read each file. With --reference KOVA it also
converts the series with that program and checks that both give the same
bytes.

usage: series.py PATH/TO/peak_rss PATH/TO/kova [--files N] [--repeat R]
                 [--reference OTHER_KOVA]
"""
import argparse
import filecmp
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from peak_memory import write_grid  # noqa: E402  the same grids as the memory check


def convert(kova: str, folder: Path, peak_rss: str = "",
            options: tuple[str, ...] = ()) -> tuple[float, float]:
    """Wall seconds of one pattern run, and its peak memory in MB (0 if not asked)."""
    command = [kova, "convert", *options, f"{folder}/*.asc"]
    if peak_rss:
        command.insert(0, peak_rss)
    start = time.perf_counter()
    result = subprocess.run(command, capture_output=True, text=True)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit(f"kova convert failed: {result.stderr.strip()}")
    peak = re.search(r"peak_rss_kb (\d+)", result.stderr)
    return elapsed, int(peak.group(1)) / 1024 if peak else 0.0


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("peak_rss")
    parser.add_argument("kova")
    parser.add_argument("--files", type=int, default=100)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--reference")
    parser.add_argument("--limit-mb", type=float, default=20.0)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="kova-series-") as name:
        folder = Path(name) / "series"
        folder.mkdir()
        for i in range(args.files):
            write_grid(folder / f"grid{i:03d}.asc", 2000 + i)
        grids = sorted(folder.glob("*.asc"))

        # Warm the cache, then time first runs (no outputs) and reruns.
        convert(args.kova, folder)
        first, rerun, series_range = [], [], []
        for _ in range(args.repeat):
            for image in folder.glob("*.img"):
                image.unlink()
            first.append(convert(args.kova, folder)[0])
            rerun.append(convert(args.kova, folder)[0])
            for image in folder.glob("*.img"):
                image.unlink()
            series_range.append(convert(args.kova, folder, options=("--series-range",))[0])
        _, peak_many = convert(args.kova, folder, args.peak_rss)

        small = Path(name) / "small"
        small.mkdir()
        for grid in grids[:5]:
            shutil.copy(grid, small)
        _, peak_few = convert(args.kova, small, args.peak_rss)

        loadtxt = None
        try:
            import numpy

            start = time.perf_counter()
            for grid in grids:
                numpy.loadtxt(grid, skiprows=6, dtype=numpy.float32)
            loadtxt = (time.perf_counter() - start) / len(grids)
        except ImportError:
            pass

        same = None
        if args.reference:
            other = Path(name) / "reference"
            other.mkdir()
            for grid in grids:
                shutil.copy(grid, other)
            convert(args.reference, other)
            same = all(
                filecmp.cmp(folder / g.with_suffix(".img").name, other / g.with_suffix(".img").name,
                            shallow=False) for g in grids)

    n = args.files
    print(f"kova convert, {n} grids of 800 x 300 (warm cache, best of {args.repeat}):")
    print(f"  first run     {min(first) / n * 1e3:6.2f} ms per file "
          f"(median {statistics.median(first) / n * 1e3:.2f})")
    print(f"  rerun         {min(rerun) / n * 1e3:6.2f} ms per file "
          f"(median {statistics.median(rerun) / n * 1e3:.2f}) over existing outputs")
    print(f"  series range  {min(series_range) / n * 1e3:6.2f} ms per file "
          f"(median {statistics.median(series_range) / n * 1e3:.2f}), first run with "
          f"--series-range: {min(series_range) / min(first):.2f} x the first run")
    print(f"  peak memory   {peak_many:6.1f} MB for {n} files, {peak_few:.1f} MB for 5 files")
    if loadtxt is not None:
        print(f"  numpy.loadtxt {loadtxt * 1e3:6.2f} ms per file, reading only")
    if same is not None:
        print(f"  outputs {'identical to' if same else 'DIFFERENT from'} {args.reference}'s")
    ok = peak_many <= args.limit_mb and same is not False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
