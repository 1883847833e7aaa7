"""Finding and moving on the bundled capture as a user does: the find bar
(Ctrl+F) with a byte pattern, a box text and a decode text, next and previous
with the count, wrapping, Escape; the tree's keys moving the selection and
filling the panes; Go to a row, a time and a frame; shift+click telling the
time between two rows; Copy. Screenshots of the find bar and its match go to
--out."""

import re
import subprocess

import twrgui


def find_entry(s, frame):
    """The find bar's text field, while it shows."""
    def entry(a):
        state = a.getState()
        return a.getRoleName() == "text" and state.contains(s.atspi.STATE_EDITABLE) and \
            state.contains(s.atspi.STATE_SHOWING)
    return s.find(entry, frame, timeout=5)


def count_text(s, frame):
    label = s.label(lambda n: re.fullmatch(r"[\d,]+ of [\d,]+|No match|[\d,]+ match(es)?", n) is not None,
                    frame, 20)
    return s.must(label, "the find bar never told its count").name


def wait_count(s, frame, pattern):
    s.must(s.label(lambda n: re.fullmatch(pattern, n) is not None, frame, 30),
           "the count never read %r (it reads %r)" % (pattern, count_text(s, frame)))


def status_between(s, frame):
    label = s.label(lambda n: n.startswith("Rows ") and " to " in n, frame, 10)
    return label.name if label else None


def find(s, frame, text):
    entry = s.must(find_entry(s, frame), "no find field shows")
    s.click(entry)
    s.key("ctrl+a", "BackSpace")
    s.type_text(text)
    s.key("Return")


def go_to(s, typed):
    s.key("ctrl+g")
    dialog = s.window("Go to")
    s.type_into_shown_entry(dialog, typed)
    s.key("Return")


def test(s, args):
    s.launch(["./tracewren"], args.rundir)
    frame = s.main_window("default.ovd")
    area = s.tree_area(frame)
    s.wait_until(lambda: len(s.box_tops(area, "start")) > 5, "rows to be painted")
    tops = s.box_tops(area, "start")
    pitch = tops[1] - tops[0]
    x, y, w, h = area
    s.xdotool("mousemove", str(x + w // 2), str(y + h // 2))  # keys go where the pointer is

    # The find bar: hidden until Ctrl+F.
    assert find_entry(s, frame) is None, "the find bar shows before it is asked for"
    s.key("ctrl+f")
    s.must(find_entry(s, frame), "Ctrl+F shows no find bar")
    find(s, frame, "12 01 00 02")
    wait_count(s, frame, r"1 of \d+")
    total = int(count_text(s, frame).split(" of ")[1])
    assert total >= 2, count_text(s, frame)
    s.wait_until(lambda: "12 01 00 02" in s.pane_text(frame), "the match's bytes in the data pane")
    s.screenshot("find-bar")
    s.key("F3")
    wait_count(s, frame, r"2 of %d" % total)
    s.key("shift+F3")
    wait_count(s, frame, r"1 of %d" % total)
    s.key("shift+F3")
    wait_count(s, frame, r"%d of %d" % (total, total))  # wraps to the last
    s.screenshot("find-match")

    # Only rows the filters show are matched: SOFs are hidden at first.
    find(s, frame, "frame")
    hidden = s.must(s.label(lambda n: n.startswith("No match shown: the filters hide "), frame, 30),
                    "no word of the matches the filters hide").name.split()[-1]
    s.press("Show SOFs", frame)
    wait_count(s, frame, r"([\d,]+ of )?%s( matches)?" % hidden)
    s.press("Hide SOFs", frame)

    # A decode text, which only the scripts write: searched on the program's other thread.
    s.click(s.must(s.find(lambda a: a.getRoleName() == "check box" and a.name == "In decode texts", frame),
                   "no decode-text choice"))
    find(s, frame, "get_descriptor")
    wait_count(s, frame, r"[\d,]+ of [\d,]+")
    s.wait_until(lambda: any("GET_DESCRIPTOR" in t for t in s.decode_texts(frame)), "the match's decode text")
    find(s, frame, "no such text anywhere")
    wait_count(s, frame, "No match")
    s.key("Escape")
    s.wait_until(lambda: find_entry(s, frame) is None, "Escape to hide the find bar")

    # Keys move the selection and fill the panes.
    s.click_line(area, pitch, 3)
    s.key("Home")
    s.wait_until(lambda: any("reset" in t.lower() for t in s.decode_texts(frame)), "the first row, a reset")
    first = s.decode_texts(frame)
    for down, up in (("Down", "Up"), ("Next", "Prior")):
        s.key(down)
        s.wait_until(lambda: s.decode_texts(frame) not in ([], first), down + " to select another row")
        s.key(up)
        s.wait_until(lambda: s.decode_texts(frame) == first, up + " to select the first row again")
    s.key("End")
    s.wait_until(lambda: s.decode_texts(frame) not in ([], first), "End to select the last row")

    # Go to a frame (SOFs shown), a row number and a time since the first packet.
    s.press("Show SOFs", frame)
    for typed, shows in (("frame 31", lambda: any("Start of frame 31" in t for t in s.decode_texts(frame))),
                         ("7", lambda: s.pane_text(frame).endswith("0: 12 01 00 02 00 00 00 08  ........")),
                         ("20.005 ms", lambda: "SETUP" in " ".join(s.decode_texts(frame)))):
        go_to(s, typed)
        s.wait_until(shows, "go to %r" % typed)

    # Shift+click a second row: the time between the two.
    assert status_between(s, frame) is None
    s.click_line(area, pitch, 2)
    s.xdotool("mousemove", str(x + 60), str(y + 6 * pitch + pitch // 2), "keydown", "shift", "click", "1",
              "keyup", "shift")
    between = s.must(status_between(s, frame), "no time between the rows in the status bar")
    assert re.fullmatch(r"Rows \d+ to \d+: \d+\.\d{6} ms", between), between
    s.screenshot("time-between")

    # Copy: the selected row's line, decode text and bytes.
    go_to(s, "7")
    s.wait_until(lambda: "12 01 00 02" in s.pane_text(frame), "the transfer's data")
    s.key("ctrl+c")
    copied = lambda: subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True,
                                    text=True).stdout
    s.wait_until(lambda: copied().startswith("TRANS"), "the row on the clipboard")
    text = copied()
    assert "12 01 00 02" in text and "GET_DESCRIPTOR" in text, text
    s.press("Exit", frame)


twrgui.run(test)
