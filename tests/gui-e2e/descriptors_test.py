"""Devices whose enumeration the capture lacks, as a user meets them: a serial
chip's capture that started late decodes only packets, until "Device
descriptors..." gives its ids; the stream window shows what it printed, as text
and as hex. A capture with the enumeration leaves its set remembered.
Screenshots of the dialog and of the stream window go to --out."""

import os
import re
import subprocess

import twrgui

PRINTED = "Wrenfield boot loader 2.1 (115200 8N1)"  # the scenario's chip prints this first


def synthesize(s, args, scenario):
    path = os.path.join(s.out_dir, scenario + ".raw")
    subprocess.run([args.synth, "--scenario", scenario, "--seconds", "0.3", "-o", path], check=True)
    return path


def entries(s, root):
    """The editable text fields that show, in the order they were made."""
    def editable(a):
        state = a.getState()
        return a.getRoleName() == "text" and state.contains(s.atspi.STATE_EDITABLE) and \
            state.contains(s.atspi.STATE_SHOWING)
    return s.atspi.findAllDescendants(root, editable)


def type_into(s, entry, text):
    s.click(entry)
    s.key("ctrl+a", "BackSpace")
    s.type_text(text)
    s.wait_until(lambda: entry.queryText().getText(0, -1) == text, "the entry to read %r" % text)


def devices_dialog(s, frame, item, title, *values):
    """Opens the Devices menu's item and types the values into its dialog's first fields."""
    s.menu(frame, "Devices", item)
    dialog = s.window(title)
    for entry, value in zip(entries(s, dialog), values):
        type_into(s, entry, value)
    return dialog


def search(s, frame, text, count):
    """Searches the decode texts and waits for the find bar's count to match the pattern count."""
    entry = s.must(s.find(lambda a: a.getRoleName() == "text" and a.getState().contains(s.atspi.STATE_EDITABLE)
                          and a.getState().contains(s.atspi.STATE_SHOWING), frame, 5), "no find field")
    type_into(s, entry, text)
    s.key("Return")
    s.must(s.label(lambda n: re.fullmatch(count, n) is not None, frame, 30), "%r never counted %r" % (text, count))


def test(s, args):
    # A capture with the enumeration: its set is remembered in the configuration directory.
    s.launch([os.path.join(args.rundir, "tracewren"), synthesize(s, args, "cp210x")], args.rundir)
    frame = s.main_window("cp210x.raw")
    remembered = os.path.join(s.config_dir, "tracewren", "devices")
    s.wait_until(lambda: os.path.isdir(remembered) and len(os.listdir(remembered)) == 1, "a remembered set")
    s.press("Exit", frame)
    assert s.program.wait(20) == 0, "the program failed"

    s.launch([os.path.join(args.rundir, "tracewren"), synthesize(s, args, "cp210x-late")], args.rundir)
    frame = s.main_window("cp210x-late.raw")
    s.key_in(frame, "ctrl+f")
    s.click(s.must(s.find(lambda a: a.getRoleName() == "check box" and a.name == "In decode texts", frame),
                   "no decode-text choice"))
    search(s, frame, "serial data", "No match")
    # The chip's first IN, selected: only packets decoded.
    search(s, frame, "IN transaction to 5.1: ACK", r"1 of \d+")

    def said(text):
        return any(text in " ".join(t.split()) for t in s.decode_texts(frame))
    s.wait_until(lambda: said("IN transaction to 5.1: ACK"), "the IN transaction in the decode pane")
    assert not said("serial data"), s.decode_texts(frame)

    dialog = devices_dialog(s, frame, "Device descriptors...", "Device descriptors", "5", "nonsense")
    s.press("Decode again", dialog)
    s.must(s.label(lambda n: "neither a class" in n, dialog, 10), "a wrong hint is not refused")
    type_into(s, entries(s, dialog)[1], "10c4:ea60")
    s.screenshot("descriptors-dialog")
    s.press("Decode again", dialog)
    s.wait_until(lambda: s.find(lambda a: a.name == "Device descriptors", timeout=0) is None, "the dialog to close")

    # The selected row's text is made again at once.
    s.wait_until(lambda: said("the hint 5:10c4:ea60"), "the decode text to say where the ids came from")
    s.wait_until(lambda: said("serial data \"" + PRINTED[:20]), "the chip's text decoded")
    # The ids name the set the first capture left.
    assert said("descriptors remembered from an earlier capture (cp210x.raw)"), s.decode_texts(frame)
    search(s, frame, "serial data", r"\d+ of \d+")

    # The dialog lists what was given; Forget drops it, and the texts are made again without it.
    dialog = devices_dialog(s, frame, "Device descriptors...", "Device descriptors", "5")
    s.must(s.label(lambda n: n == "5: the hint 5:10c4:ea60", dialog, 10), "the hint is not listed")
    s.press("Forget address", dialog)
    s.must(s.label(lambda n: n == "nothing", dialog, 10), "the hint is still listed")
    s.press("Close", dialog)
    s.wait_until(lambda: not said("serial data"), "the hint's decode to go")

    prompt = devices_dialog(s, frame, "Endpoint stream...", "Endpoint stream", "5", "0x81")
    s.press("OK", prompt)
    window = s.window("Endpoint 0x81 of device 5 - Orlavex Tracewren")

    def shown_text():
        text = s.find(lambda a: a.getRoleName() == "text" and
                      not a.getState().contains(s.atspi.STATE_EDITABLE), window, 5)
        return text.queryText().getText(0, -1) if text else ""
    s.wait_until(lambda: ('"' + PRINTED + '\\r\\n"') in shown_text(), "the printed text in the stream window")
    # One run after its time, a quoted text for each line printed.
    lines = shown_text().splitlines()
    assert re.fullmatch(r'0\.\d{6} s  "%s\\r\\n"' % re.escape(PRINTED), lines[0]), lines
    assert len(lines) > 3 and all(re.fullmatch(r' {12}".*"', line) for line in lines[1:]), lines
    s.must(s.label(lambda n: "left out: 1 repeated by a retry, 0 unacknowledged" in n, window, 5),
           "the counts of what was left out")
    s.screenshot("stream-text")
    s.click(s.must(s.find(lambda a: a.getRoleName() == "check box" and a.name == "Hex", window), "no Hex"))
    hex_of_printed = " ".join("%02X" % ord(c) for c in PRINTED[:16])
    s.wait_until(lambda: hex_of_printed in shown_text(), "the printed text as hex")
    s.screenshot("stream-hex")

    # Saved as shown, or as the bare bytes.
    for name in ("stream.txt", "stream.bin"):
        s.press("Save...", window)
        chooser = s.window("Save the stream")
        s.type_into_shown_entry(chooser, os.path.join(s.out_dir, name))
        s.press("Save", chooser)
        s.wait_until(lambda: os.path.exists(os.path.join(s.out_dir, name)), name + " to be saved")
    with open(os.path.join(s.out_dir, "stream.txt"), encoding="ascii") as f:
        saved = f.read().splitlines()
    assert saved[0].startswith("# device 5 endpoint 0x81 (IN 1): 150 bytes in 5 packets;"), saved[0]
    assert hex_of_printed in saved[1], saved
    with open(os.path.join(s.out_dir, "stream.bin"), "rb") as f:
        raw = f.read()
    assert len(raw) == 150 and raw.startswith((PRINTED + "\r\n").encode()), raw

    s.press("Exit", frame)


twrgui.run(test)
