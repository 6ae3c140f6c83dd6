#!/usr/bin/env python3
"""Writes a small example series of Tarvo ASCII grids: three dekads (ten-day
periods) of rainfall totals in millimetres over a 6 x 4 degree region at
0.1 degree cells. Cells over the lake in the north-west corner carry the
no-data text. The output is the same on every run (fixed seed, no clock).

    python3 examples/make_examples.py [OUTPUT_DIRECTORY]
"""

import math
import random
import sys
from pathlib import Path

COLUMNS = 60
ROWS = 40
LEFT = 29.0      # degrees east, left edge
BOTTOM = -4.0    # degrees north, bottom edge
CELL = 0.1       # degrees
NO_DATA = "-9999"


def is_lake(lon, lat):
    """An elliptic lake whose cells have no rainfall estimate."""
    return ((lon - 29.9) / 0.55) ** 2 + ((lat + 0.6) / 0.35) ** 2 <= 1.0


def rain_field(dekad, rng):
    """Rain in mm per cell for one dekad: a few storm cells drifting east over
    a dry-to-wet gradient from north to south, plus a little noise."""
    storms = []
    for _ in range(4):
        storms.append((
            LEFT + rng.uniform(0.5, 3.0) + 1.0 * dekad,   # drifts east
            BOTTOM + rng.uniform(0.5, 3.5),
            rng.uniform(20.0, 70.0),                      # peak mm
            rng.uniform(0.3, 0.8),                        # radius, degrees
        ))
    grid = []
    for row in range(ROWS):
        lat = BOTTOM + (ROWS - row - 0.5) * CELL         # row 0 is the north edge
        cells = []
        for col in range(COLUMNS):
            lon = LEFT + (col + 0.5) * CELL
            if is_lake(lon, lat):
                cells.append(None)
                continue
            rain = 8.0 + 6.0 * (BOTTOM + 4.0 - lat) / 4.0 + 2.0 * dekad
            for s_lon, s_lat, peak, radius in storms:
                d2 = (lon - s_lon) ** 2 + (lat - s_lat) ** 2
                rain += peak * math.exp(-d2 / (2.0 * radius * radius))
            rain *= rng.uniform(0.9, 1.1)
            cells.append(max(0.0, rain))
        grid.append(cells)
    return grid


def grid_text(grid):
    lines = [
        f"columns {COLUMNS}",
        f"rows {ROWS}",
        f"leftedge {LEFT:.1f}",
        f"bottomedge {BOTTOM:.1f}",
        f"cell {CELL:.1f}",
        f"nodata {NO_DATA}",
    ]
    for cells in grid:
        lines.append(" ".join(NO_DATA if v is None else f"{v:.1f}" for v in cells))
    return "\n".join(lines) + "\n"


def main():
    out_dir = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent
    out_dir.mkdir(parents=True, exist_ok=True)
    rng = random.Random(20240101)
    for dekad in (1, 2, 3):
        path = out_dir / f"rain_dekad{dekad}.asc"
        path.write_text(grid_text(rain_field(dekad, rng)), encoding="ascii", newline="\n")
        print(path)


if __name__ == "__main__":
    main()
