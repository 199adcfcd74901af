#!/usr/bin/python3
"""Reads back the workbooks of orvane-batch --xlsx with openpyxl and checks them against the
program's own CSV and JSON outputs: the sheets, numbers stored as numbers, units and charts.

Usage: xlsx_check.py ORVANE_BATCH
Exits 77 (skipped) when python3-openpyxl is not installed.
"""
import csv
import json
import math
import pathlib
import subprocess
import sys
import tempfile

try:
    import openpyxl
except ImportError:
    print("python3-openpyxl is not installed: skipped")
    sys.exit(77)

program = str(pathlib.Path(sys.argv[1]).resolve())
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def batch(arguments, cwd, statuses=(0,)):
    done = subprocess.run([program, *arguments], cwd=cwd, capture_output=True, text=True)
    if done.returncode not in statuses:
        sys.exit(f"{' '.join(arguments)}: exit {done.returncode}: {done.stderr}")
    return done.stdout


def table(path):
    with open(path, newline="", encoding="utf-8") as f:
        rows = [row for row in csv.reader(f) if row and not row[0].startswith("#")]
    return rows[0], rows[1:]


def cells(sheet, first_row=3):
    return [list(row) for row in sheet.iter_rows(min_row=first_row, values_only=True)]


def same(a, b):
    return math.isclose(a, b, rel_tol=1e-15, abs_tol=0)


def series_count(book, chart_sheet):
    return len(book[chart_sheet]._charts[0].series) if book[chart_sheet]._charts else 0


with tempfile.TemporaryDirectory() as work:
    folder = pathlib.Path(work)

    # The run: every step as the CSV table has it, the inputs as the window shows them.
    summary = json.loads(batch(["--json", "-o", "r.t-s", "--csv", "r.csv", "--xlsx", "r.xlsx"],
                               work))
    book = openpyxl.load_workbook(folder / "r.xlsx")
    check(book.sheetnames == ["Inputs", "Steps", "Load-slip"], f"run sheets {book.sheetnames}")
    inputs = {row[0]: (row[1], row[2]) for row in cells(book["Inputs"], 2)}
    check(inputs["tauMax"] == (6.467, "N/mm²"), f"tauMax {inputs['tauMax']}")
    check(inputs["law"][0] == "softening", f"law {inputs['law']}")
    check(inputs["end"][0] == summary["end"], f"end {inputs['end']}")
    check(same(inputs["Pbumax"][0], summary["Pbumax"]), f"Pbumax {inputs['Pbumax']}")
    header, rows = table(folder / "r.csv")
    steps = book["Steps"]
    check([c.value for c in steps[1]] == header, f"step headings {[c.value for c in steps[1]]}")
    check(steps["E2"].value == "N", f"unit of Pl {steps['E2'].value}")
    sheet_rows = cells(steps)
    check(len(sheet_rows) == summary["steps"] == len(rows), f"{len(sheet_rows)} step rows")
    for got, want in zip(sheet_rows, rows):
        if not all(isinstance(v, (int, float)) and same(v, float(w)) for v, w in zip(got, want)):
            failures.append(f"step {want[0]}: {got} is not {want}")
            break
    check(series_count(book, "Load-slip") == 1, "run chart")

    # A study: law outer, lb inner, so one line of Pbumax against lb per law.
    batch(["study", "-q", "--vary", "law=softening,bilinear", "--vary", "lb=20,40,60", "--csv",
           "s.csv", "--xlsx", "s.xlsx"], work)
    book = openpyxl.load_workbook(folder / "s.xlsx")
    check(book.sheetnames == ["Inputs", "Points", "Chart"], f"study sheets {book.sheetnames}")
    header, rows = table(folder / "s.csv")
    points = book["Points"]
    sheet_rows = cells(points)
    check(len(sheet_rows) == len(rows) == 6, f"{len(sheet_rows)} study rows")
    for got, want in zip(sheet_rows, rows):
        check(got[1] == want[1] and got[2] == float(want[2]), f"swept {got[:3]} for {want[:3]}")
        check(same(got[4], float(want[4])), f"Pbumax {got[4]} for {want[4]}")
        check(got[6] == "bond-failure", f"end {got[6]}")
    check(series_count(book, "Chart") == 2, f"study chart series {series_count(book, 'Chart')}")

    # A fit: the measured points and the model loads beside them.
    batch(["-q", "--csv", "m.csv", "-o", "m.t-s"], work)
    header, rows = table(folder / "m.csv")
    slip, load = header.index("sl"), header.index("Pl")
    (folder / "lab.csv").write_text("slip,load\n" + "".join(
        f"{row[slip]},{row[load]}\n" for row in rows[::8] if float(row[slip]) <= 0.6))
    fitted = json.loads(batch(["fit", "--json", "--measured", "lab.csv", "--output", "f",
                               "--fix", "tau", "--xlsx", "f.xlsx"], work, (0, 5)))
    book = openpyxl.load_workbook(folder / "f.xlsx")
    check(book.sheetnames == ["Inputs", "Points", "Chart"], f"fit sheets {book.sheetnames}")
    sheet_rows = cells(book["Points"])
    check(len(sheet_rows) == fitted["points"], f"{len(sheet_rows)} fit rows")
    check(all(isinstance(v, float) for row in sheet_rows for v in row), "fit numbers")
    inputs = {row[0]: row[1] for row in cells(book["Inputs"], 2)}
    check(same(inputs["softening sMax"], fitted["fits"][0]["sMax"]["value"]), "fitted sMax")
    check(series_count(book, "Chart") == 2, "fit chart")

    # A series: every specimen's points, named in a first column as the CSV names them, with
    # the model loads of the shared law; one measured and one model line per specimen.
    (folder / "lab2.csv").write_text("slip,load\n" + "".join(
        f"{row[slip]},{row[load]}\n" for row in rows[4::8] if float(row[slip]) <= 0.5))
    fitted = json.loads(batch(["fit", "--json", "--specimen", "lab.csv", "--specimen", "lab2.csv",
                               "--output", "g", "--fix", "tau", "--xlsx", "g.xlsx"], work, (0, 5)))
    book = openpyxl.load_workbook(folder / "g.xlsx")
    header, rows = table(folder / fitted["fits"][0]["csv"])
    sheet_rows = cells(book["Points"])
    check([c.value for c in book["Points"][1]][:4] ==
          ["specimen", "slip", "measured load", "model load softening"],
          f"series headings {[c.value for c in book['Points'][1]]}")
    check(len(sheet_rows) == len(rows) == sum(s["points"] for s in fitted["fits"][0]["specimens"]),
          f"{len(sheet_rows)} series rows for {len(rows)} CSV rows")
    check({row[0] for row in sheet_rows} == {"lab.csv", "lab2.csv"}, "series specimen names")
    for got, want in zip(sheet_rows, rows):
        if got[0] != want[0] or not all(same(g, float(w)) for g, w in zip(got[1:4], want[1:4])):
            failures.append(f"series row {got} is not {want}")
            break
    check(series_count(book, "Chart") == 4, f"series chart {series_count(book, 'Chart')}")

    # A workbook must be named as one.
    done = subprocess.run([program, "--xlsx", "r.csv"], cwd=work, capture_output=True, text=True)
    check(done.returncode == 2 and "--xlsx" in done.stderr, f"--xlsx r.csv: {done.stderr}")

for failure in failures:
    print("FAIL", failure)
print("xlsx checks:", "failed" if failures else "passed")
sys.exit(1 if failures else 0)
