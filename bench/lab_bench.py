#!/usr/bin/python3
"""Request-to-notification latency over the emulated radio, inside the lab's guest; run by
bench/run.sh. quorla-remote on hci1 sends `mic on` / `mic off` in turn to a peripheral on
hci0 and waits for the status notification that shows it; the time from handing it the
command to reading that line is one sample. The peripheral is the agent or the yardstick
(bench/minimal_peripheral.cpp, the floor of this stack), in blocks interleaved in the same
boot, agent, yardstick, yardstick, agent in each round, so that drift of the emulation
over the run weighs on both alike. The peripheral's own share comes from the btmon capture:
from the Write Command arriving at hci0 to the notification leaving it.
"""

import os
import statistics
import time

from radio import (ACL_RX, ACL_TX, AGENT, CONFIG, OUT, REMOTE, Failure, Process, Radio, trace,
                   wait_for)

ROUNDS = int(CONFIG.get('rounds', '2'))
WARM_UP = 10
REQUESTS = 60
MIC_ON = 0x02
ATT_WRITE_COMMAND = 0x52
# Two BlueZ peers talk Enhanced ATT: its channels are credit-based (an SDU length before the
# opcode), and notifications go out as Multiple Handle Value Notifications.
ATT_NOTIFICATIONS = (0x1B, 0x23)
PERIPHERAL_INDEX = 0
RECORD_NAME = 'bench'
PROGRAMS = {
    'agent': [AGENT, '--record-name', RECORD_NAME, '--adapter', 'hci0', '--client', 'meeting'],
    'yardstick': [os.path.join(os.path.dirname(AGENT), 'minimal-peripheral'),
                  '--record-name', RECORD_NAME, '--adapter', 'hci0'],
}


def percentile(samples, fraction):
    ordered = sorted(samples)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def summary(samples):
    return (f'n={len(samples)} median {statistics.median(samples):.2f} ms, '
            f'p90 {percentile(samples, 0.9):.2f} ms')


def remote_samples(service):
    """The latencies of WARM_UP + REQUESTS requests, the warm-up's left out."""
    phone = Process('bench-remote', [REMOTE, '--adapter', 'hci1', '--service', service])
    try:
        phone.expect(r'connected', 90, what='the remote connected')
        samples = []
        for index in range(WARM_UP + REQUESTS):
            on = index % 2 == 0
            since = phone.mark()
            started = time.monotonic()
            phone.send(f'mic {"on" if on else "off"}')
            while True:
                line = phone.expect(r'status 0x([0-9A-F]{2})', 10, since, what='a status line')
                since = line.end()
                if bool(int(line.group(1), 16) & MIC_ON) == on:
                    break
            samples.append((time.monotonic() - started) * 1000)
        return samples[WARM_UP:]
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


def block(radio, name, service):
    """One block: the peripheral up, the remote's requests, both gone. Returns the end-to-end
    and in-peripheral samples, and the service the peripheral published."""
    radio.forget_devices('hci1')  # each block's remote discovers its peripheral afresh
    start = len(radio.records())
    peripheral = Process(f'bench-{name}', PROGRAMS[name])
    try:
        published = peripheral.expect(r'publishing service ([0-9a-f-]{36})', 30).group(1)
        if service and published != service:
            raise Failure(f'{name} published {published}, not {service} as the agent does')
        peripheral.expect(r'advertisement registered', 30, what=f'{name} advertising')
        samples = remote_samples(published)
    finally:
        peripheral.send('quit')
        peripheral.stop()
    # btmon decodes every packet as it captures it and falls far behind under emulation. Each
    # request is one write and one notification: the last ones are the measured.
    wait_for(lambda: len(peripheral_turnarounds(radio.att_pdus(PERIPHERAL_INDEX, start))) >=
             WARM_UP + REQUESTS, 180, f'capture of the {name} block', step=1)
    turnarounds = peripheral_turnarounds(radio.att_pdus(PERIPHERAL_INDEX, start))[-REQUESTS:]
    print(f'  {name}: remote write to notification {summary(samples)}; '
          f'in the peripheral {summary(turnarounds)}', flush=True)
    return samples, turnarounds, published


def ratios(label, agent, yardstick):
    median = statistics.median(agent) / statistics.median(yardstick)
    p90 = percentile(agent, 0.9) / percentile(yardstick, 0.9)
    print(f'{label}:\n'
          f'  agent     {summary(agent)}\n'
          f'  yardstick {summary(yardstick)}\n'
          f'  ratio agent/yardstick: median x{median:.3f}, p90 x{p90:.3f}', flush=True)


def main():
    radio = Radio()
    pooled = {name: ([], []) for name in PROGRAMS}
    per_round = []
    service = None
    for round_number in range(1, ROUNDS + 1):
        trace(f'round {round_number} of {ROUNDS}')
        this_round = {name: ([], []) for name in PROGRAMS}
        for name in ('agent', 'yardstick', 'yardstick', 'agent'):
            samples, turnarounds, service = block(radio, name, service)
            for kept in (pooled[name], this_round[name]):
                kept[0].extend(samples)
                kept[1].extend(turnarounds)
        agent, yardstick = this_round['agent'], this_round['yardstick']
        per_round.append(tuple(statistics.median(agent[i]) / statistics.median(yardstick[i])
                               for i in (0, 1)))
    print(f'{ROUNDS} rounds of agent, yardstick, yardstick, agent; {REQUESTS} requests a '
          f'block after {WARM_UP} of warm-up', flush=True)
    ratios('end to end (quorla-remote write to notification)', *(pooled[n][0] for n in PROGRAMS))
    ratios('in the peripheral (capture: Write Command in to notification out)',
           *(pooled[n][1] for n in PROGRAMS))
    # The load on the host changes from round to round; within a round both are measured
    # under the same, so these ratios show the spread.
    for index, what in enumerate(('end to end', 'in the peripheral')):
        each = [r[index] for r in per_round]
        print(f'ratio of medians in each round, {what}: ' +
              ', '.join(f'x{r:.3f}' for r in each) +
              f' (geometric mean x{statistics.geometric_mean(each):.3f})', flush=True)
    radio.close()


if __name__ == '__main__':
    try:
        main()
    except Failure as failure:
        print(f'bench failed: {failure} (logs in {OUT})', flush=True)
