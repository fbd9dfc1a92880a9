#!/usr/bin/python3
"""Drives a program's windows through the accessibility bus (AT-SPI), where no
input can be sent to the display (a headless Wayland compositor).

    atspi.py PID showing ROLE NAME      exit 0 when such an object is on screen
    atspi.py PID press ROLE NAME        its first action (Press), not waiting
    atspi.py PID settext ROLE NAME TEXT replaces its text

NAME matches an object's name up to a tab (menu items carry their keys after one).
"""
import sys

import dbus

ATSPI = 'org.a11y.atspi.'
STATE_SHOWING = 25


def app_root(pid):
    session = dbus.SessionBus()
    address = session.get_object('org.a11y.Bus', '/org/a11y/bus').GetAddress(dbus_interface='org.a11y.Bus')
    bus = dbus.bus.BusConnection(str(address))
    daemon = bus.get_object('org.freedesktop.DBus', '/org/freedesktop/DBus')
    for name in daemon.ListNames(dbus_interface='org.freedesktop.DBus'):
        if name.startswith(':') and daemon.GetConnectionUnixProcessID(name, dbus_interface='org.freedesktop.DBus') == pid:
            return bus, name
    sys.exit(f'no accessible application of process {pid}')


def find(bus, name, role, wanted):
    """The first object (depth first) of that role and name, as a D-Bus proxy."""
    pending = ['/org/a11y/atspi/accessible/root']
    while pending:
        node = bus.get_object(name, pending.pop(0), introspect=False)
        accessible = dbus.Interface(node, ATSPI + 'Accessible')
        label = str(node.Get(ATSPI + 'Accessible', 'Name', dbus_interface=dbus.PROPERTIES_IFACE))
        if accessible.GetRoleName() == role and label.split('\t')[0] == wanted:
            return node
        pending[0:0] = [str(path) for _, path in accessible.GetChildren()]
    return None


def main():
    pid, command, role, wanted = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    bus, name = app_root(pid)
    node = find(bus, name, role, wanted)
    if node is None:
        return 1
    if command == 'showing':
        states = node.GetState(dbus_interface=ATSPI + 'Accessible')
        return 0 if states[STATE_SHOWING // 32] & (1 << STATE_SHOWING % 32) else 1
    if command == 'press':
        # A button that opens a modal dialog answers only once the dialog closes.
        node.DoAction(0, dbus_interface=ATSPI + 'Action', ignore_reply=True)
        bus.flush()
        return 0
    if command == 'settext':
        return 0 if node.SetTextContents(sys.argv[5], dbus_interface=ATSPI + 'EditableText') else 1
    sys.exit(f'unknown command {command}')


if __name__ == '__main__':
    sys.exit(main())
