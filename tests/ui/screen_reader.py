#!/usr/bin/python3
# Reads the window over AT-SPI as a screen reader does, with its File menu open, and says what a listener would
# miss: every button, checkbox, menu and row has a name (without an access key's "&"); each row's description tells
# its status and why it failed; the notice is an alert.
import sys
import time

import pyatspi

NAMED = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_MENU_BAR, pyatspi.ROLE_MENU, pyatspi.ROLE_MENU_ITEM,
         pyatspi.ROLE_LIST_ITEM}
# The list's items as the test lists them: a name, and a description that tells the rest.
ROWS = [("list item", "IMG_1.HEIC, 0 bytes", "Waiting"), ("list item", "IMG_2.HEIC, 0 bytes", "Converted"),
        ("list item", "IMG_3.HEIC, 0 bytes", "Failed: Could not decode the photo")]
NOTICE = "1 file skipped: not a HEIC photo"


def nodes(node):
    yield node
    for child in node:
        if child is not None:
            yield from nodes(child)


def window():
    for _ in range(100):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.childCount and app[0].name == "Tessavo":
                return app[0]
        time.sleep(0.2)
    sys.exit("no Tessavo window on the accessibility bus")


top = window()
heard = [(node.getRole(), node.getRoleName(), node.name, node.description, node.childCount) for node in nodes(top)
         if node.getState().contains(pyatspi.STATE_SHOWING)]
# The bar itself goes unnamed; Qt 6.4 gives its menus the bar's role.
missing = [f"a {name} without a name: {text!r}" for role, name, text, _, children in heard
           if role in NAMED and (not text or "&" in text) and not (role == pyatspi.ROLE_MENU_BAR and children)]
listing = next(node for node in nodes(top) if node.getRole() == pyatspi.ROLE_LIST)
rows = [(row.getRoleName(), row.name, row.description) for row in listing if row.getRole() != pyatspi.ROLE_SCROLL_BAR]
if rows != ROWS:
    missing.append(f"the list's items heard as {rows}, not as {ROWS}")
if len([role for role, *_ in heard if role == pyatspi.ROLE_MENU_ITEM]) < 5:
    missing.append("the File menu's items are not heard")
if not any(role == pyatspi.ROLE_ALERT and text == NOTICE for role, _, text, *_ in heard):
    missing.append(f"no alert {NOTICE!r}")
for _, name, text, description, _ in heard:
    print(f"{name}: {text!r} {description!r}")
sys.exit("\n".join(missing) or None)
