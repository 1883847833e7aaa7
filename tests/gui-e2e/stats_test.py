"""The statistics window as a user meets it: View > Statistics... over the
bundled example shows, cell for cell, the table twr stats prints for the same
file; Copy puts that table on the clipboard as the aligned text twr stats
prints; Refresh counts again."""

import os
import subprocess

import twrgui


def table_cells(s, window):
    """The window's table as its rows of cell texts, the column titles first."""
    table = s.must(s.find(lambda a: a.getRoleName() in ("table", "tree table"), window), "no table")
    t = table.queryTable()
    cells = [[t.getColumnHeader(c).name for c in range(t.nColumns)]]
    for r in range(t.nRows):
        cells.append([t.getAccessibleAt(r, c).name for c in range(t.nColumns)])
    return cells


def clipboard():
    return subprocess.run(["xclip", "-selection", "clipboard", "-o"], capture_output=True, text=True,
                          timeout=10).stdout


def test(s, args):
    example = os.path.join(args.rundir, "default.ovd")
    text = subprocess.run([args.twr, "stats", example], capture_output=True, text=True, check=True).stdout
    lines = text.splitlines()
    expected = [line.split() for line in lines[1:]]
    # Titles of more than one word are one cell each on screen.
    expected[0] = table_titles(lines[1])

    s.launch([os.path.join(args.rundir, "tracewren")], args.rundir)
    frame = s.main_window("default.ovd")
    s.wait_until(lambda: s.shown_rows(frame) > 0, "the example to be shown")
    s.menu(frame, "View", "Statistics...")
    window = s.window("Statistics")
    s.wait_label(lines[0].replace(", ", "    "), window)
    cells = table_cells(s, window)
    # The whole capture's row has no device cells: twr's text shows them as blanks.
    assert [[c for c in row if c] for row in cells] == expected, (cells, expected)
    s.screenshot("statistics")

    s.press("Copy", window)
    s.wait_until(lambda: clipboard() == text, "the table on the clipboard")
    s.press("Refresh", window)
    assert [[c for c in row if c] for row in table_cells(s, window)] == expected
    s.press("Close", window)
    s.wait_until(lambda: s.find(lambda a: a.getRoleName() == "frame" and a.name == "Statistics", timeout=0) is None,
                 "the window to close")
    s.menu(frame, "File", "Exit")


def table_titles(line):
    """The column titles of twr's text: separated by two spaces or more."""
    return [t.strip() for t in line.split("  ") if t.strip()]


twrgui.run(test)
