#!/usr/bin/env python3
"""Peak memory of `kova convert` on a series of maximum-size grids.

Writes a series of 800 x 300 grids (three decimals, about one cell in ten
no-data) into a temporary folder, converts them all with one pattern run and
reports the largest resident set size the program reached. The run fails when
it exceeds the limit (20 MB by default).

usage: peak_memory.py PATH/TO/peak_rss PATH/TO/kova [--files N] [--limit-mb M]
"""
import argparse
import random
import re
import subprocess
import sys
import tempfile
from pathlib import Path


def write_grid(path: Path, seed: int) -> None:
    rng = random.Random(seed)
    lines = ["columns 800", "rows 300", "left 10.0", "bottom 40.0", "cell 0.05", "nodata -9999"]
    for _ in range(300):
        row = []
        for _ in range(800):
            if rng.random() < 0.1:
                row.append("-9999")
            else:
                row.append(f"{rng.randrange(100000) / 1000:.3f}")
        lines.append(" ".join(row))
    path.write_text("\n".join(lines) + "\n")


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("peak_rss")
    parser.add_argument("kova")
    parser.add_argument("--files", type=int, default=5)
    parser.add_argument("--limit-mb", type=float, default=20.0)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="kova-memory-") as folder:
        for i in range(args.files):
            write_grid(Path(folder) / f"grid{i:02d}.asc", 1000 + i)
        size = sum(p.stat().st_size for p in Path(folder).glob("*.asc"))
        result = subprocess.run([args.peak_rss, args.kova, "convert", f"{folder}/*.asc"],
                                capture_output=True, text=True)
        if result.returncode != 0:
            print(result.stderr, file=sys.stderr)
            return 1
        peak_mb = int(re.search(r"peak_rss_kb (\d+)", result.stderr).group(1)) / 1024
    print(f"kova convert, {args.files} grids of 800 x 300 ({size / 1e6:.1f} MB of text): "
          f"{result.stdout.strip()}; peak resident memory {peak_mb:.1f} MB "
          f"(limit {args.limit_mb:.0f} MB)")
    return 0 if peak_mb <= args.limit_mb else 1


if __name__ == "__main__":
    sys.exit(main())
