#!/usr/bin/python3
"""The adapter's tests on the real stack, run in the virtual lab's guest by tests/lab/run.sh.

The agent is the peripheral on hci0 and BlueZ's own tools (bluetoothctl, btgatt-client) or
quorla-remote are the central on hci1; one line per scenario goes to out/results. Every
check is made on what the central receives: advertising reports from the controller, GATT
discovery, read values and notifications.
"""

import itertools
import os
import re
import struct
import subprocess
import time
import uuid

from radio import (ACL_TX, AGENT, CENTRAL_INDEX, CONFIG, OUT, PERIPHERAL, REMOTE, TOOLS, Failure,
                   run, Process, Radio, adapter_property, adapters_ready, power, trace,
                   wait_for)

NAMESPACE = uuid.UUID('1CDC9855-5713-4F64-B799-4AB82DC6D1C8')
# The status, then the microphone, camera, hand and view requests.
CHARACTERISTICS = [uuid.UUID(u) for u in (
    'E826E5D9-D84F-4BC0-A8E7-EE71933B7C30', '9544CC4B-AE2B-4D23-9988-91F785B4EBE0',
    '416E2079-70BE-4BE1-8DF2-429652F50C67', 'B6B279AB-E82F-4CA7-A083-1B3B6F08280B',
    '51E0B506-C88A-414E-9603-DABC63EBB6BA')]
READ_WRITE_WITHOUT_RESPONSE_NOTIFY = 0x02 | 0x04 | 0x10
ATT_ERROR_RESPONSE = 0x01
POLL_INTERVAL = 3.0
SIG_BASE = '-0000-1000-8000-00805f9b34fb'  # services of bluetoothd's own (GAP, GATT, ...)
NUMBERS = itertools.count(1)  # of the centrals' logs

# --- What the central's controller received ----------------------------------------

EVENT_PACKET = 3
LE_META_EVENT = b'\x3e'
EXTENDED_ADVERTISING_REPORT = 0x0D


def advertising_reports(records, sender):
    """(is scan response, advertising data) of every LE extended advertising report from
    sender that the central's controller passed up: btvirt's controllers scan with the
    extended commands, so legacy reports never come."""
    address = bytes.fromhex(sender.replace(':', ''))[::-1]
    reports = []
    for index, opcode, packet in records:
        if (index, opcode) != (CENTRAL_INDEX, EVENT_PACKET) or packet[:1] != LE_META_EVENT \
                or len(packet) < 4 or packet[2] != EXTENDED_ADVERTISING_REPORT:
            continue
        position = 4
        for _ in range(packet[3]):
            kind = struct.unpack_from('<H', packet, position)[0]
            length = packet[position + 23]
            data = bytes(packet[position + 24:position + 24 + length])
            if packet[position + 3:position + 9] == address:
                reports.append((bool(kind & 0x08), data))
            position += 24 + length
    return reports


COMMAND_PACKET = 2
LE_SET_EXTENDED_ADVERTISING_PARAMETERS = 0x2036


def advertising_sets(records, index):
    """The handles of the advertising sets that bluetoothd set up on a controller: one per
    advertisement registered with it."""
    return {packet[3] for i, opcode, packet in records
            if i == index and opcode == COMMAND_PACKET and len(packet) > 3
            and struct.unpack_from('<H', packet)[0] == LE_SET_EXTENDED_ADVERTISING_PARAMETERS}


def check_advertisement(reports, service):
    """The advertisement carries bluetoothd's flags and the one service UUID, in a complete
    list of 128-bit UUIDs, nothing else; a scan response carries nothing."""
    problems = set()
    for scan_response, data in reports:
        structures, position = [], 0
        while position < len(data) and data[position]:
            length = data[position]
            structures.append((data[position + 1], data[position + 2:position + 1 + length]))
            position += 1 + length
        ours = [(kind, value) for kind, value in structures if kind != 0x01 or scan_response]
        if ours != ([] if scan_response else [(0x07, service.bytes[::-1])]):
            problems.add(f'{"scan response" if scan_response else "advertisement"} {data.hex()}')
    return sorted(problems)


