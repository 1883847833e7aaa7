"""The devices pane on the bundled capture as a user meets it: its entries,
a device and an endpoint selected filtering the rows (the status bar and the
tree's count say so), the capture's entry showing every row again, a device
chosen from the Filter menu selecting its entry; then a capture from the
simulated sniffer, its counts rising in the pane as it runs and kept with OK.
Screenshots of the pane go to --out."""

import time

import twrgui


def cell(s, frame, text, timeout=20):
    return s.must(s.find(lambda a: a.getRoleName() == "table cell" and (a.name or "").startswith(text), frame,
                         timeout), "no devices pane entry %r" % text)


def selected(s, accessible):
    return accessible.getState().contains(s.atspi.STATE_SELECTED)


def status(s, frame, ending):
    return s.must(s.label(lambda n: n.endswith(ending), frame, 20), "no status ending %r" % ending).name


def shown(s, frame):
    """Rows the tree shows, as its tooltip says ("N rows, M shown")."""
    return int(s.tree_tooltip(frame).replace(",", "").split()[2])


def transactions(s, frame):
    """The capture entry's transaction count; None while the pane is being made again."""
    try:
        top = s.find(lambda a: a.getRoleName() == "table cell" and (a.name or "").startswith("Capture:"), frame, 2)
        # The text is a part of the first column's cell, beside the expander.
        table = top.parent.parent.queryTable()
        count = table.getAccessibleAt(table.getRowAtIndex(top.parent.getIndexInParent()), 1).name
        return int(count.replace(",", ""))
    except Exception:
        return None


def rises(s, frame, last, what):
    s.wait_until(lambda: (transactions(s, frame) or 0) > last, what)
    return transactions(s, frame)


def settled(s, frame):
    """The capture entry's count once it holds still: the pane makes a large list again only
    once the capture's rows stop changing, within two of its one-second checks."""
    last, end = None, time.time() + 60
    while time.time() < end:
        now = transactions(s, frame)
        if now is not None and now == last:
            return now
        last = now
        time.sleep(2.5)
    raise AssertionError("the pane never held still: %r" % last)


def test(s, args):
    s.launch([args.sim, "--serial", "E2E-0003", "--", "./tracewren"], args.rundir)
    frame = s.main_window("default.ovd")
    capture = cell(s, frame, "Capture: 3 devices")
    mouse = cell(s, frame, "Device 7 after reset 3: Synthetic Optical Mouse, 1209:7A57")
    for fact in ("Product: Synthetic Optical Mouse", "Manufacturer: Wrenfield Devices", "Configuration 1, set",
                 "Interface 0: class 0x03 (HID)", "Endpoint 1 IN: interrupt, 4 bytes"):
        cell(s, frame, fact)
    all_shown = shown(s, frame)
    s.screenshot("devices-pane")

    s.click(mouse)
    status(s, frame, "hidden: device 7")
    s.wait_until(lambda: shown(s, frame) < all_shown, "device 7's rows alone")
    device_shown = shown(s, frame)
    endpoint = cell(s, frame, "Endpoint 1 IN")
    s.click(endpoint)
    status(s, frame, "hidden: device 7.1")
    s.wait_until(lambda: shown(s, frame) < device_shown, "endpoint 7.1's rows alone")
    s.screenshot("endpoint-7.1")

    # The endpoint's context menu opens its stream, address and endpoint given.
    x, y, w, h = endpoint.queryComponent().getExtents(s.atspi.DESKTOP_COORDS)
    s.xdotool("mousemove", str(x + w // 2), str(y + h // 2), "click", "3")
    s.click(s.must(s.find(lambda a: a.getRoleName() == "menu item" and a.name == "Endpoint stream..." and
                          a.getState().contains(s.atspi.STATE_SHOWING)), "no stream in the endpoint's context menu"))
    stream = s.window("Endpoint 0x81 of device 7 - Orlavex Tracewren")
    s.must(s.label(lambda n: "bytes in" in n, stream, 5), "the stream's counts")
    s.key_in(stream, "ctrl+w")
    s.wait_until(lambda: s.find(lambda a: a.name == stream.name, timeout=0) is None, "the stream window to close")

    s.click(capture)
    s.wait_until(lambda: shown(s, frame) == all_shown, "every row again")
    assert not s.label(lambda n: "hidden: device" in n, frame, 2), "a device filter stayed"

    # The Filter menu's device selects its first entry in the pane.
    s.menu(frame, "Filter", "Device...")
    ask = s.window("Filter by device")
    s.type_into_shown_entry(ask, "0")
    s.press("OK", ask)
    status(s, frame, "hidden: device 0")
    first_zero = cell(s, frame, "Device 0 after reset 2")
    s.wait_until(lambda: selected(s, first_zero), "the menu's device to be selected in the pane")
    assert not selected(s, capture) and not selected(s, mouse)
    assert transactions(s, frame) == 175, transactions(s, frame)

    # A capture shown as it is decoded: the pane starts again and its counts follow.
    s.menu(frame, "Filter", "Show all")
    s.press("Capture", frame)
    dlg = s.window("USB Packet Sniffer")
    s.wait_label("Hardware Initialized OK", dlg)
    s.type_into_shown_entry(dlg, "2048")
    s.press("Start", dlg)
    s.wait_until(lambda: transactions(s, frame) not in (None, 175), "the pane to show the new capture")
    counts = [transactions(s, frame)]
    for _ in range(2):
        counts.append(rises(s, frame, counts[-1], "the pane's count to rise during the capture"))
    s.screenshot("devices-pane-capturing")
    s.press("Stop", dlg)
    s.wait_label("Captured", frame)
    s.click(s.button("OK", dlg))
    s.wait_until(lambda: s.find(lambda a: a.name == "USB Packet Sniffer", timeout=0) is None, "the dialog to close")
    kept = settled(s, frame)
    assert kept >= counts[-1], (counts, kept)
    cell(s, frame, "Device ")
    s.screenshot("devices-pane-captured")
    print("%d rows shown, %d of device 7; while capturing %s, kept %d" % (all_shown, device_shown, counts, kept))
    s.press("Exit", frame)
    s.press("Discard", s.message_box("never saved"))


twrgui.run(test)
