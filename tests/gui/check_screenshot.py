#!/usr/bin/env python3
"""check_screenshot.py - looks at screenshots of the viewer's window.

    check_screenshot.py colour SHOT X Y W H
        prints the colour (RRGGBB) at the middle of the window's right half,
        which is background as long as no image is shown.
    check_screenshot.py list SHOT X Y W H
        prints the colour a sixteenth of the window's width in from its left
        edge, half-way down: inside the list, below its items, so window
        colour (white) once the list has painted itself.
    check_screenshot.py face USER.REG
        prints the button-face colour (RRGGBB) of a Wine prefix's user
        registry file: the colour that the system hands out as COLOR_BTNFACE.
    check_screenshot.py layout FACE_SHOT BLACK_SHOT X Y W H FACE
        checks the layout: in BLACK_SHOT the black background is one
        rectangle right of the list, exactly 624 pixels wide (the window is
        wider than 720), with the menu bar above it, the status bar below it
        and the list (window colour, white) left of it; in FACE_SHOT that
        very rectangle is all button face (FACE, RRGGBB).

    check_screenshot.py image SHOT X Y W H EXPECTED.ppm
        finds the background area right of the list (from the middle of the
        window's right half, left to the list's edge and up to the top of
        the client area) and checks that the picture in EXPECTED.ppm is
        shown 8 pixels right of the list and 8 below the top, pixel for
        pixel, with background around it.

X Y W H is the window's rectangle on the screen. Exit status 0 when the
checks hold; the findings go to stdout.
"""
import subprocess
import sys

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)


def load(path, x, y, w, h):
    """(width, height, rows of (r, g, b)) of the window's rectangle, via
    ImageMagick's PPM output."""
    data = subprocess.run(["convert", path, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8", "ppm:-"],
                          capture_output=True, check=True).stdout
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos:pos + 3 * width * height]
    rows = [[tuple(pixels[3 * (y * width + x):3 * (y * width + x) + 3]) for x in range(width)]
            for y in range(height)]
    return width, height, rows


def colour(text):
    value = int(text, 16)
    return (value >> 16, (value >> 8) & 0xFF, value & 0xFF)


def run_of(rows, x, y, want, dx, dy, limit):
    """How far from (x, y) the colour want continues in direction (dx, dy), up to limit."""
    n = 0
    while n < limit and rows[y + dy * (n + 1)][x + dx * (n + 1)] == want:
        n += 1
    return n


