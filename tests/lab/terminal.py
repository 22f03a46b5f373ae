#!/usr/bin/python3
"""tests/lab/terminal.py LAB_DIR WORK_DIR: boots the interactive lab as scripts/run.sh does on a
pseudo-terminal, joins a meeting and types Ctrl-C, which the terminal sends to its whole
foreground process group; prints one PASS or FAIL line, the transcript in out/terminal.log."""

import os
import sys

import pexpect

NAME = 'terminal: Ctrl-C ends the agent as quit does, and the lab exits 0'
HOST = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'lab', 'host.py')

lab_dir, work = sys.argv[1:3]
with open(work + '/out/terminal.log', 'wb') as transcript:
    lab = pexpect.spawn(HOST, ['--interactive', lab_dir, work], logfile=transcript)
    try:
        for wanted, timeout, typed in (
                ('lab ready', 300, 'join\n'), ('phone: status 0xE8 meeting', 30, '\x03'),
                ('bluez: leaving BlueZ', 30, ''),
                ('lab: the agent exited with status 0; powering the guest off', 30, ''),
                (pexpect.EOF, 30, '')):
            lab.expect_exact(wanted, timeout)
            if typed:
                lab.send(typed)
        status = lab.wait()
        failure = None if status == 0 else f'the lab ended with {status}, signal {lab.signalstatus}'
        if b'Traceback' in open(transcript.name, 'rb').read():
            failure = 'it printed a Python traceback'
    except pexpect.ExceptionPexpect as error:
        how = 'the lab ended' if isinstance(error, pexpect.EOF) else f'{timeout} s passed'
        said = lab.before[-200:].decode(errors='replace')
        failure = f'{how} before {wanted!r}; it last said {said!r}'
        lab.close(force=True)
print(f'FAIL  {NAME}: {failure}' if failure else f'PASS  {NAME}')
