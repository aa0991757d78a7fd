# Takes the IBus input focus with an input context that shows nothing anywhere, and keeps it until killed:
# the daemon then sends every commit here.
import sys

import gi

gi.require_version("IBus", "1.0")
from gi.repository import GLib, IBus  # noqa: E402

bus = IBus.Bus()
if not bus.is_connected():
    sys.exit("no IBus daemon")
context = bus.create_input_context("stale")
context.set_capabilities(IBus.Capabilite.FOCUS)
context.focus_in()
print("focused", flush=True)
GLib.MainLoop().run()
