"""A user's first session: the program starts from its run directory on the
bundled capture with the simulated sniffer plugged in, captures, stops, keeps
the capture with OK, and a second capture is thrown away with Cancel."""

import argparse
import sys

import twrgui


def rows(s, frame):
    """How far the tree's scroll bar reaches: it follows the rows of the capture on screen."""
    return int(s.tree_scroll_bar(frame).queryValue().maximumValue)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rundir", required=True)
    ap.add_argument("--sim", required=True)
    ap.add_argument("--out", required=True)
    args = ap.parse_args()

    with twrgui.Session(args.out) as s:
        s.launch([args.sim, "--serial", "E2E-0001", "--", "./tracewren"], args.rundir)
        frame = s.window("Orlavex Tracewren")
        bundled = rows(s, frame)
        assert bundled > 0, "the bundled capture is on screen at start-up"
        s.screenshot("main-bundled")

        # Capture, stop it, keep it.
        s.press("Capture", frame)
        dlg = s.window("USB Packet Sniffer")
        s.screenshot("dialog-opened")
        s.wait_label("Hardware Initialized OK", dlg)
        assert s.label_text("Hardware Serial: ", dlg) == "Hardware Serial: E2E-0001"
        ok = s.button("OK", dlg)
        assert not s.enabled(ok), "nothing decoded yet"
        s.screenshot("dialog-ready")

        field = s.find(lambda a: a.getRoleName() == "text", dlg)
        s.click(field)
        s.key("ctrl+a", "BackSpace")
        s.type_text("2x0-48")  # only the digits get in
        s.wait_until(lambda: field.queryText().getText(0, -1) == "2048", "the field to read 2048")
        s.press("Start", dlg)
        s.wait_until(lambda: field.queryText().getText(0, -1) == "2_048", "the size written back")
        s.wait_until(lambda: s.label(lambda n: n.endswith(" Bytes") and n != "0 Bytes", dlg, 0) is not None,
                     "bytes to arrive")
        s.screenshot("dialog-acquiring")
        s.press("Stop", dlg)
        s.wait_until(lambda: s.enabled(ok), "OK after decoding")
        s.wait_label("100%", dlg)
        assert s.button("Start", dlg) is not None
        s.screenshot("dialog-decoded")
        s.click(ok)
        s.wait_until(lambda: s.find(lambda a: a.name == "USB Packet Sniffer", timeout=0) is None,
                     "the dialog to close")
        s.wait_until(lambda: rows(s, frame) != bundled, "the capture to reach the window")
        captured = rows(s, frame)
        s.screenshot("main-captured")

        # A second capture, cancelled: the window keeps the first.
        s.press("Capture", frame)
        dlg = s.window("USB Packet Sniffer")
        s.wait_label("Hardware Initialized OK", dlg)
        s.press("Start", dlg)
        ok = s.button("OK", dlg)
        s.wait_until(lambda: s.enabled(ok), "OK after the second capture")
        s.press("Cancel", dlg)
        s.wait_until(lambda: s.find(lambda a: a.name == "USB Packet Sniffer", timeout=0) is None,
                     "the dialog to close")
        assert rows(s, frame) == captured, "Cancel keeps the shown capture"

        s.exit_program(frame)
        print("bundled rows %d, captured rows %d" % (bundled, captured))


if __name__ == "__main__":
    sys.exit(main())
