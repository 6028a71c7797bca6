#!/usr/bin/python3
"""The panel as a screen reader meets it, over AT-SPI.

Starts the real tarvik-desk on its simulated controller and drives it with the keyboard
only (xdotool), as a blind operator does. What a screen reader says of an object is its
description (lamps and captions: their colour), its text (text fields) or its checked
state; each change must arrive as an event. Needs a display and a private D-Bus
session (xvfb-run -a dbus-run-session -- atspi_walk.py PATH/TO/tarvik-desk); anything
missing is a failure, never a skip.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import pyatspi
    from gi.repository import GLib
except ImportError as error:
    sys.exit(f"FAIL: no AT-SPI client library ({error}); install python3-pyatspi")

MAIN_TITLE = "Pellow Tarvik Virtual Control Panel"
BANDS = ["80", "40", "30", "20", "17", "15", "12", "10", "6"]
# (name, role, said before, keys, said after). Keys "" belong to the row above; the
# simulated controller starts at 14.050 MHz and a beam goes no lower than 13.700.
WALK = [
    ("Connected", "image", None, None, "green"),
    ("Frequency", "text", None, "", "14.050"),
    ("6 m lamp", "image", "red", "F12", "green"),
    ("TUNING", "label", "grey", "", "red"),
    ("Frequency", "text", "14.050", "", "50.000"),
    ("TUNING", "label", None, "", "grey"),
    ("17 m lamp", "image", "red", "F7", "green"),
    ("6 m lamp", "image", "green", "", "red"),
    ("Frequency", "text", "50.000", "", "18.100"),
    ("80 m lamp", "image", "red", "ctrl+8", "green"),
    ("Frequency", "text", "18.100", "", "13.700"),
    ("Frequency", "text", "13.700", "ctrl+Up", "13.750"),
    ("Frequency", "text", "13.750", "ctrl+Down", "13.700"),
    ("180 lamp", "image", "red", "alt+1", "green"),
    ("180 lamp", "image", "green", "alt+1", "red"),
    ("RETRACTING", "label", "grey", "alt+h", "red"),
    ("RETRACTING", "label", None, "", "grey"),
    ("On Top", "check box", "unchecked", "Tab " * 7 + "space", "checked"),
    ("On Top", "check box", "checked", "space", "unchecked"),
]
# (role, name, description, states wanted, states unwanted) of the main window.
TREE = [("push button", n, None, ("focusable", "sensitive"), ()) for n in
        ["Home", "Calibrate", "En Xcvr", "Dis Xcvr", "180", "BiDir"] + [f"{b} m" for b in BANDS[3:]]]
TREE += [("push button", n, f"Key: {k}", ("focusable", "sensitive"), ()) for n, k in
         [("80 m", "Ctrl+8"), ("40 m", "Ctrl+4"), ("30 m", "Ctrl+3"), ("UP", "Ctrl+Up"),
          ("DN", "Ctrl+Down")]]
TREE += [("push button", "3/4", None, (), ("sensitive",))]  # there is no 3/4 command
TREE += [("image", n, "red", (), ()) for n in ["180 lamp", "BiDir lamp", "3/4 lamp"] +
         [f"{b} m lamp" for b in BANDS]]
TREE += [("label", n, "grey", (), ()) for n in ["TUNING", "RETRACTING"]]
TREE += [("text", n, None, ("focusable", "read only"), ()) for n in ["Frequency", "Received String"]]
TREE += [("menu item", n, None, (), ()) for n in ["File", "Exit", "Preferences", "Setup", "View", "Compact", "Full", "Diagnostics",
                                                  "Band", "20", "17", "15", "12", "10", "6", "Help",
                                                  "Contents", "About"]]
MAIN_TAB_ORDER = ["Home", "Calibrate", "En Xcvr", "Dis Xcvr", "180", "BiDir", "On Top"] + [
    f"{b} m" for b in BANDS] + ["UP", "DN", "Received String", "Frequency"]
# (keys, title, role, objects (role, name, states), focus first, Tab order after it)
DIALOGS = [
    ("F2", "Setup", "dialog",
     [("text", "Com Port", ("editable",)), ("text", "Baud Rate", ("editable",)),
      ("scroll bar", "Polling Rate", ("focusable",)), ("text", "Polling Rate in msec", ("read only",)),
      ("radio button", "Vastor, Grandel", ("focusable",)),
      ("radio button", "Beam, Dipole, Petitel", ("focusable",))],
     "Com Port", ["Baud Rate", "Polling Rate", "Polling Rate in msec", "Vastor, Grandel", "Com Port"]),
    ("F1", "Tarvik_Desk Help", "frame",
     [("push button", "Contents", ("focusable",)), ("push button", "Back", ()),
      ("push button", "Forward", ())], "Help text", []),
    # Alt+H belongs to Home; the Help menu is reached with F10 and the arrow keys.
    ("F10 Left Down Return", "About Tarvik_Desk", "dialog",
     [("push button", "OK", ("focusable",)), ("push button", "System Info...", ("focusable",))],
     "OK", ["System Info...", "OK"]),
]

failures = []
events = []
context = GLib.MainContext.default()


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def pump(seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        time.sleep(0.01)


def wait_for(predicate, seconds=20.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        pump(0.05)
        result = predicate()
        if result:
            return result
    return None


def said(obj):
    """What a screen reader says of the object's state."""
    role = obj.getRoleName()
    if role == "text":
        return obj.queryText().getText(0, -1)
    if role == "check box":
        return "checked" if "checked" in states(obj) else "unchecked"
    return obj.description


