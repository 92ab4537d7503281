#!/usr/bin/python3
"""Reads the window's accessible tree as a screen reader does, over AT-SPI.

    atspi_client.py DEVCONFIG

Starts DEVCONFIG --simulate on the X display and session bus of the caller (atspi_session.sh
makes them), then checks what assistive technology is told: the buttons' names and key
bindings, the tables' names, that no hidden page is offered, the status bar's announcement
after Connect, and a changed cell's name and description. Exits 1 at the first failure.
"""
import os
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

WAIT_S = 30.0
BUTTON_KEYS = {"Connect": "Alt+C", "Save": "Alt+S", "Close": "Alt+L", "Help": "Alt+H"}
UNCONFIRMED_TIP = "Not yet confirmed by the instrument"


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def pump_until(condition, what):
    """Runs the event loop until condition() holds; fails after WAIT_S."""
    context = GLib.MainContext.default()
    deadline = time.monotonic() + WAIT_S
    while time.monotonic() < deadline:
        while context.iteration(False):
            pass
        result = condition()
        if result:
            return result
        time.sleep(0.05)
    fail("timed out waiting for " + what)


def find_app():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == "devconfig":
            return app
    return None


def stop(program):
    program.terminate()
    program.wait(timeout=WAIT_S)


def start_program(env):
    """Starts the program and waits until it shows on the bus. Its error output is kept, so
    that a start the X server turned away can be told from the program's own failure."""
    for attempt in (1, 2):
        errors = tempfile.TemporaryFile()
        program = subprocess.Popen([sys.argv[1], "--simulate"], env=env, stderr=errors)
        try:
            app = pump_until(lambda: find_app() or program.poll() is not None,
                             "the program on the accessibility bus")
        except SystemExit:
            stop(program)
            raise
        if app is not True:
            return program, app, errors
        errors.seek(0)
        said = errors.read().decode(errors="replace")
        sys.stderr.write(said)
        if "could not connect to display" not in said or attempt == 2:
            fail("the program ended with status %d before it showed on the accessibility bus"
                 % program.returncode)
        print("atspi_client: the X server turned the program away; starting it once more",
              file=sys.stderr)


def descendants(node):
    for child in node:
        if child is None:
            continue
        yield child
        # The cells of a table are reached through its Table interface.
        if child.getRoleName() != "table":
            yield from descendants(child)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def action_keys(node, name):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) == name:
            return i, action.getKeyBinding(i)
    fail("%r has no %s action" % (node.name, name))


def check_buttons(nodes):
    buttons = {n.name: n for n in nodes if n.getRoleName() == "push button" and showing(n)}
    for name, keys in BUTTON_KEYS.items():
        if name not in buttons:
            fail("no showing button named %r; buttons: %s" % (name, sorted(buttons)))
        _, binding = action_keys(buttons[name], "Press")
        if binding.lower() != keys.lower():
            fail("%s's key binding is %r, not %r" % (name, binding, keys))
        if "(%s)" % keys not in buttons[name].description:
            fail("%s's description %r does not name %s" % (name, buttons[name].description, keys))
    return buttons


def check_nothing_hidden_offered(nodes):
    tabs = [n.name for n in nodes if n.getRoleName() == "page tab"]
    if tabs != ["Sensors", "Thermistors"]:
        fail("the tabs offered are %s" % tabs)
    for node in nodes:
        if node.name in ("System", "Backlight", "Speaker") and showing(node):
            fail("the hidden %r is reported as showing" % node.name)


def one(nodes, role, name=None):
    found = [n for n in nodes if n.getRoleName() == role and (name is None or n.name == name)]
    if len(found) != 1:
        fail("%d objects of role %r named %r" % (len(found), role, name))
    return found[0]


def click_and_type(cell, keys):
    x, y, w, h = cell.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "1"],
                   check=True)
    subprocess.run(["xdotool", "type", "--delay", "50", keys], check=True)
    subprocess.run(["xdotool", "key", "Return"], check=True)


def main():
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    program, app, errors = start_program(env)
    try:
        window = pump_until(lambda: next((c for c in app if c is not None and
                                          c.name == "Device Configuration" and
                                          c.childCount > 0), None), "the window")
        nodes = list(descendants(window))
        buttons = check_buttons(nodes)
        check_nothing_hidden_offered(nodes)
        sensors = one(nodes, "table", "Sensors table")
        one(nodes, "table", "Thermistors table")
        status = one(nodes, "status bar")
        if status.name != "Status: Attach device and press Connect":
            fail("the status bar is named %r" % status.name)

        heard = []
        def on_name(event):
            if event.source.getRoleName() == "status bar":
                heard.append(event.source.name)
        pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
        index, _ = action_keys(buttons["Connect"], "Press")
        buttons["Connect"].queryAction().doAction(index)
        pump_until(lambda: any(n.startswith("Status: Device: ") and n.endswith(" OK")
                               for n in heard), "the announcement of Connect's result")

        table = sensors.queryTable()
        mid = lambda: table.getAccessibleAt(0, 2)
        pump_until(lambda: sensors.getState().contains(pyatspi.STATE_SENSITIVE) and
                   mid().name.startswith("S0 Mid Hz ") and mid().name != "S0 Mid Hz empty",
                   "the read to fill the Sensors table")

        click_and_type(table.getAccessibleAt(3, 1), "7")
        cell = lambda: table.getAccessibleAt(3, 1)
        pump_until(lambda: cell().name == "S3 Proc 7", "the changed cell's name")
        if not cell().description.startswith(UNCONFIRMED_TIP):
            fail("the changed cell's description is %r" % cell().description)
        print("atspi_client: buttons, tables, status announcement and cell state all read")
    finally:
        stop(program)
        errors.seek(0)
        sys.stderr.write(errors.read().decode(errors="replace"))


if __name__ == "__main__":
    main()
