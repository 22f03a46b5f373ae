#!/bin/sh
# Runs in the guest as its init, from the shared work folder; powers the guest off at the end.
export PATH=/usr/local/sbin:/usr/sbin:/sbin:/usr/local/bin:/usr/bin:/bin HOME=/root LANG=C.UTF-8
/usr/bin/python3 /run/work/scenarios.py
sync
echo b >/proc/sysrq-trigger
