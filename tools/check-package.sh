#!/usr/bin/env bash
# Builds the Debian package from a built build directory and checks it as installed: unpacked
# into a throw-away root, it must hold a valid desktop entry, MIME type and AppStream metainfo,
# its dependencies must be installable, and the installed programs must run an installed
# example. With ORVANE_INSTALL_PACKAGE=1 (CI, as root on a clean machine) the package is also
# installed with apt-get and run from /usr/bin, then removed again.
set -euo pipefail
build=${1:-build}

rm -f "$build"/package/orvane_*.deb
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build/package" >/dev/null
deb=$(realpath "$build"/package/orvane_*.deb)
echo "Package $deb:"
dpkg-deb --field "$deb" Package Version Depends Recommends
dpkg-deb --contents "$deb"
apt-get install --simulate "$deb" >/dev/null
# Debian's own checks of a binary package: an error or a warning fails; the remarks below them
# (info, pedantic) are shown.
lintian --fail-on error,warning --display-info "$deb"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb --extract "$deb" "$root"
share=$root/usr/share
# desktop-file-validate passes with hints and warnings; any remark fails here.
remarks=$(desktop-file-validate "$share/applications/orvane.desktop")
[ -z "$remarks" ] || { echo "$remarks" >&2; exit 1; }
appstreamcli validate --no-net --strict "$share/metainfo/org.orvane.Orvane.metainfo.xml"
mkdir -p "$root/mime/packages"
cp "$share/mime/packages/orvane.xml" "$root/mime/packages/"
XDG_DATA_DIRS=$root update-mime-database "$root/mime"
grep -q '^application/x-orvane-kvp:\*\.kvp$' "$root/mime/globs"
grep -q '^application/x-orvane-dataset:\*\.orv$' "$root/mime/globs"
for size in 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256; do
    file "$share/icons/hicolor/$size/apps/orvane.png" | grep -q "PNG image data, ${size/x/ x }"
done
man -l "$share/man/man1/orvane-batch.1.gz" >/dev/null
bash -n "$share/bash-completion/completions/orvane-batch"

# Runs the installed programs: their version, and an installed example into a scratch file.
run_installed() {
    local bin=$1 examples=$2
    "$bin/orvane-batch" --version
    QT_QPA_PLATFORM=offscreen "$bin/orvane" --version
    "$bin/orvane-batch" --json -o "$root/example.t-s" "$examples/short-bond.kvp" |
        grep '"end":"bond-failure"'
    # The figures come from the installed figure module.
    "$bin/orvane-batch" --figure "$root/example.pdf" -o "$root/example.t-s" \
        "$examples/short-bond.kvp" >/dev/null
    file "$root/example.pdf" | grep -q "PDF document"
    "$bin/orvane-batch" --json -o "$root/example.t-s" "$examples/perfectly-bilinear.orv" |
        grep '"law":"bilinear"'
}
run_installed "$root/usr/bin" "$share/doc/orvane/examples"

if [ "${ORVANE_INSTALL_PACKAGE:-0}" = 1 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$deb"
    run_installed /usr/bin /usr/share/doc/orvane/examples
    man -w orvane orvane-batch
    grep -q 'application/x-orvane-kvp:\*\.kvp' /usr/share/mime/globs2 # the trigger registered it
    apt-get remove -y orvane
fi
echo "Package checks passed."
