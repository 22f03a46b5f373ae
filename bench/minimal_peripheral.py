#!/usr/bin/python3
"""The smallest peripheral BlueZ allows with the agent's layout, as a yardstick for the
benchmark: one service of the UUID given, five characteristics (read, write without
response, notify), and a write of "1" or anything else to the second one sets or clears bit
0x02 of the first one's byte and notifies it on the spot. No conferencing client, no poll.

    minimal_peripheral.py SERVICE_UUID     (on hci0; "quit" on stdin ends it)
"""

import sys
import threading

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

CHARACTERISTICS = ['E826E5D9-D84F-4BC0-A8E7-EE71933B7C30', '9544CC4B-AE2B-4D23-9988-91F785B4EBE0',
                   '416E2079-70BE-4BE1-8DF2-429652F50C67', 'B6B279AB-E82F-4CA7-A083-1B3B6F08280B',
                   '51E0B506-C88A-414E-9603-DABC63EBB6BA']
ROOT = '/bench'
FLAGS = dbus.Array(['read', 'write-without-response', 'notify'], signature='s')
PROPERTIES = 'org.freedesktop.DBus.Properties'
CHARACTERISTIC = 'org.bluez.GattCharacteristic1'


class Characteristic(dbus.service.Object):
    def __init__(self, bus, index, uuid, status):
        self.path = f'{ROOT}/service0/char{index}'
        self.uuid, self.status, self.index = uuid, status, index
        dbus.service.Object.__init__(self, bus, self.path)

    def properties(self):
        return {CHARACTERISTIC: {'UUID': self.uuid, 'Service': dbus.ObjectPath(ROOT + '/service0'),
                                 'Flags': FLAGS}}

    @dbus.service.method(CHARACTERISTIC, in_signature='a{sv}', out_signature='ay')
    def ReadValue(self, options):
        return dbus.Array([self.status[0]], signature='y') if self.index == 0 else []

    @dbus.service.method(CHARACTERISTIC, in_signature='aya{sv}')
    def WriteValue(self, value, options):
        if self.index == 1:
            on = bytes(value) == b'1'
            self.status[0] = (self.status[0] | 0x02) if on else (self.status[0] & ~0x02)
            self.status[1].PropertiesChanged(CHARACTERISTIC, {
                'Value': dbus.Array([self.status[0]], signature='y')}, [])

    @dbus.service.method(CHARACTERISTIC)
    def StartNotify(self):
        pass

    @dbus.service.method(CHARACTERISTIC)
    def StopNotify(self):
        pass

    @dbus.service.signal(PROPERTIES, signature='sa{sv}as')
    def PropertiesChanged(self, interface, changed, invalidated):
        pass


class Application(dbus.service.Object):
    def __init__(self, bus, service):
        dbus.service.Object.__init__(self, bus, ROOT)
        self.service = service
        status = [0xE8, None]
        self.characteristics = [Characteristic(bus, i, u, status)
                                for i, u in enumerate(CHARACTERISTICS)]
        status[1] = self.characteristics[0]

    @dbus.service.method('org.freedesktop.DBus.ObjectManager', out_signature='a{oa{sa{sv}}}')
    def GetManagedObjects(self):
        objects = {dbus.ObjectPath(ROOT + '/service0'): {
            'org.bluez.GattService1': {'UUID': self.service, 'Primary': True}}}
        for characteristic in self.characteristics:
            objects[dbus.ObjectPath(characteristic.path)] = characteristic.properties()
        return objects


class Advertisement(dbus.service.Object):
    def __init__(self, bus, service):
        dbus.service.Object.__init__(self, bus, ROOT + '/advertisement')
        self.service = service

    @dbus.service.method(PROPERTIES, in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(PROPERTIES, in_signature='s', out_signature='a{sv}')
    def GetAll(self, interface):
        return {'Type': 'peripheral', 'ServiceUUIDs': dbus.Array([self.service], signature='s')}

    @dbus.service.method('org.bluez.LEAdvertisement1')
    def Release(self):
        pass


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SystemBus()
    loop = GLib.MainLoop()
    service = sys.argv[1]
    application = Application(bus, service)
    advertisement = Advertisement(bus, service)
    adapter = bus.get_object('org.bluez', '/org/bluez/hci0')
    failed = lambda error: (print(f'failed: {error}', flush=True), loop.quit())
    dbus.Interface(adapter, 'org.bluez.GattManager1').RegisterApplication(
        application, {}, reply_handler=lambda: print('application registered', flush=True),
        error_handler=failed)
    dbus.Interface(adapter, 'org.bluez.LEAdvertisingManager1').RegisterAdvertisement(
        advertisement, {}, reply_handler=lambda: print('advertising', flush=True),
        error_handler=failed)
    threading.Thread(target=lambda: (sys.stdin.readline(), GLib.idle_add(loop.quit)),
                     daemon=True).start()
    loop.run()


if __name__ == '__main__':
    main()
