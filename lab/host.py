#!/usr/bin/python3
"""Boots the virtual Bluetooth lab's guest and carries its dialogue.

    lab/host.py [--interactive] [--settings DIR] [--timeout SECONDS] LAB_DIR WORK_DIR

The guest's second serial port is this program's standard output; with --interactive, each
line of standard input goes to the guest once it has spoken, and Ctrl-C, SIGTERM or the end of the input send
it "quit", so that the guest ends its programs through their own termination and powers
off. A second Ctrl-C stops the guest at once, as does the first while the guest is still
booting. qemu runs in a session of its own, so that the terminal's Ctrl-C reaches this
program alone, and dies with it. The kernel's console goes to WORK_DIR/out/console.log.
Exits with qemu's status (124 when the timeout stopped it, 130 when interrupted).

KVM is used where it works, TCG otherwise: a usable /dev/kvm alone is not enough (some
hosts offer the node without the CPU's virtualisation extensions), so a guest that prints
nothing within 30 s under KVM is stopped and booted again under TCG.
"""

import argparse
import ctypes
import os
import re
import select
import signal
import socket
import subprocess
import sys
import time

KVM_SILENCE_LIMIT = 30.0
PROGRESS_EVERY = 10
PR_SET_PDEATHSIG = 1


def kvm_is_offered():
    if not os.access('/dev/kvm', os.R_OK | os.W_OK):
        return False
    with open('/proc/cpuinfo') as cpuinfo:
        return re.search(r'^flags\s*:.*\b(vmx|svm)\b', cpuinfo.read(), re.M) is not None


def qemu_command(accel, lab_dir, work, settings, channel):
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    shares = [('hostroot', '/', 'readonly=on,'), ('repo', repo, 'readonly=on,'), ('work', work, '')]
    if settings:
        shares.append(('settings', settings, ''))
    command = [
        'qemu-system-x86_64', '-accel', accel, '-cpu', 'host' if accel == 'kvm' else 'max',
        '-m', '1024', '-smp', '2', '-nodefaults', '-display', 'none', '-no-reboot',
        '-kernel', open(os.path.join(lab_dir, 'kernel')).read().strip(),
        '-initrd', os.path.join(lab_dir, 'initramfs.cpio'),
        '-append', f'console=ttyS0 panic=-1 quiet lab.shares={len(shares)}',
        '-serial', f'file:{work}/out/console.log',
        '-chardev', f'socket,id=lab,path={channel},server=on,wait=off', '-serial', 'chardev:lab',
    ]
    for tag, path, options in shares:
        command += ['-virtfs', f'local,path={path},mount_tag={tag},security_model=none,'
                               f'{options}multidevs=remap']
    return command


def die_with_parent():
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


class Guest:
    def __init__(self, accel, arguments):
        self.accel = accel
        self.channel = os.path.join(arguments.work, 'lab.sock')
        if os.path.exists(self.channel):
            os.unlink(self.channel)
        command = qemu_command(accel, arguments.lab, arguments.work, arguments.settings,
                               self.channel)
        log = open(f'{arguments.work}/out/qemu.log', 'w')
        self.qemu = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                     start_new_session=True, preexec_fn=die_with_parent)
        self.started = time.monotonic()
        self.socket = self._connect()

    def _connect(self):
        deadline = time.monotonic() + 10
        while True:
            try:
                connection = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                connection.connect(self.channel)
                return connection
            except OSError:
                if self.qemu.poll() is not None or time.monotonic() > deadline:
                    raise SystemExit('lab: qemu did not start (see out/qemu.log)')
                time.sleep(0.05)

    def send(self, data):
        try:
            self.socket.sendall(data)
        except OSError:
            pass

    def stop(self):
        if self.qemu.poll() is None:
            self.qemu.kill()
        return self.qemu.wait()


def carry(guest, interactive, deadline):
    """Copies the guest's output to stdout and, interactively, stdin to the guest, until
    qemu exits. Until the guest speaks, a line of progress counts the seconds."""
    heard = []
    try:
        return carry_from(guest, interactive, deadline, heard)
    finally:
        end_progress(heard)


def end_progress(heard):
    if not heard:
        heard.append(True)
        print(flush=True)


def carry_from(guest, interactive, deadline, heard):
    """Returns qemu's status, or None when a KVM guest stayed silent."""
    print(f'booting the lab ({"KVM" if guest.accel == "kvm" else "software emulation"})', end='',
          flush=True)
    reading_stdin = interactive
    reading_guest = True
    quitting = []
    shown = 0

    def quit_guest():
        if quitting:
            guest.stop()
        quitting.append(True)
        guest.send(b'\nquit\n')

    def interrupted(*_):
        if not heard:
            raise KeyboardInterrupt  # nothing has started in the guest that could end
        quit_guest()

    if interactive:
        signal.signal(signal.SIGINT, interrupted)
        signal.signal(signal.SIGTERM, interrupted)
    while guest.qemu.poll() is None:
        now = time.monotonic()
        if now > deadline:
            end_progress(heard)
            print('lab: the guest ran out of time', flush=True)
            guest.stop()
            return 124
        if guest.accel == 'kvm' and not heard and now - guest.started > KVM_SILENCE_LIMIT:
            guest.stop()
            return None
        if not heard and now - guest.started >= shown + PROGRESS_EVERY:
            shown += PROGRESS_EVERY
            print(f' … {shown} s', end='', flush=True)
        # Input waits in its pipe or terminal until the guest has spoken: the guest's serial
        # port drops what arrives before its program opens it.
        sources = (([guest.socket] if reading_guest else []) +
                   ([sys.stdin] if reading_stdin and heard else []))
        try:
            ready, _, _ = select.select(sources, [], [], 0.5)
        except InterruptedError:
            continue
        if guest.socket in ready:
            try:
                data = guest.socket.recv(65536)
            except OSError:
                data = b''
            if not data:
                reading_guest = False  # qemu is going; its status follows
            else:
                end_progress(heard)
                sys.stdout.buffer.write(data)
                sys.stdout.flush()
        if sys.stdin in ready:
            # Raw bytes, not lines: a line reader's buffer would hide lines from select.
            data = os.read(sys.stdin.fileno(), 4096)
            if data:
                guest.send(data)
            else:
                reading_stdin = False
                quit_guest()
    return guest.qemu.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--interactive', action='store_true')
    parser.add_argument('--settings')
    parser.add_argument('--timeout', type=float, default=24 * 3600)
    parser.add_argument('lab')
    parser.add_argument('work')
    arguments = parser.parse_args()
    deadline = time.monotonic() + arguments.timeout
    accel = 'kvm' if kvm_is_offered() else 'tcg'
    while True:
        guest = None
        try:
            guest = Guest(accel, arguments)
            status = carry(guest, arguments.interactive, deadline)
        except KeyboardInterrupt:
            print('lab: interrupted; the guest is stopped', flush=True)
            return 130
        finally:
            if guest:
                guest.stop()
        if status is not None:
            return status
        print(f'lab: the KVM guest printed nothing in {KVM_SILENCE_LIMIT:g} s; '
              'booting it again under TCG', flush=True)
        accel = 'tcg'


if __name__ == '__main__':
    sys.exit(main())
