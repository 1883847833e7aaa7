"""A user browses the bundled capture: clicks a transfer row and a data packet
row and reads the data and decode panes, scrolls with the wheel, toggles the
filters and zooms. Screenshots after each step go to the output folder."""

import subprocess

import twrgui


def tree_area(s, frame):
    """The drawn rows: the panel beside the tree's scroll bar."""
    bar = s.tree_scroll_bar(frame)
    for sibling in bar.parent:
        if sibling.getRoleName() == "panel":
            return bar, sibling.queryComponent().getExtents(s.atspi.DESKTOP_COORDS)
    raise AssertionError("no row area beside the scroll bar")


def box_tops(s, area, name):
    """Screen y of each row's first box top: dark outline pixels in the column just inside it."""
    x, y, w, h = area
    shot = s.screenshot(name)
    out = subprocess.run(["convert", shot, "-crop", "1x%d+%d+%d" % (h, x + 12, y), "txt:-"],
                         check=True, capture_output=True, text=True).stdout
    pixels = []
    for line in out.splitlines()[1:]:
        rest = line.split(":", 1)[1]
        pixels.append(tuple(int(v) for v in rest.split("(")[1].split(")")[0].split(",")[:3]))
    # A top outline is a dark pixel right under the plain row background.
    dark = [max(p) < 60 for p in pixels]
    return [y + i for i in range(1, len(pixels)) if dark[i] and pixels[i - 1] == (232, 232, 232)]


def pane_text(s, frame):
    return s.find(lambda a: a.getRoleName() == "text", frame).queryText().getText(0, -1)


def decode_texts(s, frame):
    scroll = s.find(lambda a: a.getRoleName() == "scroll pane", frame)
    texts = []
    stack = [scroll]
    while stack:
        a = stack.pop()
        if a.getRoleName() == "label":
            texts.append(a.name)
        stack.extend(list(a))
    return texts


def click_line(s, area, pitch, line, button="1"):
    x, y, w, h = area
    s.xdotool("mousemove", str(x + 60), str(y + line * pitch + pitch // 2), "click", button)


def test(s, args):
    s.launch(["./tracewren"], args.rundir)
    frame = s.window("Orlavex Tracewren")
    bar, area = tree_area(s, frame)
    s.wait_until(lambda: len(box_tops(s, area, "start")) > 5, "rows to be painted")
    tops = box_tops(s, area, "start")
    pitch = tops[1] - tops[0]
    assert all(b - a == pitch for a, b in zip(tops, tops[1:])), "rows of equal height: %s" % tops

    # Line 2 of the bundled capture is a control transfer: Get Descriptor, 8 bytes back.
    click_line(s, area, pitch, 2)
    s.wait_until(lambda: "bytes" in pane_text(s, frame), "the transfer's data")
    dump = pane_text(s, frame)
    assert dump == " 8 bytes\n\n      0  1  2  3  4  5  6  7  01234567\n  0: 12 01 00 02 00 00 00 08  ........", dump
    s.wait_until(lambda: len(decode_texts(s, frame)) > 0, "the transfer's decode text")
    transfer_texts = decode_texts(s, frame)
    s.screenshot("transfer-clicked")

    # Line 5 is the SETUP stage's DATA0 packet.
    click_line(s, area, pitch, 5)
    s.wait_until(lambda: "80 06" in pane_text(s, frame), "the packet's data")
    assert pane_text(s, frame).endswith("\n  0: 80 06 00 01 00 00 08 00  ........"), pane_text(s, frame)
    s.wait_until(lambda: decode_texts(s, frame) != transfer_texts, "the packet's decode text")
    assert any(t.strip() for t in decode_texts(s, frame)), decode_texts(s, frame)
    s.screenshot("packet-clicked")

    # Wheel: one notch a row, Ctrl 25 visible rows; the thumb follows the top row.
    value = bar.queryValue()
    x, y, w, h = area
    s.xdotool("mousemove", str(x + 200), str(y + 200), "click", "5")
    s.wait_until(lambda: value.currentValue == 1, "one row down")
    s.xdotool("keydown", "ctrl", "click", "5", "keyup", "ctrl")
    s.wait_until(lambda: value.currentValue > 25, "25 visible rows down")
    s.screenshot("wheel")
    s.xdotool("keydown", "ctrl", "click", "4", "click", "4", "keyup", "ctrl")
    s.wait_until(lambda: value.currentValue == 0, "back at the top")

    # Filters: a toggle relabels itself and keeps what the panes show.
    shown = pane_text(s, frame)
    s.press("Show SOFs", frame)
    s.button("Hide SOFs", frame)
    s.screenshot("sofs-shown")
    s.press("Hide Packets", frame)
    s.button("Show Packets", frame)
    assert pane_text(s, frame) == shown, "a filter toggle keeps the data pane"
    fewer = box_tops(s, area, "packets-hidden")
    assert len(fewer) > 5
    s.press("Show Packets", frame)
    s.press("Hide SOFs", frame)

    # Zoom in: taller rows.
    s.press("+", frame)
    s.wait_until(lambda: len(box_tops(s, area, "zoomed")) > 2 and
                 box_tops(s, area, "zoomed")[1] - box_tops(s, area, "zoomed")[0] > pitch, "taller rows")

    s.press("Exit", frame)
    print("row pitch %d, transfer decode %r" % (pitch, transfer_texts[:3]))


twrgui.run(test)
