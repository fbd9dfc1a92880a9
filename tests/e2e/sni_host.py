#!/usr/bin/python3
"""A StatusNotifierItem host on the session bus, as a KDE Plasma panel is: it
owns org.kde.StatusNotifierWatcher and keeps the items that register there
until their owner leaves the bus. It shows nothing; the tests read
RegisteredStatusNotifierItems and call the items themselves."""
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
    def __init__(self, bus):
        super().__init__(bus, '/StatusNotifierWatcher')
        self.items = []
        bus.add_signal_receiver(self.owner_changed, 'NameOwnerChanged', 'org.freedesktop.DBus')

    @dbus.service.method(WATCHER, in_signature='s', sender_keyword='sender')
    def RegisterStatusNotifierItem(self, service, sender):
        # A path alone names an object on the caller's own connection.
        item = sender + service if service.startswith('/') else service
        if item not in self.items:
            self.items.append(item)
            self.StatusNotifierItemRegistered(item)

    @dbus.service.method(WATCHER, in_signature='s')
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature='s')
    def StatusNotifierItemRegistered(self, item):
        pass

    @dbus.service.signal(WATCHER, signature='s')
    def StatusNotifierItemUnregistered(self, item):
        pass

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='s', out_signature='a{sv}')
    def GetAll(self, interface):
        return {'RegisteredStatusNotifierItems': dbus.Array(self.items, signature='s'),
                'IsStatusNotifierHostRegistered': True, 'ProtocolVersion': dbus.Int32(0)}

    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature='s', path_keyword='path',
                         connection_keyword='connection')
    def Introspect(self, path, connection):
        opening = f'<interface name="{WATCHER}">'
        return super().Introspect(path, connection).replace(opening, opening + PROPERTIES, 1)

    def owner_changed(self, name, old, new):
        if new:
            return
        for item in [i for i in self.items if i == name or i.startswith(name + '/')]:
            self.items.remove(item)
            self.StatusNotifierItemUnregistered(item)


if __name__ == '__main__':
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus)
    name = dbus.service.BusName(WATCHER, bus, do_not_queue=True)
    GLib.MainLoop().run()
