#!/usr/bin/python3
"""The real program as a screen reader meets it over the accessibility bus.

Run inside an X session on a session bus of its own (scripts/x11-session
dbus-run-session -- atspi_reach.py BRENWICK): the windows are frames, the
work-note toggle is named, and a reminder is switched off through its item's
Toggle action, which the window's closing then stores.
"""
import datetime
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

try:
    import pyatspi
except ImportError:
    print("SKIP: python3-pyatspi is not installed")
    sys.exit(0)


def wait_for(what, find, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = find()
        if found is not None:
            return found
        time.sleep(0.2)
    sys.exit(f"FAIL: {what} within {seconds} s")


def descendants(node):
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield child
            yield from descendants(child)


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "Brenwick":
            return app
    return None


def window(app, title):
    for w in app:
        if w is not None and w.name.strip() == title:
            return w
    return None


def seed(database, title):
    """A schedule due in 30 minutes, reminded 2 hours ahead."""
    due = datetime.datetime.now().replace(microsecond=0) + datetime.timedelta(minutes=30)
    if due.date() != datetime.date.today():
        print("SKIP: too near midnight for a schedule due today")
        sys.exit(0)
    day = (due.date() - datetime.date(1899, 12, 30)).days
    seconds = due.hour * 3600 + due.minute * 60 + due.second
    db = sqlite3.connect(database)
    db.executescript(
        "CREATE TABLE main (id INTEGER PRIMARY KEY AUTOINCREMENT,"
        " title TEXT NOT NULL DEFAULT '', content TEXT NOT NULL DEFAULT '',"
        " rc_date REAL, rc_time REAL, yxj INTEGER NOT NULL DEFAULT 0,"
        " zt_flag INTEGER NOT NULL DEFAULT 1, is_tx INTEGER NOT NULL DEFAULT 0,"
        " tx_time INTEGER NOT NULL DEFAULT 0, tx_time_flag INTEGER NOT NULL DEFAULT 0,"
        " bz TEXT NOT NULL DEFAULT '');"
        "CREATE TABLE zjTable (id INTEGER PRIMARY KEY AUTOINCREMENT,"
        " date REAL NOT NULL UNIQUE, zj TEXT NOT NULL DEFAULT '');")
    db.execute("INSERT INTO main (title, content, rc_date, rc_time, yxj, zt_flag, is_tx,"
               " tx_time, tx_time_flag) VALUES (?, ?, ?, ?, 1, 1, 1, 2, 1)",
               (title, title, float(day), seconds / 86400.0))
    db.commit()
    db.close()


def reminded(database):
    db = sqlite3.connect(database)
    try:
        return db.execute("SELECT is_tx FROM main").fetchone()[0]
    finally:
        db.close()


def main():
    exe = sys.argv[1]
    root = tempfile.mkdtemp()
    program = os.path.join(root, "program")
    os.makedirs(program, mode=0o700)
    shutil.copy(exe, program)
    # The tray icon, which the main window's activation loads.
    shutil.copy(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources",
                             "ovak.ico"), program)
    database = os.path.join(program, "assistant.mdb")
    seed(database, "述职会议")
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(root, "config"),
               XDG_DATA_HOME=os.path.join(root, "data"), QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    process = subprocess.Popen([os.path.join(program, os.path.basename(exe))], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        app = wait_for("the program on the bus", application, 30)
        main_window = wait_for("the main window", lambda: window(app, "时雀"), 30)
        roles = {w.name.strip(): w.getRoleName() for w in app if w is not None}
        if main_window.getRoleName() != "frame":
            sys.exit(f"FAIL: the main window is a {main_window.getRoleName()}: {roles}")
        names = [n.name for n in descendants(main_window) if n.getRoleName() == "push button"]
        if "展开工作笔记" not in names:
            sys.exit(f"FAIL: no button 展开工作笔记 among {names}")

        # The day summary first; the list of what is due at the next check.
        def due_item():
            w = window(app, "时雀-提醒")
            if w is None or w.getRoleName() != "frame":
                return None
            for n in descendants(w):
                if (n.getRoleName() == "list item" and "述职会议" in n.name
                        and n.getState().contains(pyatspi.STATE_SHOWING)):
                    return n
            return None

        # The window closes itself every 20 s: a list it closed before the
        # Toggle came is shown again at the next check.
        end = time.monotonic() + 150
        while True:
            item = wait_for("the reminder list", due_item, max(1, end - time.monotonic()))
            try:
                if not item.getState().contains(pyatspi.STATE_CHECKED):
                    sys.exit("FAIL: the item is not offered as checked")
                action = item.queryAction()
                toggle = [i for i in range(action.nActions) if action.getName(i) == "Toggle"]
                if not toggle:
                    sys.exit("FAIL: the item offers no Toggle")
                action.doAction(toggle[0])
                # Still on screen after it: the closing comes later, and reads it.
                after = item.getState()
                unchecked = (not after.contains(pyatspi.STATE_CHECKED)
                             and after.contains(pyatspi.STATE_SHOWING))
            except Exception:  # the list went while it was read
                unchecked = False
            if unchecked:
                break
            if time.monotonic() > end:
                sys.exit("FAIL: the Toggle left the item checked")
            time.sleep(1)
        # At its closing the window switches the reminder off.
        wait_for("the reminder switched off", lambda: True if reminded(database) == 0 else None,
                 40)
        print("PASS: frames, names and Toggle over the accessibility bus")
    finally:
        process.terminate()
        process.wait(10)
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
