#!/usr/bin/python3
"""Ctrl-C in a real terminal ends the interactive lab as `quit` does.

    tests/lab/terminal.py LAB_DIR WORK_DIR

Boots the lab as scripts/run.sh does (lab/host.py --interactive running lab/console.py) on a
pseudo-terminal, waits for "lab ready", joins a meeting the phone sees, then types Ctrl-C:
the terminal sends SIGINT to its whole foreground process group, which a signal to one
process would not show. The agent must still leave BlueZ and exit 0, and the lab with it.
Prints one PASS or FAIL line; the transcript is kept in WORK_DIR/out/terminal.log.
"""

import os
import pty
import re
import select
import signal
import sys
import time

NAME = 'terminal: Ctrl-C ends the agent as quit does, and the lab exits 0'
HOST = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'lab', 'host.py')


class Failure(Exception):
    pass


class Terminal:
    def __init__(self, argv, transcript):
        self.pid, self.master = pty.fork()
        if self.pid == 0:
            os.execv(argv[0], argv)
        self.transcript = open(transcript, 'wb', buffering=0)
        self.text = ''
        self.position = 0  # past the last match
        self.closed = False
        self.status = None

    def read(self):
        if select.select([self.master], [], [], 0.5)[0]:
            try:
                data = os.read(self.master, 65536)
            except OSError:  # EIO: no process holds the terminal any more
                data = b''
            self.closed = not data
            self.transcript.write(data)
            self.text += data.decode(errors='replace')

    def expect(self, pattern, timeout):
        deadline = time.monotonic() + timeout
        while not (match := re.compile(pattern).search(self.text, self.position)):
            if self.closed or time.monotonic() > deadline:
                how = f'exited ({self.wait(1)})' if self.closed else f'ran {timeout} s'
                last = self.text.strip().rsplit('\n', 1)[-1]
                raise Failure(f'the lab {how} before {pattern!r}; it last said {last!r}')
            self.read()
        self.position = match.end()

    def type(self, data):
        self.transcript.write(b'\n>>> typed ' + repr(data).encode() + b'\n')
        os.write(self.master, data)

    def wait(self, timeout):
        """The lab's exit status, once its output has ended."""
        deadline = time.monotonic() + timeout
        while not self.closed and time.monotonic() < deadline:
            self.read()
        while self.status is None and time.monotonic() < deadline:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = os.waitstatus_to_exitcode(status)
            else:
                time.sleep(0.2)
        if self.status is None:
            raise Failure(f'the lab did not exit within {timeout} s')
        return self.status

    def kill(self):
        if self.status is None:
            os.kill(self.pid, signal.SIGKILL)  # qemu dies with it
            os.waitpid(self.pid, 0)


def main():
    lab, work = sys.argv[1:3]
    terminal = Terminal([HOST, '--interactive', lab, work], work + '/out/terminal.log')
    try:
        terminal.expect(r'lab ready', 300)
        terminal.type(b'join\n')
        terminal.expect(r'phone: status 0xE8 meeting', 30)
        terminal.type(b'\x03')
        terminal.expect(r'bluez: leaving BlueZ', 30)
        terminal.expect(r'lab: the agent exited with status 0; powering the guest off', 30)
        status = terminal.wait(30)
        if status != 0 or 'Traceback' in terminal.text:
            raise Failure(f'the lab exited with status {status}, '
                          f'{"after" if "Traceback" in terminal.text else "without"} a traceback')
        print(f'PASS  {NAME}')
    except Failure as failure:
        print(f'FAIL  {NAME}: {failure}')
    finally:
        terminal.kill()


if __name__ == '__main__':
    main()
