#!/bin/bash
# black_box.sh PREFIX VIEWER.exe OUTDIR - the real viewer under Wine on the
# current X display (run-on-xvfb.sh gives it one of its own), driven like a
# user with xdotool: shortcuts while the list has the focus, the About box,
# the three ways of closing it, an archive named on the command line whose
# pictures are selected and checked on the screen, and files dropped from the
# X side. Screenshots go to OUTDIR. Prints "BLACK BOX PASSED" only when every
# case passed.
set -u
prefix=$1
exe=$2
out=$3
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
export WINEPREFIX="$prefix" WINEDEBUG=-all
mkdir -p "$out"
rm -f "$out"/*.png
title='^Velder Image Viewer$'
failed=0

say() { echo "black box: $*"; }
fail() { echo "black box: FAILED: $*"; failed=1; }

# start_viewer [TITLE [ARGUMENTS...]]: a fresh wineserver for every case (a
# key that closes the window loses its key-up, and the server would keep it
# pressed for the next program), then the viewer with the arguments, then
# the id and geometry of its window, found by its title.
start_viewer() {
    local name=${1:-$title}
    shift
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    "$root/scripts/wine-run.sh" --prefix="$prefix" --timeout=60 "$exe" "$@" >"$out/viewer.log" 2>&1 &
    viewer=$!
    wid=$(timeout 30 xdotool search --sync --onlyvisible --name "$name" 2>/dev/null | head -1)
    if [ -z "$wid" ]; then
        fail "the main window did not appear"
        return 1
    fi
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    say "window $wid at $X,$Y, $WIDTH x $HEIGHT"
}

# look NAME EXPECTED [LIST [TRIES]]: screenshots, up to TRIES (50) a tenth
# of a second apart, until the background shows EXPECTED and, when LIST is
# given, the list shows LIST: a busy machine can paint the background well
# before the list paints itself. The last colours seen are left in colour
# and list.
look() {
    colour= list=
    for _ in $(seq "${4:-50}"); do
        import -window root "$out/$1.png" 2>/dev/null
        colour=$("$here/check_screenshot.py" colour "$out/$1.png" "$X" "$Y" "$WIDTH" "$HEIGHT")
        [ -z "${3-}" ] || list=$("$here/check_screenshot.py" list "$out/$1.png" "$X" "$Y" "$WIDTH" "$HEIGHT")
        [ "$colour" = "$2" ] && [ "$list" = "${3-}" ] && return 0
        sleep 0.1
    done
    return 1
}

# shot NAME EXPECTED [LIST]: look, and fail when it does not come.
shot() {
    look "$@" && return 0
    fail "$1: background $colour, expected $2${3:+; list $list, expected $3}"
    return 1
}

# press KEY NAME EXPECTED: presses KEY and waits until the background shows
# EXPECTED. A key that is lost all the same is pressed once more, and the
# second press is said on a line of its own beginning "RETRY", which test.sh
# counts.
press() {
    xdotool key --window "$wid" "$1"
    look "$2" "$3" "" 30 && return 0
    echo "RETRY black box: $1 for $2 was lost (background $colour); pressing it once more"
    xdotool key --window "$wid" "$1"
    look "$2" "$3" "" 30 && return 0
    fail "$2: background $colour after pressing $1 twice, expected $3"
    return 1
}

# windows_become N [SEARCH...]: waits until N visible windows match the
# xdotool search (by default: those that carry the viewer's title).
windows_become() {
    local want=$1 n=
    shift
    [ $# -gt 0 ] || set -- --name "$title"
    for _ in $(seq 50); do
        n=$(xdotool search --onlyvisible "$@" 2>/dev/null | wc -l)
        [ "$n" -eq "$want" ] && return 0
        sleep 0.1
    done
    fail "$n windows match '$*', expected $want"
    return 1
}

# expect_exit HOW: the viewer ends by itself, with exit code 0.
expect_exit() {
    for _ in $(seq 100); do
        kill -0 "$viewer" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$viewer" 2>/dev/null; then
        fail "$1: the viewer is still running"
        kill "$viewer" 2>/dev/null
        wait "$viewer" 2>/dev/null
        return 1
    fi
    wait "$viewer"
    local status=$?
    if [ "$status" -ne 0 ]; then
        fail "$1: exit code $status"
        return 1
    fi
    say "$1: exit code 0"
}

face=$("$here/check_screenshot.py" face "$prefix/user.reg") || face=
[ -n "$face" ] || { echo "black box: FAILED: no button-face colour in $prefix/user.reg"; exit 1; }
say "button face is $face"

started=$(date +%s%N)

# Shortcuts go to the main window while the list has the focus: Ctrl+B
# twice, then F1 for the About box; Alt+F4 closes.
if start_viewer; then
    shot plain "$face" FFFFFF &&
        xdotool key --window "$wid" ctrl+b && shot black 000000 FFFFFF &&
        { "$here/check_screenshot.py" layout "$out/plain.png" "$out/black.png" "$X" "$Y" "$WIDTH" "$HEIGHT" \
              "$face" || fail "layout"; } &&
        xdotool key --window "$wid" ctrl+b && shot plain-again "$face" &&
        xdotool key --window "$wid" F1 && windows_become 2 && {
            about=$(xdotool search --onlyvisible --name "$title" | grep -vx "$wid" | head -1)
            import -window root "$out/about.png" 2>/dev/null
            xdotool key --window "$about" Return 2>/dev/null  # BadWindow once it closes
            windows_become 1
        }
    xdotool key --window "$wid" alt+F4 2>/dev/null
    expect_exit "Alt+F4"
fi

# File > Exit from the keyboard; the open menu is one more window of the
# program.
if start_viewer; then
    program=(--classname '^velderimage\.exe$')
    shot file-exit "$face" && windows_become 1 "${program[@]}" &&
        xdotool key --window "$wid" alt+f && windows_become 2 "${program[@]}" &&
        xdotool key --window "$wid" x 2>/dev/null
    expect_exit "File > Exit"
fi

# The close box: the rightmost caption button, which Wine draws itself.
if start_viewer; then
    shot close-box "$face" && xdotool mousemove $((X + WIDTH - 14)) $((Y + 12)) click 1
    expect_exit "close box"
fi

# An archive on the command line: a path with spaces, which Wine passes
# quoted. The window takes the file's name; Home and Down select the two
# pictures, each of which must appear 8 pixels right of the list and 8 below
# the top, exactly as the decoder model says. The background is black first,
# so that the list's edge stands out from its button-face scroll bar.
folder="$out/a folder with spaces"
mkdir -p "$folder"
if "$here/picture_archive.py" "$folder/two pictures.mhk" "$out/shown" &&
    start_viewer '^two pictures\.mhk - Velder Image Viewer$' "$folder/two pictures.mhk"; then
    say "opened from the command line: $(xdotool getwindowname "$wid")"
    # Keys go in only once the window has painted itself, list included:
    # one pressed while a fresh viewer was still settling was lost.
    shot opened-plain "$face" FFFFFF && press ctrl+b opened 000000
    for step in 1:Home 2:Down; do
        picture=${step%%:*}
        xdotool key --window "$wid" "${step#*:}"
        for _ in $(seq 20); do
            import -window root "$out/picture$picture.png" 2>/dev/null
            result=$("$here/check_screenshot.py" image "$out/picture$picture.png" "$X" "$Y" "$WIDTH" "$HEIGHT" \
                "$out/shown$picture.ppm") && break
            sleep 0.1
        done
        say "picture $picture: $result" | head -3
        echo "$result" | grep -q '^image:' && fail "picture $picture is not shown as decoded"
    done
    xdotool key --window "$wid" alt+F4 2>/dev/null
    expect_exit "archive on the command line"
else
    fail "no window for the archive on the command line"
fi

# Files dropped from the X side. xdotool cannot drag, so xdnd_drop plays
# the drag source's part of the XDND exchange, as a file manager does at the
# end of a drag. Left to the in-process tests: sources that forbid copying
# (Wine offers the target every effect whatever action the source asks for),
# and failed opens, whose message box Wine shows while it handles the drop's
# X event and so cannot be answered from the X side.
xdnd=$out/xdnd_drop
if ! cc -O2 -o "$xdnd" "$here/xdnd_drop.c" -lX11 >"$out/xdnd_drop.log" 2>&1; then
    fail "xdnd_drop does not build: $(head -3 "$out/xdnd_drop.log")"
elif start_viewer; then
    # drop FILE...: over the image area, right of the list.
    drop() { timeout 90 "$xdnd" "$wid" $((X + WIDTH - 100)) $((Y + 100)) "$@" 2>&1; }
    two=$(drop "$root/demo/demo.mhk" "$root/README.md")
    [ "$two" = $'refused\nleft' ] || fail "two files: $two"
    one=$(drop "$root/demo/demo.mhk")
    [ "$one" = $'accepted Copy\nfinished' ] || fail "one file: $one"
    windows_become 1 --name '^demo\.mhk - Velder Image Viewer$' && say "dropped: $(xdotool getwindowname "$wid")" &&
        shot dropped "$face"
    xdotool key --window "$wid" alt+F4 2>/dev/null
    expect_exit "after the drops"
fi

wineserver -k >/dev/null 2>&1
say "$(( ($(date +%s%N) - started) / 1000000 )) ms for all cases"
if [ "$failed" -eq 0 ]; then
    echo "BLACK BOX PASSED"
    exit 0
fi
exit 1
