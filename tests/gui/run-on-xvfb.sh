#!/bin/sh
# run-on-xvfb.sh PREFIX COMMAND [ARGS...] - runs COMMAND on an X server of its
# own (Xvfb at 24 bits, so that pixels read back exactly) with a fresh
# wineserver for the Wine prefix PREFIX: a server left from another display
# would hold that display's desktop and keyboard state.
set -u
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all
restart() {
    if [ -d "$prefix" ]; then
        wineserver -k >/dev/null 2>&1
        wineserver -w >/dev/null 2>&1
    fi
}
restart
timeout -k 10 280 xvfb-run -a -s "-screen 0 1024x768x24" "$@"
status=$?
restart
exit $status
