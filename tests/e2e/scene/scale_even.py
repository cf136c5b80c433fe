#!/usr/bin/env python3
"""Letters stay even on screens that are not a whole multiple of 640x480.

scale_even.py QUILLON SNAPSHOT [WIDTHxHEIGHT ...]

For each screen size the real program runs full screen under its own Xvfb
until page 1 is revealed, and the screen is read back. The page as built
(snapshot's page1, 640x480) says where every letter is: within one text
line, copies of one letter have the same pixels, so on screen they may
differ only by where they fall between screen pixels.

What is compared is the width of every stroke of every copy, measured as
ink: the sum of each screen pixel's distance from the page colour, divided
by what one fully inked screen column (or row) of that stroke holds. A
stroke smoothly scaled by 1.6 is 1.6 pixels of ink wherever it falls; a
stroke scaled by nearest neighbour is 1 or 2. Every copy must measure
within allowed_spread() of the others, in both directions (vertical strokes
within a line, horizontal strokes within a column, where the position
between screen pixels differs).
"""
import os
import subprocess
import sys
import tempfile
import time
from collections import Counter, defaultdict

WIDTH, HEIGHT = 640, 480
PAGE_TOP, PAGE_LINES, COLUMNS = 48, 32, 80
CELL_W, CELL_H = 8, 12
# How far the widths of one stroke may spread over its copies: a fifth of a
# pixel, and a tenth of the width. Linear filtering samples each copy at
# another phase, which moves the ink of a stroke by up to about 6 % (the
# one blended edge pixel); nearest neighbour moves a whole screen pixel per
# source pixel edge, a quarter of a letter's height or more.
def allowed_spread(width):
    return 0.2 + 0.1 * width


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = data.split(maxsplit=4)
    if fields[0] != b"P6":
        fail(path + " is not a binary PPM")
    w, h = int(fields[1]), int(fields[2])
    pixels = fields[4] if len(fields[4]) == w * h * 3 else data[-w * h * 3:]
    return w, h, pixels


def pixel(pixels, w, x, y):
    i = 3 * (y * w + x)
    return pixels[i], pixels[i + 1], pixels[i + 2]


def distance(a, b):
    return ((a[0] - b[0]) ** 2 + (a[1] - b[1]) ** 2 + (a[2] - b[2]) ** 2) ** 0.5


def reference_page(snapshot, work):
    subprocess.run([snapshot, "--ppm", work, "page1"], check=True, stdout=subprocess.DEVNULL)
    w, h, pixels = read_ppm(os.path.join(work, "page1.ppm"))
    if (w, h) != (WIDTH, HEIGHT):
        fail("page1.ppm is %dx%d" % (w, h))
    return pixels


def letters(page):
    """Cells of the page with ink, by line and by their exact pixels."""
    area = [pixel(page, WIDTH, x, y) for y in range(PAGE_TOP, PAGE_TOP + PAGE_LINES * CELL_H)
            for x in range(WIDTH)]
    background = Counter(area).most_common(1)[0][0]
    cells = []
    for line in range(PAGE_LINES):
        for column in range(COLUMNS):
            x0, y0 = column * CELL_W, PAGE_TOP + line * CELL_H
            ink = [[distance(pixel(page, WIDTH, x0 + i, y0 + j), background) for i in range(CELL_W)]
                   for j in range(CELL_H)]
            # Only letters whose ink keeps off the cell's border: lines and
            # dashes that run on into the next cell would mix copies.
            inside = not any(ink[0]) and not any(ink[-1]) and not any(row[0] or row[-1] for row in ink)
            if any(v > 0 for row in ink for v in row) and inside:
                key = tuple(page[3 * ((y0 + j) * WIDTH + x0):3 * ((y0 + j) * WIDTH + x0 + CELL_W)]
                            for j in range(CELL_H))
                cells.append((line, column, key, ink))
    return background, cells


def runs(profile):
    """[start, end) of each run of non-zero values. Runs one source pixel
    apart count as one: scaled smoothly, the screen pixel between them holds
    both their edges, and neither copy could tell whose ink it is."""
    found, start = [], None
    for i, v in enumerate(list(profile) + [0]):
        if v > 0 and start is None:
            start = i
        elif v <= 0 and start is not None:
            if found and start - found[-1][1] < 2:
                found[-1] = (found[-1][0], i)
            else:
                found.append((start, i))
            start = None
    return found


