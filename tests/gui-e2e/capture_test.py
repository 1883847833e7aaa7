"""A user's first session: the program starts from its run directory on the
bundled capture with the simulated sniffer plugged in, captures, stops, keeps
the capture with OK; a second capture is cancelled while it runs, the window
keeps the first, and the sniffer is free again for the next opening."""

import twrgui


def test(s, args):
    s.launch([args.sim, "--serial", "E2E-0001", "--", "./tracewren"], args.rundir)
    frame = s.window("Orlavex Tracewren")
    bundled = s.shown_rows(frame)
    assert bundled > 0, "the bundled capture is on screen at start-up"
    s.screenshot("main-bundled")
    s.press("Show SOFs", frame)
    s.press("Hide SOFs", frame)
    s.button("Show SOFs", frame)

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
    s.wait_until(lambda: s.shown_rows(frame) != bundled, "the capture to reach the window")
    captured = s.shown_rows(frame)
    s.screenshot("main-captured")

    # A second capture, far from full when it is cancelled.
    s.press("Capture", frame)
    dlg = s.window("USB Packet Sniffer")
    s.wait_label("Hardware Initialized OK", dlg)
    s.type_into_shown_entry(dlg, "4096")
    s.press("Start", dlg)
    s.button("Stop", dlg)
    s.press("Cancel", dlg)
    s.wait_until(lambda: s.find(lambda a: a.name == "USB Packet Sniffer", timeout=0) is None,
                 "the dialog to close")
    assert s.shown_rows(frame) == captured, "Cancel keeps the shown capture"

    # The sniffer was released with the dialog: the next one gets it at once.
    s.press("Capture", frame)
    dlg = s.window("USB Packet Sniffer")
    s.wait_label("Hardware Initialized OK", dlg)
    tabs = s.find(lambda a: a.getRoleName() == "page tab list", dlg).querySelection()
    tabs.selectChild(1)
    s.label(lambda n: n.startswith("Press the Stop button"), dlg)
    s.screenshot("dialog-help")
    tabs.selectChild(0)
    s.press("Cancel", dlg)

    s.press("Exit", frame)
    print("bundled rows %d, captured rows %d" % (bundled, captured))


twrgui.run(test)
