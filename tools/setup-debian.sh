#!/usr/bin/env bash
# Installs the Debian 12 packages Orvane needs, skipping what is present:
#   setup-debian.sh run    what building and starting the two programs needs
#   setup-debian.sh test   that, and what the tests, benchmarks and the Debian package need
set -euo pipefail
purpose=${1:-test}

# Build tools, Qt 6 Widgets and Svg (the report figures), NLopt (calibrating the bond-slip law
# to a measured curve), CLI11 (the batch program's command line), toml++ (the data-set file),
# libxlsxwriter (the batch program's Excel workbooks) and a Japanese proportional Gothic face
# (the forms' captions hold Greek and Japanese).
packages=(g++ cmake make qt6-base-dev qt6-svg-dev libnlopt-cxx-dev libcli11-dev libtomlplusplus-dev
    libxlsxwriter-dev libgl-dev fonts-ipafont-gothic)
if [ "$purpose" = test ]; then
    # GoogleTest, Google Benchmark, a German locale, Xvfb and openbox for running windows
    # without a screen under a real window manager, clang-format, the Debian packaging tools
    # and lintian, bash-completion (the completion test), the checkers of the desktop entry,
    # the MIME type and the AppStream metainfo, and the JSON Schema validator and the workbook
    # reader of the output checks.
    packages+=(libgtest-dev libbenchmark-dev locales xvfb xauth openbox clang-format dpkg-dev
        file desktop-file-utils shared-mime-info appstream lintian bash-completion
        python3-jsonschema python3-openpyxl)
fi

as_root=()
need_root() {
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "Orvane needs: $1" >&2
            echo "Run as root or install: $2" >&2
            exit 1
        fi
        as_root=(sudo)
    fi
}

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    need_root "the Debian packages ${missing[*]}" "apt-get install ${missing[*]}"
    "${as_root[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y --no-install-recommends \
        "${missing[@]}"
fi

# The number-text tests also run under a locale whose decimal separator is a comma.
if [ "$purpose" = test ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    need_root "the locale de_DE.UTF-8" "localedef -i de_DE -f UTF-8 de_DE.UTF-8"
    "${as_root[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
