#!/usr/bin/python3
"""Backbeacon as a screen reader (pyatspi) and the keyboard alone (xdotool) use
it, on the private desktop of private-session.sh --desktop.

    accessibility_test.py BACKBEACON DESKTOP_TOOLS
"""
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
    while time.monotonic() < deadline:
        try:
            found = find()
            if found:
                return found
        except Exception:  # a window going away mid-walk; look again
            pass
        time.sleep(0.1)
    return None


def tool(*arguments):
    done = subprocess.run([TOOLS, *arguments], capture_output=True, text=True, timeout=30)
    return done.stdout.strip() if done.returncode == 0 else ""


def window(title):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "Backbeacon":
            return next((frame for frame in app if frame is not None and frame.name == title
                         and frame.getState().contains(pyatspi.STATE_VISIBLE)), None)
    return None


def walk(node):
    """(role, name, node) of each shown element under `node`, in reading order."""
    for child in node:
        if child is not None and child.getState().contains(pyatspi.STATE_VISIBLE):
            yield child.getRoleName(), child.name, child
            yield from walk(child)


def element(frame, role, name):
    return next((node for r, n, node in walk(frame) if (r, n) == (role, name)), None)


def key(*keys):
    subprocess.run(["xdotool", "key", "--delay", "50", *keys], check=True, timeout=10)


def press(node):  # through its accessible action, as a screen reader does
    action = node.queryAction()
    action.doAction([action.getName(i) for i in range(action.nActions)].index("Press"))


# Checks that the shown elements under `frame` come to hold each of `wanted` (a
# window just opened may still be laying out), all named.
def check_holds(frame, wanted, where, unnamed=()):
    tree = lambda: [(role, name) for role, name, _ in walk(frame)]
    wait_for(lambda: all(w in tree() for w in wanted), 5)
    found = tree()
    check(all(w in found for w in wanted), f"{where}: no {[w for w in wanted if w not in found]}")
    check(all(name for role, name in found if role not in unnamed), f"{where}: an unnamed element")
    return found


# Clicks the tray icon until the panel shows: a window that has just come up may
# take the focus, and the panel closes as it loses it.
def open_panel():
    icon = tool("wait", "15", "tray-icon").split()
    for _ in range(3):
        tool("click", *icon)
        panel = wait_for(lambda: window("Backbeacon Panel"), 5)
        if panel:
            return panel
    check(False, "no panel in the accessible tree after three clicks on the tray icon")
    raise SystemExit(1)  # nothing further can be checked


conf = os.path.join(os.environ["XDG_CONFIG_HOME"], "Backbeacon", "Backbeacon.conf")
os.makedirs(os.path.dirname(conf), exist_ok=True)
with open(conf, "w") as f:  # a saved baseline: the panel opens on the monitor view
    f.write('[General]\nsettings.goodPosture="@ByteArray({\\"pitch\\":0,\\"roll\\":0,'
            '\\"capturedAt\\":800000000})"\n')
# What a screen reader does at start: toolkits expose their trees from then on.
subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status",
                "string:ScreenReaderEnabled", "variant:boolean:true"],
               check=True, capture_output=True, timeout=10)
env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_SCALE_FACTOR="1")
if "ASAN_OPTIONS" in env:  # libxkbcommon-x11 reads unterminated atom names
    env["ASAN_OPTIONS"] += ":strict_string_checks=0"
log = tempfile.TemporaryFile("w+")
app = subprocess.Popen([APP], env=env, stderr=log, stdout=log)
try:
    panel = open_panel()
    check_holds(panel, [("push button", name) for name in (
        "Save Insight Card", "Remap Baseline", "Settings...", "Quit Backbeacon")] + [
        ("label", name) for name in (
            "Waiting for head tracker", "Live motion signal", "Posture drift: 0° leaning",
            "Today's Score: 100%", "7 day signal: 100%", "Drift events: 0", "Resets: 0",
            "Out of line: 0s")], "the panel")

    press(element(panel, "push button", "Settings..."))
    settings = wait_for(lambda: window("Backbeacon"), 20)
    if check(settings, "the Settings window is not in the accessible tree"):
        # What shows without scrolling; no camera status while the head tracker is the source.
        tree = check_holds(settings, [
            ("slider", "Sensitivity: 20° score"), ("combo box", "Alert after"),
            ("combo box", "Head source"), ("combo box", "Remind me at most every"),
            ("check box", "Play sound with alerts"), ("heading", "Detection"),
            ("label", "Authorization: Allowed")], "the Settings window",
            unnamed=("panel", "text", "scroll bar"))
        check(not [name for _, name in tree if name.startswith("Camera:")], "a camera status")
    check(wait_for(lambda: not window("Backbeacon Panel"), 5), "the panel stayed open")

    # The keyboard alone: two Tabs to "Remap Baseline", Enter.
    panel = open_panel()
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
    check(wait_for(lambda: app.poll() is not None, 15) and app.returncode == 0,
          f"the app did not quit with status 0: {app.returncode}")
finally:
    app.kill()  # if it is still there
    app.wait()
    if failures:
        log.seek(0)
        print("--- the app's log\n" + log.read())
sys.exit(f"{len(failures)} failures" if failures else 0)
