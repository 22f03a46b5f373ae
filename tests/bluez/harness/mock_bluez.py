#!/usr/bin/python3
"""A stand-in for bluetoothd on a private D-Bus daemon.

The daemon side owns "org.bluez" and answers like BlueZ's adapter, GATT manager and LE
advertising manager. The control side owns "org.quorla.MockBluez" on a connection of its
own, so it outlives a "bluetoothd restart": through it a test adds, removes and powers
adapters, stops and starts the daemon, delays replies and acts as the central. Every
control method replies only once its effect is complete.
"""

import argparse
import json
import os
import re
import sys

import dbus
import dbus.lowlevel
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

BLUEZ_NAME = "org.bluez"
CONTROL_NAME = "org.quorla.MockBluez"
CONTROL_INTERFACE = "org.quorla.MockBluez1"
OBJECT_MANAGER = "org.freedesktop.DBus.ObjectManager"
PROPERTIES = "org.freedesktop.DBus.Properties"
INTROSPECTABLE = "org.freedesktop.DBus.Introspectable"
ADAPTER = "org.bluez.Adapter1"
GATT_MANAGER = "org.bluez.GattManager1"
ADVERTISING_MANAGER = "org.bluez.LEAdvertisingManager1"
GATT_SERVICE = "org.bluez.GattService1"
GATT_CHARACTERISTIC = "org.bluez.GattCharacteristic1"
ADVERTISEMENT = "org.bluez.LEAdvertisement1"

# Shorter than the harness's own 5 s deadline, so that an application that never answers
# shows up as an error reply rather than as a harness timeout.
APPLICATION_CALL_TIMEOUT_S = 3.0
ATT_MTU = 185

CHARACTERISTIC_FLAGS = {
    "broadcast", "read", "write-without-response", "write", "notify", "indicate",
    "authenticated-signed-writes", "extended-properties", "reliable-write",
    "writable-auxiliaries", "encrypt-read", "encrypt-write", "encrypt-notify",
    "encrypt-indicate", "encrypt-authenticated-read", "encrypt-authenticated-write",
    "encrypt-authenticated-notify", "encrypt-authenticated-indicate", "secure-read",
    "secure-write", "secure-notify", "secure-indicate", "authorize",
}
UUID_PATTERN = re.compile(
    r"^([0-9a-f]{4}|[0-9a-f]{8}|[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12})$",
    re.IGNORECASE)
ADAPTER_PATTERN = re.compile(r"^hci([0-9]+)$")
SYSTEM_BUS_SOCKETS = ("/run/dbus/system_bus_socket", "/var/run/dbus/system_bus_socket")


class BluezError(dbus.DBusException):
    def __init__(self, name, message=""):
        super().__init__(message or name, name="org.bluez.Error." + name)


class ControlError(dbus.DBusException):
    """A mistake of the test driving the mock, not a reply BlueZ would give."""

    def __init__(self, name, message):
        super().__init__(message, name="org.quorla.MockBluez.Error." + name)


class InvalidTree(Exception):
    pass


def hex_text(value):
    return bytes(value).hex().upper()


def error_name(exception):
    return exception.get_dbus_name() if isinstance(exception, dbus.DBusException) else str(
        exception)


def adapter_path(name):
    return "/org/bluez/" + name


def adapter_index(name):
    return int(ADAPTER_PATTERN.match(name).group(1))


def send_without_reply(connection, destination, path, interface, method):
    message = dbus.lowlevel.MethodCallMessage(destination, path, interface, method)
    message.set_no_reply(True)
    connection.send_message(message)


