#!/bin/sh
# wine-run.sh [--prefix=DIR] [--timeout=SECONDS] PROGRAM.exe [ARGS...]
# wine-run.sh --runs-32-bit
#
# Runs a Windows program under Wine with the loader for its architecture
# (read from its PE header), in a private prefix of that architecture, made
# on first use with the settings that keep test runs deterministic: no crash
# dialog (a crash exits at once instead of hanging in winedbg) and
# Wine-drawn window frames (no 2-second stalls waiting for a window manager
# that is not there). The program's exit status is passed through.
#
# Debian's /usr/bin/wine always picks the 32-bit loader when wine32 is
# installed, even on a machine whose kernel has its 32-bit emulation
# switched off, so the loaders are called by their own names here.
#
# --runs-32-bit answers, by its exit status alone, whether this machine runs
# 32-bit programs: the one probe that every script asks.
#
#   VELDER_WINEPREFIX  the prefix when --prefix is not given
#                      (default: ~/.cache/velder/wineprefix-win32 or -win64)
#   VELDER_NO_WIN32    when set, behave as a machine without 32-bit programs
#   VELDER_WINEDEBUG   Wine's debug channels (default: its errors only, lines
#                      such as "0024:err:module:..." on stderr, so that a run
#                      that fails inside Wine says why)
set -eu

loader32=/usr/lib/wine/wine
loader64=/usr/lib/wine/wine64

runs_32_bit() {
    [ -z "${VELDER_NO_WIN32:-}" ] && "$loader32" --version >/dev/null 2>&1
}

# pe_arch FILE: win32 for an i386 program, win64 for an x86-64 one, nothing
# for anything else.
pe_arch() {
    [ -f "$1" ] || return 0
    header=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    [ -n "$header" ] || return 0
    case $(od -An -tx2 -j$((header + 4)) -N2 "$1" 2>/dev/null | tr -d ' ') in
        014c) echo win32 ;;
        8664) echo win64 ;;
    esac
}

prefix=
norandom=
limit=${VELDER_WINE_TIMEOUT:-600}
while [ $# -gt 0 ]; do
    case $1 in
        --runs-32-bit) runs_32_bit; exit ;;
        --prefix=*) prefix=${1#--prefix=}; shift ;;
        --timeout=*) limit=${1#--timeout=}; shift ;;
        *) break ;;
    esac
done
[ $# -ge 1 ] || { echo "usage: wine-run.sh [--prefix=DIR] [--timeout=S] PROGRAM [ARGS...]" >&2; exit 2; }

arch=$(pe_arch "$1")
case $arch in
    win32)
        loader=$loader32
        if ! runs_32_bit; then
            echo "wine-run.sh: $1 is a 32-bit program, and this machine cannot run 32-bit programs" \
                "(the kernel's 32-bit emulation is off, or wine32 is missing)" >&2
            exit 126
        fi ;;
    win64)
        loader=$loader64
        # Debian's 64-bit loader comes without Wine's preloader, which would
        # hold Wine's fixed addresses from the first instruction. The loader
        # is linked at 0x7d000000, and the kernel starts its heap on a random
        # page up to 1 GiB above it: about one start in 6,000 the heap lies
        # over 0x7ffe0000, where Wine maps the shared user data, and Wine
        # exits 1 ("failed to map the shared user data") before the program
        # runs. Without address randomisation the heap starts right after the
        # loader, 48 MB below. (A 32-bit heap moves 32 MB at most.)
        if setarch "$(uname -m)" -R true 2>/dev/null; then
            norandom="setarch $(uname -m) -R"
        fi ;;
    *) echo "wine-run.sh: $1 is not a 32-bit or 64-bit Windows program" >&2; exit 2 ;;
esac
prefix=${prefix:-${VELDER_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/velder/wineprefix-$arch}}
# Wine takes only an absolute prefix.
case $prefix in /*) ;; *) prefix=$PWD/$prefix ;; esac

export WINEPREFIX="$prefix" WINEARCH="$arch" WINELOADER="$loader" WINEDEBUG="${VELDER_WINEDEBUG:--all,err+all}"
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

# .velder-prefix marks a folder this script made into a prefix: only such a
# folder (or an empty one) is ever removed, so that a wrong --prefix can
# never wipe anything else. .velder-ready, written last, names the
# prefix's architecture.
if [ ! -f "$prefix/.velder-ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$prefix/.velder-ready" ]; then
            if [ -f "$prefix/.velder-prefix" ]; then
                rm -rf "$prefix"  # our own, left half made
            elif [ -e "$prefix" ] && ! rmdir "$prefix" 2>/dev/null; then
                echo "wine-run.sh: $prefix exists and is not a prefix made by wine-run.sh; leaving it alone" >&2
                exit 2
            fi
            mkdir "$prefix"
            : >"$prefix/.velder-prefix"
            if [ -n "${DISPLAY:-}" ]; then $norandom "$loader" wineboot -i; else xvfb-run -a $norandom "$loader" wineboot -i; fi \
                >/dev/null 2>&1
            $norandom "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
            $norandom "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
            wineserver -w
            echo "$arch" >"$prefix/.velder-ready"
        fi
    ) 9>"$prefix.lock"
fi
# A prefix from before the marker named its architecture is a 32-bit one.
made=$(cat "$prefix/.velder-ready")
if [ "${made:-win32}" != "$arch" ]; then
    echo "wine-run.sh: $prefix is a ${made:-win32} prefix; $1 needs a $arch one" >&2
    exit 2
fi

# Start the wineserver and the session's services here, detached from our
# output: started by the program's own wine they would inherit the caller's
# pipes and hold them open long after the program ends. The server lingers a
# minute so that runs in a row reuse it. This happens under the prefix's
# lock: a run started at the same moment waits for the services instead of
# becoming the session's first program itself. Neither the server nor the
# services may keep the lock's descriptor.
(
    flock 9
    if wineserver -p60 </dev/null >/dev/null 2>&1 9>&-; then
        $norandom "$loader" cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$prefix.lock"

exec timeout -k 10 "$limit" $norandom "$loader" "$@"
