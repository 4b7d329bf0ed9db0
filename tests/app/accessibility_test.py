#!/usr/bin/python3
"""Backbeacon as assistive technology sees it, on the private desktop of
private-session.sh --desktop with its accessibility bus: a screen reader's
client (pyatspi) reads the open panel and the Settings window of the running
app, finds the controls by role and name and works "Settings..." through its
accessible action; then the keyboard alone (xdotool) tabs to "Remap Baseline"
and presses Enter.

    accessibility_test.py BACKBEACON DESKTOP_TOOLS
"""
import json
import os
import subprocess
import sys
import tempfile
import time

import pyatspi

APP, TOOLS = sys.argv[1], sys.argv[2]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what, flush=True)
    return condition


def wait_for(find, seconds):
    """What `find` returns once it is truthy; None after `seconds`."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            found = find()
        except Exception:  # a window going away mid-walk; look again
            found = None
        if found or time.monotonic() > deadline:
            return found
        time.sleep(0.1)


def tool(*arguments):
    done = subprocess.run([TOOLS, *arguments], capture_output=True, text=True, timeout=30)
    return done.stdout.strip() if done.returncode == 0 else ""


def screen_reader_on():
    # What a screen reader does at start: toolkits expose their trees from then on.
    subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                    "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                    "string:org.a11y.Status", "string:ScreenReaderEnabled",
                    "variant:boolean:true"], check=True, capture_output=True, timeout=10)


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "Backbeacon":
            return app
    return None


def window(title):
    app = application()
    if app is None:
        return None
    for frame in app:
        if frame is not None and frame.name == title and \
                frame.getState().contains(pyatspi.STATE_VISIBLE):
            return frame
    return None


def walk(node, depth=0):
    """(depth, role, name, node) of every shown element under `node`, in tree
    order: what a screen reader reads out."""
    found = []
    for child in node:
        if child is None or not child.getState().contains(pyatspi.STATE_VISIBLE):
            continue
        found.append((depth, child.getRoleName(), child.name, child))
        found.extend(walk(child, depth + 1))
    return found


def elements(frame):
    return [(role, name) for _, role, name, _ in walk(frame)]


def element(frame, role, name):
    for _, r, n, node in walk(frame):
        if r == role and n == name:
            return node
    return None


def focused(frame):
    """(role, name) of the element holding the keyboard focus: the innermost
    of those reported focused (Qt reports the focused control's containers too)."""
    found = None
    for _, role, name, node in walk(frame):
        if node.getState().contains(pyatspi.STATE_FOCUSED):
            found = role, name
    return found


def key(*keys):
    subprocess.run(["xdotool", "key", "--delay", "50", *keys], check=True, timeout=10)


def press(node):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    check("Press" in names, f"{node.name}: no press action, only {names}")
    action.doAction(names.index("Press") if "Press" in names else 0)


def check_holds(frame, wanted, where):
    """Checks that the tree under `frame` holds each (role, name) of `wanted`,
    printing the tree when it does not; returns the tree's (role, name)s."""
    tree = elements(frame)
    missing = [f"{role} {name!r}" for role, name in wanted if (role, name) not in tree]
    if not check(not missing, f"no {', '.join(missing)} in {where}"):
        for depth, role, name, _ in walk(frame):
            print(f"  {'  ' * depth}{role}: {name}", flush=True)
    return tree


def open_panel():
    icon = tool("wait", "15", "tray-icon")
    check(icon, "no icon in the tray")
    tool("click", *icon.split())
    if not tool("wait", "10", "window", "Backbeacon Panel"):
        print("no panel on the screen after a click on", icon, flush=True)
    return wait_for(lambda: window("Backbeacon Panel"), 10)


scratch = tempfile.mkdtemp()
conf = os.path.join(os.environ["XDG_CONFIG_HOME"], "Backbeacon", "Backbeacon.conf")
os.makedirs(os.path.dirname(conf), exist_ok=True)
# A saved baseline, so the panel opens on the monitor view.
with open(conf, "w") as f:
    f.write('[General]\nsettings.goodPosture="@ByteArray({\\"pitch\\":0,\\"roll\\":0,'
            '\\"capturedAt\\":800000000})"\n')

screen_reader_on()
env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_SCALE_FACTOR="1")
if "ASAN_OPTIONS" in env:
    # libxkbcommon-x11 reads atom names without a terminator, which strict
    # string checks reject.
    env["ASAN_OPTIONS"] += ":strict_string_checks=0"
