"""What a screen reader gets from the program's window, read through AT-SPI.

Run by accessibility_test.sh inside a private session bus, with the program already
started on the demo office (type 1) and DISPLAY set. Walks the accessible tree and checks
names and roles, the category grid's table and header, the focus events after Down in
the document list and after its context menu opens, and the list's name after
Visualizza. Keys and clicks are real X events sent with xdotool. Prints each fault and
ends with 1 when there is any.
"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

faults = []


def check(condition, message):
    if not condition:
        faults.append(message)
        print("FAIL:", message, file=sys.stderr)


def pump(seconds):
    """Runs the event loop for `seconds`, so that queued AT-SPI events arrive."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while context.iteration(False):
            pass
        time.sleep(0.02)


def xdo(*args):
    subprocess.run(["xdotool", *args], check=True)
    pump(0.6)


def click(node):
    x, y, width, height = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    xdo("mousemove", str(x + width // 2), str(y + height // 2), "click", "1")


def walk(node, depth=0):
    yield node, depth
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def find(root, predicate):
    return next((node for node, _ in walk(root) if predicate(node)), None)


def main_frame():
    for _ in range(100):
        for app in pyatspi.Registry.getDesktop(0):
            if app is None:
                continue
            for i in range(app.childCount):
                child = app.getChildAtIndex(i)
                if child is not None and child.name.startswith("Tarvolo"):
                    return child
        time.sleep(0.2)
    sys.exit("FAIL: no window named Tarvolo on the accessibility bus")


class EventLog:
    """Focus and name-change events, as (kind, role name, name) in arrival order."""

    def __init__(self):
        self.events = []
        pyatspi.Registry.registerEventListener(
            self.record, "object:state-changed:focused", "object:property-change:accessible-name")

    def record(self, event):
        if event.type.startswith("object:state-changed:focused") and not event.detail1:
            return
        try:
            self.events.append((event.type, event.source.getRoleName(), event.source.name, event.source))
        except Exception:  # the source may be gone already
            pass

    def clear(self):
        pump(0.3)
        self.events.clear()

    def focused(self, name):
        return [e for e in self.events if e[0].startswith("object:state-changed:focused") and e[2] == name]

    def renamed(self, name):
        return [e for e in self.events if e[0] == "object:property-change:accessible-name" and e[2] == name]


NAMED_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_LIST,
    pyatspi.ROLE_TREE, pyatspi.ROLE_PANEL, pyatspi.ROLE_FRAME, pyatspi.ROLE_LABEL,
    pyatspi.ROLE_IMAGE, pyatspi.ROLE_POPUP_MENU, pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_TABLE_CELL,
    pyatspi.ROLE_COLUMN_HEADER, pyatspi.ROLE_FILLER,
}


def check_tree(frame):
    check(frame.getRole() == pyatspi.ROLE_FRAME, f"the top level is a {frame.getRoleName()}, not a frame")
    check(frame.name == frame.name.strip(), f"the window's name {frame.name!r} has blanks around it")
    frames = [node for node, depth in walk(frame) if depth > 0 and node.getRole() == pyatspi.ROLE_FRAME]
    check(not frames, f"inner frames: {[f.name for f in frames]}")
    unnamed = []
    for node, depth in walk(frame):
        states = node.getState()
        control = node.getRole() in NAMED_ROLES or states.contains(pyatspi.STATE_FOCUSABLE)
        if control and node.getRole() != pyatspi.ROLE_SEPARATOR and not node.name.strip():
            place = node.getIndexInParent()
            unnamed.append(f"{node.getRoleName()} {place} at depth {depth} in {node.parent.name!r}")
    check(not unnamed, f"controls without a name: {unnamed}")


def check_grid(frame):
    grid = find(frame, lambda n: n.getRole() == pyatspi.ROLE_TABLE)
    check(grid is not None, "the category grid is no table")
    if grid is None:
        return None
    check(grid.name == "Elenco delle Categorie di Modelli", f"the grid is named {grid.name!r}")
    check("Ctrl+Tab" in grid.description, f"the grid's description {grid.description!r} says nothing of Ctrl+Tab")
    table = grid.queryTable()
    check(table.nColumns == 1, f"the grid has {table.nColumns} columns")
    header = table.getColumnHeader(0)
    check(header is not None and header.name == "Categoria", "the grid's column header is not \"Categoria\"")
    check(table.nRows == 4, f"the grid has {table.nRows} rows, the demo office's type 1 has 4")
    first = table.getAccessibleAt(0, 0)
    check(first.name == "Contabilità generale", f"the first cell reads {first.name!r}")
    check(first.description.startswith("Contabilità"), f"the first row's type reads {first.description!r}")
    check(list(table.getSelectedRows()) == [0], f"selected rows {list(table.getSelectedRows())}")
    return grid


def check_document_list(frame, log):
    documents = find(frame, lambda n: n.name.startswith("Documenti della categoria"))
    check(documents is not None, "no document list named after its category")
    if documents is None:
        return None
    check(documents.name == "Documenti della categoria Contabilità generale",
          f"the list is named {documents.name!r}")

    # Down in the list: the first row gets the focus, and a screen reader hears it.
    click(find(frame, lambda n: n.name == "Visualizza"))  # somewhere that is not the list
    log.clear()
    click(documents)
    xdo("key", "--clearmodifiers", "Home")
    log.clear()
    xdo("key", "Down")
    cells = [e for e in log.events if e[0].startswith("object:state-changed:focused") and e[1] != "tree table"]
    check(cells, f"no focus event after Down in the list: {log.events}")

    # The context menu: named, its first item focused at once, and in the tree.
    log.clear()
    xdo("key", "shift+F10")
    opened = log.focused("Apri")
    check(opened, f"no focus event on \"Apri\" when the menu opened: {log.events}")
    if opened:
        menu = opened[0][3].parent
        check(menu.getRole() == pyatspi.ROLE_POPUP_MENU, f"the menu is a {menu.getRoleName()}")
        check(menu.name == "Comandi del documento", f"the menu is named {menu.name!r}")
        index = menu.getIndexInParent()
        check(index >= 0 and menu.parent.getChildAtIndex(index).name == menu.name,
              f"the menu is not in the tree (index {index} in {menu.parent.name!r})")
    xdo("key", "Escape")
    return documents


def check_visualizza(frame, grid, log):
    # Down in the grid moves its mark; Visualizza, pressed through AT-SPI, shows the category.
    table = grid.queryTable()
    click(table.getAccessibleAt(0, 0))
    xdo("key", "Down")
    log.clear()
    button = find(frame, lambda n: n.name == "Visualizza" and n.getRole() == pyatspi.ROLE_PUSH_BUTTON)
    button.queryAction().doAction(0)
    pump(1.0)
    wanted = "Documenti della categoria Fatture e ricevute"
    check(log.renamed(wanted), f"no name change to {wanted!r} after Visualizza: {log.events}")
    documents = find(frame, lambda n: n.name.startswith("Documenti della categoria"))
    check(documents is not None and documents.name == wanted, "the list's name did not follow Visualizza")


def check_delete_question(frame, documents, log):
    click(documents)
    xdo("key", "--clearmodifiers", "Home", "ctrl+Delete")
    pump(0.5)
    alerts = []
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None:
            alerts += [app.getChildAtIndex(i) for i in range(app.childCount)
                       if app.getChildAtIndex(i) is not None and app.getChildAtIndex(i).getRole() == pyatspi.ROLE_ALERT]
    check(alerts, "the delete question is not an alert")
    xdo("key", "Escape")


def main():
    frame = main_frame()
    log = EventLog()
    pump(0.5)
    check_tree(frame)
    grid = check_grid(frame)
    documents = check_document_list(frame, log)
    if grid is not None:
        check_visualizza(frame, grid, log)
    if documents is not None:
        check_delete_question(frame, documents, log)
    print(f"atspi probe: {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
