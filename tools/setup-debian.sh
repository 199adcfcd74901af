#!/usr/bin/env bash
# Installs what Orvane needs to build and test on Debian 12, skipping what is present.
set -euo pipefail

# Build tools, GoogleTest and Google Benchmark, Qt 6 Widgets and Svg, a Japanese proportional Gothic
# face (the forms' captions hold Greek and Japanese), and Xvfb for running without a screen.
packages=(g++ cmake make libgtest-dev libbenchmark-dev locales qt6-base-dev qt6-svg-dev libgl-dev
    fonts-ipafont-gothic xvfb xauth)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The number-text tests also run under a locale whose decimal separator is a comma.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    if [ "$(id -u)" -eq 0 ]; then
        localedef -i de_DE -f UTF-8 de_DE.UTF-8
    else
        sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
    fi
fi
