"""Drives the tracewren GUI as a user would: a private Xvfb display, the
accessibility bus, the program (under the simulated sniffer when asked),
and helpers to find windows and controls by role and name, press, type,
read labels and take screenshots. Run inside `dbus-run-session`."""

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
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            display = f.readline().strip()
        if not display:
            raise RuntimeError("Xvfb did not start")
        os.environ["DISPLAY"] = ":" + display
        os.environ["GTK_MODULES"] = "gail:atk-bridge"
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

    def exit_program(self, frame):
        """Presses Exit; the program must end cleanly."""
        self.press("Exit", frame)
        code = self.program.wait(20)
        assert code == 0, "exit status %d" % code

    def __enter__(self):
        return self

    def __exit__(self, kind, value, traceback):
        """On a failure a screenshot, and the program's output when it has ended; always closes."""
        try:
            if kind is not None:
                self.screenshot("failure")
                if self.program and self.program.poll() is not None:
                    print(self.program.stdout.read())
        finally:
            self.close()

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

    def window(self, title, timeout=20):
        win = self.find(lambda a: a.getRoleName() in ("frame", "dialog") and a.name == title, timeout=timeout)
        if win is None:
            raise AssertionError("no window titled %r" % title)
        return win

    def button(self, name, root=None, timeout=20):
        b = self.find(lambda a: a.getRoleName() == "push button" and a.name == name, root, timeout)
        if b is None:
            raise AssertionError("no button %r" % name)
        return b

    def label(self, pred, root=None, timeout=20):
        return self.find(lambda a: a.getRoleName() == "label" and pred(a.name or ""), root, timeout)

    def label_text(self, prefix, root=None, timeout=20):
        hit = self.label(lambda n: n.startswith(prefix), root, timeout)
        if hit is None:
            raise AssertionError("no label starting with %r" % prefix)
        return hit.name

    def wait_label(self, text, root=None, timeout=30):
        if self.label(lambda n: n == text, root, timeout) is None:
            raise AssertionError("label %r never appeared" % text)

    def tree_scroll_bar(self, frame):
        """The tree's scroll bar: the one scroll bar of the window that is on screen."""
        def shown_bar(a):
            return a.getRoleName() == "scroll bar" and a.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)[2] > 1
        bar = self.find(shown_bar, frame)
        if bar is None:
            raise AssertionError("no scroll bar beside the tree")
        return bar

    # Acting -------------------------------------------------------------

    def press(self, name, root=None):
        """Clicks the button with the mouse: an accessibility action that opens a
        modal dialog would block the program's accessibility bridge until it closes."""
        self.click(self.button(name, root))

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

    def screenshot(self, name):
        path = os.path.join(self.out_dir, name + ".png")
        subprocess.run(["import", "-window", "root", path], check=True)
        return path


def tools_present():
    return all(shutil.which(t) for t in ("Xvfb", "xdotool", "import")) and \
        os.path.exists("/usr/libexec/at-spi-bus-launcher")
