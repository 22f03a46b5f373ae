#!/usr/bin/env bash
# Builds the quorla agent and runs it, passing on every argument (see `quorla --help`).
# Where this machine has a Bluetooth adapter under bluetoothd, the agent runs there. Where it
# has none (no system bus, no bluetoothd, or no adapter), or with --virtual, it runs in the
# virtual Bluetooth lab instead (lab/): a guest under qemu with two emulated controllers, the
# agent on one and a virtual phone, quorla-remote, on the other, both in this terminal.
# Installs the Debian packages it needs first, when any is missing; the lab's only when the
# lab is used. Builds go to build/run, without tests. Each phase shows one line of progress;
# its whole output stays in a log under build/ and is shown only when the phase fails.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=build/run
agent=$build/src/platform/linux/quorla

virtual=""
arguments=()
for argument in "$@"; do
  if [ "$argument" = --virtual ]; then virtual=yes; else arguments+=("$argument"); fi
done

source scripts/install-packages.sh
apt_log=$build/apt.log
install_missing_packages cmake ninja-build g++ pkg-config libssl-dev libsystemd-dev nlohmann-json3-dev \
  libcli11-dev bluez

# build_agent TARGET...: the build's progress goes to its log, so standard output carries
# only the agent's own.
build_agent() {
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
  cmake --build "$build" --target "$@"
}

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

echo "building quorla…" >&2
if [ "$virtual" != yes ]; then
  quietly "$build/build.log" build_agent quorla
  exec "$agent" "${arguments[@]}"
fi

quietly "$build/build.log" build_agent quorla quorla-remote
# The lab's agent reads and writes the same settings file as one run here would.
settings=${XDG_CONFIG_HOME:-$HOME/.config}/quorla
mkdir -p "$settings"
source lab/prepare.sh
lab_prepare
work=$lab_dir/console
lab_config "$work" "$repo/lab/console.py" "$agent"
for argument in "${arguments[@]}"; do
  printf 'argument=%s\n' "$argument" >>"$work/config"
done
exec lab/host.py --interactive --settings "$settings" "$lab_dir" "$work"
