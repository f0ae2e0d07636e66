#!/usr/bin/python3
"""Walks the running program through the desktop's accessibility interface
(AT-SPI) and lists every control a user can reach that a screen reader could
not name: the main window on each of its pages, and each dialog that the
tool bar and the menus open. Exits 1 when one is found."""
import sys
import threading
import time

import pyatspi

# Roles a user reaches with the keyboard or the mouse; each needs a name.
NAMED_ROLES = {
    "push button", "toggle button", "check box", "radio button", "combo box",
    "text", "entry", "password text", "list", "list box", "tree", "tree table",
    "table", "page tab", "spin button", "slider", "menu item", "check menu item",
    "radio menu item", "paragraph", "document text", "status bar", "label",
}
# Roles whose text is a value, not a name: a combo box named after the item it
# shows, or an edit named after its contents, tells a listener nothing.
VALUE_ROLES = {"combo box", "text", "entry", "spin button"}


def find_app(name, wait=30):
    end = time.time() + wait
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name and app.name.lower() == name:
                return app
        time.sleep(0.3)
    return None


def value_text(node):
    try:
        text = node.queryText()
        return text.getText(0, text.characterCount)
    except NotImplementedError:
        return None
    except Exception:
        return None


def walk(node, where, problems, depth=0):
    if node is None or depth > 40:
        return
    try:
        role = node.getRoleName()
        states = node.getState()
        showing = states.contains(pyatspi.STATE_SHOWING)
        name = (node.name or "").strip()
    except Exception:
        return
    if not showing:
        return
    if role == "combo box":
        # Its list and edit are parts of the box, named by it.
        children = []
    else:
        children = [node.getChildAtIndex(i) for i in range(min(node.childCount, 400))]
    if role in NAMED_ROLES and role not in ("label", "status bar"):
        label = labelled_by(node)
        if label:
            pass
        elif not name:
            problems.append(f"{where}: {role} without a name ({describe(node)})")
        elif role in VALUE_ROLES:
            value = value_text(node)
            if role == "combo box":
                value = combo_value(node)
            if value is not None and value.strip() and name == value.strip():
                problems.append(f"{where}: {role} named only by its value '{name}' ({describe(node)})")
    if role == "status bar" and not name:
        problems.append(f"{where}: status bar without a name")
    for child in children:
        walk(child, where, problems, depth + 1)


def labelled_by(node):
    """The name a screen reader takes from a label that names the control."""
    try:
        for relation in node.getRelationSet():
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
                for i in range(relation.getNTargets()):
                    target = relation.getTarget(i)
                    if target is not None and (target.name or "").strip():
                        return target.name.strip()
    except Exception:
        pass
    return ""


def combo_value(node):
    try:
        for i in range(node.childCount):
            child = node.getChildAtIndex(i)
            if child is not None and child.getRoleName() in ("text", "entry"):
                return value_text(child)
        sel = node.querySelection()
        return None
    except Exception:
        return None


def describe(node):
    parts = []
    parent = node.parent
    hops = 0
    while parent is not None and hops < 4:
        try:
            parts.append(f"{parent.getRoleName()} '{parent.name or ''}'")
        except Exception:
            break
        parent = parent.parent
        hops += 1
    return " in ".join(parts)


def dump(node, depth=0):
    try:
        print("  " * depth, node.getRoleName(), repr(node.name), repr(labelled_by(node)))
        for i in range(min(node.childCount, 60)):
            dump(node.getChildAtIndex(i), depth + 1)
    except Exception:
        pass


KEYBOARD_ROLES = {"push button", "check box", "radio button", "combo box", "text", "entry",
                  "spin button", "list", "tree", "tree table", "table"}


def keyboard_reach(node, where, problems, depth=0):
    """Every enabled control a dialog shows can take the keyboard focus."""
    if node is None or depth > 40:
        return
    try:
        role = node.getRoleName()
        states = node.getState()
    except Exception:
        return
    if not states.contains(pyatspi.STATE_SHOWING):
        return
    if role in KEYBOARD_ROLES and states.contains(pyatspi.STATE_ENABLED) \
            and not states.contains(pyatspi.STATE_FOCUSABLE) and role != "text":
        problems.append(f"{where}: {role} '{node.name}' cannot be reached from the keyboard")
    if role == "combo box":
        return
    if role == "tool bar":
        # Tool bar buttons take no focus anywhere; each has a menu entry or
        # a key of its own (the report editor's test checks that).
        return
    for i in range(min(node.childCount, 400)):
        keyboard_reach(node.getChildAtIndex(i), where, problems, depth + 1)


def find_first(node, pred, depth=0):
    if node is None or depth > 40:
        return None
    try:
        if pred(node):
            return node
        for i in range(min(node.childCount, 400)):
            found = find_first(node.getChildAtIndex(i), pred, depth + 1)
            if found is not None:
                return found
    except Exception:
        return None
    return None


def press(node):
    # Menu items trigger synchronously inside the program, so a modal dialog
    # would hold the reply: press from a thread of its own.
    def run():
        try:
            action = node.queryAction()
            action.doAction(0)
        except Exception:
            pass
    threading.Thread(target=run, daemon=True).start()