# --- The central ----------------------------------------------------------------------

class GattClient:
    """btgatt-client on hci1 connected to the peripheral, with the services it discovered."""
    SERVICE = re.compile(r'service - start: 0x([0-9a-f]{4}), end: 0x([0-9a-f]{4}), '
                         r'type: (\w+), uuid: ([0-9a-f-]{36})')
    CHARACTERISTIC = re.compile(r'charac - start: 0x([0-9a-f]{4}), value: 0x([0-9a-f]{4}), '
                                r'props: 0x([0-9a-f]{2}), ext_props: 0x([0-9a-f]{4}), '
                                r'uuid: ([0-9a-f-]{36})')

    def __init__(self):
        self.tool = Process(f'btgatt-client-{next(NUMBERS)}',
                            [TOOLS + '/btgatt-client', '-i', 'hci1', '-d', PERIPHERAL,
                             '-t', 'public'])
        try:
            self.discover()
        except Failure:
            self.tool.stop()
            raise

    def discover(self):
        done = self.tool.expect(r'GATT discovery procedures (complete|failed[^\n]*)', 40,
                                what='GATT discovery')
        if done.group(1) != 'complete':
            raise Failure(f'GATT discovery {done.group(1)}')
        listing = self.tool.expect(r'service - [\s\S]*?\n\[GATT client\]# ', 10, done.end(),
                                   what='service listing')
        self.services = []  # (uuid, primary, [(uuid, value handle, properties)])
        for line in listing.group(0).splitlines():
            if m := self.SERVICE.search(line):
                self.services.append((uuid.UUID(m.group(4)), m.group(3) == 'primary', []))
            elif (m := self.CHARACTERISTIC.search(line)) and self.services:
                self.services[-1][2].append(
                    (uuid.UUID(m.group(5)), int(m.group(2), 16), int(m.group(3), 16)))

    def write_command(self, handle, value):
        since = self.tool.mark()
        self.tool.send(f'write-value -w 0x{handle:04x} 0x{value:02x}')
        self.tool.expect(r'Write command sent', 10, since, what='the Write Command sent')

    def close(self, radio):
        """Ends it and waits for the central's controller to report the link down: a
        central connecting while the kernel still tears that link down loses its own."""
        count = len(radio.records())
        self.tool.stop()
        wait_for(lambda: any(i == CENTRAL_INDEX and op == EVENT_PACKET and p[:1] == b'\x05'
                             for i, op, p in radio.records()[count:]),
                 10, 'the disconnection on hci1')


# --- The agent --------------------------------------------------------------------------

class Agent:
    """The agent under test on hci0, its console on stdin."""
    failed = {}

    def __init__(self, record_name, *options, adapter='hci0', name=None):
        self.record_name = record_name
        self.service = uuid.uuid5(NAMESPACE, record_name) if record_name else None
        naming = ['--record-name', record_name] if record_name else []
        choice = ['--adapter', adapter] if adapter else []
        self.process = Process(f'agent-{name or record_name}', [AGENT, *naming, *choice, *options])

    def expect(self, pattern, timeout=20, since=0):
        return self.process.expect(pattern, timeout, since)

    def command(self, line):
        self.process.send(line)

    def close(self):
        """Quits the agent through its console; an agent that does not leave BlueZ and end
        with status 0 (a crash on the way out, say) is a failure of the run, whatever its
        scenario saw."""
        if self.process.running():
            self.process.send('quit')
            try:
                self.process.proc.wait(10)
            except subprocess.TimeoutExpired:
                trace(f'{self.process.name} did not quit within 10 s')
                self.process.stop()
        status = self.process.proc.returncode
        trace(f'{self.process.name} ended with {status}')
        wait_for(lambda: self.process.closed, 5, 'end of its output')
        if status != 0 or 'nothing of ours is registered with BlueZ any more' not in \
                self.process.text:
            Agent.failed[self.process.name] = status