def on_event(event):
    # The source is asked at once: a caption can change again within the second.
    try:
        name, role, value = event.source.name, event.source.getRoleName(), said(event.source)
        # An editable combo box is named by its text; the group around it names it.
        if role == "combo box":
            name = event.source.parent.name
    except Exception:  # the object may be gone already
        name, role, value = "?", "?", ""
    if event.type.startswith("object:text-changed"):
        value = event.any_data if event.type == "object:text-changed:insert" else None
    elif event.type.startswith("object:state-changed:checked"):
        value = "checked" if event.detail1 else "unchecked"
    events.append((event.type, name, event.detail1, value))


def announced(name, value, since=0):
    return [e for e in events[since:] if e[1] == name and e[3] == value and
            e[0] != "object:state-changed:focused" and e[0] != "window:activate"]


def focused():
    return focus_events()[-1][1] if focus_events() else None


def press(keys):
    for key in keys.split():
        subprocess.run(["xdotool", "key", "--clearmodifiers", key], check=True)
        pump(0.15)


def states(obj):
    return {pyatspi.stateToString(s) for s in obj.getState().getStates()}


def descendants(obj):
    for i in range(obj.childCount):
        child = obj.getChildAtIndex(i)
        if child is not None:
            yield child
            yield from descendants(child)


def find(root, role, name):
    return next((o for o in descendants(root) if o.getRoleName() == role and o.name == name), None)


def frame(app, predicate, role=None):
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w is not None and predicate(w.name) and "showing" in states(w):
            if role is None or check(w.getRoleName() == role, f"window '{w.name}' is a {role}"):
                return w
    return None


def expect(root, role, name, description=None, want=(), unwanted=()):
    obj = find(root, role, name)
    if check(obj is not None, f"{role} '{name}' is in the tree"):
        have = states(obj)
        check(description is None or obj.description == description,
              f"{role} '{name}' is described '{description}': '{obj.description}'")
        check(set(want) <= have and not set(unwanted) & have, f"{role} '{name}': states {have}")
    return obj


def focus_events():
    return [e for e in events if e[0] == "object:state-changed:focused" and e[2] == 1]


def tab_through(order):
    reached = []
    for _ in order:
        before = len(focus_events())
        press("Tab")
        reached.append(focused() if wait_for(lambda: len(focus_events()) > before, 5) else None)
    check(reached == order, f"Tab visits {order}; it went {reached}")


