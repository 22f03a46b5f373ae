"""The virtual Bluetooth lab's radio, inside the guest: a system bus, two emulated LE
controllers (btvirt), one bluetoothd and btmon, and the child processes that use them.
Both the interactive lab (lab/console.py) and the tests (tests/lab/scenarios.py) stand on it.
"""

import os
import re
import struct
import subprocess
import threading
import time

WORK = '/run/work'
OUT = WORK + '/out'
CONFIG = dict(line.split('=', 1) for line in open(WORK + '/config').read().split('\n') if '=' in line)
AGENT = CONFIG['agent']
REMOTE = os.path.join(os.path.dirname(AGENT), 'quorla-remote')
TOOLS = CONFIG['tools']
MAIN_CONF = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'main.conf')

PERIPHERAL = '00:AA:01:00:00:00'  # btvirt's first controller, hci0
CENTRAL = '00:AA:01:01:00:01'  # its second, hci1
CENTRAL_INDEX = 1
ACL_TX, ACL_RX = 4, 5  # btmon's opcodes of ACL data sent and received by a controller
ATT_CHANNEL, FIRST_CREDIT_BASED_CHANNEL = 0x0004, 0x0040

TERMINAL_CODES = re.compile(r'\x1b\[[0-9;?]*[A-Za-z]|[\x01\x02\r]')
STARTED = time.monotonic()


class Failure(Exception):
    pass


def trace(text):
    print(f'[{time.monotonic() - STARTED:7.2f}] {text}', flush=True)


def wait_for(condition, timeout, what, step=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f'no {what} within {timeout:g} s')
        time.sleep(step)


