#!/usr/bin/python3
"""The adapter's stories on the real stack, run in the lab's guest by tests/lab/run.sh: the
agent on hci0, quorla-remote the central on hci1, a result line per story."""

import os
import re
import signal
import subprocess
import time
import uuid

from radio import (ACL_TX, AGENT, CENTRAL_INDEX, CONFIG, OUT, PERIPHERAL, REMOTE, TOOLS, Failure,
                   run, Process, Radio, adapter_property, adapters_ready, power, trace,
                   wait_for)

NAMESPACE = uuid.UUID('1CDC9855-5713-4F64-B799-4AB82DC6D1C8')
PASSED = r'^\d+ passed, 0 failed$'  # quorla-remote check's last line
FAILED = {}  # agents that did not leave BlueZ and end with status 0


def advertising(records):
    """The advertising sets bluetoothd set up on hci0 and (is scan response, data) of every
    extended advertising report (btvirt's only kind) from hci0 that hci1 passed up, once any."""
    address = bytes.fromhex(PERIPHERAL.replace(':', ''))[::-1]
    sets, reports = set(), []
    for index, opcode, packet in records:
        if (index, opcode, packet[:2]) == (0, 2, b'\x36\x20'):  # LE Set Ext. Adv. Parameters
            sets.add(packet[3])
        if (index, opcode, packet[:1], packet[2:3]) != (CENTRAL_INDEX, 3, b'\x3e', b'\x0d'):
            continue  # not an LE Extended Advertising Report event
        position = 4
        for _ in range(packet[3]):
            length = packet[position + 23]
            if packet[position + 3:position + 9] == address:
                reports.append((packet[position] & 0x08, packet[position + 24:][:length]))
            position += 24 + length
    return reports and (sets, reports)


def ended(process, timeout):
    """The exit status of a process that ends within timeout, once its output is all in."""
    try:
        return process.proc.wait(timeout)
    finally:
        process.stop()
        wait_for(lambda: process.closed, 5, 'end of its output')


def start_agent(record_name, *options, adapter='hci0'):
    choice = ['--adapter', adapter] if adapter else []
    return Process(f'agent-{record_name}', [AGENT, '--record-name', record_name, *choice, *options])


def quit_agent(agent):
    """Quits it at its console: one that does not then leave BlueZ and end with 0 fails the run."""
    agent.send('quit')
    try:
        status = ended(agent, 10)
    except subprocess.TimeoutExpired:
        status = 'still running'
    if status != 0 or 'nothing of ours is registered with BlueZ any more' not in agent.text:
        FAILED[agent.name] = status


# Twice the remote's own limit: after bluetoothd restarts, the central's has been seen to take
# 30 s to report an advertisement that its controller heard every 5 s.
AFTER_RESTART = ('--timeout', '60')


def central(*arguments):
    return Process('remote-' + '-'.join(a.lstrip('-') for a in arguments[2:]),
                   [REMOTE, '--adapter', 'hci1', *arguments], stdin=False)


def remote(record_name, *arguments, wanted=0, says=(), shows=None, during=None, timeout=90):
    """quorla-remote run to its end (during(process) first): a failure unless it exits with
    wanted, says every pattern of says and, given shows, shows that one status byte alone."""
    process = central('--record-name', record_name, *arguments)
    if during:
        during(process)
    status = ended(process, timeout)
    text = process.text
    missing = [s for s in says if not re.search(s, text, re.M)]
    if status != wanted or missing or shows and re.findall(r'status 0x(\w\w) ', text) != [shows]:
        raise Failure(f'{" ".join(arguments)}: exit {status}, not {missing}; said {text[-300:]!r}')


def bluetoothd_log(pattern):
    with open(OUT + '/bluetoothd.log', errors='replace') as log:
        return re.findall(pattern, log.read())


def story(body, name=None):
    """Runs body to a result line, named after its docstring unless name is given."""
    name = name or ' '.join(body.__doc__.split())
    started = time.monotonic()
    trace(f'scenario {name}')
    try:
        result, detail = 'PASS', body() or ''
    except Exception as error:  # a harness fault too has to end in a result line
        result, detail = 'FAIL', f'{type(error).__name__}: {error}'.removeprefix('Failure: ')
    record(f'{result}  {name} ({time.monotonic() - started:.1f} s)' + (detail and f': {detail}'))


def record(line):
    print(line, flush=True)
    with open(OUT + '/results', 'a') as results:
        results.write(line + '\n')


