#!/usr/bin/python3
"""The panel as a screen reader meets it, over AT-SPI: tarvik-desk --simulate driven
with the keyboard only (xdotool). What is said of an object is its description, text or
checked state, and each change must arrive as an event. Anything missing fails."""

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

MAIN = "Pellow Tarvik Virtual Control Panel"
BANDS = ["80", "40", "30", "20", "17", "15", "12", "10", "6"]
# (name, role, said before, keys, said after); keys "" belong to the row above. The
# simulated controller starts at 14.050 MHz, and a beam goes no lower than 13.700.
WALK = [
    ("Connected", "image", None, None, "green, Controller answering"),
    ("Frequency", "text", None, "", "14.050"),
    ("6 m lamp", "image", "red, 6 m off", "F12", "green, 6 m on"),
    ("TUNING", "label", "grey, Not tuning", "", "red, Tuning"),
    ("Frequency", "text", "14.050", "", "50.000"),
    ("TUNING", "label", None, "", "grey, Not tuning"),
    ("80 m lamp", "image", "red, 80 m off", "ctrl+8", "green, 80 m on"),
    ("6 m lamp", "image", "green, 6 m on", "", "red, 6 m off"),
    ("180 lamp", "image", "red, 180 off", "alt+1", "green, 180 on"),
    ("RETRACTING", "label", "grey, Not retracting", "alt+h", "red, Retracting"),
    ("RETRACTING", "label", None, "", "grey, Not retracting"),
    ("On Top", "check box", "unchecked", "Tab " * 7 + "space", "checked"),
]
# Buttons without an access key name their key in their description (10 m: F10 is the menus').
KEYS = [("80 m", "Ctrl+8"), ("40 m", "Ctrl+4"), ("30 m", "Ctrl+3"), ("20 m", "F6"), ("10 m", "F11"),
        ("UP", "Ctrl+Up"), ("DN", "Ctrl+Down")]
# Tab from the frequency display, where the focus starts, round to it again.
MAIN_TAB_ORDER = ["Home", "Calibrate", "En Xcvr", "Dis Xcvr", "180", "BiDir", "On Top"] + [
    f"{b} m" for b in BANDS] + ["UP", "DN", "Received String", "Frequency"]
# (keys, title, role, focus first, Tab order from there). Alt+H belongs to Home; the
# Help menu is reached with F10 and the arrow keys.
DIALOGS = [("F2", "Setup", "dialog", "Com Port",
            ["Baud Rate", "Polling Rate", "Polling Rate in msec", "Vastor, Grandel", "Com Port"]),
           ("F1", "Tarvik_Desk Help", "frame", "Help text", []),
           ("F10 Left Down Return", "About Tarvik_Desk", "dialog", "OK", ["System Info...", "OK"])]

failures, events = [], []

def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what, flush=True)
    failures.extend([] if condition else [what])
    return condition

def wait_for(predicate, seconds=20.0):
    for _ in range(int(seconds / 0.05)):
        while GLib.MainContext.default().iteration(False):
            pass
        if result := predicate():
            return result
        time.sleep(0.05)
    return None

def states(obj):
    return {pyatspi.stateToString(s) for s in obj.getState().getStates()}

def said(obj):
    if obj.getRoleName() == "text":
        return obj.queryText().getText(0, -1)
    if obj.getRoleName() == "check box":
        return "checked" if "checked" in states(obj) else "unchecked"
    return obj.description

def on_event(event):
    try:  # the source is asked at once: a caption can change again within the second
        name, value = event.source.name, said(event.source)
        if event.source.getRoleName() == "combo box":  # named by the group around it
            name = event.source.parent.name
    except Exception:  # the object may be gone already
        name, value = "?", None
    if event.type.startswith("object:text-changed"):
        value = event.any_data if event.type.endswith(":insert") else None
    elif event.type.startswith("object:state-changed:checked"):
        value = "checked" if event.detail1 else "unchecked"
    events.append((event.type, name, event.detail1, value))

def announced(name, value, since):
    return [e for e in events[since:] if e[1] == name and e[3] == value
            and not e[0].endswith("focused") and e[0] != "window:activate"]

def focus_events():
    return [e for e in events if e[0].endswith("focused") and e[2] == 1]

def press(keys):
    for key in keys.split():
        subprocess.run(["xdotool", "key", "--clearmodifiers", key], check=True)
        wait_for(lambda: False, 0.15)

def find(root, role, name):
    for child in filter(None, root):
        if child.getRoleName() == role and child.name == name:
            return child
        if found := find(child, role, name):
            return found
    return None

def window(app, title, role=None):
    w = next((w for w in filter(None, app) if w.name.startswith(title) and "showing" in states(w)), None)
    return w if w is None or role is None or check(w.getRoleName() == role, f"'{title}' is a {role}") else None