class Process:
    """A child whose output is logged to out/NAME.log and can be waited on; commands go to
    its stdin one line at a time, the pipe staying open between them."""

    def __init__(self, name, argv, stdin=True, on_line=None, env=None):
        self.name = name
        self.on_line = on_line
        self.log = open(f'{OUT}/{name}.log', 'ab', buffering=0)
        self.log.write(f'--- [{time.monotonic() - STARTED:.2f}] {" ".join(argv)}\n'.encode())
        self.proc = subprocess.Popen(
            argv, stdin=subprocess.PIPE if stdin else subprocess.DEVNULL,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
        self.text = ''
        self.closed = False
        self.cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        pending = ''
        while True:
            data = os.read(self.proc.stdout.fileno(), 65536)
            if not data:
                break
            self.log.write(data)
            text = TERMINAL_CODES.sub('', data.decode(errors='replace'))
            with self.cond:
                self.text += text
                self.cond.notify_all()
            if self.on_line:
                *lines, pending = (pending + text).split('\n')
                for line in lines:
                    self.on_line(line)
        with self.cond:
            self.closed = True
            self.cond.notify_all()

    def mark(self):
        with self.cond:
            return len(self.text)

    def send(self, line):
        if self.proc.poll() is not None:
            return
        self.log.write(f'>>> [{time.monotonic() - STARTED:.2f}] {line}\n'.encode())
        self.proc.stdin.write((line + '\n').encode())
        self.proc.stdin.flush()

    def expect(self, pattern, timeout, since=0, what=None):
        """The first match of pattern in the output from position since on, waiting for
        it at most timeout seconds."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                match = regex.search(self.text, since)
                if match:
                    return match
                left = deadline - time.monotonic()
                if left <= 0 or self.closed:
                    ended = ' (it exited)' if self.closed else ''
                    raise Failure(f'{self.name}: no {what or repr(pattern)} within '
                                  f'{timeout:g} s{ended}')
                self.cond.wait(left)

    def running(self):
        return self.proc.poll() is None

    def stop(self, timeout=5):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        return self.proc.returncode


def run(argv, timeout=30):
    return subprocess.run(argv, capture_output=True, text=True, timeout=timeout)


# --- BlueZ over D-Bus, through dbus-send -------------------------------------------

def bluez_objects():
    result = run(['dbus-send', '--system', '--print-reply', '--dest=org.bluez', '/',
                  'org.freedesktop.DBus.ObjectManager.GetManagedObjects'])
    return result.stdout if result.returncode == 0 else ''


def adapter_property(adapter, name):
    result = run(['dbus-send', '--system', '--print-reply', '--dest=org.bluez',
                  f'/org/bluez/{adapter}', 'org.freedesktop.DBus.Properties.Get',
                  'string:org.bluez.Adapter1', f'string:{name}'])
    match = re.search(r'variant\s+\S+\s+(.*)', result.stdout)
    return match.group(1).strip().strip('"') if match else None


def power(adapter, on=True):
    run(['dbus-send', '--system', '--print-reply', '--dest=org.bluez', f'/org/bluez/{adapter}',
         'org.freedesktop.DBus.Properties.Set', 'string:org.bluez.Adapter1', 'string:Powered',
         f'variant:boolean:{"true" if on else "false"}'])


def adapters_ready():
    objects = bluez_objects()
    if not all(f'"/org/bluez/{a}"' in objects for a in ('hci0', 'hci1')):
        return False
    for adapter in ('hci0', 'hci1'):
        if adapter_property(adapter, 'Powered') != 'true':
            power(adapter)
            return False
    return True


class Radio:
    """The system bus, the two emulated controllers, bluetoothd and btmon."""

    def __init__(self):
        for name in ('rmem_default', 'rmem_max'):  # btmon drops packets with the defaults
            with open(f'/proc/sys/net/core/{name}', 'w') as f:
                f.write(str(8 << 20))
        modprobe = subprocess.Popen(['modprobe', 'hci_vhci'], stderr=subprocess.PIPE, text=True)
        os.makedirs('/run/dbus', exist_ok=True)
        self.dbus = Process('dbus-daemon', ['dbus-daemon', '--system', '--nofork', '--nopidfile'],
                            stdin=False)
        wait_for(lambda: os.path.exists('/run/dbus/system_bus_socket'), 30, 'system bus')
        if modprobe.wait(30):
            raise Failure(f'modprobe hci_vhci: {modprobe.stderr.read().strip()}')
        self.capture = OUT + '/btmon.snoop'
        self.btmon = Process('btmon', ['btmon', '-w', self.capture], stdin=False)
        wait_for(lambda: os.path.exists(self.capture), 30, 'btmon capture')
        self.btvirt = self.bluetoothd = None
        trace('bus and btmon up')
        self.start_controllers()

    def start_controllers(self):
        # Under load a vhci controller sometimes fails to start (its reset times out);
        # it then never shows up on D-Bus, and a fresh pair of controllers is the cure.
        for attempt in range(1, 4):
            self.btvirt = Process('btvirt', [TOOLS + '/btvirt', '-l2'], stdin=False)
            wait_for(lambda: len(os.listdir('/sys/class/bluetooth')) >= 2, 20, 'controllers')
            self.start_bluetoothd()
            try:
                wait_for(adapters_ready, 30, 'powered hci0 and hci1 on D-Bus', step=0.3)
                address = adapter_property('hci0', 'Address')
                if address != PERIPHERAL:
                    raise Failure(f'hci0 has address {address}, not {PERIPHERAL}')
                trace(f'controllers up (attempt {attempt})')
                return
            except Failure as failure:
                trace(f'controllers attempt {attempt}: {failure}')
                self.bluetoothd.stop()
                self.btvirt.stop()
                wait_for(lambda: not os.listdir('/sys/class/bluetooth'), 10, 'controllers gone')
        raise Failure('the emulated controllers did not come up in 3 attempts')

    def start_bluetoothd(self):
        self.bluetoothd = Process('bluetoothd', ['/usr/libexec/bluetooth/bluetoothd', '-n', '-d',
                                                 '-f', MAIN_CONF], stdin=False)

    def restart_bluetoothd(self):
        code = self.bluetoothd.stop()
        trace(f'bluetoothd stopped ({code})')
        self.start_bluetoothd()
        wait_for(adapters_ready, 20, 'powered hci0 and hci1 after the restart', step=0.3)

    def forget_devices(self, adapter=r'hci\d+'):
        """Removes the devices BlueZ knows on the adapters matching adapter, their bonds with
        them."""
        for path in set(re.findall(rf'object path "(/org/bluez/{adapter})/(dev_[0-9A-F_]+)"',
                                   bluez_objects())):
            run(['dbus-send', '--system', '--print-reply', '--dest=org.bluez', path[0],
                 'org.bluez.Adapter1.RemoveDevice', f'objpath:{path[0]}/{path[1]}'])

    def close(self):
        """Forgets every device before bluetoothd stops: a guest kernel once oopsed at
        teardown with a link still up."""
        self.forget_devices()
        for process in (self.bluetoothd, self.btvirt, self.btmon, self.dbus):
            process.stop()

    def att_pdus(self, index, since=0):
        """(seconds, ACL_TX or ACL_RX, ATT PDU) of what controller index sent and received
        over ATT, on the fixed channel or an enhanced one (whose frames start with the SDU
        length), from record since on."""
        found = []
        for i, opcode, stamp, packet in self.records(with_time=True)[since:]:
            if i != index or opcode not in (ACL_TX, ACL_RX) or len(packet) < 9:
                continue
            channel = struct.unpack_from('<H', packet, 6)[0]
            if channel == ATT_CHANNEL:
                found.append((stamp, opcode, packet[8:]))
            elif channel >= FIRST_CREDIT_BASED_CHANNEL and len(packet) > 10:
                found.append((stamp, opcode, packet[10:]))
        return found

    def records(self, with_time=False):
        """The capture's records as (controller index, opcode, packet), or with_time as
        (controller index, opcode, seconds, packet)."""
        with open(self.capture, 'rb') as f:
            data = f.read()
        records = []
        position = 16  # past the file header
        while position + 24 <= len(data):
            _, length, flags, _, stamp = struct.unpack('>IIIIq', data[position:position + 24])
            if position + 24 + length > len(data):
                break
            packet = data[position + 24:position + 24 + length]
            records.append((flags >> 16, flags & 0xFFFF, stamp / 1e6, packet) if with_time
                           else (flags >> 16, flags & 0xFFFF, packet))
            position += 24 + length
        return records


