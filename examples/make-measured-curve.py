#!/usr/bin/python3
"""Makes examples/measured-curve.csv: a load-slip record as a pull-out test would give it,
from the program's own run of examples/startup.orv with the scatter of a real test added.

Usage: python3 examples/make-measured-curve.py [ORVANE_BATCH [OUT]]
(default: build/orvane-batch and examples/measured-curve.csv)

Every fourth step of the run while the loaded-end slip grows, up to the failure of the bond, with a normal scatter of 1.5 % of
the peak load on the load and 0.3 µm on the slip, from a fixed seed: the same file on every
machine. The fit of the README finds the law of startup.orv back from it (tau 6.467 N/mm²,
smax 0.065 mm, su 0.354 mm) within 5 %.
"""
import csv
import io
import pathlib
import random
import subprocess
import sys

here = pathlib.Path(__file__).resolve().parent
program = sys.argv[1] if len(sys.argv) > 1 else str(here.parent / "build" / "orvane-batch")
run = subprocess.run([program, "-q", "--csv", "-", "-o", "/dev/null", str(here / "startup.orv")],
                     capture_output=True, text=True, check=True)
rows = [row for row in csv.reader(io.StringIO(run.stdout)) if row and not row[0].startswith("#")]
slip, load = rows[0].index("sl"), rows[0].index("Pl")
steps = [(float(row[slip]), float(row[load])) for row in rows[1:]]
peak = max(p for _, p in steps)
# A test records while its loaded-end slip grows: from the first visible slip to the largest,
# where the bond fails (the run's later steps snap back along the unloading path).
last = max(range(len(steps)), key=lambda k: steps[k][0])
steps = [(sl, pl) for sl, pl in steps[: last + 1] if sl > 0.005]

noise = random.Random(2026)
lines = ["slip (mm),load (N)"]
for sl, pl in steps[::4] + steps[-1:]:
    lines.append(f"{sl + noise.gauss(0, 0.0003):.4f},{max(0.0, pl + noise.gauss(0, 0.015 * peak)):.0f}")
out = pathlib.Path(sys.argv[2]) if len(sys.argv) > 2 else here / "measured-curve.csv"
out.write_text("\n".join(lines) + "\n", encoding="utf-8")
print(f"{len(lines) - 1} points, peak {peak:.0f} N, written to {out}")