def published():
    """An agent with the client running in no meeting, published again when BlueZ forgets it."""
    start = len(RADIO.records())
    agent = start_agent('ble-idle', '--client', 'running')

    def found_once(count, action=None):
        if action:
            action()
        took = time.monotonic()
        remote('ble-idle', *AFTER_RESTART, 'status', shows='E0')
        # btmon writes its capture behind; the scan's reports come after the set-up.
        sets, reports = wait_for(lambda: advertising(RADIO.records()[count:]), 10, 'report of hci0')
        # bluetoothd's flags, then the service in a complete list of 128-bit UUIDs; no more.
        ours = rb'(\x02\x01.)?\x11\x07' + re.escape(uuid.uuid5(NAMESPACE, 'ble-idle').bytes[::-1])
        wrong = {data.hex() for scan_response, data in reports
                 if not re.fullmatch(rb'\0*' if scan_response else ours + rb'\0*', data, re.S)}
        if wrong or len(sets) != 1:
            raise Failure(f'{len(sets)} advertising sets on hci0; {sorted(wrong)}')
        return f'found and read in {time.monotonic() - took:.1f} s'

    def power_cycle():
        since = agent.mark()
        power('hci0', False)
        agent.expect(r'adapter hci0 is powered off', 10, since)
        power('hci0', True)
        agent.expect(r'advertisement registered on hci0', 10, since)

    try:
        agent.expect(r'advertisement registered on hci0', 20)
        story(lambda: found_once(start),
              "discovery: a scan for the record name's service finds only it, once")
        story(lambda: found_once(len(RADIO.records()), RADIO.restart_bluetoothd),
              'bluetoothd restarted: published again, found by a fresh scan, once')
        story(lambda: found_once(len(RADIO.records()), power_cycle),
              'radio power cycle: published again, found by a fresh scan, once')
        story(lambda: remote('ble-idle', 'check', timeout=150, says=[PASSED, *(
            f'skipped  {name}: the client is in no meeting'
            for name in ('microphone', 'camera', 'view', 'hand', 'latency'))]),
            'remote check outside a meeting: the request checks skipped, saying why')
    finally:
        quit_agent(agent)


def coming_and_going():
    """--adapter hci2 among three: published there, gone with it, back with it; without
    --adapter, another powered controller takes over when the one in use goes away, and hci0
    again once back"""
    chooser = start_agent('ble-takeover', adapter=None)
    agents, extra = [chooser], []

    def add_hci2():  # on an air of its own: the agents' traces show what BlueZ did there
        extra.append(Process('btvirt-extra', [TOOLS + '/btvirt', '-l1'], stdin=False))
        wait_for(lambda: power('hci2') or adapter_property('hci2', 'Powered') == 'true', 20,
                 'hci2 powered', step=0.5)

    def remove_hci2():
        extra.pop().stop()
        wait_for(lambda: not os.path.exists('/sys/class/bluetooth/hci2'), 10, 'hci2 gone')

    try:
        chooser.expect(r'advertisement registered on hci0', 20)
        add_hci2()
        asked = start_agent('ble-hci2', adapter='hci2')
        agents.append(asked)
        asked.expect(r'advertisement registered on hci2', 20)
        since = asked.mark()
        remove_hci2()
        asked.expect(r'no Bluetooth adapter hci2', 10, since)
        add_hci2()
        asked.expect(r'application registered on hci2', 20, since)
        asked.expect(r'advertisement registered on hci2', 20, since)
        if re.search(r'registered on hci[01]', asked.text):
            raise Failure('registered on a controller other than the one asked for')
        since = chooser.mark()
        RADIO.btvirt.stop()  # hci0 and hci1 go away together
        chooser.expect(r'advertisement registered on hci2', 20, since)
        since = chooser.mark()
        RADIO.btvirt = Process('btvirt', [TOOLS + '/btvirt', '-l2'], stdin=False)
        wait_for(adapters_ready, 30, 'hci0 and hci1 back', step=0.5)
        chooser.expect(r'advertisement registered on hci0', 20, since)
    finally:
        for agent in agents:
            quit_agent(agent)
        while extra:
            remove_hci2()