def screen_widths(screen, sw, background, scale, ox, oy, line, column, ink, axis):
    """Width in screen pixels of each stroke of one copy along `axis` ('x':
    vertical strokes, measured across columns; 'y': horizontal strokes)."""
    x0 = ox + scale * column * CELL_W
    y0 = oy + scale * (PAGE_TOP + line * CELL_H)
    # The source profile: ink per source column (or row) of the cell.
    if axis == "x":
        source = [sum(ink[j][i] for j in range(CELL_H)) for i in range(CELL_W)]
    else:
        source = [sum(ink[j][i] for i in range(CELL_W)) for j in range(CELL_H)]
    widths = []
    for a, b in runs(source):
        # Ink of the source run over its run length: what one source column
        # (row) of it holds on average.
        full = sum(source[a:b]) / (b - a)
        # Along the axis: every screen pixel the run's blended edges reach.
        # Across it: the cell's screen pixels less one at each side, where a
        # neighbouring letter's blended edge may reach; the copies compared
        # share that side's position between screen pixels, so each loses
        # the same share of its own ink there.
        if axis == "x":
            lo, hi = x0 + scale * a, x0 + scale * b
            xs = range(int(lo), int(-(-hi // 1)))
            ys = range(int(y0) + 1, int(y0 + scale * CELL_H))
        else:
            lo, hi = y0 + scale * a, y0 + scale * b
            ys = range(int(lo), int(-(-hi // 1)))
            xs = range(int(x0) + 1, int(x0 + scale * CELL_W))
        mass = sum(distance(pixel(screen, sw, x, y), background) for x in xs for y in ys)
        # Scaled without loss, the run holds scale * scale times its source
        # ink; its width is then scale * (b - a) screen pixels.
        widths.append(mass / (scale * full))
    return widths


def run_program(quillon, size, work):
    """The program on this X server (xvfb-run's, of `size`) until page 1
    stops changing; the screen as (width, height, RGB bytes)."""
    env = dict(os.environ, SDL_AUDIODRIVER="dummy")
    log = open(os.path.join(work, "quillon.log"), "w")
    program = subprocess.Popen([quillon], env=env, stdout=log, stderr=log)
    shot = os.path.join(work, "shot.ppm")
    try:
        previous, stable, deadline = None, 0, time.time() + 60
        while time.time() < deadline:
            time.sleep(0.5)
            if program.poll() is not None:
                fail("the program ended by itself at %dx%d: %s" % (size + (open(log.name).read().strip(),)))
            if subprocess.run(["import", "-window", "root", "-depth", "8", shot], stderr=subprocess.DEVNULL).returncode:
                continue
            sw, sh, pixels = read_ppm(shot)
            if (sw, sh) != size:
                fail("the screen is %dx%d, not %dx%d" % ((sw, sh) + size))
            # The page area only, left of the animation: stars and the
            # animation move for ever.
            scale = min(sw / WIDTH, sh / HEIGHT)
            top = int((sh - HEIGHT * scale) / 2 + PAGE_TOP * scale)
            bottom = int((sh - HEIGHT * scale) / 2 + (PAGE_TOP + PAGE_LINES * CELL_H) * scale)
            left = int((sw - WIDTH * scale) / 2)
            right = int(left + 480 * scale)  # short of the animation box in the lower right corner
            page = b"".join(pixels[3 * (sw * y + left):3 * (sw * y + right)] for y in range(top, bottom))
            stable = stable + 1 if page == previous else 0
            previous = page
            if stable >= 2:
                return sw, sh, pixels
        fail("page 1 did not settle at %dx%d" % size)
    finally:
        program.kill()
        program.wait()


def check(size, screen, background, cells):
    sw, sh, pixels = screen
    scale = min(sw / WIDTH, sh / HEIGHT)
    ox, oy = (sw - WIDTH * scale) / 2, (sh - HEIGHT * scale) / 2
    worst = {"x": (-1.0, None), "y": (-1.0, None)}
    groups = defaultdict(list)
    for line, column, key, ink in cells:
        # Vertical strokes: copies in one line, which fall alike between
        # screen rows and differ in where they fall between columns.
        groups[("x", line, key)].append((line, column, ink))
        # Horizontal strokes: copies in one column, the other way round.
        # Lines may be tinted otherwise: the ink's shape decides.
        shape = tuple(tuple(v > 0 for v in row) for row in ink)
        groups[("y", column, shape)].append((line, column, ink))
    compared = 0
    for key, copies in groups.items():
        if len(copies) < 2:
            continue
        axis = key[0]
        measured = [screen_widths(pixels, sw, background, scale, ox, oy, line, column, ink, axis)
                    for line, column, ink in copies]
        for stroke in range(len(measured[0])):
            values = [m[stroke] for m in measured]
            # The spread beyond what is allowed, in pixels.
            spread = max(values) - min(values)
            excess = spread - allowed_spread(sum(values) / len(values))
            compared += 1
            if excess > worst[axis][0]:
                at = [(line, column) for (line, column, _), v in zip(copies, values) if v in (min(values), max(values))]
                worst[axis] = (excess, (min(values), max(values), at[:2], spread))
    print("%dx%d (scale %.3f): %d strokes compared; the closest to the limit spreads %.3f px across columns, "
          "%.3f px across rows" %
          (sw, sh, scale, compared, worst["x"][1][3] if worst["x"][1] else 0, worst["y"][1][3] if worst["y"][1] else 0))
    for axis, (excess, detail) in worst.items():
        if excess > 0:
            low, high, at, _ = detail
            fail("%dx%d: copies of one letter have strokes %.2f and %.2f px wide (%s, line/column %s)" %
                 (sw, sh, low, high, "vertical strokes" if axis == "x" else "horizontal strokes", at))
    if compared == 0:
        fail("no letter appears twice on page 1")


def main():
    if len(sys.argv) >= 5 and sys.argv[1] == "--inside":
        # One size, on the X server xvfb-run made for it.
        quillon, snapshot, size = sys.argv[2], sys.argv[3], tuple(int(v) for v in sys.argv[4].split("x"))
        with tempfile.TemporaryDirectory() as work:
            background, cells = letters(reference_page(snapshot, work))
            check(size, run_program(quillon, size, work), background, cells)
        return
    if len(sys.argv) < 3:
        fail(__doc__)
    quillon, snapshot = sys.argv[1], sys.argv[2]
    sizes = sys.argv[3:] or ["1024x768", "1280x1024", "1920x1080"]
    for n, size in enumerate(sizes):
        # Each server's search for a free display starts at a number of its
        # own, not at the one the previous server may still be closing.
        server = str(200 + (os.getpid() + 7 * n) % 700)
        inside = subprocess.run(["xvfb-run", "-a", "-n", server, "-s", "-screen 0 %sx24 -nolisten tcp" % size,
                                 sys.executable, os.path.abspath(__file__), "--inside", quillon, snapshot, size])
        if inside.returncode != 0:
            sys.exit(1)
    print("ok: every copy of a letter has the same stroke widths at " + ", ".join(sizes))


if __name__ == "__main__":
    main()