def expect(root, role, name, description=None, want=(), insensitive=False):
    obj = find(root, role, name)
    if check(obj is not None, f"{role} '{name}' is in the tree"):
        check(description is None or obj.description == description,
              f"{role} '{name}' is described '{description}': '{obj.description}'")
        have = states(obj)
        check(set(want) <= have and not (insensitive and "sensitive" in have), f"{role} '{name}': {have}")
    return obj

def tab_through(order):
    reached = []
    for _ in order:
        before = len(focus_events())
        press("Tab")
        reached.append(wait_for(lambda: len(focus_events()) > before, 5) and focus_events()[-1][1])
    check(reached == order, f"Tab visits {order}; it went {reached}")

def on_main(action, *args):
    found = subprocess.run(["xdotool", "search", "--sync", "--name", MAIN], capture_output=True, text=True)
    subprocess.run(["xdotool", action, "--sync", found.stdout.split()[0], *args], check=True)

def walk(app):
    main = wait_for(lambda: window(app, MAIN, "frame"), 30)
    if not check(main is not None, "its main window is in the tree"):
        return
    for name, key in KEYS:
        expect(main, "push button", name, f"Key: {key}", ("focusable", "sensitive"))
    expect(main, "push button", "3/4", insensitive=True)  # there is no 3/4 command
    expect(main, "image", "Radio lamp", "grey, Not following the radio")
    for name in ["Follow Radio", "Radio...", "Trace to File..."]:
        expect(main, "menu item", name)
    on_main("windowfocus")
    check(wait_for(lambda: focus_events() and focus_events()[-1][1] == "Frequency", 10),
          "the frequency display has the focus")
    tab_through(MAIN_TAB_ORDER)
    wait_for(lambda: False, 1.0)
    quiet = len(events)
    wait_for(lambda: False, 3.0)  # six polls with the antenna at rest
    check(not [e for e in events[quiet:] if not e[0].endswith("focused")], "nothing said meanwhile")
    since = 0
    for name, role, before, keys, after in WALK:
        if keys != "":
            since = len(events) if keys else 0
            obj = expect(main, role, name, want=("showing",))
            check(before is None or (obj and said(obj) == before), f"'{name}' says '{before}'")
            if keys:
                press(keys)
        check(wait_for(lambda: announced(name, after, since), 40),
              f"{keys or 'then'}: '{name}' announces '{after}'")
        check(role != "image" or len(announced(name, after, since)) == 1, f"'{name}' said once")
    for keys, title, role, first, order in DIALOGS:
        on_main("windowfocus")
        press(keys)
        dialog = wait_for(lambda: window(app, title, role), 20)
        if not check(dialog is not None, f"{keys} opens '{title}'"):
            continue
        check(wait_for(lambda: focus_events()[-1][1] == first, 10), f"'{title}' opens on '{first}'")
        tab_through(order)
        mark = len(events)
        press("Escape")
        check(wait_for(lambda: window(app, title) is None, 10), f"Escape closes '{title}'")
        check(title != "Setup" or wait_for(lambda: [e for e in events[mark:] if e[1] == MAIN and
                                                    e[0] == "window:activate"], 10),
              f"the main window has the keyboard again after '{title}'")

def main(program):
    for tool in ["xdotool", "xvfb-run"]:
        if shutil.which(tool) is None or not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
            sys.exit(f"FAIL: needs {tool}, a display and a D-Bus session")
    # Listening starts before the panel does, so that its first announcements are heard.
    for kind in ["object:property-change:accessible-description", "object:text-changed",
                 "object:state-changed:focused", "object:state-changed:checked", "window:activate"]:
        pyatspi.Registry.registerEventListener(on_event, kind)
    home = tempfile.mkdtemp(prefix="tarvik-a11y-")
    os.mkdir(os.path.join(home, "run"), 0o700)
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               XDG_CONFIG_HOME=os.path.join(home, "config"), XDG_RUNTIME_DIR=os.path.join(home, "run"))
    panel = subprocess.Popen([program, "--simulate"], env=env)
    try:
        desktop = pyatspi.Registry.getDesktop(0)
        app = wait_for(lambda: next((a for a in desktop if a and a.name == "TarvikDesk"), None), 30)
        if check(app is not None, "the panel registers with the accessibility bus"):
            walk(app)
            on_main("windowmove", "300", "200")
            panel.terminate()  # a desktop session that logs out: stored as by Exit
            panel.wait(10)
            with open(os.path.join(home, "config", "TarvikDesk", "TarvikDesk.conf")) as conf:
                text = conf.read()
            check("Position-Left=4500\nPosition-Top=3000\n" in text, f"SIGTERM stores where the panel was: {text}")
    finally:
        panel.terminate()
        panel.wait(10)
        shutil.rmtree(home, ignore_errors=True)
    print("\n".join(["failed: " + f for f in failures] + [f"{len(failures)} checks failed"]))
    return 1 if failures else 0

if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
