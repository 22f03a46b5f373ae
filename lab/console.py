#!/usr/bin/python3
"""The interactive virtual Bluetooth lab, inside the guest; scripts/run.sh boots it.

The agent runs on the first emulated controller with the options it was given, and a
virtual phone, quorla-remote, on the second. Each line typed goes to the agent's console,
except `phone COMMAND`, which the phone carries out over the air, and `quit`, which ends the
agent through its own termination (unregistering from BlueZ) and then powers the guest off.
"""

import os
import re
import select
import sys
import threading
import time

from radio import AGENT, REMOTE, WORK, Failure, Process, Radio, trace

PUBLISHING = re.compile(r'bluez: publishing service ([0-9a-f-]{36}) on (hci\d+)')
AGENT_EXIT_WAIT = 10
HELP = ('lab: "phone COMMAND" runs a command on the virtual phone over the air '
        '("phone help" lists them); "quit" ends the lab; every other line goes to the '
        "agent's console (\"help\" lists its commands)")

_output = threading.Lock()


def say(line):
    with _output:
        sys.stdout.write(line + '\n')
        sys.stdout.flush()


def agent_arguments():
    lines = open(WORK + '/config').read().split('\n')
    arguments = [line[len('argument='):] for line in lines if line.startswith('argument=')]
    if not any(a == '--adapter' or a.startswith('--adapter=') for a in arguments):
        arguments += ['--adapter', 'hci0']
    return arguments


class Lab:
    def __init__(self):
        self.phone = None
        self.phone_adapter = None
        self.service = None
        self.is_ready = False
        self.agent = Process('agent', [AGENT, *agent_arguments()], on_line=self.agent_said)

    def agent_said(self, line):
        say(line)
        published = PUBLISHING.search(line)
        if published and published.group(1) != self.service:
            self.service = published.group(1)
            self.start_phone('hci0' if published.group(2) == 'hci1' else 'hci1')

    def start_phone(self, adapter):
        self.stop_phone()
        if not os.access(REMOTE, os.X_OK):
            say(f'lab: no quorla-remote at {REMOTE}; the lab has no phone')
            return
        say(f'lab: the phone looks for service {self.service} from {adapter}')
        self.phone_adapter = adapter
        phone = Process('phone', [REMOTE, '--adapter', adapter, '--service', self.service],
                        on_line=self.phone_said)
        self.phone = phone
        threading.Thread(target=self.report_phone_exit, args=(phone,), daemon=True).start()

    def phone_said(self, line):
        say('phone: ' + line)
        if 'requires pairing' in line:
            say('lab: the agent lets only paired companions in; "phone pair" pairs the phone')
        if not self.is_ready and line.startswith('connected'):
            self.is_ready = True
            uptime = open('/proc/uptime').read().split()[0]
            say(f'lab ready ({uptime} s after the guest booted). {HELP}')

    def report_phone_exit(self, phone):
        status = phone.proc.wait()
        if self.phone is phone:
            say(f'lab: the phone exited with status {status}')

    def stop_phone(self):
        phone, self.phone = self.phone, None
        if phone:
            phone.send('quit')
            phone.stop()

    def pair_phone(self):
        """Pairs on its own, as the phone's console cannot start without access; the console
        starts again once the pairing is done."""
        def run():
            pairing = Process('pairing', [REMOTE, '--adapter', self.phone_adapter, '--service',
                                          self.service, 'pair'],
                              stdin=False, on_line=lambda line: say('phone: ' + line))
            if pairing.proc.wait() == 0:
                self.start_phone(self.phone_adapter)
        threading.Thread(target=run, daemon=True).start()

    def command(self, line):
        if line.split()[:1] == ['phone']:
            words = line.split(None, 1)
            if words[1:] == ['pair'] and self.service and not (self.phone and self.phone.running()):
                self.pair_phone()
            elif not self.phone or not self.phone.running():
                say('lab: the phone is not running (it starts once the agent publishes)')
            elif len(words) < 2:
                say('lab: phone what? "phone help" lists its commands')
            else:
                self.phone.send(words[1])
        else:
            self.agent.send(line)

    def run(self):
        """Carries lines from the terminal until quit, the end of input or the agent's exit."""
        pending = ''
        while self.agent.running():
            ready, _, _ = select.select([sys.stdin], [], [], 0.5)
            if not ready:
                continue
            data = os.read(sys.stdin.fileno(), 4096)
            if not data:
                return
            *lines, pending = (pending + data.decode(errors='replace')).split('\n')
            for line in (raw.strip('\r') for raw in lines):
                if line.strip() == 'quit':
                    return
                if line.strip():
                    self.command(line)

    def close(self):
        """The agent first, so that the phone hears its last notification (the meeting
        ending) before it is stopped too."""
        phone, self.phone = self.phone, None  # its exit is expected now: not reported
        if self.agent.running():
            self.agent.send('quit')
            try:
                self.agent.proc.wait(AGENT_EXIT_WAIT)
            except Exception:
                say(f'lab: the agent did not quit within {AGENT_EXIT_WAIT} s; stopping it')
                self.agent.stop()
        status = self.agent.proc.wait()
        self.phone = phone
        time.sleep(0.5)  # the last notification on its way to the phone
        self.stop_phone()
        say(f'lab: the agent exited with status {status}; powering the guest off')


def main():
    os.makedirs(WORK + '/out', exist_ok=True)
    trace('guest up; starting the system bus, two emulated controllers and bluetoothd')
    try:
        radio = Radio()
    except Failure as failure:
        say(f'lab: the radio did not come up: {failure}')
        return
    trace('radio up; starting the agent on hci0 (type "help" for its commands)')
    lab = Lab()
    try:
        lab.run()
    finally:
        lab.close()
        radio.close()


if __name__ == '__main__':
    main()
