#!/usr/bin/python3
# Prints what the accessibility bus (AT-SPI) shows of an application's window: one line per
# control, its role, its name and its text. As a screen reader sees the program.
#   accessible_texts.py APPLICATION WINDOW_TITLE
import sys

import pyatspi


def walk(node, out):
    try:
        role, name = node.getRoleName(), node.name
    except Exception:
        return
    text = ""
    try:
        t = node.queryText()
        text = t.getText(0, -1)
    except Exception:
        pass
    out.append(f"{role}\t{name}\t{text}")
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, out)


app_name, title = sys.argv[1], sys.argv[2]
desktop = pyatspi.Registry.getDesktop(0)
for i in range(desktop.childCount):
    app = desktop.getChildAtIndex(i)
    if app is None or app.name != app_name:
        continue
    for j in range(app.childCount):
        window = app.getChildAtIndex(j)
        if window is not None and window.name == title:
            lines = []
            walk(window, lines)
            print("\n".join(lines))
            sys.exit(0)
sys.exit(f"no window '{title}' of '{app_name}' on the accessibility bus")
