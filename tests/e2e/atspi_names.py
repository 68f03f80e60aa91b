#!/usr/bin/python3
"""Prints the accessibility tree of the running programs as a screen reader reads
it over AT-SPI: one line per object, "role<TAB>name", indented by depth.

Runs on the session bus of a private dbus-run-session; waits up to TIMEOUT
seconds (first argument, default 20) for an application with a window.
"""
import sys
import time

from gi.repository import Gio, GLib

ACCESSIBLE = "org.a11y.atspi.Accessible"


def call(bus, name, path, interface, method, args=None, reply="(v)"):
    return bus.call_sync(name, path, interface, method, args, GLib.VariantType(reply),
                         Gio.DBusCallFlags.NONE, 5000, None).unpack()


def children(bus, name, path):
    return call(bus, name, path, ACCESSIBLE, "GetChildren", reply="(a(so))")[0]


def walk(bus, name, path, depth, out, seen):
    if (name, path) in seen or depth > 30:
        return
    seen.add((name, path))
    label = call(bus, name, path, "org.freedesktop.DBus.Properties", "Get",
                 GLib.Variant("(ss)", (ACCESSIBLE, "Name")))[0]
    role = call(bus, name, path, ACCESSIBLE, "GetRoleName", reply="(s)")[0]
    out.append("%s%s\t%s" % ("  " * depth, role, label))
    for child_name, child_path in children(bus, name, path):
        walk(bus, child_name, child_path, depth + 1, out, seen)


def main():
    timeout = float(sys.argv[1]) if len(sys.argv) > 1 else 20.0
    session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    address = call(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                   reply="(s)")[0]
    bus = Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
        Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
    deadline = time.monotonic() + timeout
    while True:
        out = []
        try:
            for name, path in children(bus, "org.a11y.atspi.Registry",
                                       "/org/a11y/atspi/accessible/root"):
                walk(bus, name, path, 0, out, set())
        except GLib.Error:
            out = []  # an application still registering its objects
        if any(line.startswith("  frame\t") for line in out) or time.monotonic() > deadline:
            break
        time.sleep(0.3)
    print("\n".join(out))
    return 0 if out else 1


if __name__ == "__main__":
    sys.exit(main())
