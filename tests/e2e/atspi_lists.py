#!/usr/bin/python3
"""Reads the category list and the entry list of the running program over AT-SPI,
as a screen reader does, while xdotool presses keys in its window: the items and
their names, what the reader hears when the arrow keys and Tab move the selection
and the focus, and the rows of the entry table.

Usage: atspi_lists.py WINDOW, the X id of the main window, which shows the
collection atspi_e2e.sh makes. Runs on the session bus of a private
dbus-run-session. Prints each step; at the first check that fails it prints what
the reader saw and exits with 1. Every wait is bounded.
"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

WAIT = 10.0  # seconds for any one change to arrive
WINDOW = sys.argv[1] if len(sys.argv) > 1 else ""

GIRO = "Bank – Giro"
NAMES = [GIRO, "Bank – Tagesgeld", "Größen – Schuhe für Jörg", "Größen – Hüte", "Mail – Privat"]

events = []  # (type, detail1, role, name), in the order they came


class Failed(Exception):
    pass


def on_event(event):
    try:
        events.append((event.type, event.detail1, event.source.getRoleName(), event.source.name))
    except Exception as error:  # an item gone by the time we ask (a refill)
        events.append((event.type, event.detail1, "?", str(error)))


def pump(until, seconds=WAIT):
    """Dispatches the reader's events until `until()` holds or the time is up."""
    context = GLib.MainContext.default()
    deadline = time.monotonic() + seconds
    while True:
        while context.pending():
            context.iteration(False)
        if until():
            return True
        if time.monotonic() > deadline:
            return False
        time.sleep(0.02)


def check(condition, what):
    if not condition:
        raise Failed(what)


def find(root, role, name, depth=0):
    if root is None or depth > 30:
        return None
    try:
        if root.getRoleName() == role and root.name == name:
            return root
        for i in range(root.childCount):
            found = find(root.getChildAtIndex(i), role, name, depth + 1)
            if found is not None:
                return found
    except Exception:  # an object going away while we walk
        return None
    return None


def wait_for(role, name, seconds=30.0):
    found = []

    def look():
        found[:] = [find(pyatspi.Registry.getDesktop(0), role, name)]
        return found[0] is not None

    check(pump(look, seconds), "no %s named '%s'" % (role, name))
    return found[0]


def has(accessible, state):
    return accessible.getState().contains(state)


def items(listbox):
    return [listbox.getChildAtIndex(i) for i in range(listbox.childCount)]


def focus_window():
    subprocess.run(["xdotool", "windowfocus", "--sync", WINDOW], check=True, timeout=10)


def press(key):
    """One key in the program's window; the events it causes are collected afresh."""
    del events[:]
    focus_window()
    subprocess.run(["xdotool", "key", key], check=True, timeout=10)
    print("key %s" % key, flush=True)


def heard(kind, detail1, role, name):
    return any(e[0] == kind and (detail1 is None or e[1] == detail1) and e[2] == role and
               e[3] == name for e in events)


def focus_lands_on(role, name):
    """Waits for a focus event on the object and checks that no later one moved on."""
    check(pump(lambda: heard("focus:", None, role, name)), "no focus event on %s '%s'" %
          (role, name))
    pump(lambda: False, 0.5)  # what else the key brings
    last = [e for e in events if e[0] == "focus:"][-1]
    check(last[2:] == (role, name), "the focus ends on %s '%s', not on %s '%s'" %
          (last[2], last[3], role, name))


def table_rows(table):
    cells = table.queryTable()
    return [[cells.getAccessibleAt(r, c).name for c in range(cells.nColumns)]
            for r in range(cells.nRows)]


