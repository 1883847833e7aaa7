"""The devices pane on the bundled capture as a user meets it: its entries,
a device and an endpoint selected filtering the rows (the status bar and the
tree's count say so), the capture's entry showing every row again, and a
device chosen from the Filter menu selecting its entry. A screenshot of the
pane goes to --out."""

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


def test(s, args):
    s.launch(["./tracewren"], args.rundir)
    frame = s.main_window("default.ovd")
    capture = cell(s, frame, "Capture: 3 devices")
    mouse = cell(s, frame, "Device 7: Synthetic Optical Mouse, 1209:7A57, after reset 3")
    for fact in ("Product: Synthetic Optical Mouse", "Manufacturer: Wrenfield Devices", "Configuration 1, set",
                 "Interface 0: class 0x03 (HID)", "Endpoint 1 IN: interrupt, 4 bytes"):
        cell(s, frame, fact)
    all_shown = shown(s, frame)
    s.screenshot("devices-pane")

    s.click(mouse)
    status(s, frame, "hidden: device 7")
    s.wait_until(lambda: shown(s, frame) < all_shown, "device 7's rows alone")
    device_shown = shown(s, frame)
    s.click(cell(s, frame, "Endpoint 1 IN"))
    status(s, frame, "hidden: device 7.1")
    s.wait_until(lambda: shown(s, frame) < device_shown, "endpoint 7.1's rows alone")
    s.screenshot("endpoint-7.1")

    s.click(capture)
    s.wait_until(lambda: shown(s, frame) == all_shown, "every row again")
    assert not s.label(lambda n: "hidden: device" in n, frame, 2), "a device filter stayed"

    # The Filter menu's device selects its first entry in the pane.
    s.menu(frame, "Filter", "Device...")
    ask = s.window("Filter by device")
    s.type_into_shown_entry(ask, "0")
    s.press("OK", ask)
    status(s, frame, "hidden: device 0")
    first_zero = cell(s, frame, "Device 0, after reset 2")
    s.wait_until(lambda: selected(s, first_zero), "the menu's device to be selected in the pane")
    assert not selected(s, capture) and not selected(s, mouse)
    print("%d rows shown, %d of device 7" % (all_shown, device_shown))
    s.press("Exit", frame)


twrgui.run(test)
