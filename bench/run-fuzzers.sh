#!/usr/bin/env bash
# Builds the libFuzzer targets of the parameter-file, number-text and data-set-file readers into
# build-fuzz/ and runs each in turn for a bounded time.
# Usage: bench/run-fuzzers.sh [seconds per fuzzer, default 60]
# Inputs that crash are kept as build-fuzz/<name>-crash-*; replay one with
# build-fuzz/<name> <file>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
out=build-fuzz

if ! command -v clang++ >/dev/null; then
    echo "clang++ not found: install the Debian packages clang and libclang-rt-14-dev." >&2
    exit 1
fi
if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
    clang++ -fsanitize=fuzzer -x c++ - -o /dev/null 2>/dev/null; then
    echo "clang++ cannot link libFuzzer: install the Debian package libclang-rt-14-dev." >&2
    exit 1
fi

mkdir -p "$out"
# The core's floating-point options, as the main build sets them; assertions stay on.
flags=(-std=c++20 -g -O1 "-fsanitize=fuzzer,address,undefined" -fno-sanitize-recover=all
    -ffp-contract=off -fno-fast-math -Wall -Wextra -Werror -I.)
clang++ "${flags[@]}" -o "$out/parameter_file_fuzz" bench/fuzz/parameter_file_fuzz.cpp \
    core/files/ParameterFile.cpp core/files/Cp932.cpp core/files/FileStatus.cpp
clang++ "${flags[@]}" -o "$out/parse_number_fuzz" bench/fuzz/parse_number_fuzz.cpp \
    core/numtext/NumberText.cpp
# toml++ compiled into the fuzzer from its headers, so that its parser is covered too. Its own
# debug assertions stay off, as in the Debian library: toml++ 3.3 asserts on a table header cut
# short ("[" then a line end), which the library reports as a parse error (fixed upstream).
clang++ "${flags[@]}" -DTOML_HEADER_ONLY=1 "-DTOML_ASSERT(expr)=static_assert(true)" -o "$out/data_set_file_fuzz" \
    bench/fuzz/data_set_file_fuzz.cpp core/files/DataSetFile.cpp core/files/ParameterFile.cpp \
    core/files/Cp932.cpp core/files/FileStatus.cpp core/engine/AnalysisParameters.cpp \
    core/numtext/NumberText.cpp

# Seeds: valid files (CR LF, bare LF, a Shift-JIS comment) and one that ends too early.
corpus="$out/corpus-parameter_file"
mkdir -p "$corpus"
values=(6.467 0.0650 0.3540 0.120 120.0 N 50.00 0.167 230000 0.300 2450 50.0 100.0 24000 193.5
    206000)
printf '%s\r\n' "Please input the comment." "${values[@]}" >"$corpus/seed-crlf"
printf '%s\n' "Please input the comment." "${values[@]}" >"$corpus/seed-lf"
{
    printf '\x8e\x8e\x8c\xb1\r\n' # a Japanese comment in Shift-JIS
    printf '%s\r\n' "${values[@]:0:5}" Y "${values[@]:6}"
} >"$corpus/seed-sjis"
printf '%s\r\n' "Please input the comment." "${values[@]:0:7}" >"$corpus/seed-short"

corpus="$out/corpus-data_set_file"
mkdir -p "$corpus"
cp examples/*.orv "$corpus/"

corpus="$out/corpus-parse_number"
mkdir -p "$corpus"
numbers=("6.467" "1E-07" "&H10" "&O17" " 1 000 " "-0.5mm" "-.5" "1.5E+400" "2.5e-330")
for i in "${!numbers[@]}"; do
    printf '%s' "${numbers[$i]}" >"$corpus/seed-$i"
done

status=0
for name in parameter_file parse_number data_set_file; do
    echo "== ${name}_fuzz, ${seconds} s"
    log="$out/$name.log"
    if ! "$out/${name}_fuzz" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$out/$name-" "$out/corpus-$name" >"$log" 2>&1; then
        status=1
        grep -E 'invariant failed|ERROR: |SUMMARY: |^    #[0-9]+ |Test unit written' "$log" || true
    fi
    # Coverage at start, the last status line (cov, ft, corp, exec/s) and the final counts.
    grep -E '^#[0-9]+.*INITED' "$log" || true
    grep -E '^#[0-9]+' "$log" | tail -n 1
    grep -E '^stat::' "$log" || true
    echo "corpus: $(find "$out/corpus-$name" -type f | wc -l) files"
done
exit "$status"