# --- Scenarios ----------------------------------------------------------------------

def ended(process, timeout):
    """The exit status of a process that ends within timeout, once all its output is in;
    one that does not is stopped, and a failure."""
    try:
        status = process.proc.wait(timeout)
    except subprocess.TimeoutExpired:
        process.stop()
        raise Failure(f'{process.name} still running after {timeout} s')
    wait_for(lambda: process.closed, 5, 'end of its output')
    return status


def remote(*arguments):
    """quorla-remote on hci1."""
    return Process(f'remote-{next(NUMBERS)}', [REMOTE, '--adapter', 'hci1', *arguments],
                   stdin=False)


def one_shot(record_name, *arguments, timeout=90):
    """Runs quorla-remote to its end: (exit status, output, seconds it took)."""
    started = time.monotonic()
    process = remote('--record-name', record_name, *arguments)
    status = ended(process, timeout)
    return status, process.text, time.monotonic() - started


STATUS = re.compile(r'status 0x([0-9A-F]{2}) ')
PAIRING_LINE = "the agent requires pairing; run 'quorla-remote pair' first"


def expect_shown(record_name, wanted, *command):
    """quorla-remote's command ends with 0 and shows one status byte, the one wanted."""
    status, text, _ = one_shot(record_name, *command)
    values = STATUS.findall(text)
    if status != 0 or values != [f'{wanted:02X}']:
        raise Failure(f'{" ".join(command)}: exit {status}, wanted {wanted:02X}, '
                      f'said {text[-300:]!r}')


def expect_refused(record_name):
    status, text, _ = one_shot(record_name, 'status')
    if status != 1 or PAIRING_LINE not in text:
        raise Failure(f'remote status: exit {status}, said {text[-200:]!r}')


def check_passes(record_name, *skipped):
    """quorla-remote check ends with 0, every check that ran passed, the skipped ones say why."""
    status, text, took = one_shot(record_name, 'check', timeout=150)
    failed = re.findall(r'^failed .*', text, re.M)
    missing = [name for name in skipped if f'skipped  {name}: the client is in no meeting'
               not in text]
    if status != 0 or failed or missing or not re.search(r'^\d+ passed, 0 failed$', text, re.M):
        raise Failure(f'check: exit {status}, {failed or missing}, said {text[-400:]!r}')
    return text, took


