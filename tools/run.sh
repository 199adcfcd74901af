#!/usr/bin/env bash
# Installs what is missing, builds Orvane, and runs the start-up analysis.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup-debian.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)"
./build/orvane-batch "$@"