def walk_window(app, window, where, problems):
    """Walks a dialog or window on each of its pages, checks that its controls
    take the keyboard focus, and closes it."""
    walk(window, where, problems)
    keyboard_reach(window, where, problems)
    tabs = find_first(window, lambda n: n.getRoleName() == "page tab list")
    if tabs is not None:
        for i in range(tabs.childCount):
            tab = tabs.getChildAtIndex(i)
            if tab is None or tab.getRoleName() != "page tab":
                continue
            try:
                tab.queryAction().doAction(0)
            except Exception as error:
                problems.append(f"{where}: page tab '{tab.name}' cannot be chosen: {error}")
                continue
            time.sleep(0.4)
            walk(window, f"{where}, page '{tab.name}'", problems)
            keyboard_reach(window, f"{where}, page '{tab.name}'", problems)
    close = find_first(window, lambda n: n.getRoleName() == "push button" and (n.name or "") in ("Cancel", "Close", "OK", "Ok"))
    if close is not None:
        press(close)
    end = time.time() + 5
    while time.time() < end and any(w.name == window.name for w in windows(app)):
        time.sleep(0.2)


def windows(app):
    result = []
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w is not None:
            try:
                if w.getState().contains(pyatspi.STATE_SHOWING):
                    result.append(w)
            except Exception:
                pass
    return result


def main():
    app = find_app("vantora")
    if app is None:
        print("FAIL: the program did not appear on the accessibility bus")
        return 1
    time.sleep(2)
    problems = []
    main_frame = next((w for w in windows(app) if w.getRoleName() == "frame"), None)
    if main_frame is None:
        print("FAIL: no main window")
        return 1
    start_only = len(sys.argv) > 1 and sys.argv[1] == "--start-windows"
    if not start_only:
        walk(main_frame, "main window", problems)
    if len(sys.argv) > 1 and sys.argv[1] == "--list":
        dump(main_frame)
        return 0
    # Windows the program shows by itself at the start (the tip of the day).
    shown_at_start = 0
    for w in windows(app):
        if w.name == main_frame.name and w.getRoleName() == "frame":
            continue
        shown_at_start += 1
        walk_window(app, w, f"window '{w.name}' (at the start)", problems)
    if start_only:
        print(f"walked {shown_at_start} windows shown at the start")
        for p in problems:
            print("UNNAMED:", p)
        if shown_at_start == 0:
            print("FAIL: no window shown at the start (the tip of the day)")
            return 1
        return 1 if problems else 0

    # Every page of the notebook, shown in turn.
    tabs = find_first(main_frame, lambda n: n.getRoleName() == "page tab list")
    pages = 0
    if tabs is not None:
        for i in range(tabs.childCount):
            tab = tabs.getChildAtIndex(i)
            if tab is None or tab.getRoleName() != "page tab":
                continue  # the tab bar's scroll buttons
            try:
                tab.queryAction().doAction(0)
            except Exception as error:
                problems.append(f"page tab '{tab.name}' cannot be chosen: {error}")
                continue
            time.sleep(0.4)
            walk(main_frame, f"page '{tab.name}'", problems)
            pages += 1

    # Dialogs opened from the menus or a page's button ("Page:Button"): each
    # one walked, then closed.
    dialogs = 0
    toggles = 0
    for caption in sys.argv[1:]:
        if caption.startswith("toggle:"):
            # A checkable command (edit mode): the main window walked with it
            # on, then turned off again.
            caption = caption[len("toggle:"):]
            item = find_first(main_frame, lambda n, c=caption: n.getRoleName() in ("menu item", "check menu item") and (n.name or "") == c)
            if item is None:
                problems.append(f"menu item '{caption}' not found")
                continue
            press(item)
            time.sleep(1)
            walk(main_frame, f"main window with '{caption}' on", problems)
            keyboard_reach(main_frame, f"main window with '{caption}' on", problems)
            press(item)
            time.sleep(0.5)
            toggles += 1
            continue
        page, _, caption = caption.rpartition(":")
        if page:
            tab = find_first(main_frame, lambda n, p=page: n.getRoleName() == "page tab" and (n.name or "") == p)
            if tab is None:
                problems.append(f"page tab '{page}' not found")
                continue
            tab.queryAction().doAction(0)
            time.sleep(0.4)
        item = find_first(main_frame, lambda n, c=caption: n.getRoleName() in ("menu item", "push button") and (n.name or "") == c
                          and (n.getRoleName() == "menu item" or n.getState().contains(pyatspi.STATE_SHOWING)))
        if item is None:
            problems.append(f"menu item '{caption}' not found")
            continue
        if not item.getState().contains(pyatspi.STATE_ENABLED):
            # Disabled here (dial-up on a machine that is already connected):
            # nothing a user could open; said, not counted as a fault.
            print(f"not walked: '{caption}' is disabled on this machine")
            continue
        press(item)
        dialog = None
        end = time.time() + 10
        while dialog is None and time.time() < end:
            time.sleep(0.3)
            for w in windows(app):
                if w.getRoleName() in ("dialog", "frame", "window", "alert") and w.name != main_frame.name:
                    dialog = w
        if dialog is None:
            problems.append(f"'{caption}' opened no window")
            continue
        dialogs += 1
        walk_window(app, dialog, f"dialog '{dialog.name}' (from '{caption}')", problems)
    print(f"walked the main window, {pages} pages, {toggles} modes, {shown_at_start} windows "
          f"shown at the start and {dialogs} dialogs")
    # A control shown on every page is reported once, where it was first seen.
    seen = set()
    unique = []
    for p in problems:
        key = p.split(": ", 1)[-1]
        if key not in seen:
            seen.add(key)
            unique.append(p)
    problems = unique
    for p in problems:
        print("UNNAMED:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
