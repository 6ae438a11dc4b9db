#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# The application as a screen reader meets it: started on a virtual display with the
# accessibility bus of a private session bus, its tree read over AT-SPI and checked.
#   accessibility_tree.py QUAYMARK   (run inside dbus-run-session)
import os
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi

NAMED_ROLES = {"push button", "toggle button", "radio button", "check box", "scroll bar",
               "progress bar", "list", "menu item", "dialog", "text", "slider"}


def tree(node, path, rows):
    try:
        role, name, states = node.getRoleName(), node.name or "", node.getState()
    except Exception:  # a node that went away while read
        return
    rows.append((role, name, states.contains(pyatspi.STATE_SHOWING), path))
    for index in range(node.childCount):
        tree(node.getChildAtIndex(index), path + [role], rows)


def application(deadline):
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            if app and app.name == "Quaymark" and app.childCount:
                rows = []
                tree(app, [], rows)
                # The window is complete once its last part, the footer, is there.
                if any(name.startswith("Copies are read-only") for _, name, _, _ in rows):
                    return rows
        time.sleep(0.2)
    return None


def bus_ready(deadline):
    ask = ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
           "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"]
    while time.monotonic() < deadline:
        if "true" in subprocess.run(ask, capture_output=True, text=True).stdout:
            return True
        time.sleep(0.1)
    return False


def main():
    home = tempfile.mkdtemp(prefix="quaymark-a11y-")
    for drive in ("RAID_A", "BACKUP_B"):
        os.makedirs(os.path.join(home, drive))
    os.makedirs(os.path.join(home, ".config/Brindleway"))
    destinations = ",".join('{\\"path\\":\\"%s/%s\\"}' % (home, d) for d in ("RAID_A", "BACKUP_B"))
    with open(os.path.join(home, ".config/Brindleway/Quaymark.conf"), "w") as settings:
        settings.write('[General]\ndestinations="@ByteArray([%s])"\n' % destinations)

    read, write = os.pipe()
    display = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1366x768x24",
                                "-nolisten", "tcp"], pass_fds=[write])
    number = os.read(read, 16).decode().strip()
    # A group of its own, and no hold on the test's output: the accessibility bus and the
    # registry it starts must all go with it.
    bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                           start_new_session=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/.config",
               XDG_DATA_HOME=home + "/.local/share", XDG_CACHE_HOME=home + "/.cache",
               XDG_RUNTIME_DIR=home, DISPLAY=":" + number, QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    app = subprocess.Popen([sys.argv[1]], env=env)
    try:
        rows = application(time.monotonic() + 60) if bus_ready(time.monotonic() + 30) else None
    finally:
        os.killpg(bus.pid, signal.SIGKILL)
        for process in (app, bus, display):
            process.kill()
            process.wait()
    if rows is None:
        print("the application never appeared on the accessibility bus")
        return 1

    problems = []
    names = [name for _, name, showing, _ in rows if showing]
    for role, name, showing, path in rows:
        if showing and role in NAMED_ROLES and not name.strip():
            problems.append(f"a {role} without a name below {' > '.join(path[-3:])}")
        if "&" in name and "menu bar" in path + [role]:
            problems.append(f"a menu named with its mnemonic: {name}")
    buttons = [name for role, name, showing, _ in rows if showing and role == "push button"]
    for name in sorted({n for n in buttons if buttons.count(n) > 1}):
        problems.append(f"{buttons.count(name)} buttons named \"{name}\": say what each acts on")
    for wanted in ("Remove RAID_A from the destinations", "Remove BACKUP_B from the destinations",
                   "File", "Change the destination"):
        if wanted not in names:
            problems.append(f"nothing named \"{wanted}\"")
    for role, name, showing, path in rows:
        print(f"{'  ' * len(path)}{role} | {name}{'' if showing else ' (hidden)'}")
    for problem in problems:
        print("PROBLEM:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
