#!/usr/bin/python3
# Drives the running zolvex-studio through its accessible names (AT-SPI), one step per
# argument, and fails with the step it could not do:
#   tab:NAME          selects the page tab NAME (the first found, depth first)
#   press:NAME        presses the push button NAME (an open dialog's first)
#   type:ROLE=TEXT    sets the text of the first editable ROLE ("text" for a field)
#   wait:SECONDS      waits
# It waits up to 20 s for the application to appear.
import sys
import time

import pyatspi


def application(timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and (app.name or '') == 'zolvex-studio':
                return app
        time.sleep(0.2)
    sys.exit('drive: zolvex-studio did not appear')


def find(node, test, depth=0):
    if node is None or depth > 40:
        return None
    try:
        if test(node):
            return node
        count = node.childCount
    except Exception:
        return None
    for i in range(count):
        found = find(node.getChildAtIndex(i), test, depth + 1)
        if found is not None:
            return found
    return None


def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def find_on_top(app, test):
    # A dialog's controls come before the main window's: a modal dialog is what the
    # user acts on, and its buttons may share a name with the window's.
    try:
        windows = [app.getChildAtIndex(i) for i in range(app.childCount)]
    except Exception:
        windows = []
    dialogs = [w for w in windows if w is not None and w.getRoleName() == 'dialog' and showing(w)]
    for window in reversed(dialogs):
        found = find(window, test)
        if found is not None:
            return found
    return find(app, test)


def act(app, role, name):
    end = time.time() + 10
    while time.time() < end:
        node = find_on_top(app, lambda n: n.getRoleName() == role and (n.name or '') == name and showing(n))
        if node is not None:
            action = node.queryAction()
            names = [action.getName(i).lower() for i in range(action.nActions)]
            for wanted in ('press', 'click', 'activate', 'switch', 'toggle'):
                if wanted in names:
                    action.doAction(names.index(wanted))
                    return
            action.doAction(0)
            return
        time.sleep(0.2)
    sys.exit('drive: no %s "%s" on the screen' % (role, name))


def main():
    app = application()
    for step in sys.argv[1:]:
        kind, _, what = step.partition(':')
        if kind == 'tab':
            act(app, 'page tab', what)
        elif kind == 'press':
            act(app, 'push button', what)
        elif kind == 'type':
            role, _, text = what.partition('=')
            node = find(app, lambda n: n.getRoleName() == role and showing(n) and
                        n.getState().contains(pyatspi.STATE_EDITABLE))
            if node is None:
                sys.exit('drive: no editable %s on the screen' % role)
            node.queryEditableText().setTextContents(text)
        elif kind == 'wait':
            time.sleep(float(what))
        else:
            sys.exit('drive: unknown step ' + step)
        time.sleep(0.3)


main()