class Run:
    def __init__(self):
        self.radio = None
        self.results = open(OUT + '/results', 'a', buffering=1)

    def scenario(self, name, body):
        started = time.monotonic()
        trace(f'scenario {name}')
        try:
            detail = body() or ''
            line = f'PASS  {name}'
        except Exception as error:  # a harness fault too has to end in a result line
            detail = str(error) if isinstance(error, Failure) else f'{type(error).__name__}: {error}'
            line = f'FAIL  {name}'
        self.record(line + f' ({time.monotonic() - started:.1f} s)' +
                    (f': {detail}' if detail else ''))

    def record(self, line):
        print(line, flush=True)
        self.results.write(line + '\n')

    def published(self):
        """An agent with the client running but in no meeting, found, read and published
        again after what makes BlueZ forget it."""
        count = len(self.radio.records())
        agent = Agent('ble-idle', '--client', 'running')

        def found_once(after):
            """Found by a fresh scan in one advertising set that carries the service alone,
            and read by a remote that refuses anything but one service of ours."""
            took = time.monotonic()
            expect_shown(agent.record_name, 0xE0, 'status')
            # btmon writes its capture behind; the scan's reports come after the set-up.
            reports = wait_for(lambda: advertising_reports(self.radio.records()[count:],
                                                           PERIPHERAL),
                               10, 'advertising report in the capture')
            problems = check_advertisement(reports, agent.service)
            sets = advertising_sets(self.radio.records()[count:], 0)
            if problems or len(sets) != 1:
                raise Failure(f'after {after}: {len(sets)} advertising sets on hci0; ' +
                              '; '.join(problems))
            return f'found and read in {time.monotonic() - took:.1f} s'

        def check_outside():
            check_passes(agent.record_name, 'microphone', 'camera', 'view', 'hand', 'latency')

        def bluetoothd_restart():
            nonlocal count
            count = len(self.radio.records())
            self.radio.restart_bluetoothd()
            return found_once('the restart')

        def power_cycle():
            nonlocal count
            count = len(self.radio.records())
            since = agent.process.mark()
            power('hci0', False)
            agent.expect(r'adapter hci0 is powered off', 10, since)
            power('hci0', True)
            agent.expect(r'advertisement registered on hci0', 10, since)
            return found_once('the power cycle')

        try:
            agent.expect(r'advertisement registered on hci0')
            for name, body in (
                    ('discovery: a scan for the record name\'s service finds only it, once',
                     lambda: found_once('the start')),
                    ('bluetoothd restarted: published again, found by a fresh scan, once',
                     bluetoothd_restart),
                    ('radio power cycle: published again, found by a fresh scan, once',
                     power_cycle),
                    ('remote check outside a meeting: the request checks skipped, saying why',
                     check_outside)):
                self.scenario(name, body)
        finally:
            agent.close()


def bluetoothd_log(pattern):
    with open(OUT + '/bluetoothd.log', errors='replace') as log:
        return re.findall(pattern, log.read())


def call_agent(bus_name, path, method, *arguments):
    """A call from a root process on a connection of its own straight to the agent's
    objects: its answer as gdbus prints it."""
    result = run(['gdbus', 'call', '--system', '--dest', bus_name, '--object-path', path,
                  '--method', method, *arguments])
    return (result.stdout + result.stderr).strip()


class Group:
    """Scenarios that share the run and, some of them, one agent."""

    def __init__(self, run_):
        self.run = run_
        self.agent = None


class Adapters(Group):
    """Which controller the agent publishes on as controllers come and go. A second btvirt
    adds hci2 on an air of its own; the agent's trace shows where BlueZ took the
    registrations, since the central cannot hear hci2."""
    extra = None  # the btvirt of hci2

    def add_hci2(self):
        self.extra = Process('btvirt-extra', [TOOLS + '/btvirt', '-l1'], stdin=False)
        wait_for(lambda: os.path.exists('/sys/class/bluetooth/hci2'), 20, 'hci2')
        wait_for(lambda: power('hci2') or adapter_property('hci2', 'Powered') == 'true', 20,
                 'hci2 powered', step=0.5)

    def remove_hci2(self):
        if self.extra:
            self.extra.stop()
            wait_for(lambda: not os.path.exists('/sys/class/bluetooth/hci2'), 10, 'hci2 gone')

    def coming_and_going(self):
        """An agent that asked for hci2 and one that asked for none, as hci2 goes and comes
        back, then hci0 and hci1 go away together (one btvirt holds both) and come back."""
        radio, asked = self.run.radio, None
        chooser = Agent('ble-takeover', adapter=None, name='takeover')
        try:
            chooser.expect(r'advertisement registered on hci0')
            self.add_hci2()
            asked = Agent('ble-hci2', adapter='hci2', name='hci2')
            asked.expect(r'advertisement registered on hci2')
            since = asked.process.mark()
            self.remove_hci2()
            asked.expect(r'no Bluetooth adapter hci2', 10, since)
            self.add_hci2()
            asked.expect(r'application registered on hci2', 20, since)
            asked.expect(r'advertisement registered on hci2', 20, since)
            if re.search(r'registered on hci[01]', asked.process.text):
                raise Failure('registered on a controller other than the one asked for')
            since = chooser.process.mark()
            radio.btvirt.stop()
            chooser.expect(r'advertisement registered on hci2', 20, since)
            since = chooser.process.mark()
            radio.btvirt = Process('btvirt', [TOOLS + '/btvirt', '-l2'], stdin=False)
            wait_for(lambda: adapters_ready(), 30, 'hci0 and hci1 back', step=0.5)
            chooser.expect(r'advertisement registered on hci0', 20, since)
        finally:
            for agent in filter(None, (chooser, asked)):
                agent.close()
            self.remove_hci2()

    def scenarios(self):
        self.run.scenario('--adapter hci2 among three: published there, gone with it, back '
                          'with it; without --adapter, another powered controller takes over '
                          'when the one in use goes away, and hci0 again once back',
                          self.coming_and_going)