def run_panel(program, scenario, extra_env=None, tools=("xdotool",)):
    """Runs `scenario(app)` against a fresh tarvik-desk on its simulated controller."""
    for tool in tools:
        if shutil.which(tool) is None:
            sys.exit(f"FAIL: {tool} is not installed")
    if not os.environ.get("DISPLAY") or not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        sys.exit("FAIL: needs a display and a D-Bus session (run under xvfb-run dbus-run-session)")
    # Listening starts before the panel does, so its first announcements are heard.
    for kind in ["object:property-change:accessible-description", "object:text-changed",
                 "object:state-changed:focused", "object:state-changed:checked",
                 "window:activate"]:
        pyatspi.Registry.registerEventListener(on_event, kind)
    home = tempfile.mkdtemp(prefix="tarvik-a11y-")
    os.mkdir(os.path.join(home, "run"), 0o700)
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               XDG_CONFIG_HOME=os.path.join(home, "config"),
               XDG_RUNTIME_DIR=os.path.join(home, "run"), **(extra_env or {}))
    panel = subprocess.Popen([program, "--simulate"], env=env)
    try:
        desktop = pyatspi.Registry.getDesktop(0)
        app = wait_for(lambda: next((a for a in desktop if a is not None and
                                     a.name == "TarvikDesk"), None), 30)
        if check(app is not None, "the panel registers with the accessibility bus"):
            scenario(app)
    finally:
        panel.terminate()
        try:
            panel.wait(10)
        except subprocess.TimeoutExpired:
            panel.kill()
        shutil.rmtree(home, ignore_errors=True)


def verdict():
    for what in failures:
        print("failed: " + what)
    print(f"{len(failures)} checks failed" if failures else "all checks passed")
    return 1 if failures else 0


def focus_main():
    """Gives the main window the keyboard, as a window manager would."""
    found = subprocess.run(["xdotool", "search", "--sync", "--name", MAIN_TITLE],
                           capture_output=True, text=True, check=True).stdout.split()
    subprocess.run(["xdotool", "windowfocus", "--sync", found[0]], check=True)


def walk(app):
    main = wait_for(lambda: frame(app, lambda n: n == MAIN_TITLE, "frame"), 30)
    if not check(main is not None, "its main window is in the tree"):
        return
    for role, name, description, want, unwanted in TREE:
        expect(main, role, name, description, want, unwanted)
    focus_main()
    check(wait_for(lambda: focused() == "Frequency", 10), "the frequency display has the focus")
    tab_through(MAIN_TAB_ORDER)
    pump(1.0)
    quiet_from = len(events)
    pump(3.0)  # about six polls, the antenna at rest
    check(not [e for e in events[quiet_from:] if e[0] != "object:state-changed:focused"],
          f"nothing is said while nothing changes: {events[quiet_from:]}")

    group = 0
    for name, role, before, keys, after in WALK:
        if keys != "":
            group = len(events) if keys else 0
            obj = expect(main, role, name)
            if before is not None and obj is not None:
                check(said(obj) == before, f"'{name}' says '{said(obj)}' before {keys}")
            if keys:
                press(keys)
        check(wait_for(lambda: announced(name, after, group), 40),
              f"{keys or 'then'}: '{name}' announces '{after}'")
        if role == "image":
            check(len(announced(name, after, group)) == 1, f"... '{name}' only once")

    for keys, title, role, objects, first, order in DIALOGS:
        focus_main()
        press(keys)
        window = wait_for(lambda: frame(app, lambda n: n.startswith(title), role), 20)
        if not check(window is not None, f"{keys} opens '{title}'"):
            continue
        for obj_role, name, want in objects:
            expect(window, obj_role, name, want=want, unwanted=() if want else ("sensitive",))
        check(wait_for(lambda: focused() == first, 10), f"'{title}' opens on '{first}'")
        tab_through(order)
        mark = len(events)
        press("Escape")
        check(wait_for(lambda: frame(app, lambda n: n.startswith(title)) is None, 10),
              f"Escape closes '{title}'")
        check(title != "Setup" or wait_for(lambda: [e for e in events[mark:] if e[1] == MAIN_TITLE
                                                    and e[0] == "window:activate"], 10),
              f"the main window is active again after '{title}'")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: atspi_walk.py PATH/TO/tarvik-desk")
    run_panel(sys.argv[1], walk)
    sys.exit(verdict())