log_path = os.path.join(scratch, "app.log")
log = open(log_path, "w")
app = subprocess.Popen([APP], env=env, stderr=log, stdout=log)
try:
    # --- The panel, read and worked as a screen reader does.
    panel = open_panel()
    if not check(panel, "the panel is not in the accessible tree"):
        raise SystemExit
    tree = check_holds(panel, [
        ("push button", "Save Insight Card"), ("push button", "Remap Baseline"),
        ("push button", "Settings..."), ("push button", "Quit Backbeacon"),
        ("label", "Waiting for head tracker"), ("label", "Live motion signal"),
        ("label", "Posture drift: 0° leaning"), ("label", "Today's Score: 100%"),
        ("label", "7 day signal: 100%"), ("label", "Drift events: 0"), ("label", "Resets: 0"),
        ("label", "Out of line: 0s")], "the panel")
    check(all(name for _, name in tree), "an element of the panel without a name")

    press(element(panel, "push button", "Settings..."))
    check(tool("wait", "10", "window", "Backbeacon"), "no Settings window on the screen")
    settings = wait_for(lambda: window("Backbeacon"), 10)
    if check(settings, "the Settings window is not in the accessible tree"):
        tree = check_holds(settings, [
            ("slider", "Sensitivity: 20° score"), ("combo box", "Alert after"),
            ("combo box", "Head source"), ("combo box", "Remind me at most every"),
            ("check box", "Play sound with alerts"), ("heading", "Detection"),
            ("label", "7 day score: 100%"), ("label", "Authorization: Allowed")],
            "the Settings window")
        check(all(name for role, name in tree
                  if role not in ("panel", "text", "scroll bar")), "a control without a name")
        # A picker's choice is read from its text.
        picker = element(settings, "combo box", "Alert after")
        check(picker and picker[0].queryText().getText(0, -1) == "15 seconds",
              "the picker does not read out its choice")
        # Tab walks every control, each scrolled into sight and announced.
        walked = []
        for _ in range(9):
            last = walked[-1] if walked else None
            key("Tab")
            walked.append(wait_for(lambda: (lambda f: f if f != last else None)(
                focused(window("Backbeacon"))), 5))
        check(walked == [
            ("slider", "Sensitivity: 20° score"), ("combo box", "Alert after"),
            ("combo box", "Head source"), ("combo box", "Remind me at most every"),
            ("check box", "Play sound with alerts"), ("check box", "Start Backbeacon when you log in"),
            ("check box", "Auto start monitoring when AirPods connect"),
            ("check box", "Collect local diagnostics"), ("push button", "Reset Calibration")],
              f"Tab does not walk the Settings window's controls in order: {walked}")
    check(wait_for(lambda: not window("Backbeacon Panel"), 5), "the panel stayed open")

    # --- The keyboard alone: Tab to "Remap Baseline", Enter.
    panel = open_panel()
    if not check(panel, "the panel did not open again"):
        raise SystemExit
    remap = element(panel, "push button", "Remap Baseline")
    key("Tab", "Tab")
    check(wait_for(lambda: remap.getState().contains(pyatspi.STATE_FOCUSED), 5),
          "two Tabs do not reach \"Remap Baseline\"")
    key("Return")
    check(wait_for(lambda: element(window("Backbeacon Panel"), "push button", "Save Baseline"), 10),
          "Enter on \"Remap Baseline\" did not bring the calibration view")
    with open(conf) as f:
        check("goodPosture" not in f.read(), "the baseline is still saved")

    # Quitting from the calibration view's footer, through its action too.
    press(element(window("Backbeacon Panel"), "push button", "Quit Backbeacon"))
    try:
        check(app.wait(15) == 0, f"the app quit with status {app.returncode}")
    except subprocess.TimeoutExpired:
        check(False, "the app did not quit")
finally:
    if app.poll() is None:
        app.kill()
        app.wait()
    log.close()
    if failures:
        print("--- the app's log")
        print(open(log_path).read())
print(f"{len(failures)} failures" if failures else "passed")
sys.exit(1 if failures else 0)
