#!/usr/bin/python3
"""Checks the window through the accessibility bus, as a screen reader sees it.

Run it with run-check (an X server, a D-Bus session and the accessibility bus),
or by hand inside a desktop session:

    tests/a11y/check_accessibility.py build/demo/varnetta

The program must run on the simulated meter (the demo copy, or --demo).
Checks: the verdict's word is in the disc's accessible name and follows the
readings; the connect button's actions connect and disconnect as a click
does; every editable field is labelled by its caption; every button has a
name. Prints one line a check and ends with "N passed, N failed".
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

results = []


def check(ok, what):
    results.append(bool(ok))
    print(("ok    " if ok else "FAIL  ") + what, flush=True)
    return ok


def walk(node, depth=0):
    if node is None or depth > 60:
        return
    yield node
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def find_app(pid, timeout=30):
    end = time.time() + timeout
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:
                pass
        time.sleep(0.5)
    return None


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def wait_for(predicate, timeout=15):
    end = time.time() + timeout
    while time.time() < end:
        pump()
        value = predicate()
        if value:
            return value
        time.sleep(0.3)
    return predicate()


def named(app, role, prefix):
    for node in walk(app):
        try:
            if node.getRole() == role and node.name.startswith(prefix):
                return node
        except Exception:
            pass
    return None


def do_action(node, wanted):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    for i, name in enumerate(names):
        if name.lower() == wanted:
            action.doAction(i)
            return names
    return names


verdict_events = []


def on_name_change(event):
    try:
        if event.source is not None and event.source.name.startswith("Verdict"):
            verdict_events.append(event.source.name)
    except Exception:
        pass


def pump():
    from gi.repository import GLib
    context = GLib.MainContext.default()
    while context.iteration(False):
        pass


def main():
    program = sys.argv[1] if len(sys.argv) > 1 else "build/demo/varnetta"
    env = dict(os.environ)
    env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    env["QT_ACCESSIBILITY"] = "1"
    # The user's own settings and recovery journal stay out of it.
    home = tempfile.mkdtemp(prefix="varnetta-a11y-")
    for name in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"):
        env[name] = os.path.join(home, name.lower())
    proc = subprocess.Popen([program] + sys.argv[2:], env=env)
    try:
        app = find_app(proc.pid)
        if not check(app is not None, "the program is on the accessibility bus"):
            return
        window = wait_for(lambda: named(app, pyatspi.ROLE_FRAME, "Varnetta"))
        check(window is not None, "the main window is exposed with its caption")

        pyatspi.Registry.registerEventListener(on_name_change, "object:property-change:accessible-name")
        # The verdict before the first reading, then after readings arrive.
        verdict = wait_for(lambda: named(app, pyatspi.ROLE_LABEL, "Verdict"))
        check(verdict is not None and verdict.name == "Verdict: PASS",
              "the disc's label says the verdict at start: %r" % (verdict.name if verdict else None))

        connect = named(app, pyatspi.ROLE_TOGGLE_BUTTON, "USB Connection") or \
            named(app, pyatspi.ROLE_PUSH_BUTTON, "USB Connection")
        if check(connect is not None, "the connect button is exposed by its caption"):
            check(connect.getRole() in (pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_PUSH_BUTTON),
                  "the connect button is a button, not a check box (%s)" % connect.getRoleName())
            names = do_action(connect, "press")
            check("Press" in names or "press" in [n.lower() for n in names],
                  "its actions include press: %s" % names)
            check(wait_for(lambda: connect.name == "USB Disconnect"),
                  "its press action connects (name now %r)" % connect.name)
            check(connect.getState().contains(pyatspi.STATE_CHECKED), "connected: the button is checked")
            check(wait_for(lambda: verdict.name in ("Verdict: Pass", "Verdict: Fail")),
                  "the verdict follows the readings: %r" % verdict.name)
            check(wait_for(lambda: verdict_events, 5),
                  "a screen reader is told when the verdict changes: %s" % verdict_events[:3])
            description = verdict.description
            check("limits" in description, "the verdict's description explains it: %r" % description)
            do_action(connect, "toggle")
            check(wait_for(lambda: connect.name == "USB Connection"),
                  "its toggle action disconnects (name now %r)" % connect.name)
            check(not connect.getState().contains(pyatspi.STATE_CHECKED), "disconnected: not checked")

        # Every editable field has a caption that labels it, every button a name.
        unlabelled, nameless = [], []
        for node in walk(app):
            try:
                role = node.getRole()
                if not showing(node):
                    continue
                state = node.getState()
                # Display fields (the LCD's, the current page) are read-only:
                # their accessible names say what they show.
                if role in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY) and state.contains(pyatspi.STATE_EDITABLE) \
                        and not state.contains(pyatspi.STATE_READ_ONLY):
                    labels = [r for r in node.getRelationSet()
                              if r.getRelationType() == pyatspi.RELATION_LABELLED_BY]
                    if not labels or not node.name:
                        unlabelled.append(node.name or "<no name>")
                if role in (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON) and not node.name.strip():
                    nameless.append(node.getRoleName())
            except Exception:
                continue
        check(not unlabelled, "every editable field is labelled by its caption %s" % unlabelled)
        check(not nameless, "every button has a name %s" % nameless)
    finally:
        proc.terminate()
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
        shutil.rmtree(home, ignore_errors=True)
        passed = results.count(True)
        print("%d passed, %d failed" % (passed, len(results) - passed))


if __name__ == "__main__":
    main()
    sys.exit(0 if results and all(results) else 1)
