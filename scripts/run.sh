#!/usr/bin/env bash
# Builds the quorla agent and runs it, passing on every argument (see `quorla --help`).
# Where this machine has a Bluetooth adapter under bluetoothd, the agent runs there. Where it
# has none (no system bus, no bluetoothd, or no adapter), or with --virtual, it runs in the
# virtual Bluetooth lab instead (lab/): a guest under qemu with two emulated controllers, the
# agent on one and a virtual phone, quorla-remote, on the other, both in this terminal.
# Installs the Debian packages it needs first, when any is missing; the lab's only when the
# lab is used. Builds go to build/run, without tests.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

virtual=""
arguments=()
for argument in "$@"; do
  if [ "$argument" = --virtual ]; then virtual=yes; else arguments+=("$argument"); fi
done

source scripts/install-packages.sh
install_missing_packages cmake ninja-build g++ pkg-config libssl-dev libsystemd-dev nlohmann-json3-dev \
  libcli11-dev bluez

# Progress of the build goes to stderr, so standard output carries only the agent's own.
cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >&2
agent=build/run/src/platform/linux/quorla

# Why this machine cannot run the agent on real Bluetooth, or nothing when it can.
missing_bluetooth() {
  local bus=${DBUS_SYSTEM_BUS_ADDRESS:-unix:path=/run/dbus/system_bus_socket}
  if [[ $bus == unix:path=* ]] && [ ! -S "${bus#unix:path=}" ]; then
    echo "no D-Bus system bus (${bus#unix:path=})"
    return
  fi
  local listing
  listing=$(timeout 5 bluetoothctl list 2>&1 </dev/null || true)
  if ! grep -q '^Controller ' <<<"$listing"; then
    if grep -q 'Waiting to connect' <<<"$listing" || [ -z "$listing" ]; then
      echo "bluetoothd is not running"
    else
      echo "no Bluetooth adapter"
    fi
  fi
}

for argument in "${arguments[@]}"; do
  case $argument in -h | --help) virtual=no ;; esac
done
if [ -z "$virtual" ]; then
  reason=$(missing_bluetooth)
  if [ -z "$reason" ]; then
    virtual=no
  else
    echo "run.sh: $reason here; running the agent in the virtual Bluetooth lab instead" >&2
    virtual=yes
  fi
fi

if [ "$virtual" != yes ]; then
  cmake --build build/run --target quorla >&2
  exec "$agent" "${arguments[@]}"
fi

cmake --build build/run --target quorla quorla-remote >&2
# The lab's agent reads and writes the same settings file as one run here would.
settings=${XDG_CONFIG_HOME:-$HOME/.config}/quorla
mkdir -p "$settings"
source lab/prepare.sh
lab_prepare >&2
work=$lab_dir/console
lab_config "$work" "$repo/lab/console.py" "$agent"
for argument in "${arguments[@]}"; do
  printf 'argument=%s\n' "$argument" >>"$work/config"
done
exec lab/host.py --interactive --settings "$settings" "$lab_dir" "$work"