class Lifecycle(Group):
    """How the agent copes with a BlueZ that refuses, stalls or is called the wrong way."""

    def callers_other_than_bluetoothd(self):
        """Release, StopNotify and WriteValue from a second connection are refused and change
        nothing: the subscribed remote is still notified, the request is not carried out, and
        SIGTERM, even while bluetoothd is stopped, still unregisters the advertisement
        first. (Which signals end the run the same way is the event loop's test.)"""
        agent = Agent('ble-callers', '--client', 'meeting', '--mic', 'off', '--camera', 'off',
                      name='callers')
        watcher = remote('--record-name', 'ble-callers', 'watch')
        unregistered = r'unregister_advertisement\(\) UnregisterAdvertisement'
        try:
            agent.expect(r'advertisement registered on hci0')
            watcher.expect(r'status 0xE8 ', 90, what='E8 on subscribing')
            bus_name = bluetoothd_log(r'Registering application: (:[0-9.]+):/org/quorla')[-1]
            since, before = agent.process.mark(), len(bluetoothd_log(unregistered))
            path = '/org/quorla/application/service0/char'
            answers = [call_agent(bus_name, *call) for call in (
                ('/org/quorla/advertisement', 'org.bluez.LEAdvertisement1.Release'),
                (path + '0', 'org.bluez.GattCharacteristic1.StopNotify'),
                (path + '1', 'org.bluez.GattCharacteristic1.WriteValue', '[byte 0x31]', '{}'))]
            if any('org.bluez.Error.NotPermitted' not in a for a in answers):
                raise Failure(f'answers {answers}')
            watched = watcher.mark()
            agent.command('mic')  # the client's own user unmutes: notified as EA
            watcher.expect(r'status 0xEA ', 2 * POLL_INTERVAL, watched, what='EA after mic')
            bluetoothd = self.run.radio.bluetoothd.proc.pid
            os.kill(bluetoothd, 19)  # SIGSTOP: BlueZ answers nothing for a moment
            try:
                agent.process.proc.terminate()
                time.sleep(0.8)
                if not agent.process.running():
                    raise Failure('the agent exited before BlueZ answered its unregistrations')
            finally:
                os.kill(bluetoothd, 18)  # SIGCONT
            status, said = ended(agent.process, 10), agent.process.text[since:]
            # gdbus connects anew for each call: three senders, a line each.
            lines = len(re.findall(r'bluez: refused \w+ from :', said))
            unregistrations = len(bluetoothd_log(unregistered)) - before
            if status or 'request:' in said or lines != 3 or unregistrations != 1:
                raise Failure(f'exit {status}, {unregistrations} unregistrations; said {said!r}')
            return 'refused, a line per sender; still notified; unregistered at SIGTERM'
        finally:
            watcher.stop()
            agent.close()

    def refused_for_a_while(self):
        """The emulated controller has three advertising sets; agents are started until
        BlueZ refuses one, which must be registered once a set is free again, asked again
        after a growing delay and reporting that kind of failure once."""
        agents = []
        try:
            while len(agents) < 5:
                agent = Agent(f'ble-fill{len(agents)}', name=f'fill{len(agents)}')
                agents.append(agent)
                outcome = agent.expect(r'advertisement registered|RegisterAdvertisement failed')
                if outcome.group(0) != 'advertisement registered':
                    break
            else:
                raise Failure('BlueZ registered every advertisement; nothing was refused')
            refused = agents[-1]
            time.sleep(3)  # long enough for a retry or two, still refused
            calls = len(bluetoothd_log(r'register_advertisement\(\) RegisterAdvertisement'))
            agents[0].close()
            refused.expect(r'advertisement registered on hci0', 70)
            retried = len(bluetoothd_log(r'register_advertisement\(\) RegisterAdvertisement'))
            reports = refused.process.text.count('RegisterAdvertisement failed')
            if reports != 1 or retried <= calls:
                raise Failure(f'{reports} failure lines, {retried - calls} calls after a set '
                              'was freed')
            return f'{len(agents) - 1} sets taken; registered once one was freed'
        finally:
            for agent in agents:
                agent.close()

    def scenarios(self):
        for name, body in (
                ('a refused advertisement is asked for again until BlueZ takes it',
                 self.refused_for_a_while),
                ("Release, StopNotify and WriteValue from another connection than bluetoothd's "
                 'are refused and change nothing; SIGTERM while bluetoothd is stopped still '
                 'unregisters everything first', self.callers_other_than_bluetoothd)):
            self.run.scenario(name, body)


