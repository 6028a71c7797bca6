#!/usr/bin/python3
"""The panel as a screen reader meets it, over AT-SPI.

Starts the real tarvik-desk on its simulated controller, walks its accessibility tree
and drives it with the keyboard only (xdotool), the way a blind operator does. Every
indicator must carry its name and a description that says its colour; the colour
changes must arrive as events, once each, and an unchanged poll must send nothing.

Needs a display and a private D-Bus session; CTest runs it as
    xvfb-run -a dbus-run-session -- atspi_walk.py PATH/TO/tarvik-desk
Anything missing is a failure, never a skip: a test that quietly does nothing would
let the panel go deaf unnoticed.
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
BUTTONS = ["Home", "Calibrate", "En Xcvr", "Dis Xcvr", "180", "BiDir", "3/4", "UP", "DN"] + [
    f"{b} m" for b in BANDS
]
LAMPS = ["Connected", "180 lamp", "BiDir lamp", "3/4 lamp"] + [f"{b} m lamp" for b in BANDS]
CAPTIONS = ["TUNING", "RETRACTING"]
MENU_ITEMS = ["File", "Exit", "Preferences", "Setup", "Follow Radio", "Radio...", "View", "Compact", "Full", "Diagnostics",
              "Band", "20", "17", "15", "12", "10", "6", "Help", "Contents", "About"]
# Tab from the frequency display, the first thing the operator hears, through the
# commands top to bottom, back round to the start.
MAIN_TAB_ORDER = ["Home", "Calibrate", "En Xcvr", "Dis Xcvr", "180", "BiDir", "On Top"] + [
    f"{b} m" for b in BANDS
] + ["UP", "DN", "Received String", "Frequency"]
SETUP_TAB_ORDER = ["Baud Rate", "Polling Rate", "Polling Rate in msec", "Vastor, Grandel",
                   "Com Port"]

failures = []
checked_names = set()
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


def on_event(event):
    # The source is asked at once: a caption can change again within the second.
    try:
        name, role = event.source.name, event.source.getRoleName()
        description = event.source.description
        # On Linux an editable combo box is named by its text, as Qt has it; what it is
        # for comes from the group around it, which a screen reader says on entering.
        if role == "combo box" and event.type.startswith("object:state-changed:focused"):
            name = event.source.parent.name
    except Exception:  # the object may be gone already
        name, role, description = "?", "?", ""
    events.append({"type": event.type, "name": name, "role": role, "detail1": event.detail1,
                   "description": description, "data": event.any_data})


def events_of(kind, name=None):
    return [e for e in events if e["type"].startswith(kind) and (name is None or e["name"] == name)]


def described(name, colour):
    return [e for e in events_of("object:property-change:accessible-description", name)
            if e["description"] == colour]


def frequency_said(text, since=0):
    return [e for e in events[since:] if e["type"] == "object:text-changed:insert"
            and e["name"] == "Frequency" and e["data"] == text]


def press(*keys):
    for key in keys:
        subprocess.run(["xdotool", "key", "--clearmodifiers", key], check=True)
        pump(0.15)


def states(obj):
    return {pyatspi.stateToString(s) for s in obj.getState().getStates()}


def descendants(obj):
    for i in range(obj.childCount):
        child = obj.getChildAtIndex(i)
        if child is None:
            continue
        yield child
        yield from descendants(child)


def find(root, role, name):
    for obj in descendants(root):
        if obj.getRoleName() == role and obj.name == name:
            return obj
    return None


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "TarvikDesk":
            return app
    return None


def frame(app, predicate, role=None):
    for i in range(app.childCount):
        window = app.getChildAtIndex(i)
        if window is not None and predicate(window.name) and "showing" in states(window):
            if role is None or check(window.getRoleName() == role,
                                     f"window '{window.name}' is a {role}"):
                return window
    return None


def focus_window(title):
    """Gives a window the keyboard, as a window manager would when another one closes."""
    found = subprocess.run(["xdotool", "search", "--sync", "--name", title],
                           capture_output=True, text=True, check=True).stdout.split()
    subprocess.run(["xdotool", "windowfocus", "--sync", found[0]], check=True)


def expect(root, role, name, description=None, want=(), unwanted=()):
    obj = find(root, role, name)
    checked_names.add(name)
    if not check(obj is not None, f"{role} '{name}' is in the tree"):
        return None
    if description is not None:
        check(obj.description in description,
              f"{role} '{name}' describes its colour: '{obj.description}'")
    have = states(obj)
    for state in want:
        check(state in have, f"{role} '{name}' is {state}")
    for state in unwanted:
        check(state not in have, f"{role} '{name}' is not {state}")
    return obj


def focused_names():
    return [e["name"] for e in events_of("object:state-changed:focused") if e["detail1"] == 1]


def tab_through(order):
    """Tabs once per expected stop and compares where the focus went."""
    reached = []
    for name in order:
        before = len(focused_names())
        press("Tab")
        wait_for(lambda: len(focused_names()) > before, 5)
        reached.append(focused_names()[-1] if len(focused_names()) > before else None)
    check(reached == order, f"Tab visits {order}; it went {reached}")


def check_main_window(app, main):
    for name in MENU_ITEMS:
        expect(main, "menu item", name)
    for name in BUTTONS:
        if name == "3/4":
            # No three-quarter command exists; the button says so by being disabled.
            expect(main, "push button", name, unwanted=("sensitive",))
        else:
            expect(main, "push button", name, want=("focusable", "sensitive"))
    for name in LAMPS:
        expect(main, "image", name, description=("red", "green"))
    for name in CAPTIONS:
        expect(main, "label", name, description=("red", "grey"))
    expect(main, "image", "Radio lamp", description=("grey",))  # following is off
    for name in ["Frequency", "Received String"]:
        expect(main, "text", name, want=("focusable", "read only"))
    expect(main, "check box", "On Top", want=("focusable",), unwanted=("checked",))


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
    runtime = os.path.join(home, "run")
    os.mkdir(runtime, 0o700)
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               XDG_CONFIG_HOME=os.path.join(home, "config"), XDG_RUNTIME_DIR=runtime,
               **(extra_env or {}))
    panel = subprocess.Popen([program, "--simulate"], env=env)
    try:
        app = wait_for(application, 30)
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
    if failures:
        print(f"{len(failures)} checks failed:")
        for what in failures:
            print("  " + what)
        return 1
    print("all checks passed")
    return 0


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: atspi_walk.py PATH/TO/tarvik-desk")
    run_panel(sys.argv[1], run)
    print(f"\n{len(checked_names)} accessible names checked: {sorted(checked_names)}")
    return verdict()


def run(app):
    main_window = wait_for(lambda: frame(app, lambda n: n == MAIN_TITLE, "frame"), 30)
    if not check(main_window is not None, "its main window is in the tree"):
        return

    # The simulated controller answers the first poll: Connected turns green, said once.
    check(wait_for(lambda: described("Connected", "green")),
          "Connected announces 'green' when the controller answers")
    check(len(described("Connected", "green")) == 1, "... and only once")
    check(wait_for(lambda: [e for e in events_of("object:text-changed:insert", "Frequency")
                            if e["data"] == "14.050"]),
          "Frequency announces the reported 14.050")
    check_main_window(app, main_window)

    # Keyboard from here on. Without a window manager the window takes the focus itself.
    focus_window(MAIN_TITLE)
    check(wait_for(lambda: "Frequency" in focused_names(), 10),
          "the frequency display has the focus first")
    tab_through(MAIN_TAB_ORDER)

    # An unchanged poll says nothing: about six polls with the antenna at rest.
    pump(1.0)
    quiet_from = len(events)
    pump(3.0)
    spoken = events[quiet_from:]
    check(not [e for e in spoken if e["type"].startswith("object:property-change")],
          "no indicator speaks while nothing changes")
    for name in ["Frequency", "Received String"]:
        check(not [e for e in spoken if e["type"].startswith("object:text-changed")
                   and e["name"] == name], f"{name} stays quiet too")

    # F12: 6 m, a long way up. Its lamp lights, TUNING goes red while the elements
    # move, the new frequency is announced, and TUNING goes grey when they stop.
    press("F12")
    check(wait_for(lambda: described("6 m lamp", "green")), "F12: '6 m lamp' announces green")
    check(wait_for(lambda: described("TUNING", "red")), "F12: TUNING announces red")
    check(wait_for(lambda: [e for e in events_of("object:text-changed:insert", "Frequency")
                            if e["data"] == "50.000"]), "F12: Frequency announces 50.000")
    check(wait_for(lambda: described("TUNING", "grey"), 30), "F12: TUNING announces grey again")
    check(len(described("6 m lamp", "green")) == 1, "F12: '6 m lamp' is announced once")
    # F7: 17 m. One lamp goes out as the other lights.
    press("F7")
    check(wait_for(lambda: described("17 m lamp", "green")), "F7: '17 m lamp' announces green")
    check(wait_for(lambda: described("6 m lamp", "red")), "F7: '6 m lamp' announces red")
    check(wait_for(lambda: [e for e in events_of("object:text-changed:insert", "Frequency")
                            if e["data"] == "18.100"]), "F7: Frequency announces 18.100")

    # The bands below the function keys and the 50 kHz steps have Ctrl keys, named in
    # the buttons' descriptions.
    for name, key in [("80 m", "Ctrl+8"), ("40 m", "Ctrl+4"), ("30 m", "Ctrl+3"),
                      ("UP", "Ctrl+Up"), ("DN", "Ctrl+Down")]:
        expect(main_window, "push button", name, description=(f"Key: {key}",))
    press("ctrl+8")
    check(wait_for(lambda: described("80 m lamp", "green")), "Ctrl+8: '80 m lamp' announces green")
    # A beam, the default antenna type, goes no lower than 13.700 MHz.
    check(wait_for(lambda: frequency_said("13.700")), "Ctrl+8: Frequency announces 13.700")
    press("ctrl+Up")
    check(wait_for(lambda: frequency_said("13.750")), "Ctrl+Up: Frequency announces 13.750")
    mark = len(events)
    press("ctrl+Down")
    check(wait_for(lambda: frequency_said("13.700", mark)), "Ctrl+Down: Frequency announces 13.700")

    # Alt+1 turns the beam round; the lamp follows the controller's report.
    press("alt+1")
    check(wait_for(lambda: described("180 lamp", "green")), "Alt+1: '180 lamp' announces green")
    press("alt+1")
    check(wait_for(lambda: described("180 lamp", "red")), "Alt+1 again: '180 lamp' announces red")

    # Alt+H homes the elements: RETRACTING lights while they go in.
    press("alt+h")
    check(wait_for(lambda: described("RETRACTING", "red"), 30), "Alt+H: RETRACTING announces red")
    check(wait_for(lambda: described("RETRACTING", "grey"), 60),
          "Alt+H: RETRACTING announces grey when the elements are in")

    # On Top is a check box the operator reaches with Tab and sets with Space.
    while focused_names()[-1] != "On Top":
        before = len(focused_names())
        press("Tab")
        if not wait_for(lambda: len(focused_names()) > before, 5):
            break
    if check(focused_names()[-1] == "On Top", "Tab reaches On Top"):
        press("space")
        check(wait_for(lambda: [e for e in events_of("object:state-changed:checked", "On Top")
                                if e["detail1"] == 1]), "Space: On Top announces checked")
        press("space")
        check(wait_for(lambda: [e for e in events_of("object:state-changed:checked", "On Top")
                                if e["detail1"] == 0]), "Space again: On Top announces unchecked")

    check_setup(app)
    check_help(app)
    check_about(app)


def check_setup(app):
    press("F2")
    setup = wait_for(lambda: frame(app, lambda n: n == "Setup", "dialog"), 20)
    if not check(setup is not None, "F2 opens Setup"):
        return
    check(wait_for(lambda: frame(app, lambda n: n == MAIN_TITLE) is None, 10),
          "the main window steps aside while Setup is open")
    # An editable combo box is named by its text; the focus rests in its text field,
    # which carries the box's name, inside the panel that says it once more.
    for name in ["Com Port", "Baud Rate"]:
        panel = expect(setup, "panel", name)
        if panel is not None:
            check(any(o.getRoleName() == "combo box" for o in descendants(panel)),
                  f"panel '{name}' holds a combo box")
            expect(panel, "text", name, want=("focusable", "editable"))
    expect(setup, "scroll bar", "Polling Rate", want=("focusable",))
    expect(setup, "text", "Polling Rate in msec", want=("read only",))
    expect(setup, "radio button", "Vastor, Grandel", want=("focusable",))
    expect(setup, "radio button", "Beam, Dipole, Petitel", want=("focusable",))
    check(wait_for(lambda: focused_names()[-1] == "Com Port", 10), "Setup opens on Com Port")
    tab_through(SETUP_TAB_ORDER)
    mark = len(events)
    press("Escape")
    check(wait_for(lambda: frame(app, lambda n: n == "Setup") is None, 10), "Escape closes Setup")
    check(wait_for(lambda: frame(app, lambda n: n == MAIN_TITLE), 10),
          "the main window is back after Setup")
    check(wait_for(lambda: [e for e in events[mark:] if e["type"] == "window:activate"
                            and e["name"] == MAIN_TITLE], 10), "... and has the keyboard again")


def check_help(app):
    press("F1")
    help_window = wait_for(lambda: frame(app, lambda n: n.endswith(" Help"), "frame"), 20)
    if not check(help_window is not None, "F1 opens the help"):
        return
    expect(help_window, "push button", "Contents", want=("focusable",))
    expect(help_window, "push button", "Back", unwanted=("sensitive",))
    expect(help_window, "push button", "Forward", unwanted=("sensitive",))
    check(wait_for(lambda: focused_names()[-1] == "Help text", 10), "the help opens on its text")
    press("Escape")
    check(wait_for(lambda: frame(app, lambda n: n.endswith(" Help")) is None, 10),
          "Escape closes the help")


def check_about(app):
    # Alt+H belongs to Home; the Help menu is reached with F10 and the arrow keys.
    focus_window(MAIN_TITLE)
    press("F10", "Left")
    check(wait_for(lambda: focused_names()[-1] == "Contents", 10), "F10, Left: the Help menu")
    press("Down")
    check(wait_for(lambda: focused_names()[-1] == "About", 10), "Down: About")
    press("Return")
    about = wait_for(lambda: frame(app, lambda n: n.startswith("About "), "dialog"), 20)
    if not check(about is not None, "Enter opens the About box"):
        return
    expect(about, "push button", "OK", want=("focusable",))
    expect(about, "push button", "System Info...", want=("focusable",))
    check(wait_for(lambda: focused_names()[-1] == "OK", 10), "the About box opens on OK")
    tab_through(["System Info...", "OK"])
    press("Escape")
    check(wait_for(lambda: frame(app, lambda n: n.startswith("About ")) is None, 10),
          "Escape closes the About box")


if __name__ == "__main__":
    sys.exit(main())
