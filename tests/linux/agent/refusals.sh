#!/bin/sh
# What each program does before it has anything to run with, checked on the program itself:
#   refusals.sh PROGRAM NAME
# - a command line it cannot run with: status 2, the hint to --help as its last line, and
#   the stored settings untouched;
# - no system bus (a container): one line naming the bus, status 1, nothing written.
program=$1 name=$2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir "$home/quorla"
stored='{"quorla.iCloudUserID": "kept"}'
echo "$stored" >"$home/quorla/settings.json"

out=$(XDG_CONFIG_HOME=$home "$program" --record-name abc --bogus 2>&1 </dev/null)
status=$?
[ $status -eq 2 ] && [ "$(echo "$out" | tail -n 1)" = "Try '$name --help' for the options." ] &&
  [ "$(cat "$home/quorla/settings.json")" = "$stored" ] ||
  { echo "bad command line: status $status: $out"; exit 1; }

rm -r "$home/quorla"
out=$(XDG_CONFIG_HOME=$home DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent "$program" \
  --record-name abc 2>&1 </dev/null)
status=$?
expected="$name: no D-Bus system bus (/nonexistent: No such file or directory); Bluetooth needs bluetoothd on the system bus"
[ $status -eq 1 ] && [ "$out" = "$expected" ] && [ -z "$(ls -A "$home")" ] ||
  { echo "no system bus: status $status: $out"; exit 1; }
