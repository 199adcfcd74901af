#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds, and runs every test: the normal
# build and its Debian package, then the core tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
# The window tests run under Qt's offscreen platform and need no display.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash tools/setup-debian.sh test

# Every source file as the repository's .clang-format lays it out.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DORVANE_WERROR=ON \
    -DORVANE_BUILD_TESTS=ON -DORVANE_BUILD_BENCHMARKS=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
bash tools/check-package.sh build

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DORVANE_WERROR=ON -DORVANE_SANITIZE=ON \
    -DORVANE_BUILD_BENCHMARKS=OFF -DORVANE_BUILD_WINDOWS=OFF
cmake --build build-sanitize -j "$jobs"
ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