def refused_for_a_while():
    """a refused advertisement is asked for again until BlueZ takes it"""
    agents = []
    register = r'register_advertisement\(\) RegisterAdvertisement'
    try:
        for n in range(5):  # the emulated controller has three advertising sets
            agents.append(start_agent(f'ble-fill{n}'))
            if 'failed' in agents[-1].expect(
                    r'advertisement registered|RegisterAdvertisement failed', 20).group(0):
                break
        else:
            raise Failure('BlueZ registered every advertisement; nothing was refused')
        time.sleep(3)  # long enough for a retry or two, still refused
        calls = len(bluetoothd_log(register))
        quit_agent(agents[0])
        agents[-1].expect(r'advertisement registered on hci0', 70)
        if (reports := agents[-1].text.count('RegisterAdvertisement failed')) != 1 or \
                len(bluetoothd_log(register)) == calls:
            raise Failure(f'{reports} failure lines, or no call after a set was freed')
        return f'{len(agents) - 1} sets taken; registered once one was freed'
    finally:
        for agent in agents:
            quit_agent(agent)


def callers_other_than_bluetoothd():
    """Release, StopNotify and WriteValue from another connection than bluetoothd's are refused
    and change nothing; SIGTERM while bluetoothd is stopped still unregisters everything first"""
    agent = start_agent('ble-callers', '--client', 'meeting', '--mic', 'off', '--camera', 'off')
    watcher = central('--record-name', 'ble-callers', 'watch')
    unregistered = r'unregister_advertisement\(\) UnregisterAdvertisement'
    path = '/org/quorla/application/service0/char'
    try:
        agent.expect(r'advertisement registered on hci0', 20)
        watcher.expect(r'status 0xE8 ', 90, what='E8 on subscribing')
        bus_name = bluetoothd_log(r'Registering application: (:[0-9.]+):/org/quorla')[-1]
        since, before, watched = agent.mark(), len(bluetoothd_log(unregistered)), watcher.mark()
        for call in (('/org/quorla/advertisement', 'org.bluez.LEAdvertisement1.Release'),
                     (path + '0', 'org.bluez.GattCharacteristic1.StopNotify'),
                     (path + '1', 'org.bluez.GattCharacteristic1.WriteValue', '[byte 0x31]',
                      '@a{sv} {}')):
            answer = run(['gdbus', 'call', '--system', '--dest', bus_name, '--object-path',
                          call[0], '--method', *call[1:]])
            if 'org.bluez.Error.NotPermitted' not in answer.stderr:
                raise Failure(f'{call[1]} answered {answer.stdout + answer.stderr!r}')
        agent.send('mic')  # the client's own user unmutes: the watcher still notified, EA
        watcher.expect(r'status 0xEA ', 6, watched, what='EA after mic')
        os.kill(RADIO.bluetoothd.proc.pid, signal.SIGSTOP)  # BlueZ answers nothing a while
        agent.proc.terminate()
        time.sleep(0.8)
        waited = agent.running()
        os.kill(RADIO.bluetoothd.proc.pid, signal.SIGCONT)
        if not waited:
            raise Failure('the agent exited before BlueZ answered its unregistrations')
        status, said = ended(agent, 10), agent.text[since:]
        calls = len(bluetoothd_log(unregistered)) - before
        # gdbus connects anew for each call: three senders, a line each.
        if status or 'request:' in said or said.count('bluez: refused ') != 3 or calls != 1:
            raise Failure(f'exit {status}, {calls} unregistrations; said {said!r}')
        return 'refused, a line per sender; still notified; unregistered at SIGTERM'
    finally:
        watcher.stop()
        quit_agent(agent)


def in_meeting():
    """remote check in a meeting: every check passes and the state is left as found; mic off
    when off writes nothing"""
    agent = start_agent('ble-remote', '--client', 'meeting', '--mic', 'off', '--camera', 'off')
    try:
        agent.expect(r'advertisement registered on hci0', 20)
        agent.expect(r'value E8 kept|sent E8', 20)
        since = agent.mark()
        remote('ble-remote', 'check', timeout=150,
               says=[PASSED, 'latency: write to notification over 20 round trips'])
        if (hands := agent.text[since:].count('request: toggleHand')) != 2:
            raise Failure(f'{hands} hand requests carried out: raised and lowered, wanted')
        since = agent.mark()
        remote('ble-remote', 'mic', 'off', says=['mic is already off'])
        if 'request:' in agent.text[since:]:
            raise Failure('mic off when off wrote a request')
    finally:
        quit_agent(agent)


