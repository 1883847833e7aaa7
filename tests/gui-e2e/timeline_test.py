"""The timeline strip above the tree as a user meets it: the pointer over it
tells the time, the bus use and the errors there; a click takes the tree to
that time, a click further back takes it back; the wheel zooms in. On a capture
with damaged packets the errors show as red ticks. Screenshots of the strip go
to --out."""

import gzip
import os
import re
import subprocess

import twrgui

TICKS_PER_MS = 12000
ERROR_RED = (220, 20, 20)


def damaged_sample(source, target):
    """The sample file with the CRCs of two data packets, a third and two thirds in, failed."""
    with gzip.open(source, "rt") as f:
        lines = f.read().splitlines(True)
    data = [i for i, line in enumerate(lines) if ";6P:" in line]
    for i in (data[len(data) // 3], data[len(data) * 2 // 3]):
        lines[i] = lines[i].replace(";6P:", ";6F:")
    with gzip.open(target, "wt") as f:
        f.write("".join(lines))


def strip(s, frame):
    """The strip: the panel whose tooltip tells of bus use."""
    def is_strip(a):
        return a.getRoleName() == "panel" and ("Bus use" in (a.description or "") or
                                               "of 12 Mbit/s" in (a.description or ""))
    return s.must(s.find(is_strip, frame), "no timeline strip")


def extents(s, accessible):
    return accessible.queryComponent().getExtents(s.atspi.DESKTOP_COORDS)


def hover(s, area, part):
    """Rests the pointer on the strip at `part` of its width; returns what the tooltip says."""
    x, y, w, h = extents(s, area)
    px = x + int(w * part)
    s.xdotool("mousemove", str(px), str(y + h // 2))
    s.wait_until(lambda: re.match(r"[\d.]+ ms: ", area.description or "") is not None, "the strip's hover text")
    return px, y + h // 2, area.description


def top_row(s, frame):
    return int(s.tree_scroll_bar(frame).queryValue().currentValue)


def row_ticks(path):
    """Each row's time in the sample file: its packet's, or for a grouping row its first packet's."""
    with gzip.open(path, "rt") as f:
        lines = f.read().splitlines()[2:]
    own = [int(m.group(1)) if (m := re.search(r";TI:(\d+)", line)) and "G:" not in line else None
           for line in lines]
    ticks, following = [None] * len(own), None
    for i in range(len(own) - 1, -1, -1):
        following = own[i] if own[i] is not None else following
        ticks[i] = following
    return ticks


def strip_pixels(s, area, name):
    """The strip's pixels in a screenshot, as rows of (r, g, b); none while it has no extents."""
    x, y, w, h = extents(s, area)
    if w <= 0 or h <= 0 or x < 0 or y < 0:
        return [[]]  # being laid out: a crop of no size would be the whole screen
    shot = s.screenshot(name)
    crop = os.path.join(s.out_dir, name + "-strip.png")
    subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", crop], check=True)
    out = subprocess.run(["convert", crop, "txt:-"], check=True, capture_output=True, text=True).stdout
    pixels = [[None] * w for _ in range(h)]
    for line in out.splitlines()[1:]:
        at, rest = line.split(":", 1)
        px, py = (int(v) for v in at.split(","))
        pixels[py][px] = tuple(int(v) for v in rest.split("(")[1].split(")")[0].split(",")[:3])
    return pixels


def red_columns(pixels):
    return [x for x in range(len(pixels[0])) if any(pixels[y][x] == ERROR_RED for y in range(2, 5))]


def wait_red_columns(s, area, name, what):
    """The strip's red columns, once there are some."""
    found = []

    def seen():
        found[:] = red_columns(strip_pixels(s, area, name))
        return len(found) > 0

    s.wait_until(seen, what)
    return found


def test(s, args):
    s.launch(["./tracewren"], args.rundir)
    frame = s.main_window("default.ovd")
    area = strip(s, frame)
    ticks = row_ticks(os.path.join(args.rundir, "default.ovd"))
    s.wait_until(lambda: top_row(s, frame) == 0, "the tree at its top")

    # The pointer says where it is; a click there takes the tree's top row to that time.
    for part in (0.6, 0.25):
        px, py, said = hover(s, area, part)
        ms = float(said.split(" ms:")[0])
        assert "of 12 Mbit/s" in said and "error" in said, said
        before = top_row(s, frame)
        s.xdotool("click", "1")
        s.wait_until(lambda: top_row(s, frame) != before, "the tree to move")
        row = top_row(s, frame)
        # One pixel column of the whole capture is a few frames: the top row's time is there.
        column_ms = (ticks[-1] / TICKS_PER_MS) / extents(s, area)[2]
        assert abs(ticks[row] / TICKS_PER_MS - ms) <= column_ms + 1, (part, ms, row, ticks[row])
        earlier = [r for r in range(row) if ticks[r] is not None and ticks[r] > ticks[row]]
        assert len(earlier) <= 5, (row, earlier[:5])
    s.screenshot("timeline-default")

    # A capture with damaged packets: red ticks where they are, and still there zoomed in.
    elsewhere = os.path.join(args.out, "elsewhere")
    os.makedirs(elsewhere)
    damaged = os.path.join(elsewhere, "damaged.ovd")
    damaged_sample(os.path.join(args.rundir, "default.ovd"), damaged)
    s.key_in(frame, "ctrl+q")
    assert s.program.wait(20) == 0, "the program failed"
    s.launch([os.path.join(args.rundir, "tracewren"), damaged], elsewhere)
    frame = s.main_window("damaged.ovd")
    area = strip(s, frame)
    s.wait_until(lambda: s.shown_rows(frame) > 0, "the capture to be shown")
    reds = wait_red_columns(s, area, "timeline-errors", "the strip's error ticks")
    assert len(reds) <= 4, "the strip's error ticks are at %s" % reds
    x, y, w, h = extents(s, area)
    s.xdotool("mousemove", str(x + reds[0]), str(y + h // 2))
    s.wait_until(lambda: re.search(r"[1-9]\d* errors?", area.description or "") is not None,
                 "the hover text to count the errors (%r)" % area.description)
    for _ in range(10):
        s.xdotool("click", "4")  # wheel up: zoom in around the pointer
    zoomed = wait_red_columns(s, area, "timeline-errors-zoomed", "error ticks zoomed in")
    assert len(zoomed) >= len(reds), (reds, zoomed)
    s.press("Exit", frame)


if __name__ == "__main__":
    twrgui.run(test)
