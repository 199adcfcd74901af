#!/usr/bin/env bash
# Installs what is missing, builds Orvane and starts it. Without a display it says so and runs
# the start-up analysis with orvane-batch instead.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup-debian.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec ./build/orvane
fi
echo "No display: running the start-up analysis without windows (build/orvane-batch)."
exec ./build/orvane-batch "$@"
