#!/usr/bin/python3
"""Checks every JSON output of orvane-batch against its JSON Schema in packaging/schema.

Usage: json_schema_check.py ORVANE_BATCH SCHEMA_DIR
Exits 77 (skipped) when python3-jsonschema is not installed.
"""
import csv
import json
import pathlib
import subprocess
import sys
import tempfile

try:
    import jsonschema
except ImportError:
    print("python3-jsonschema is not installed: skipped")
    sys.exit(77)

program, schema_dir = str(pathlib.Path(sys.argv[1]).resolve()), pathlib.Path(sys.argv[2])


def validator(name):
    schema = json.loads((schema_dir / name).read_text(encoding="utf-8"))
    jsonschema.Draft202012Validator.check_schema(schema)
    return jsonschema.Draft202012Validator(schema)


def outputs(arguments, cwd, statuses=(0,)):
    done = subprocess.run([program, *arguments], cwd=cwd, capture_output=True, text=True)
    if done.returncode not in statuses:
        sys.exit(f"{' '.join(arguments)}: exit {done.returncode}: {done.stderr}")
    return [json.loads(line) for line in done.stdout.splitlines() if line.strip()]


failures = 0
with tempfile.TemporaryDirectory() as work:
    # A measured curve made with the program: every eighth step of the start-up run.
    outputs(["-q", "--csv", "run.csv", "-o", "start.t-s"], work)
    with open(pathlib.Path(work) / "run.csv", newline="") as table:
        rows = [row for row in csv.reader(table) if row and not row[0].startswith("#")]
    slip, load = rows[0].index("sl"), rows[0].index("Pl")
    rising = [row for row in rows[1:] if float(row[slip]) <= 0.74][::8]
    (pathlib.Path(work) / "m.csv").write_text(
        "slip,load\n" + "".join(f"{row[slip]},{row[load]}\n" for row in rising))

    # A small test database: the statistics need no more to take their shape.
    (pathlib.Path(work) / "db.csv").write_text(
        "id,source,bc,fc,Ef (GPa),tf,bf,L,Pu (kN)\n"
        "A1,alpha,150,30,230,0.167,50,150,10.5\n"
        "A2,alpha,150,40,230,0.167,50,200,11.2\n"
        "B1,beta,200,35,165,1.2,50,250,25\n")

    cases = [
        ("validate.schema.json", ["validate", "--tests", "db.csv", "--json"], (0, 5)),
        ("run.schema.json", ["--json", "-o", "a.t-s"], (0,)),
        ("run.schema.json", ["--json", "-o", "b.t-s", "--law-from", "lu2005", "--fc", "30"], (0,)),
        ("run.schema.json", ["--json", "-o", "-", "--fc", "30"], (0,)),
        ("study-point.schema.json", ["study", "--vary", "lb=0,40", "--jsonl", "-"], (0,)),
        ("study-point.schema.json", ["study", "--vary", "law=softening,bilinear", "--vary",
                                     "tauMax=5,6", "--jsonl", "-"], (0,)),
        ("codes.schema.json", ["codes", "--fc", "30", "--json"], (0, 4)),
        ("codes.schema.json", ["codes", "--json"], (0, 4)),
        ("fit.schema.json", ["fit", "--measured", "m.csv", "--output", "f", "--json", "--law",
                             "both", "--fix", "tau"], (0, 5)),
    ]
    for schema, arguments, statuses in cases:
        # With -o - the result file takes standard output and the JSON goes to standard error.
        if "-o" in arguments and arguments[arguments.index("-o") + 1] == "-":
            done = subprocess.run([program, *arguments], cwd=work, capture_output=True)
            objects = [json.loads(done.stderr.decode("utf-8"))]
        else:
            objects = outputs(arguments, work, statuses)
        if not objects:
            print(f"FAIL {' '.join(arguments)}: no JSON")
            failures += 1
        for data in objects:
            errors = list(validator(schema).iter_errors(data))
            for error in errors:
                print(f"FAIL {' '.join(arguments)}: {list(error.absolute_path)}: {error.message}")
            failures += len(errors)
        print(f"{'ok' if failures == 0 else '..'}   {schema}: {' '.join(arguments)}")
sys.exit(1 if failures else 0)