class Remote(Group):
    """quorla-remote on hci1 as the companion: checks the agent against the whole contract over
    the air in a meeting (outside one is the published agent's story), sets a state that is
    already set, and checks a peripheral that breaks the contract. (Watching is the paired
    stories'; which BlueZ call comes next is the connection's table test.)"""

    STAMPED = r'\d\d:\d\d:\d\d\.\d{3} status 0x'

    def in_meeting(self):
        since = self.agent.process.mark()
        text, took = check_passes('ble-remote')
        hands = self.agent.process.text[since:].count('request: toggleHand')
        if 'latency: write to notification over 20 round trips' not in text or hands != 2:
            raise Failure(f'{hands} hand requests carried out; said {text[-300:]!r}')
        since = self.agent.process.mark()
        status, text, _ = one_shot('ble-remote', 'mic', 'off')
        if status != 0 or 'mic is already off' not in text or \
                'request:' in self.agent.process.text[since:]:
            raise Failure(f'mic off when off: exit {status}, said {text[-200:]!r}')
        return f'check passed in {took:.0f} s; mic off when off wrote nothing'

    def broken(self):
        """BlueZ's own bluetoothctl on hci0 publishes the service of another record name with
        a microphone characteristic that cannot be written without response, found afresh."""
        self.agent.close()
        self.run.radio.forget_devices('hci1')
        service, peripheral = uuid.uuid5(NAMESPACE, 'ble-broken'), Process('bluetoothctl',
                                                                          ['bluetoothctl'])
        try:
            for line in (f'gatt.register-service {service}', 'yes', *itertools.chain(*(
                    (f'gatt.register-characteristic {u} read,{"" if i == 1 else "write-without-response,"}notify',
                     '0xe8') for i, u in enumerate(CHARACTERISTICS))),
                    'gatt.register-application', f'advertise.uuids {service}', 'advertise on'):
                peripheral.send(line)
                time.sleep(0.3)  # it asks for the next answer once the last is taken
            peripheral.expect(r'Advertising object registered', 20, what='its advertisement')
            status, text, _ = one_shot('ble-broken', 'check')
            if status != 1 or f'failed   layout: the microphone characteristic ' \
                    f'{str(CHARACTERISTICS[1]).upper()} has the flags read, notify, not ' not in text:
                raise Failure(f'check: exit {status}, said {text[-400:]!r}')
        finally:
            peripheral.send('quit')
            peripheral.stop()

    def scenarios(self):
        self.agent = Agent('ble-remote', '--client', 'meeting', '--mic', 'off', '--camera', 'off')
        try:
            self.agent.expect(r'advertisement registered on hci0')
            self.agent.expect(r'value E8 kept|sent E8')
            for name, body in (
                    ('remote check in a meeting: every check passes and the state is left as '
                     'found; mic off when off writes nothing', self.in_meeting),
                    ('remote check against a peripheral that breaks the contract: the failing '
                     'line, exit 1', self.broken)):
                self.run.scenario(name, body)
        finally:
            self.agent.close()


