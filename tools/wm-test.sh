#!/bin/sh
# Runs a window test under a real window manager, openbox on a virtual X screen, where frames
# and title bars are known only once a window is mapped. openbox starts the test itself when
# it manages the screen, so nothing waits a fixed time. Exit status: the test's.
#   tools/wm-test.sh TEST-EXECUTABLE [TEST-FUNCTION...]
# ORVANE_SCREEN=WIDTHxHEIGHT sets the screen's size (default 1280x1024), e.g. 1366x768 for the
# smallest laptop screen the windows must fit.
set -eu
if [ "${1:-}" = "--inside" ]; then
    status=$2
    cd "$3"
    shift 3
    trap 'openbox --exit' EXIT
    set +e
    QT_QPA_PLATFORM=xcb "$@"
    echo $? >"$status"
    exit 0
fi
self=$(readlink -f "$0")
status=$(mktemp)
trap 'rm -f "$status"' EXIT
echo 1 >"$status"
xvfb-run -a -s "-screen 0 ${ORVANE_SCREEN:-1280x1024}x24" \
    openbox --startup "sh $self --inside $status $(pwd) $*" 2>/dev/null
exit "$(cat "$status")"
