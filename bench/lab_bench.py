#!/usr/bin/python3
"""Request-to-notification latency over the emulated radio, inside the lab's guest; run
by bench/run.sh. quorla-remote on hci1 sends `mic on` / `mic off` in turn to a peripheral on
hci0 and waits for the status notification that shows it; the time from handing it the
command to reading that line is one sample. The same is measured against the smallest
peripheral this stack allows (bench/minimal_peripheral.py), in the same boot, for scale.
The peripheral's own share comes from the btmon capture: from the Write Command arriving
at hci0 to the notification leaving it.
"""

import statistics
import sys
import time

from radio import ACL_RX, ACL_TX, OUT, REMOTE, AGENT, Failure, Process, Radio, trace

REQUESTS = 60
MIC_ON = 0x02
ATT_WRITE_COMMAND = 0x52
# Two BlueZ peers talk Enhanced ATT: its channels are credit-based (an SDU length before the
# opcode), and notifications go out as Multiple Handle Value Notifications.
ATT_NOTIFICATIONS = (0x1B, 0x23)
PERIPHERAL_INDEX = 0


def percentile(samples, fraction):
    ordered = sorted(samples)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def summary(name, samples):
    return (f'{name}: n={len(samples)} median {statistics.median(samples):.1f} ms, '
            f'p90 {percentile(samples, 0.9):.1f} ms')


def remote_samples(service):
    phone = Process('bench-remote', [REMOTE, '--adapter', 'hci1', '--service', service])
    try:
        phone.expect(r'connected', 60, what='the remote connected')
        samples = []
        for index in range(REQUESTS):
            on = index % 2 == 0
            since = phone.mark()
            started = time.monotonic()
            phone.send(f'mic {"on" if on else "off"}')
            pattern = r'status 0x([0-9A-F]{2})'
            while True:
                line = phone.expect(pattern, 10, since, what='a status line')
                since = line.end()
                if bool(int(line.group(1), 16) & MIC_ON) == on:
                    break
            samples.append((time.monotonic() - started) * 1000)
        return samples
    finally:
        phone.send('quit')
        phone.stop()


def peripheral_turnarounds(records):
    """From each Write Command received to the next notification sent, in ms."""
    samples, written = [], None
    for timestamp, direction, pdu in records:
        att = pdu[0]
        if direction == ACL_RX and att == ATT_WRITE_COMMAND:
            written = timestamp
        elif direction == ACL_TX and att in ATT_NOTIFICATIONS and written is not None:
            samples.append((timestamp - written) * 1000)
            written = None
    return samples


def measure(radio, name, peripheral, service):
    start = len(radio.records())
    try:
        samples = remote_samples(service)
    finally:
        peripheral.send('quit')
        peripheral.stop()
    time.sleep(1)  # btmon writes its capture behind
    turnarounds = peripheral_turnarounds(radio.att_pdus(PERIPHERAL_INDEX, start))
    print(summary(f'{name}, remote write to notification', samples), flush=True)
    if turnarounds:
        print(summary(f'{name}, in the peripheral (capture)', turnarounds), flush=True)
    return samples


def main():
    radio = Radio()
    agent = Process('bench-agent', [AGENT, '--record-name', 'bench', '--adapter', 'hci0',
                                    '--client', 'meeting'])
    published = agent.expect(r'publishing service ([0-9a-f-]{36})', 30)
    service = published.group(1)
    agent.expect(r'advertisement registered', 30)
    trace(f'agent publishing {service}')
    ours = measure(radio, 'agent', agent, service)
    minimal = Process('bench-minimal', [sys.executable, '-u', CONFIG_MINIMAL, service])
    minimal.expect(r'advertising', 30, what='the minimal peripheral advertising')
    theirs = measure(radio, 'minimal peripheral', minimal, service)
    ratio = statistics.median(ours) / statistics.median(theirs)
    print(f'ratio agent/minimal (medians): {ratio:.2f}', flush=True)
    radio.close()


CONFIG_MINIMAL = __file__.replace('lab_bench.py', 'minimal_peripheral.py')

if __name__ == '__main__':
    try:
        main()
    except Failure as failure:
        print(f'bench failed: {failure} (logs in {OUT})', flush=True)