def pairing():
    """An agent letting only paired remotes in, its console answering for hci0; the bonds are
    forgotten at the end, so that later centrals start unpaired."""
    agent = None

    def start(*options):
        nonlocal agent
        agent = start_agent('ble-paired', '--client', 'meeting', *options)
        agent.expect(r'advertisement registered on hci0', 20)
        agent.expect(r'value E8 kept|sent E8', 20)

    def answered(answer):
        """Answers at the console (None: nobody does) once both sides show one passkey."""
        since = agent.mark()

        def during(pair):
            passkey = agent.expect(r'00:AA:01:01:00:01 on hci0 asks to pair with passkey (\d{6})',
                                   60, since).group(1)
            pair.expect(rf'the passkey is {passkey};', 10, what='the same passkey on the phone')
            if answer:
                agent.send(answer)
        return during

    def refused():
        """paired only, unpaired central: answered 0x0F, remote refused in one line"""
        count = len(RADIO.records())
        remote('ble-paired', 'status', wanted=1,
               says=["the agent requires pairing; run 'quorla-remote pair' first"])
        wait_for(lambda: any(direction == ACL_TX and pdu[0] == 0x01 and pdu[4] == 0x0F
                             for _, direction, pdu in RADIO.att_pdus(0, count)),
                 10, 'ATT Error Response 0x0F (Insufficient Encryption) from hci0')

    def rejected():
        """paired only: pair-reject, or no answer in 30 s, leaves the remote unpaired, and
        check says the agent requires pairing"""
        for answer in ('pair-reject', None):
            remote('ble-paired', 'pair', wanted=1, says=['failed'], during=answered(answer))
        agent.expect(r'pairing: no answer in time; rejected 00:AA:01:01:00:01', 1)
        remote('ble-paired', 'check', wanted=1,
               says=['failed   access: the agent requires pairing'])

    def accepted():
        """paired only: after pair-accept, status, mic on and watch work"""
        remote('ble-paired', 'pair', says=['paired with 00:AA:01:00:00:00', 'status 0xE8'],
               during=answered('pair-accept'))
        remote('ble-paired', 'mic', 'on', shows='EA')
        watcher = central('--record-name', 'ble-paired', 'watch')
        try:
            # Read, not notified, where BlueZ kept the bonded remote's subscription.
            watcher.expect(r'status 0xEA', 60, what='EA on subscribing')
            since = watcher.mark()
            agent.send('mic')
            watcher.expect(r'\d\d:\d\d:\d\d\.\d{3} status 0xE8', 6, since, what='E8 notified')
        finally:
            watcher.stop()

    def kept():
        """paired only: after the agent and bluetoothd restart, the bonded remote gets in
        unasked"""
        quit_agent(agent)
        RADIO.restart_bluetoothd()
        start()
        remote('ble-paired', *AFTER_RESTART, 'status', shows='E8')
        if 'asks to pair' in agent.text:
            raise Failure('the agent asked to pair with the bonded remote')

    def forgotten():
        """paired and unpair list and forget the bond; the mode switches off"""
        quit_agent(agent)
        start('--no-require-pairing')
        since = agent.mark()
        for command, answer in (('paired', r'paired: 00:AA:01:01:00:01 on hci0 \('),
                                ('unpair 00:aa:01:01:00:01', r'forgot 00:AA:01:01:00:01 on hci0;'),
                                ('paired', r'paired: no device is paired with this computer')):
            agent.send(command)
            agent.expect(answer, 10, since)
        RADIO.forget_devices('hci1')  # or it would encrypt with a key hci0 forgot
        remote('ble-paired', 'status', shows='E8')  # the mode off again: no pairing needed

    try:
        start('--require-pairing')
        for body in (refused, rejected, accepted, kept, forgotten):
            story(body)
    finally:
        quit_agent(agent)
        RADIO.forget_devices()


def lifecycle():
    story(refused_for_a_while)
    story(callers_other_than_bluetoothd)


trace(f'guest up {open("/proc/uptime").read().split()[0]} s after boot; agent {AGENT}')
RADIO = Radio()  # or no out/done: run.sh fails the run, the traceback in its output
only = CONFIG.get('only', '')
for name, group in (('published', published),
                    ('lifecycle', lifecycle),
                    ('remote', lambda: story(in_meeting)), ('pairing', pairing),
                    # Last: it takes the emulated controllers away and brings them back.
                    ('adapters', lambda: story(coming_and_going))):
    if not only or name in only.split(','):
        try:
            group()
        except Exception as error:  # before its first story: the rest still run
            record(f'FAIL  {name}: {type(error).__name__}: {error}')
RADIO.close()
if FAILED:
    record(f'FAIL  every agent leaves BlueZ and ends with status 0: {FAILED}')
open(OUT + '/done', 'w').close()
