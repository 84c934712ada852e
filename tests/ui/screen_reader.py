#!/usr/bin/python3
# Says what a listener would miss: every button, checkbox, menu and row has a name (without an access key's "&"); the
# list's items tell their status and why they failed in their description; the notice is an alert.
import sys
import time

import pyatspi

NAMED = {"push button", "check box", "menu bar", "menu", "menu item", "list item"}
ROWS = [("list item", "IMG_1.HEIC, 0 bytes", "Waiting"), ("list item", "IMG_2.HEIC, 0 bytes", "Converted"),
        ("list item", "IMG_3.HEIC, 0 bytes", "Failed: Could not decode the photo")]
ALERT = ("alert", "1 file skipped: not a HEIC photo")


def nodes(node):
    yield node
    for child in filter(None, node):
        yield from nodes(child)


for _ in range(100):
    top = next((app[0] for app in filter(None, pyatspi.Registry.getDesktop(0)) if app.childCount and app[0].name == "Tessavo"), None)
    if top or time.sleep(0.2):
        break
heard = [(node.getRoleName(), node.name, node.description, node.childCount) for node in nodes(top)
         if node.getState().contains(pyatspi.STATE_SHOWING)] if top else []
# The bar itself goes unnamed; Qt 6.4 gives its menus the bar's role.
missing = [f"a {role} without a name: {name!r}" for role, name, _, children in heard
           if role in NAMED and (not name or "&" in name) and not (role == "menu bar" and children)]
listing = next((node for node in nodes(top) if node.getRoleName() == "list"), []) if top else []
rows = [(row.getRoleName(), row.name, row.description) for row in listing if row.getRoleName() != "scroll bar"]
missing += [f"the list's items heard as {rows}"] if rows != ROWS else []
missing += ["the File menu's items are not heard"] if [role for role, *_ in heard].count("menu item") < 5 else []
missing += [f"no {ALERT}"] if ALERT not in [(role, name) for role, name, *_ in heard] else []
print("\n".join(f"{role}: {name!r} {description!r}" for role, name, description, _ in heard))
sys.exit("\n".join(missing) or None)
