#!/usr/bin/env python3
"""Finds and presses the windows of a desktop session's programs through
AT-SPI, whatever the compositor, for the tests.

  atspi.py window APP TITLE yes|no   waits until APP shows a window TITLE, or no longer does
  atspi.py press APP TITLE BUTTON    waits for the window and presses its button
  atspi.py pick APP TITLE BUTTON     the same, after selecting the first item of its list

Each waits up to 20 seconds and exits 1 when the window does not come (or go).
"""
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

WAIT_SECONDS = 20


def children(node):
    for index in range(node.get_child_count()):
        child = node.get_child_at_index(index)
        if child is not None:
            yield child


def shown_window(app_name, title):
    for app in children(Atspi.get_desktop(0)):
        if app.get_name() != app_name:
            continue
        for window in children(app):
            states = window.get_state_set()
            if window.get_name() == title and states.contains(Atspi.StateType.SHOWING):
                return window
    return None


def labelled(node, name):
    # GTK 4 names a button by its mnemonic and its label: "_Share Share".
    return name is None or name in node.get_name().replace("_", "").split(" ") or node.get_name() == name


def find(node, role, name=None):
    if node.get_role() == role and labelled(node, name):
        return node
    for child in children(node):
        found = find(child, role, name)
        if found is not None:
            return found
    return None


def await_window(app_name, title, present):
    deadline = time.monotonic() + WAIT_SECONDS
    while time.monotonic() < deadline:
        try:
            window = shown_window(app_name, title)
        except gi.repository.GLib.Error:
            window = None
        if (window is not None) == present:
            return window
        time.sleep(0.1)
    sys.exit(f"atspi: {app_name} {'shows no' if present else 'still shows its'} window '{title}'")


def main():
    command, app_name, title = sys.argv[1:4]
    if command == "window":
        await_window(app_name, title, sys.argv[4] == "yes")
        return
    window = await_window(app_name, title, True)
    if command == "pick":
        find(window, Atspi.Role.LIST).select_child(0)
    button = find(window, Atspi.Role.PUSH_BUTTON, sys.argv[4])
    if button is None:
        sys.exit(f"atspi: no button '{sys.argv[4]}' in '{title}'")
    button.do_action(0)


if __name__ == "__main__":
    main()
