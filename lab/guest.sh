#!/bin/sh
# Runs in the guest as its init, from the shared work folder: the program named in the
# config talks to the host through the second serial port (the first carries the kernel's
# console), and the guest powers off when it ends.
export PATH=/usr/local/sbin:/usr/sbin:/sbin:/usr/local/bin:/usr/bin:/bin HOME=/root LANG=C.UTF-8
export XDG_CONFIG_HOME=/run/settings
program=$(sed -n 's/^program=//p' /run/work/config)
export PYTHONPATH=$(sed -n 's/^pythonpath=//p' /run/work/config)
stty -F /dev/ttyS1 raw -echo
/usr/bin/python3 -u "$program" </dev/ttyS1 >/dev/ttyS1 2>&1
sync
echo o >/proc/sysrq-trigger