def run():
    listbox = wait_for("list", "Rubriken")
    table = wait_for("table", "Einträge")
    check(pump(lambda: listbox.childCount == len(NAMES)),
          "the list has %d items, not %d" % (listbox.childCount, len(NAMES)))
    check([i.name for i in items(listbox)] == NAMES, "the items read %s" %
          [i.name for i in items(listbox)])
    for item in items(listbox):
        check(item.getRoleName() == "list item", "'%s' is a %s" % (item.name, item.getRoleName()))
        check(has(item, pyatspi.STATE_SELECTABLE) and has(item, pyatspi.STATE_FOCUSABLE),
              "'%s' is not selectable and focusable" % item.name)
        check(not has(item, pyatspi.STATE_SELECTED), "'%s' is selected at start" % item.name)
    print("items: %s" % ", ".join(NAMES), flush=True)

    pyatspi.Registry.registerEventListener(on_event, "object:state-changed:selected",
                                           "object:state-changed:focused", "focus:")
    # The list is the first control of the window: it has the focus once the window has.
    focus_window()
    check(pump(lambda: has(listbox, pyatspi.STATE_FOCUSED)), "the list has no focus")

    # Down selects the first row: the reader hears it selected and focused.
    press("Down")
    check(pump(lambda: heard("object:state-changed:selected", 1, "list item", GIRO)),
          "no selected event on '%s'" % GIRO)
    focus_lands_on("list item", GIRO)
    now = items(listbox)
    check(has(now[0], pyatspi.STATE_SELECTED) and has(now[0], pyatspi.STATE_FOCUSED),
          "'%s' is not selected and focused" % GIRO)
    check(not any(has(i, pyatspi.STATE_SELECTED) for i in now[1:]), "another item is selected")

    # On and back: the former row is heard losing its selection.
    press("Down")
    check(pump(lambda: heard("object:state-changed:selected", 0, "list item", GIRO)),
          "'%s' is not heard losing its selection" % GIRO)
    focus_lands_on("list item", NAMES[1])
    press("Up")
    focus_lands_on("list item", GIRO)

    # Tab: the entry table, its current cell spoken, its rows readable cell by cell.
    press("Tab")
    focus_lands_on("table cell", "IBAN")
    rows = table_rows(table)
    check(rows == [["IBAN", "DE12", "Hauptkonto"], ["PIN", "4711", ""]], "the table reads %s" % rows)
    press("Down")
    check(pump(lambda: heard("object:state-changed:selected", 1, "table cell", "PIN")),
          "no selected event on the row 'PIN'")
    focus_lands_on("table cell", "PIN")
    press("shift+Tab")
    focus_lands_on("list item", GIRO)
    print("entries: %s" % rows, flush=True)

    # "Ansicht filtern", clicked where the reader says it is: the other parents' rows
    # stay items, those without a line of their own hidden. Down into one shows its
    # parent's rows; the reader hears the row once.
    button = wait_for("check box", "Ansicht filtern", WAIT)
    box = button.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    focus_window()
    subprocess.run(["xdotool", "mousemove", str(box.x + box.width // 2),
                    str(box.y + box.height // 2), "click", "1"], check=True, timeout=10)
    check(pump(lambda: not has(listbox.getChildAtIndex(3), pyatspi.STATE_SHOWING)),
          "'%s' still shows in the filtered view" % NAMES[3])
    check(listbox.childCount == len(NAMES), "the filtered list has %d items" % listbox.childCount)
    press("Down")
    focus_lands_on("list item", NAMES[1])
    press("Down")
    focus_lands_on("list item", NAMES[2])
    spoken = [e for e in events if e[0] == "focus:"]
    check(len(spoken) == 1, "the row was announced %d times: %s" % (len(spoken), spoken))
    check(pump(lambda: has(listbox.getChildAtIndex(3), pyatspi.STATE_SHOWING) and
               not has(listbox.getChildAtIndex(1), pyatspi.STATE_SHOWING)),
          "the filtered view did not switch to the parent 'Größen'")
    check(has(listbox.getChildAtIndex(2), pyatspi.STATE_SELECTED), "'%s' is not selected" %
          NAMES[2])
    press("Tab")
    focus_lands_on("table cell", "Größe")
    rows = table_rows(table)
    check(rows == [["Größe", "44", ""]], "the table reads %s" % rows)
    print("filtered: %s" % rows, flush=True)


def main():
    try:
        run()
    except Failed as failure:
        print("FAILED: %s" % failure)
        print("events since the last key:")
        for event in events:
            print("  %s %s %s '%s'" % event)
        return 1
    except Exception as error:  # the bus or the program gone
        print("FAILED: %s: %s" % (type(error).__name__, error))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