class Root(dbus.service.Object):
    def __init__(self, mock, connection):
        super().__init__(connection, "/")
        self.mock = mock

    @dbus.service.method(OBJECT_MANAGER, out_signature="a{oa{sa{sv}}}")
    def GetManagedObjects(self):
        return dbus.Dictionary(
            {adapter_path(name): self.mock.adapter_interfaces(name)
             for name in self.mock.adapter_names()},
            signature="oa{sa{sv}}")

    @dbus.service.signal(OBJECT_MANAGER, signature="oa{sa{sv}}")
    def InterfacesAdded(self, path, interfaces):
        pass

    @dbus.service.signal(OBJECT_MANAGER, signature="oas")
    def InterfacesRemoved(self, path, interfaces):
        pass


class Adapter(dbus.service.Object):
    def __init__(self, mock, connection, name):
        super().__init__(connection, adapter_path(name))
        self.mock = mock
        self.name = name

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        properties = self.mock.adapter_interfaces(self.name).get(interface, {})
        if name not in properties:
            raise dbus.DBusException("No such property " + name,
                                     name="org.freedesktop.DBus.Error.InvalidArgs")
        return properties[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.mock.adapter_interfaces(self.name).get(interface,
                                                           dbus.Dictionary({}, signature="sv"))

    @dbus.service.method(PROPERTIES, in_signature="ssv")
    def Set(self, interface, name, value):
        if interface != ADAPTER or name != "Powered":
            raise dbus.DBusException("Read-only property " + name,
                                     name="org.freedesktop.DBus.Error.PropertyReadOnly")
        self.mock.set_powered(self.name, bool(value))

    @dbus.service.signal(PROPERTIES, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.method(GATT_MANAGER, in_signature="oa{sv}", sender_keyword="sender",
                         async_callbacks=("reply", "error"))
    def RegisterApplication(self, path, options, sender, reply, error):
        self.mock.register("application", self.name, sender, path, reply, error)

    @dbus.service.method(GATT_MANAGER, in_signature="o", sender_keyword="sender")
    def UnregisterApplication(self, path, sender):
        self.mock.unregister("application", self.name, sender, path)

    @dbus.service.method(ADVERTISING_MANAGER, in_signature="oa{sv}", sender_keyword="sender",
                         async_callbacks=("reply", "error"))
    def RegisterAdvertisement(self, path, options, sender, reply, error):
        self.mock.register("advertisement", self.name, sender, path, reply, error)

    @dbus.service.method(ADVERTISING_MANAGER, in_signature="o", sender_keyword="sender")
    def UnregisterAdvertisement(self, path, sender):
        self.mock.unregister("advertisement", self.name, sender, path)


def parse_application(root, objects):
    """The services and characteristics of an application, in the order it listed them."""
    services = []
    by_path = {}
    characteristics = []
    for path, interfaces in objects.items():
        if not (path == root or path.startswith(root.rstrip("/") + "/")):
            raise InvalidTree(f"{path} lies outside the application {root}")
        if GATT_SERVICE in interfaces:
            properties = interfaces[GATT_SERVICE]
            uuid = properties.get("UUID")
            primary = properties.get("Primary")
            if not isinstance(uuid, dbus.String) or not UUID_PATTERN.match(uuid):
                raise InvalidTree(f"service {path} has no valid UUID")
            if not isinstance(primary, dbus.Boolean):
                raise InvalidTree(f"service {path} has no boolean Primary")
            service = {"path": str(path), "uuid": str(uuid), "primary": bool(primary),
                       "characteristics": []}
            services.append(service)
            by_path[path] = service
        if GATT_CHARACTERISTIC in interfaces:
            characteristics.append((path, interfaces[GATT_CHARACTERISTIC]))
    for path, properties in characteristics:
        uuid = properties.get("UUID")
        service = properties.get("Service")
        flags = properties.get("Flags")
        if not isinstance(uuid, dbus.String) or not UUID_PATTERN.match(uuid):
            raise InvalidTree(f"characteristic {path} has no valid UUID")
        if not isinstance(service, dbus.ObjectPath) or service not in by_path:
            raise InvalidTree(f"characteristic {path} names no service of the application")
        if (not isinstance(flags, dbus.Array) or not flags
                or any(not isinstance(flag, dbus.String) for flag in flags)):
            raise InvalidTree(f"characteristic {path} has no Flags")
        unknown = [str(flag) for flag in flags if flag not in CHARACTERISTIC_FLAGS]
        if unknown:
            raise InvalidTree(f"characteristic {path} has unknown flags {unknown}")
        by_path[service]["characteristics"].append({
            "path": str(path), "uuid": str(uuid), "service": str(service),
            "flags": [str(flag) for flag in flags]})
    if not services:
        raise InvalidTree(f"application {root} has no service")
    return services


def parse_advertisement(properties):
    kind = properties.get("Type")
    if kind not in ("broadcast", "peripheral"):
        raise InvalidTree(f"advertisement Type {kind!r} is neither broadcast nor peripheral")
    uuids = properties.get("ServiceUUIDs", [])
    if any(not isinstance(uuid, dbus.String) or not UUID_PATTERN.match(uuid) for uuid in uuids):
        raise InvalidTree(f"advertisement ServiceUUIDs {list(uuids)} holds an invalid UUID")
    return {"type": str(kind), "service_uuids": [str(uuid) for uuid in uuids],
            "properties": sorted(str(name) for name in properties.keys())}


class Mock:
    def __init__(self, address):
        self.address = address
        self.adapters = {}  # name -> powered; survives daemon restarts
        self.registrations = []  # dicts with kind, adapter, sender, path, ...
        self.pending = {}  # (kind, adapter, sender, path) -> error callback
        self.notifying = set()  # (sender, characteristic path)
        self.calls = {name: 0 for name in ("RegisterApplication", "UnregisterApplication",
                                           "RegisterAdvertisement", "UnregisterAdvertisement")}
        self.notifications = []
        self.errors = []
        self.reply_delay_ms = 0
        # Bumped on every daemon stop: work begun by an earlier daemon must not finish.
        self.generation = 0
        self.daemon = None
        self.root = None
        self.adapter_objects = {}
        self.stop_waiters = {}  # unique name -> reply, for stops awaiting the disconnect
        self.control = dbus.bus.BusConnection(address)
        self.control.set_exit_on_disconnect(True)
        self.control.add_signal_receiver(
            self.name_owner_changed, "NameOwnerChanged", "org.freedesktop.DBus",
            "org.freedesktop.DBus", "/org/freedesktop/DBus")

    # Daemon side.

    def start_daemon(self):
        self.daemon = dbus.bus.BusConnection(self.address)
        self.daemon.set_exit_on_disconnect(False)
        self.daemon.add_signal_receiver(
            self.properties_changed, "PropertiesChanged", PROPERTIES,
            sender_keyword="sender", path_keyword="path", byte_arrays=True)
        # The objects exist before the name is owned, as when bluetoothd starts: whoever
        # sees the name appear can list the adapters at once.
        self.root = Root(self, self.daemon)
        self.adapter_objects = {name: Adapter(self, self.daemon, name)
                                for name in self.adapter_names()}
        result = self.daemon.request_name(BLUEZ_NAME, dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
        if result != dbus.bus.REQUEST_NAME_REPLY_PRIMARY_OWNER:
            raise ControlError("NameTaken", f"{BLUEZ_NAME} is owned by someone else")

    def stop_daemon(self, reply):
        self.generation += 1
        self.registrations.clear()
        self.pending.clear()
        self.notifying.clear()
        for adapter in self.adapter_objects.values():
            adapter.remove_from_connection()
        self.root.remove_from_connection()
        self.adapter_objects = {}
        self.root = None
        unique_name = self.daemon.get_unique_name()
        self.daemon.release_name(BLUEZ_NAME)
        # The reply waits for the bus to see the connection go, so that calls still pending
        # on the old daemon have been answered with NoReply by then.
        self.stop_waiters[unique_name] = reply
        self.daemon.close()
        self.daemon = None

    def name_owner_changed(self, name, old_owner, new_owner):
        if new_owner or not name.startswith(":"):
            return
        if name in self.stop_waiters:
            self.stop_waiters.pop(name)()
            return
        self.registrations = [r for r in self.registrations if r["sender"] != name]
        self.pending = {key: e for key, e in self.pending.items() if key[2] != name}
        self.notifying = {n for n in self.notifying if n[0] != name}

    def adapter_names(self):
        return sorted(self.adapters, key=adapter_index)

    def adapter_interfaces(self, name):
        index = adapter_index(name)
        empty = dbus.Dictionary({}, signature="sv")
        return dbus.Dictionary({
            INTROSPECTABLE: empty,
            PROPERTIES: empty,
            ADAPTER: dbus.Dictionary({
                "Address": dbus.String(f"00:51:00:00:00:{index:02X}"),
                "AddressType": dbus.String("public"),
                "Name": dbus.String(f"mock-{name}"),
                "Alias": dbus.String(f"mock-{name}"),
                "Powered": dbus.Boolean(self.adapters[name]),
                "Discoverable": dbus.Boolean(False),
                "UUIDs": dbus.Array([], signature="s"),
            }, signature="sv"),
            GATT_MANAGER: empty,
            ADVERTISING_MANAGER: dbus.Dictionary({
                "ActiveInstances": dbus.Byte(sum(
                    1 for r in self.registrations
                    if r["kind"] == "advertisement" and r["adapter"] == name)),
                "SupportedInstances": dbus.Byte(4),
                "SupportedIncludes": dbus.Array([], signature="s"),
            }, signature="sv"),
        }, signature="sa{sv}")

    def require_adapter(self, name):
        if name not in self.adapters:
            raise ControlError("UnknownAdapter", f"no adapter {name}")

    def add_adapter(self, name, powered):
        if not ADAPTER_PATTERN.match(name):
            raise ControlError("InvalidArguments", f"{name!r} is not an adapter name like hci0")
        if name in self.adapters:
            raise ControlError("AlreadyExists", f"adapter {name} exists")
        self.adapters[name] = powered
        if self.daemon:
            self.adapter_objects[name] = Adapter(self, self.daemon, name)
            self.root.InterfacesAdded(adapter_path(name), self.adapter_interfaces(name))

    def remove_adapter(self, name):
        self.require_adapter(name)
        self.drop_registrations(name)
        interfaces = list(self.adapter_interfaces(name).keys())
        del self.adapters[name]
        if self.daemon:
            self.adapter_objects.pop(name).remove_from_connection()
            self.root.InterfacesRemoved(adapter_path(name), dbus.Array(interfaces, signature="s"))

    def set_powered(self, name, powered):
        self.require_adapter(name)
        if self.adapters[name] == powered:
            return
        if not powered:
            self.drop_registrations(name)
        self.adapters[name] = powered
        if self.daemon:
            self.adapter_objects[name].PropertiesChanged(
                ADAPTER, dbus.Dictionary({"Powered": dbus.Boolean(powered)}, signature="sv"),
                dbus.Array([], signature="s"))

    def drop_registrations(self, adapter):
        """What bluetoothd does when an adapter goes away or powers off."""
        for key, error in list(self.pending.items()):
            if key[1] == adapter:
                del self.pending[key]
                error(BluezError("Failed", f"adapter {adapter} went away"))
        kept = []
        for registration in self.registrations:
            if registration["adapter"] != adapter:
                kept.append(registration)
                continue
            if registration["kind"] == "advertisement":
                send_without_reply(self.daemon, registration["sender"], registration["path"],
                                   ADVERTISEMENT, "Release")
            for service in registration.get("services", []):
                for characteristic in service["characteristics"]:
                    self.notifying.discard((registration["sender"], characteristic["path"]))
        self.registrations = kept

    def find(self, kind, adapter, sender, path):
        for registration in self.registrations:
            if (registration["kind"], registration["adapter"], registration["sender"],
                    registration["path"]) == (kind, adapter, sender, path):
                return registration
        return None

    def later(self, generation, action):
        """Runs a reply after the configured delay, unless the daemon stopped meanwhile."""

        def run():
            if generation == self.generation:
                action()
            return False

        if self.reply_delay_ms:
            GLib.timeout_add(self.reply_delay_ms, run)
        else:
            run()

    def register(self, kind, adapter, sender, path, reply, error):
        method = "RegisterApplication" if kind == "application" else "RegisterAdvertisement"
        self.calls[method] += 1
        generation = self.generation
        key = (kind, adapter, sender, str(path))

        def fail(exception):
            self.errors.append(
                f"{method} {path}: {exception.get_dbus_name()}: {exception.get_dbus_message()}")
            self.later(generation, lambda: error(exception))

        if not self.adapters.get(adapter):
            return fail(BluezError("NotReady", f"adapter {adapter} is not powered"))
        if key in self.pending or self.find(*key):
            return fail(BluezError("AlreadyExists", f"{path} is already registered"))
        self.pending[key] = error

        def still_pending():
            return generation == self.generation and key in self.pending

        def on_reply(*answer):
            if not still_pending():
                return
            try:
                if kind == "application":
                    details = {"services": parse_application(str(path), answer[0])}
                else:
                    details = parse_advertisement(answer[0])
            except InvalidTree as problem:
                del self.pending[key]
                return fail(BluezError("InvalidArguments", str(problem)))
            self.later(generation, lambda: complete(details))

        def complete(details):
            if not still_pending():
                return
            del self.pending[key]
            self.registrations.append(
                {"kind": kind, "adapter": adapter, "sender": sender, "path": str(path),
                 **details})
            reply()

        def on_error(exception):
            if still_pending():
                del self.pending[key]
                fail(BluezError("Failed", f"reading {path} failed: {error_name(exception)}"))

        if kind == "application":
            self.daemon.call_async(sender, path, OBJECT_MANAGER, "GetManagedObjects", "", (),
                                   on_reply, on_error, timeout=APPLICATION_CALL_TIMEOUT_S)
        else:
            self.daemon.call_async(sender, path, PROPERTIES, "GetAll", "s", (ADVERTISEMENT,),
                                   on_reply, on_error, timeout=APPLICATION_CALL_TIMEOUT_S)

    def unregister(self, kind, adapter, sender, path):
        method = "UnregisterApplication" if kind == "application" else "UnregisterAdvertisement"
        self.calls[method] += 1
        registration = self.find(kind, adapter, sender, str(path))
        if registration is None:
            exception = BluezError("DoesNotExist", f"{path} is not registered")
            self.errors.append(
                f"{method} {path}: {exception.get_dbus_name()}: {exception.get_dbus_message()}")
            raise exception
        self.registrations.remove(registration)
        for service in registration.get("services", []):
            for characteristic in service["characteristics"]:
                self.notifying.discard((sender, characteristic["path"]))

    def properties_changed(self, interface, changed, invalidated, sender=None, path=None):
        if interface != GATT_CHARACTERISTIC or "Value" not in changed:
            return
        if (sender, path) not in self.notifying:
            return
        characteristic = self.find_characteristic_at(sender, path)
        if characteristic:
            self.notifications.append(
                {"uuid": characteristic["uuid"], "value": hex_text(changed["Value"])})

    # The central's side.

    def characteristics(self):
        for registration in self.registrations:
            for service in registration.get("services", []):
                for characteristic in service["characteristics"]:
                    yield registration["sender"], characteristic

    def find_characteristic_at(self, sender, path):
        for owner, characteristic in self.characteristics():
            if (owner, characteristic["path"]) == (sender, path):
                return characteristic
        return None

    def find_characteristic(self, uuid):
        for sender, characteristic in self.characteristics():
            if characteristic["uuid"].lower() == uuid.lower():
                return sender, characteristic
        raise ControlError("UnknownCharacteristic",
                           f"no registered application has a characteristic {uuid}")

    def att_options(self, offset=0, **extra):
        # bluetoothd leaves "offset" out when it is zero.
        options = {"device": dbus.ObjectPath("/org/bluez/hci0/dev_00_51_00_00_00_FF"),
                   "mtu": dbus.UInt16(ATT_MTU), "link": dbus.String("LE")}
        if offset:
            options["offset"] = dbus.UInt16(offset)
        options.update(extra)
        return dbus.Dictionary(options, signature="sv")

    def call_characteristic(self, uuid, method, signature, args, on_reply, reply):
        """Calls the application's characteristic; replies {"error": name} on failure."""
        sender, characteristic = self.find_characteristic(uuid)

        def on_error(exception):
            reply(json.dumps({"error": error_name(exception)}))

        self.daemon.call_async(sender, characteristic["path"], GATT_CHARACTERISTIC, method,
                               signature, args, on_reply, on_error,
                               timeout=APPLICATION_CALL_TIMEOUT_S, byte_arrays=True)
        return sender, characteristic

    def read(self, uuid, signature, args, reply):
        def on_reply(*answer):
            if len(answer) != 1 or not isinstance(answer[0], bytes):
                reply(json.dumps({"error": "org.quorla.MockBluez.Error.BadReply"}))
            else:
                reply(json.dumps({"value": hex_text(answer[0])}))

        self.call_characteristic(uuid, "ReadValue", signature, args, on_reply, reply)

    def state(self):
        def public(registration):
            return {k: v for k, v in registration.items() if k != "kind"}

        return json.dumps({
            "adapters": {name: {"powered": self.adapters[name]} for name in self.adapter_names()},
            "daemon": self.daemon is not None,
            "applications": [public(r) for r in self.registrations if r["kind"] == "application"],
            "advertisements": [public(r) for r in self.registrations
                               if r["kind"] == "advertisement"],
            "calls": self.calls,
            "notifications": self.notifications,
            "errors": self.errors,
        })


class Control(dbus.service.Object):
    def __init__(self, mock):
        super().__init__(mock.control, "/")
        self.mock = mock

    def require_daemon(self):
        if self.mock.daemon is None:
            raise ControlError("NotRunning", "the daemon is stopped")

    @dbus.service.method(CONTROL_INTERFACE, in_signature="sb")
    def AddAdapter(self, name, powered):
        self.mock.add_adapter(str(name), bool(powered))

    @dbus.service.method(CONTROL_INTERFACE, in_signature="s")
    def RemoveAdapter(self, name):
        self.mock.remove_adapter(str(name))

    @dbus.service.method(CONTROL_INTERFACE, in_signature="sb")
    def SetPowered(self, name, powered):
        self.mock.set_powered(str(name), bool(powered))

    @dbus.service.method(CONTROL_INTERFACE, async_callbacks=("reply", "error"))
    def StopDaemon(self, reply, error):
        self.require_daemon()
        self.mock.stop_daemon(reply)

    @dbus.service.method(CONTROL_INTERFACE)
    def StartDaemon(self):
        if self.mock.daemon is not None:
            raise ControlError("AlreadyRunning", "the daemon is running")
        self.mock.start_daemon()

    @dbus.service.method(CONTROL_INTERFACE, in_signature="u")
    def SetReplyDelay(self, milliseconds):
        self.mock.reply_delay_ms = int(milliseconds)

    @dbus.service.method(CONTROL_INTERFACE, out_signature="s")
    def State(self):
        return self.mock.state()

    @dbus.service.method(CONTROL_INTERFACE, in_signature="sq", out_signature="s",
                         async_callbacks=("reply", "error"))
    def ReadValue(self, uuid, offset, reply, error):
        self.require_daemon()
        self.mock.read(uuid, "a{sv}", (self.mock.att_options(offset),), reply)

    @dbus.service.method(CONTROL_INTERFACE, in_signature="say", out_signature="s",
                         async_callbacks=("reply", "error"), byte_arrays=True)
    def WriteValue(self, uuid, value, reply, error):
        self.require_daemon()
        options = self.mock.att_options(type=dbus.String("command"))
        self.mock.call_characteristic(uuid, "WriteValue", "aya{sv}",
                                      (dbus.ByteArray(bytes(value)), options),
                                      lambda *answer: reply("{}"), reply)

    @dbus.service.method(CONTROL_INTERFACE, in_signature="s", out_signature="s",
                         async_callbacks=("reply", "error"))
    def StartNotify(self, uuid, reply, error):
        self.require_daemon()
        sender, characteristic = self.mock.find_characteristic(uuid)
        key = (sender, characteristic["path"])
        if key in self.mock.notifying:
            return reply("{}")  # bluetoothd calls StartNotify for the first subscriber only
        # Subscribed from the moment the call goes out: a value the application emits
        # before its reply is delivered, as bluetoothd delivers it.
        self.mock.notifying.add(key)

        def on_reply(*answer):
            reply("{}")

        def on_error(answer):
            self.mock.notifying.discard(key)
            reply(answer)

        self.mock.call_characteristic(uuid, "StartNotify", "", (), on_reply, on_error)

    @dbus.service.method(CONTROL_INTERFACE, in_signature="s", out_signature="s",
                         async_callbacks=("reply", "error"))
    def StopNotify(self, uuid, reply, error):
        self.require_daemon()
        sender, characteristic = self.mock.find_characteristic(uuid)
        key = (sender, characteristic["path"])
        if key not in self.mock.notifying:
            raise ControlError("NotNotifying", f"{uuid} is not notifying")
        self.mock.notifying.discard(key)
        self.mock.call_characteristic(uuid, "StopNotify", "", (), lambda *answer: reply("{}"),
                                      reply)

    @dbus.service.method(CONTROL_INTERFACE, in_signature="ss", out_signature="s",
                         async_callbacks=("reply", "error"))
    def CallMalformed(self, uuid, kind, reply, error):
        self.require_daemon()
        if kind == "offset-type":
            options = self.mock.att_options()
            options["offset"] = dbus.String("1")
            self.mock.read(uuid, "a{sv}", (options,), reply)
        elif kind == "signature":
            self.mock.read(uuid, "", (), reply)
        else:
            raise ControlError("InvalidArguments",
                               f"unknown kind {kind!r}: use offset-type or signature")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bus", help="address of the private bus to serve on")
    parser.add_argument("--ready-fd", type=int,
                        help="file descriptor to write 'ready' to once both names are owned")
    arguments = parser.parse_args()
    if not arguments.bus:
        print("mock_bluez.py: refusing to start without --bus ADDRESS: it serves only a "
              "private bus, never the system bus", file=sys.stderr)
        return 2
    if any(socket in arguments.bus for socket in SYSTEM_BUS_SOCKETS):
        print(f"mock_bluez.py: refusing to serve the system bus ({arguments.bus})",
              file=sys.stderr)
        return 2

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    mock = Mock(arguments.bus)
    Control(mock)
    result = mock.control.request_name(CONTROL_NAME, dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
    if result != dbus.bus.REQUEST_NAME_REPLY_PRIMARY_OWNER:
        print(f"mock_bluez.py: {CONTROL_NAME} is owned by someone else", file=sys.stderr)
        return 1
    mock.start_daemon()
    if arguments.ready_fd is not None:
        os.write(arguments.ready_fd, b"ready\n")
        os.close(arguments.ready_fd)
    GLib.MainLoop().run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
