"""Files as a user meets them, the program in a path with spaces and non-ASCII
letters, started elsewhere: sample, malformed and pcap files read, saved and
exported, through the menus and their keys (a malformed one named with its line,
what was shown kept); the title naming the file; a file named on the command line,
the recent files of the run before, a file dropped on the window; zoom keys
remembered; the help page, with a browser and
without; the About box."""

import gzip
import os
import shutil
import stat
import time
import urllib.parse

import twrgui


def test(s, args):
    run = os.path.join(args.out, "run dïr")
    shutil.copytree(args.rundir, run, ignore=shutil.ignore_patterns("CMakeFiles", "*.cmake", "Makefile", "*.a"))
    # The file dialogs open in the working directory; names are typed relative to it.
    elsewhere = os.path.join(args.out, "elsewhere")
    os.makedirs(elsewhere)
    good = os.path.join(elsewhere, "çapture é.ovd")
    bad = os.path.join(elsewhere, "bröken.ovd")
    saved = os.path.join(elsewhere, "sävéd.ovd")
    pcap = os.path.join(elsewhere, "fremd.pcap")
    exported = os.path.join(elsewhere, "exportéd.pcap")
    shutil.copy(os.path.join(args.data, "packetry", "ksolti-core-enum", "capture.pcap"), pcap)
    shutil.copy(os.path.join(args.data, "lib_sample.ovd"), good)
    shutil.copy(os.path.join(args.data, "lib_malformed.ovd"), bad)
    # The program's browser: records the URL it is asked to open.
    bin_dir = os.path.join(args.out, "bin")
    os.makedirs(bin_dir)
    opened = os.path.join(args.out, "opened-url")
    fake = os.path.join(bin_dir, "xdg-open")
    with open(fake, "w") as f:
        f.write('#!/bin/sh\nprintf "%%s" "$1" > "%s"\n' % opened)
    os.chmod(fake, os.stat(fake).st_mode | stat.S_IEXEC)
    os.environ["PATH"] = bin_dir + os.pathsep + os.environ["PATH"]

    s.launch([os.path.join(run, "tracewren")], elsewhere)
    frame = s.main_window()
    bundled = s.shown_rows(frame)
    assert bundled == 0, "no default capture in the working directory"
    s.screenshot("main-empty")

    s.choose_file(frame, "Read data", "Open saved sample data", good, "Open")
    s.wait_until(lambda: s.shown_rows(frame) != bundled, "the chosen file to be shown")
    shown = s.shown_rows(frame)
    assert frame.name == "çapture é.ovd - Orlavex Tracewren", frame.name

    s.choose_file(frame, "ctrl+o", "Open saved sample data", bad, "Open")
    s.must(s.label(lambda n: bad in n and "line 6" in n), "no message naming the file and its line")
    s.screenshot("malformed-file-message")
    s.key("Return")
    s.wait_until(lambda: s.label(lambda n: bad in n, timeout=0) is None, "the message to close")
    assert s.shown_rows(frame) == shown, "the shown data stays"
    assert frame.name == "çapture é.ovd - Orlavex Tracewren", "the title still names the file shown"

    s.choose_file(frame, "ctrl+s", "Save sample data", saved, "Save")
    s.wait_until(lambda: os.path.exists(saved) and os.path.getsize(saved) > 0, "the saved file")
    with gzip.open(saved, "rb") as f:
        assert f.read(8) == b"OVFMT01\n"
    s.wait_until(lambda: frame.name == "sävéd.ovd - Orlavex Tracewren", "the title to name the saved file")

    # Another analyzer's capture opens by content; its packets export for Wireshark.
    s.choose_file(frame, "Read data", "Open saved sample data", pcap, "Open")
    s.wait_until(lambda: s.shown_rows(frame) not in (shown, bundled), "the pcap file to be shown")
    s.screenshot("pcap-read")
    pcap_rows = s.shown_rows(frame)
    assert frame.name == "fremd.pcap - Orlavex Tracewren", frame.name
    s.choose_file(frame, "ctrl+e", "Export packets as pcap", exported, "Save")
    s.wait_until(lambda: os.path.exists(exported) and os.path.getsize(exported) > 24, "the exported file")
    with open(exported, "rb") as f:
        assert f.read(4) == bytes.fromhex("4d3cb2a1"), "a nanosecond pcap"

    s.press("Help", frame)
    s.wait_until(lambda: os.path.exists(opened), "the browser to be started")
    # wx hands a local page to the browser as a path or as a URL.
    url = open(opened).read()
    page = urllib.parse.unquote(urllib.parse.urlparse(url).path) if url.startswith("file:") else url
    assert os.path.samefile(page, os.path.join(run, "twr_help.html")), url

    # Without a browser xdg-open fails; the button and the menu then say where the page is.
    with open(fake, "w") as f:
        f.write("#!/bin/sh\nexit 3\n")
    where = lambda n: "help page is" in n and os.path.join(run, "twr_help.html") in n
    for open_help in (lambda: s.press("Help", frame), lambda: s.menu(frame, "Help", "Help page")):
        open_help()
        s.must(s.label(where), "no message naming the help page")
        s.screenshot("help-without-browser")
        s.key("Return")
        s.wait_until(lambda: s.label(where, timeout=0) is None, "the message to close")

    s.menu(frame, "Help", "About")
    s.must(s.label(lambda n: "Orlavex" in n and "warranty" in n), "no legal notice in the About box")
    s.screenshot("about")
    s.key("Escape")

    s.press("Exit", frame)
    assert s.program.wait(20) == 0, "the program failed"

    # Named on the command line, relative to where it starts: shown with its name in the title.
    s.launch([os.path.join(run, "tracewren"), os.path.basename(pcap)], elsewhere)
    frame = s.main_window("fremd.pcap")
    s.wait_until(lambda: s.shown_rows(frame) == pcap_rows, "the pcap file's rows")
    s.screenshot("command-line-file")
    # The files of the run before, last first; one opens again.
    s.click(s.must(s.find(lambda a: a.getRoleName() == "menu" and a.name == "File", frame), "no File menu"))
    s.click(s.must(s.find(lambda a: a.getRoleName() == "menu" and a.name == "Open recent", frame), "no recent"))
    items = [a.name for a in s.atspi.findAllDescendants(frame, lambda a: a.getRoleName() == "menu item" and
                                                         a.name.startswith(("1 ", "2 ", "3 ", "4 ")))]
    assert [os.path.basename(n.split(" ", 1)[1]) for n in items] == \
        ["fremd.pcap", "sävéd.ovd", "çapture é.ovd"], items
    item = s.find(lambda a: a.getRoleName() == "menu item" and a.name.endswith("sävéd.ovd"), frame)
    s.key("Right")  # a click only highlights a submenu
    s.wait_until(lambda: item.getState().contains(s.atspi.STATE_SHOWING), "the recent files to show")
    s.screenshot("recent-files")
    s.click(item)
    s.wait_until(lambda: frame.name == "sävéd.ovd - Orlavex Tracewren", "the recent file to be shown")
    assert s.shown_rows(frame) == shown, "the saved file shows the rows saved"
    # A file dropped on the rows opens.
    s.drag_file(pcap, s.tree_scroll_bar(frame).parent)
    s.wait_until(lambda: frame.name == "fremd.pcap - Orlavex Tracewren", "the dropped file to be shown")
    assert s.shown_rows(frame) == pcap_rows
    # Zoom keys, remembered: 12 points in to 14, out to 12, in to 14 (Ctrl+= is Ctrl++ unshifted).
    for key in ("ctrl+plus", "ctrl+minus", "ctrl+equal"):
        s.key_in(frame, key)
        time.sleep(0.3)
    s.press("Exit", frame)
    assert s.program.wait(20) == 0, "the program failed"
    assert "PointSize=14" in s.settings(), s.settings()
    print("read %d rows, help page %s" % (shown, url))


twrgui.run(test)
