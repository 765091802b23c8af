#!/bin/sh
# wine-run.sh [--prefix=DIR] [--timeout=SECONDS] PROGRAM.exe [ARGS...]
#
# Runs a Windows program under Wine in a private prefix, made on first use
# with the settings that keep test runs deterministic: no crash dialog (a
# crash exits at once instead of hanging in winedbg) and Wine-drawn window
# frames (no 2-second stalls waiting for a window manager that is not there).
# The program's exit status is passed through.
set -eu

prefix=${VELDER_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/velder/wineprefix}
limit=${VELDER_WINE_TIMEOUT:-600}
while [ $# -gt 0 ]; do
    case $1 in
        --prefix=*) prefix=${1#--prefix=}; shift ;;
        --timeout=*) limit=${1#--timeout=}; shift ;;
        *) break ;;
    esac
done
[ $# -ge 1 ] || { echo "usage: wine-run.sh [--prefix=DIR] [--timeout=S] PROGRAM [ARGS...]" >&2; exit 2; }

export WINEPREFIX="$prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

if [ ! -f "$prefix/.velder-ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$prefix/.velder-ready" ]; then
            rm -rf "$prefix"
            if [ -n "${DISPLAY:-}" ]; then wineboot -i; else xvfb-run -a wineboot -i; fi >/dev/null 2>&1
            wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
            wineserver -w
            touch "$prefix/.velder-ready"
        fi
    ) 9>"$prefix.lock"
fi

# Start the wineserver and the session's services here, detached from our
# output: started by the program's own wine they would inherit the caller's
# pipes and hold them open long after the program ends. The server lingers a
# minute so that runs in a row reuse it.
if wineserver -p60 </dev/null >/dev/null 2>&1; then
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
fi

exec timeout -k 10 "$limit" wine "$@"
