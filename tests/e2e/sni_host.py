#!/usr/bin/python3
"""A StatusNotifierItem host on the session bus, as a KDE Plasma panel is: it
owns org.kde.StatusNotifierWatcher and lists the items registered there. It
shows nothing; the tests call the items themselves."""
import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

WATCHER = 'org.kde.StatusNotifierWatcher'
# Qt reads the properties through an interface it builds from the introspection.
PROPERTIES = ('<property name="RegisteredStatusNotifierItems" type="as" access="read"/>'
              '<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>'
              '<property name="ProtocolVersion" type="i" access="read"/>')


class Watcher(dbus.service.Object):
    items = []

    @dbus.service.method(WATCHER, in_signature='s', sender_keyword='sender')
    def RegisterStatusNotifierItem(self, service, sender):
        # A path alone names an object on the caller's own connection.
        self.items.append(sender + service if service.startswith('/') else service)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        return {'RegisteredStatusNotifierItems': dbus.Array(self.items, signature='s'),
                'IsStatusNotifierHostRegistered': True, 'ProtocolVersion': dbus.Int32(0)}[name]

    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature='s', path_keyword='path',
                         connection_keyword='connection')
    def Introspect(self, path, connection):
        opening = f'<interface name="{WATCHER}">'
        return super().Introspect(path, connection).replace(opening, opening + PROPERTIES, 1)


if __name__ == '__main__':
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus, '/StatusNotifierWatcher')
    name = dbus.service.BusName(WATCHER, bus, do_not_queue=True)
    GLib.MainLoop().run()
