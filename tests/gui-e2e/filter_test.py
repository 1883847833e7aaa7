"""The Filter menu as a user meets it, on another analyzer's capture of a
device enumerating, two of its requests damaged on the way: one
device's rows, the hidden count in the status bar, a device that is no
device, rows with errors only, and the error keys moving the selection."""

import os
import struct

import twrgui


def damaged_capture(source, target):
    """The pcap with the request type of two GET_DESCRIPTOR requests to device
    2 changed, so that their CRCs fail; returns their SETUP data as the data
    pane dumps it ("da 06 00 01 ...")."""
    with open(source, "rb") as f:
        data = bytearray(f.read())
    offset, token, damaged = 24, None, []
    while offset < len(data) and len(damaged) < 2:
        size = struct.unpack_from("<I", data, offset + 8)[0]
        packet = data[offset + 16:offset + 16 + size]
        if packet[0] & 15 in (1, 9, 13):
            token = (packet[0] & 15, (packet[1] | packet[2] << 8) & 0x7FF)
        elif token == (13, 2) and size == 11 and packet[1:3] == b"\x80\x06":
            data[offset + 17] ^= 0x5A
            damaged.append(" ".join("%02x" % b for b in data[offset + 17:offset + 25]))
        offset += 16 + size
    assert len(damaged) == 2, "no requests to damage"
    with open(target, "wb") as f:
        f.write(data)
    return damaged


def status_label(s, frame, ending, timeout=20):
    return s.must(s.label(lambda n: n.endswith(ending), frame, timeout), "no status %r" % ending)


def hidden_count(s, frame, ending):
    """The number the status bar gives as hidden ("1,234 hidden: ..."), checked against the tree's
    tooltip ("N rows, M shown")."""
    label = status_label(s, frame, ending)
    hidden = int(label.name.split()[0].replace(",", ""))
    rows, shown = s.tree_tooltip(frame).replace(",", " ").split()[0::2][:2]
    assert int(rows) - int(shown) == hidden, (label.name, s.tree_tooltip(frame))
    return hidden, int(shown)


def dump(s, frame):
    """The data pane's text: what the selected row holds."""
    return s.find(lambda a: a.getRoleName() == "text", frame).queryText().getText(0, -1)


def test(s, args):
    elsewhere = os.path.join(args.out, "elsewhere")
    os.makedirs(elsewhere)
    pcap = os.path.join(elsewhere, "damaged.pcap")
    damaged = damaged_capture(os.path.join(args.data, "packetry", "emf2022-badge", "capture.pcap"), pcap)

    s.launch([os.path.join(args.rundir, "tracewren")], elsewhere)
    frame = s.window("Orlavex Tracewren")
    s.choose_file(frame, "Read data", "Open saved sample data", pcap, "Open")
    s.wait_until(lambda: s.shown_rows(frame) > 0, "the capture to be shown")
    rows = s.shown_rows(frame)
    # The toolbar's filters hide the SOFs and NAKs as ever.
    toolbar_hidden, _ = hidden_count(s, frame, " hidden")

    s.menu(frame, "Filter", "Device...")
    ask = s.window("Filter by device")
    s.type_into_shown_entry(ask, "2.0")
    s.press("OK", ask)
    device_hidden, device_shown = hidden_count(s, frame, "hidden: device 2.0")
    assert toolbar_hidden < device_hidden < rows and device_shown > 20, (toolbar_hidden, device_hidden, rows)
    s.screenshot("device-2.0")

    # Not a device: said, and the filter stays.
    s.menu(frame, "Filter", "Device...")
    ask = s.window("Filter by device")
    s.type_into_shown_entry(ask, "2.16")
    s.press("OK", ask)
    s.must(s.label(lambda n: '"2.16" is no device' in n), "no message that 2.16 is no device")
    s.key("Return")
    assert hidden_count(s, frame, "hidden: device 2.0")[0] == device_hidden

    # Endpoint 3 only NAKs: with NAKs shown, the address alone shows more than its endpoint 0.
    s.press("Show NAKs", frame)
    endpoint_hidden = hidden_count(s, frame, "hidden: device 2.0")[0]
    s.menu(frame, "Filter", "Device...")
    ask = s.window("Filter by device")
    s.type_into_shown_entry(ask, "2")
    s.press("OK", ask)
    assert hidden_count(s, frame, "hidden: device 2")[0] < endpoint_hidden, "all of device 2's endpoints"
    s.press("Hide NAKs", frame)

    s.menu(frame, "Filter", "Errors only")
    # Each damaged packet, its transaction and its control transfer.
    assert hidden_count(s, frame, "hidden: device 2, errors only") == (rows - 6, 6)
    s.screenshot("device-2-errors-only")

    # The error keys walk the errors the filters show: the transfers, and the transactions in them.
    s.press("Hide Packets", frame)
    x, y, w, h = status_label(s, frame, "errors only").queryComponent().getExtents(s.atspi.DESKTOP_COORDS)
    s.xdotool("mousemove", str(x + w // 2), str(y + h // 2))  # with no window manager, keys go where the pointer is
    for key, expected in (("F8", None), ("F8", damaged[0]), ("F8", None), ("F8", damaged[1]), ("shift+F8", None),
                          ("shift+F8", damaged[0])):
        before = dump(s, frame)
        s.key(key)
        s.wait_until(lambda: dump(s, frame) != before, "%s to select another row" % key)
        now = dump(s, frame)
        assert (expected in now) if expected else not any(d in now for d in damaged), (key, expected, now)
    s.screenshot("previous-error")

    s.menu(frame, "Filter", "Show all")
    s.press("Show Packets", frame)
    assert hidden_count(s, frame, " hidden")[0] == toolbar_hidden
    s.press("Exit", frame)
    print("%d rows; hidden by the toolbar %d, for device 2.0 %d" % (rows, toolbar_hidden, device_hidden))


twrgui.run(test)
