# Keeps a keyboard on headless mutter's seat until killed: GTK windows become active only on a seat that
# has one. mutter makes its virtual keyboard for a started remote-desktop session on the first key.
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)


def call(path, interface, method, args=None):
    return bus.call_sync("org.gnome.Mutter.RemoteDesktop", path, interface, method, args, None,
                         Gio.DBusCallFlags.NONE, 5000, None)


try:
    (session,) = call("/org/gnome/Mutter/RemoteDesktop", "org.gnome.Mutter.RemoteDesktop", "CreateSession").unpack()
    call(session, "org.gnome.Mutter.RemoteDesktop.Session", "Start")
    shift = 42  # evdev KEY_LEFTSHIFT: a key that types nothing
    for pressed in (True, False):
        call(session, "org.gnome.Mutter.RemoteDesktop.Session", "NotifyKeyboardKeycode",
             GLib.Variant("(ub)", (shift, pressed)))
except GLib.Error as error:
    sys.exit("no remote desktop keyboard: %s" % error.message)
print("keyboard", flush=True)
GLib.MainLoop().run()