class Pairing(Group):
    """An agent that lets only paired companions in. The remote on hci1 pairs through an
    agent of its own, which BlueZ asks for that side; the agent's console decides for hci0.
    Both sides' bonds are forgotten at the end, so that later centrals start unpaired."""

    PROMPT = r'pairing: 00:AA:01:01:00:01 on hci0 asks to pair with passkey (\d{6})'

    def start(self, *options):
        self.agent = Agent('ble-paired', '--client', 'meeting', *options)
        self.agent.expect(r'advertisement registered on hci0')
        self.agent.expect(r'value E8 kept|sent E8')

    def refused(self):
        """The remote's one line, after the agent answered it with Insufficient Encryption;
        then a Write Command of "1" to the microphone is dropped by the stack."""
        radio = self.run.radio
        count = len(radio.records())
        expect_refused('ble-paired')
        errors = wait_for(lambda: [pdu[4] for _, direction, pdu in radio.att_pdus(0, count)
                                   if direction == ACL_TX and pdu[0] == ATT_ERROR_RESPONSE],
                          10, 'an ATT error response from hci0')
        if 0x0F not in errors:
            raise Failure(f'ATT errors sent: {[hex(e) for e in errors]}')
        gatt = GattClient()
        try:
            ours = [s for s in gatt.services if s[0] == self.agent.service][0][2]
            # BlueZ declares Write too when writes need encryption.
            if [p for _, _, p in ours] != [READ_WRITE_WITHOUT_RESPONSE_NOTIFY | 0x08] * 5:
                raise Failure(f'properties {[hex(p) for _, _, p in ours]}')
            since = self.agent.process.mark()
            gatt.write_command(ours[1][1], ord('1'))
            time.sleep(2)
            self.agent.command('status')
            self.agent.expect(r'status: 0xE8\n', 5, since)
            if 'request:' in self.agent.process.text[since:]:
                raise Failure('the Write Command reached the agent')
        finally:
            gatt.close(radio)
        return 'remote refused in one line after 0x0F, Write Command dropped'

    def pair(self, answer):
        """quorla-remote pair, answered at the console once both sides show one passkey."""
        since = self.agent.process.mark()
        pairing = remote('--record-name', 'ble-paired', 'pair')
        passkey = self.agent.expect(self.PROMPT, 60, since).group(1)
        pairing.expect(rf'the passkey is {passkey};', 10, what='the same passkey on the phone')
        if answer:
            self.agent.command(answer)
        status = ended(pairing, 60)
        return status, pairing.text

    def rejected(self):
        for answer in ('pair-reject', None):  # None: nobody answers
            status, text = self.pair(answer)
            if status != 1 or 'failed' not in text:
                raise Failure(f'pair: exit {status} after {answer}; said {text[-200:]!r}')
        self.agent.expect(r'pairing: no answer in time; rejected 00:AA:01:01:00:01', 1)
        status, text, _ = one_shot('ble-paired', 'check')
        if status != 1 or 'failed   access: the agent requires pairing' not in text:
            raise Failure(f'check: exit {status}, said {text[-200:]!r}')

    def accepted(self):
        """pair shows the status once paired, as status would."""
        status, text = self.pair('pair-accept')
        if status != 0 or 'paired with 00:AA:01:00:00:00' not in text or 'status 0xE8' not in text:
            raise Failure(f'pair: exit {status} after pair-accept; said {text[-300:]!r}')
        expect_shown('ble-paired', 0xEA, 'mic', 'on')
        watcher = remote('--record-name', 'ble-paired', 'watch')
        try:
            # Read, not notified, where BlueZ kept the bonded remote's subscription.
            watcher.expect(r'status 0xEA', 60, what='EA on subscribing')
            since = watcher.mark()
            self.agent.command('mic')
            watcher.expect(Remote.STAMPED + 'E8', 2 * POLL_INTERVAL, since, what='E8 notified')
        finally:
            watcher.stop()
        return 'status E8, mic on EA, watch heard the mic going off'

    def kept(self):
        """The setting and the bond outlive the agent and bluetoothd: a new agent without the
        option lets the paired remote in at once, with nobody asked."""
        self.agent.close()
        self.run.radio.restart_bluetoothd()
        self.start()
        expect_shown('ble-paired', 0xE8, 'status')
        if 'asks to pair' in self.agent.process.text:
            raise Failure('the agent asked to pair with the bonded remote')

    def forgotten(self):
        """paired and unpair, in the mode switched off again."""
        self.agent.close()
        self.start('--no-require-pairing')
        since = self.agent.process.mark()
        self.agent.command('paired')
        self.agent.expect(r'paired: 00:AA:01:01:00:01 on hci0 \(', 10, since)
        self.agent.command('unpair 00:aa:01:01:00:01')
        self.agent.expect(r'pairing: forgot 00:AA:01:01:00:01 on hci0;', 10, since)
        self.agent.command('paired')
        self.agent.expect(r'paired: no device is paired with this computer', 10, since)
        self.run.radio.forget_devices('hci1')  # or it would encrypt with a key hci0 forgot
        expect_shown('ble-paired', 0xE8, 'status')  # off again: no pairing needed

    def scenarios(self):
        try:
            self.start('--require-pairing')
            for name, body in (
                    ('paired only, unpaired central: answered 0x0F, remote refused in one '
                     'line, a Write Command changes nothing', self.refused),
                    ('paired only: pair-reject, or no answer in 30 s, leaves the remote unpaired, '
                     'and check says the agent requires pairing', self.rejected),
                    ('paired only: after pair-accept, status, mic on and watch work',
                     self.accepted),
                    ('paired only: after the agent and bluetoothd restart, the bonded remote '
                     'gets in unasked', self.kept),
                    ('paired and unpair list and forget the bond; the mode switches off',
                     self.forgotten)):
                self.run.scenario(name, body)
        finally:
            if self.agent:
                self.agent.close()
            self.run.radio.forget_devices()


def main():
    os.makedirs(OUT, exist_ok=True)
    trace(f'guest up {open("/proc/uptime").read().split()[0]} s after boot; agent {AGENT}')
    run_ = Run()
    try:
        run_.radio = Radio()
    except (Failure, OSError, subprocess.SubprocessError) as failure:
        run_.record(f'FAIL  bring-up of bluetoothd on two emulated controllers: {failure}')
    if run_.radio:
        only = CONFIG.get('only', '')
        groups = {'published': run_.published,
                  'lifecycle': Lifecycle(run_).scenarios, 'remote': Remote(run_).scenarios,
                  'pairing': Pairing(run_).scenarios,
                  # Last: it takes the emulated controllers away and brings them back.
                  'adapters': Adapters(run_).scenarios}
        for name, group in groups.items():
            if not only or name in only.split(','):
                try:
                    group()
                except Exception as error:  # before its first story: the rest still run
                    run_.record(f'FAIL  {name}: {type(error).__name__}: {error}')
        run_.radio.close()
        if Agent.failed:
            run_.record(f'FAIL  every agent leaves BlueZ and ends with status 0: {Agent.failed}')
    open(OUT + '/done', 'w').close()
    trace('guest done')


if __name__ == '__main__':
    main()
