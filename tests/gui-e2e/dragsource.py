"""A small window that lets a file be dragged from it, as a file manager does:
the GUI tests drag from it with the mouse. Usage: dragsource.py PATH"""

import pathlib
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402

uri = pathlib.Path(sys.argv[1]).absolute().as_uri()
window = Gtk.Window(title="drag source")
label = Gtk.Button(label="drag me")
label.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [], Gdk.DragAction.COPY)
label.drag_source_add_uri_targets()
label.connect("drag-data-get", lambda widget, context, data, info, time: data.set_uris([uri]))
window.add(label)
window.set_default_size(160, 40)
window.move(1100, 970)
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