def layout(face_path, black_path, x, y, w, h, face):
    problems = []
    _, _, black = load(black_path, x, y, w, h)
    _, _, plain = load(face_path, x, y, w, h)
    x = y = 0  # coordinates from here on are the window's
    # Start in the middle of the window's right half and grow the black area.
    cx, cy = x + (3 * w) // 4, y + h // 2
    if black[cy][cx] != BLACK:
        return [f"no black background at ({cx},{cy}): {black[cy][cx]}"]
    left = cx - run_of(black, cx, cy, BLACK, -1, 0, cx - x - 1)
    right = cx + run_of(black, cx, cy, BLACK, 1, 0, x + w - cx - 2) + 1
    top = cy - run_of(black, cx, cy, BLACK, 0, -1, cy - y - 1)
    bottom = cy + run_of(black, cx, cy, BLACK, 0, 1, y + h - cy - 2) + 1
    print(f"background rectangle ({left},{top})-({right},{bottom}) in the window: {right - left} x {bottom - top}")
    if right - left != 624:
        problems.append(f"area right of the list is {right - left} pixels wide, not 624")
    # It is a full rectangle, black throughout.
    for yy in range(top, bottom, 7):
        for xx in range(left, right, 7):
            if black[yy][xx] != BLACK:
                problems.append(f"black background broken at ({xx},{yy}): {black[yy][xx]}")
                break
    # The menu bar above, the status bar below: neither is black.
    for name, yy in (("menu bar", top - 3), ("status bar", bottom + 3)):
        if black[yy][(left + right) // 2] == BLACK:
            problems.append(f"{name} at y={yy} is black")
    status_height = run_of([[p != BLACK for p in row] for row in black], (left + right) // 2, bottom - 1, True,
                           0, 1, y + h - bottom - 1)
    print(f"below the background: {status_height} non-black rows (status bar and frame)")
    if status_height < 12:
        problems.append(f"no status bar below the background ({status_height} rows)")
    # The list: window colour left of its scroll bar, from the top down to the status bar.
    list_white = sum(1 for xx in range(x + 2, left) if black[cy][xx] == WHITE)
    print(f"list: {list_white} white pixels on row {cy}")
    if list_white < 40:
        problems.append(f"no list left of the background ({list_white} white pixels)")
    # Below its first line (which has the focus rectangle) the list is white
    # down to the status bar, like the background beside it.
    list_x = x + (left - x) // 3
    list_bottom = top + 20 + run_of(black, list_x, top + 20, WHITE, 0, 1, bottom - top) + 1
    if list_bottom != bottom:
        problems.append(f"the list ends at y={list_bottom}, the background at {bottom}")
    # In the plain shot the same rectangle is button face.
    wrong = sum(1 for yy in range(top, bottom, 3) for xx in range(left, right, 3) if plain[yy][xx] != face)
    if wrong:
        problems.append(f"{wrong} sampled pixels of the background are not button face {face}")
    if plain[cy][list_x] != WHITE:
        problems.append(f"list not white in the plain shot: {plain[cy][list_x]}")
    return problems


def read_ppm(path):
    """(width, height, rows of (r, g, b)) of a binary PPM as picture_archive.py writes it."""
    with open(path, "rb") as f:
        data = f.read()
    magic, size, _, pixels = data.split(b"\n", 3)
    width, height = map(int, size.split())
    return width, height, [[tuple(pixels[3 * (y * width + x):3 * (y * width + x) + 3]) for x in range(width)]
                           for y in range(height)]


def image(path, x, y, w, h, expected_path):
    _, _, shot = load(path, x, y, w, h)
    width, height, expected = read_ppm(expected_path)
    cx, cy = (3 * w) // 4, h // 2
    background = shot[cy][cx]
    left = cx - run_of(shot, cx, cy, background, -1, 0, cx - 1)
    top = cy - run_of(shot, cx, cy, background, 0, -1, cy - 1)
    ix, iy = left + 8, top + 8
    print(f"background {background} from ({left},{top}) in the window; picture expected at ({ix},{iy})")
    if iy + height >= h or ix + width >= w:
        return [f"the window is too small for a {width} x {height} picture at ({ix},{iy})"]
    problems = []
    wrong = sum(1 for yy in range(height) for xx in range(width) if shot[iy + yy][ix + xx] != expected[yy][xx])
    if wrong:
        problems.append(f"{wrong} of {width * height} pixels differ from the picture")
    # The margins and the area just beyond the picture are background.
    frame = [(ix - 1, yy) for yy in range(iy - 8, iy + height + 1)] + \
            [(xx, iy - 1) for xx in range(ix - 8, ix + width + 1)] + \
            [(ix + width, yy) for yy in range(iy, iy + height + 1)] + \
            [(xx, iy + height) for xx in range(ix, ix + width + 1)]
    if any(shot[yy][xx] != background for xx, yy in frame):
        problems.append("the picture is not framed by background: it is elsewhere or larger")
    return problems


def main():
    mode = sys.argv[1]
    if mode in ("colour", "list"):
        path, x, y, w, h = sys.argv[2], *map(int, sys.argv[3:7])
        _, _, rows = load(path, x, y, w, h)
        r, g, b = rows[h // 2][(3 * w) // 4 if mode == "colour" else w // 16]
        print(f"{r:02X}{g:02X}{b:02X}")
        return 0
    if mode == "face":
        section = False
        with open(sys.argv[2], encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.startswith("["):
                    section = line.startswith("[Control Panel\\\\Colors]")
                elif section and line.startswith('"ButtonFace"='):
                    r, g, b = map(int, line.split("=", 1)[1].strip().strip('"').split())
                    print(f"{r:02X}{g:02X}{b:02X}")
                    return 0
        return 1
    if mode == "layout":
        face_path, black_path = sys.argv[2], sys.argv[3]
        x, y, w, h = map(int, sys.argv[4:8])
        problems = layout(face_path, black_path, x, y, w, h, colour(sys.argv[8]))
        for problem in problems:
            print("layout:", problem)
        return 1 if problems else 0
    if mode == "image":
        path, x, y, w, h, expected = sys.argv[2], *map(int, sys.argv[3:7]), sys.argv[7]
        problems = image(path, x, y, w, h, expected)
        for problem in problems:
            print("image:", problem)
        return 1 if problems else 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main())
