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

seconds() { # runs a command, prints its wall time in seconds
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

echo "(a) detail-output run of the start-up data set"
best_run=999 best_copy=999
for round in 1 2 3 4 5; do
    run=$(seconds "$batch" --detail --output "$work/run.t-s")
    copy=$(seconds cp "$work/run.t-s" "$work/copy.t-s")
    rm -f "$work/copy.t-s"
    best_run=$(echo "if ($run < $best_run) $run else $best_run" | bc -l)
    best_copy=$(echo "if ($copy < $best_copy) $copy else $best_copy" | bc -l)
done
bytes=$(stat -c %s "$work/run.t-s")
mb=$(echo "$bytes / 1000000" | bc -l)
printf '  t-s file      %d bytes, %d lines\n' "$bytes" "$(wc -l <"$work/run.t-s")"
printf '  writer run    %.3f s  %7.1f MB/s (whole run: analysis and formatting)\n' \
    "$best_run" "$(echo "$mb / $best_run" | bc -l)"
printf '  cp            %.3f s  %7.1f MB/s\n' "$best_copy" "$(echo "$mb / $best_copy" | bc -l)"
printf '  ratio         %.2f of the copy throughput (best of 5)\n' \
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
