#!/usr/bin/env bash
# Throughput of the t-s writer and its peak memory, measured side by side with a plain copy.
#   (a) a detail-output run of the start-up data set, in MB/s of t-s text, against cp of a
#       file of the same size;
#   (b) peak memory of a detail-output run with one million elements per step (written to
#       /dev/null, since the file would hold some 250 million lines);
#   (c) peak memory of the CSV distribution table for 10 000 and 100 000 elements a step.
# Usage: bench/writer_throughput.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
batch="${1:-build}/orvane-batch"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs a command; prints its wall time and its processor time (user + system), in seconds. On a
# shared machine the wall time includes waits for a processor, the processor time does not.
seconds() {
    local TIMEFORMAT='%3R %3U %3S'
    { time "$@" >/dev/null 2>/dev/null; } 2>&1 | awk '{ printf "%s %.3f\n", $1, $2 + $3 }'
}
smaller() { echo "if ($1 < $2) $1 else $2" | bc -l; }

echo "(a) detail-output run of the start-up data set"
best_run=999 best_copy=999 cpu_run=999 cpu_copy=999
for round in 1 2 3 4 5; do
    read -r run run_cpu < <(seconds "$batch" --detail --output "$work/run.t-s")
    read -r copy copy_cpu < <(seconds cp "$work/run.t-s" "$work/copy.t-s")
    rm -f "$work/copy.t-s"
    best_run=$(smaller "$run" "$best_run") best_copy=$(smaller "$copy" "$best_copy")
    cpu_run=$(smaller "$run_cpu" "$cpu_run") cpu_copy=$(smaller "$copy_cpu" "$cpu_copy")
done
bytes=$(stat -c %s "$work/run.t-s")
mb=$(echo "$bytes / 1000000" | bc -l)
printf '  t-s file      %d bytes, %d lines\n' "$bytes" "$(wc -l <"$work/run.t-s")"
printf '  writer run    %.3f s  %7.1f MB/s (whole run: analysis and formatting), %.3f s CPU\n' \
    "$best_run" "$(echo "$mb / $best_run" | bc -l)" "$cpu_run"
printf '  cp            %.3f s  %7.1f MB/s, %.3f s CPU\n' "$best_copy" \
    "$(echo "$mb / $best_copy" | bc -l)" "$cpu_copy"
printf '  ratio         %.2f of the copy throughput (best of 5, wall time)\n' \
    "$(echo "$best_copy / $best_run" | bc -l)"

echo "(b) peak memory, detail output, lb 1000 mm, dl 0.001 mm (1 000 000 elements a step)"
printf '%s\r\n' "long bond" 6.467 0.0650 0.3540 0.001 1000.0 Y 50.00 0.167 230000 0.300 2450 \
    50.0 100.0 24000 193.5 206000 >"$work/long.kvp"
/usr/bin/time -f '  peak resident %M KiB, %e s' "$batch" --output /dev/null "$work/long.kvp" \
    >/dev/null
/usr/bin/time -f '  the same without detail: peak resident %M KiB, %e s' "$batch" --no-detail \
    --output /dev/null "$work/long.kvp" >/dev/null

echo "(c) peak memory of the CSV tables, lb 1000 mm: the distribution table streams, so ten times"
echo "    the elements must not raise the peak beyond the run's own arrays"
for dl in 0.1 0.01; do
    printf '%s\r\n' "long bond" 6.467 0.0650 0.3540 "$dl" 1000.0 N 50.00 0.167 230000 0.300 2450 \
        50.0 100.0 24000 193.5 206000 >"$work/csv.kvp"
    /usr/bin/time -f "  dl $dl: --csv-distribution: peak resident %M KiB, %e s" "$batch" \
        --output /dev/null --csv-distribution /dev/null "$work/csv.kvp" >/dev/null
    /usr/bin/time -f "  dl $dl: no CSV:             peak resident %M KiB, %e s" "$batch" \
        --output /dev/null "$work/csv.kvp" >/dev/null
done
