#!/usr/bin/env bash
# Installs what is missing to build Orvane's two programs, builds only them, and starts orvane
# with the arguments given (a parameter file, for example), from the caller's directory.
# Without a display it says so and runs the analysis with orvane-batch instead.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$source_dir/build

bash "$source_dir/tools/setup-debian.sh" run
# The configuration of tools/test.sh without tests and benchmarks, so that it reuses this build.
cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DORVANE_WERROR=ON \
    -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target orvane orvane-batch
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$build_dir/orvane" "$@"
fi
echo "No display: running the analysis without windows (build/orvane-batch)."
exec "$build_dir/orvane-batch" "$@"
