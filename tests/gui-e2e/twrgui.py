"""Drives the tracewren GUI as a user would: a private Xvfb display, the
accessibility bus, the program, and helpers. Run inside `dbus-run-session`."""

import argparse
import os
import shutil
import subprocess
import time


class Session:
    def __init__(self, out_dir):
        self.out_dir = out_dir
        shutil.rmtree(out_dir, ignore_errors=True)
        os.makedirs(out_dir)
        self.procs = []
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            display = f.readline().strip()
        if not display:
            raise RuntimeError("Xvfb did not start")
        os.environ["DISPLAY"] = ":" + display
        os.environ["GTK_MODULES"] = "gail:atk-bridge"
        # What the program remembers goes here, never to the user's own settings.
        self.config_dir = os.path.join(out_dir, "config")
        os.environ["XDG_CONFIG_HOME"] = self.config_dir
        os.environ.pop("NO_AT_BRIDGE", None)
        self.bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                    stderr=subprocess.DEVNULL)
        time.sleep(0.5)
        import pyatspi  # only once the display and the bus are there
        self.atspi = pyatspi
        self.program = None

    def launch(self, argv, cwd):
        self.program = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True)
        self.procs.append(self.program)
        return self.program

    def helper(self, argv):
        """Starts a program the test needs beside the one it drives; it ends with the session."""
        proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(proc)
        return proc

    def drag_file(self, path, onto):
        """Drags path with the mouse from a window that offers it, as a file manager does, onto
        the middle of the accessible onto."""
        source = self.helper(["/usr/bin/python3", os.path.join(os.path.dirname(__file__), "dragsource.py"), path])
        x, y, w, h = self.button("drag me").queryComponent().getExtents(self.atspi.DESKTOP_COORDS)
        tx, ty, tw, th = onto.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)
        self.xdotool("mousemove", str(x + w // 2), str(y + h // 2), "mousedown", "1")
        # In steps: the toolkit starts a drag only once the pointer has moved a little.
        for i in range(1, 11):
            self.xdotool("mousemove", str(x + w // 2 + (tx + tw // 2 - x - w // 2) * i // 10),
                         str(y + h // 2 + (ty + th // 2 - y - h // 2) * i // 10))
            time.sleep(0.05)
        self.xdotool("mouseup", "1")
        time.sleep(0.5)
        source.terminate()

    def close(self):
        for p in reversed(self.procs + [self.bus, self.xvfb]):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()

    # Finding things -----------------------------------------------------

    def _roots(self):
        desktop = self.atspi.Registry.getDesktop(0)
        return [app for app in desktop if app is not None]

    def find(self, pred, root=None, timeout=20):
        """The first accessible matching pred, polled until timeout; None if none."""
        end = time.time() + timeout
        while True:
            for app in [root] if root is not None else self._roots():
                try:
                    hit = app if pred(app) else self.atspi.findDescendant(app, pred, True)
                except Exception:
                    hit = None  # the tree changed under us
                if hit is not None:
                    return hit
            if time.time() >= end:
                return None
            time.sleep(0.2)

    def must(self, hit, what):
        if hit is None:
            raise AssertionError(what)
        return hit

    def window(self, title, timeout=20):
        roles = ("frame", "dialog", "file chooser", "alert")
        return self.must(self.find(lambda a: a.getRoleName() in roles and a.name == title, timeout=timeout),
                         "no window titled %r" % title)

    def button(self, name, root=None, timeout=20):
        return self.must(self.find(lambda a: a.getRoleName() == "push button" and a.name == name, root, timeout),
                         "no button %r" % name)

    def label(self, pred, root=None, timeout=20):
        return self.find(lambda a: a.getRoleName() == "label" and pred(a.name or ""), root, timeout)

    def wait_label(self, text, root=None, timeout=30):
        self.must(self.label(lambda n: n == text, root, timeout), "label %r never appeared" % text)

    def main_window(self, shown=None, timeout=20):
        """The main window, whose title names the file shown ("name - product")."""
        return self.window("Orlavex Tracewren" if shown is None else shown + " - Orlavex Tracewren", timeout)

    def message_box(self, text, timeout=20):
        """The message or question box that says text: GTK gives it no title to find it by."""
        said = self.must(self.label(lambda n: text in n, timeout=timeout), "no message saying %r" % text)
        while said.getRoleName() not in ("alert", "dialog", "frame"):
            said = said.parent
        return said

    def menu(self, frame, *path):
        """Clicks through the menu bar: a menu, its submenus, then the item."""
        for name in path[:-1]:
            self.click(self.must(self.find(lambda a: a.getRoleName() == "menu" and a.name == name, frame),
                                 "no menu %r" % name))
        self.click(self.must(self.find(lambda a: a.getRoleName() in ("menu item", "check menu item") and
                                       a.name == path[-1], frame), "no menu item %r" % path[-1]))

    def settings(self):
        """The program's settings file as text."""
        with open(os.path.join(self.config_dir, "tracewren", "tracewren.conf"), encoding="utf-8") as f:
            return f.read()

    def tree_scroll_bar(self, frame):
        """The tree's scroll bar: on screen, beside the panel whose tooltip tells the rows
        (the decode pane's tables have scroll bars of their own)."""
        def tree_bar(a):
            return a.getRoleName() == "scroll bar" and \
                a.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)[2] > 1 and \
                any(s.getRoleName() == "panel" and s.description for s in a.parent)
        return self.must(self.find(tree_bar, frame), "no scroll bar beside the tree")

    # Acting -------------------------------------------------------------

    def press(self, name, root=None):
        """Clicks the button with the mouse: an accessibility action that opens a
        modal dialog would block the program's accessibility bridge until it closes."""
        self.click(self.button(name, root))

    def key_in(self, window, key):
        """Presses a key in a window: with no window manager, keys go where the pointer is."""
        x, y, w, h = window.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)
        self.xdotool("mousemove", str(x + w // 2), str(y + h // 2))
        self.key(key)

    def choose_file(self, frame, item, title, path, accept):
        """Picks path in the file dialog that the File menu's item opens, or its key."""
        if item.startswith("ctrl+"):
            self.key_in(frame, item)
        else:
            self.menu(frame, "File", item)
        chooser = self.window(title)
        if accept == "Open":
            self.key_in(chooser, "ctrl+l")  # a name can be typed only in the location entry
        self.type_into_shown_entry(chooser, os.path.basename(path))
        self.press(accept, chooser)

    def enabled(self, accessible):
        return accessible.getState().contains(self.atspi.STATE_SENSITIVE)

    def wait_until(self, cond, what, timeout=30):
        end = time.time() + timeout
        while not cond():
            if time.time() >= end:
                raise AssertionError("timed out waiting for " + what)
            time.sleep(0.2)

    def click(self, accessible):
        x, y, w, h = accessible.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)
        self.xdotool("mousemove", str(x + w // 2), str(y + h // 2), "click", "1")

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + list(args), check=True)

    def type_text(self, text):
        self.xdotool("type", "--delay", "30", text)

    def key(self, *keys):
        self.xdotool("key", *keys)

    def type_into_shown_entry(self, root, text):
        """Types text into the entry that shows, as keys (GTK's file dialog ignores
        text set through the accessibility tree); xdotool drops a non-ASCII letter
        now and then, so the entry is read back and typed again if it must."""
        def shown_entry(a):
            state = a.getState()
            return a.getRoleName() == "text" and state.contains(self.atspi.STATE_SHOWING) and \
                state.contains(self.atspi.STATE_EDITABLE)
        entry = self.must(self.find(shown_entry, root), "no text entry shows")
        self.click(entry)  # with no window manager, keys go where the pointer is
        for _ in range(5):
            self.key("ctrl+a", "BackSpace")
            self.type_text(text)
            time.sleep(0.3)
            if entry.queryText().getText(0, -1) == text:
                return
        raise AssertionError("the entry never read %r but %r" % (text, entry.queryText().getText(0, -1)))

    def screenshot(self, name):
        path = os.path.join(self.out_dir, name + ".png")
        subprocess.run(["import", "-window", "root", path], check=True)
        return path

    def tree_area(self, frame):
        """The drawn rows: the panel beside the tree's scroll bar."""
        bar = self.tree_scroll_bar(frame)
        for sibling in bar.parent:
            if sibling.getRoleName() == "panel":
                return sibling.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)
        raise AssertionError("no row area beside the scroll bar")

    def box_tops(self, area, name):
        """Screen y of each row's first box top: dark outline pixels in the column just inside it."""
        x, y, w, h = area
        shot = self.screenshot(name)
        out = subprocess.run(["convert", shot, "-crop", "1x%d+%d+%d" % (h, x + 12, y), "txt:-"],
                             check=True, capture_output=True, text=True).stdout
        pixels = []
        for line in out.splitlines()[1:]:
            rest = line.split(":", 1)[1]
            pixels.append(tuple(int(v) for v in rest.split("(")[1].split(")")[0].split(",")[:3]))
        # A top outline is a dark pixel right under the plain row background.
        dark = [max(p) < 60 for p in pixels]
        return [y + i for i in range(1, len(pixels)) if dark[i] and pixels[i - 1] == (232, 232, 232)]

    def pane_text(self, frame):
        """The data pane's text: the one text that cannot be edited."""
        def data_pane(a):
            return a.getRoleName() == "text" and not a.getState().contains(self.atspi.STATE_EDITABLE)
        return self.must(self.find(data_pane, frame), "no data pane").queryText().getText(0, -1)

    def decode_texts(self, frame):
        """The decode pane's labels, read again when the pane changed under the reading."""
        for _ in range(20):
            try:
                scroll = self.find(lambda a: a.getRoleName() == "scroll pane", frame)
                return [a.name for a in self.atspi.findAllDescendants(scroll, lambda a: a.getRoleName() == "label")]
            except Exception:
                time.sleep(0.1)
        raise AssertionError("the decode pane never held still")

    def click_line(self, area, pitch, line, button="1"):
        x, y, w, h = area
        self.xdotool("mousemove", str(x + 60), str(y + line * pitch + pitch // 2), "click", button)

    def tree_tooltip(self, frame):
        """The tree's tooltip: "N rows, M shown"."""
        for sibling in self.tree_scroll_bar(frame).parent:
            if sibling.getRoleName() == "panel" and sibling.description:
                return sibling.description
        raise AssertionError("the tree says nothing of its rows")

    def shown_rows(self, frame):
        """How many rows the main window holds, as the tree's tooltip says."""
        return int(self.tree_tooltip(frame).split()[0])


def run(test):
    """Runs test(session, args) with the options every GUI test gets from CTest;
    a failure leaves a screenshot "failure.png" beside the others."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--rundir", required=True, help="the run directory holding tracewren")
    ap.add_argument("--sim", required=True, help="the simulated sniffer's launcher")
    ap.add_argument("--data", required=True, help="the project's test data")
    ap.add_argument("--synth", required=True, help="the synthesizer, which writes a scenario's raw capture")
    ap.add_argument("--twr", help="the command-line program, for the figures a window must agree with")
    ap.add_argument("--out", required=True, help="where screenshots go")
    args = ap.parse_args()
    s = Session(args.out)
    try:
        test(s, args)
        if s.program is not None:
            assert s.program.wait(20) == 0, "the program failed"
    except Exception:
        s.screenshot("failure")
        if s.program is not None and s.program.poll() is not None:
            print("the program ended with %d:\n%s" % (s.program.returncode, s.program.stdout.read()))
        raise
    finally:
        s.close()
