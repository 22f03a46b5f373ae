#!/usr/bin/env bash
# Real Bluetooth end to end: boots a Debian kernel under qemu with two emulated LE
# controllers, runs the `quorla` binary as the peripheral on hci0 under a real bluetoothd,
# and drives BlueZ's own client tools as the central on hci1 (tests/ble/scenarios.py).
#
#   tests/ble/run.sh [PATH_TO_QUORLA]      (default: build/default/src/platform/linux/quorla)
#
# Prints one line per scenario and "N passed, N failed"; exits non-zero on any failure.
# The logs of the last run (btmon capture, bluetoothd log, each agent's stderr, the guest
# console) stay in build/ble/out/. Installs the Debian packages it needs when any is missing.
# QUORLA_BLE_ONLY=idle_agent|meeting_agent|restart_agent runs one group of scenarios;
# QUORLA_BLE_TIMEOUT (seconds, default 600) bounds the whole guest run.
set -euo pipefail
cd "$(dirname "$0")/../.."
repo=$PWD

quorla=${1:-build/default/src/platform/linux/quorla}
[ -x "$quorla" ] || { echo "tests/ble: no quorla binary at $quorla (build first)" >&2; exit 2; }
quorla=$(realpath "$quorla")

source scripts/install-packages.sh
install_missing_packages qemu-system-x86 linux-image-amd64 bluez bluez-source busybox-static dbus \
  cpio kmod python3

work=$repo/build/ble
mkdir -p "$work"

# btvirt and btgatt-client ship in no binary package; bluez-source carries BlueZ's build
# tree with both built. Unpacking takes ~20 s, so keep them per package version.
tools=$work/tools/$(dpkg-query -W -f='${Version}' bluez-source)
if [ ! -x "$tools/btgatt-client" ] || [ ! -x "$tools/btvirt" ]; then
  echo "tests/ble: unpacking btvirt and btgatt-client from /usr/src/bluez.tar.bz2"
  rm -rf "$work/tools"
  mkdir -p "$tools"
  tar -xjf /usr/src/bluez.tar.bz2 -C "$tools" --strip-components=2 \
    bluez-source/emulator/btvirt bluez-source/tools/btgatt-client
fi

# The newest kernel whose modules are installed: the guest loads them from the host's root.
kernel=""
for k in $(ls /lib/modules | sort -V); do
  [ -r "/boot/vmlinuz-$k" ] && kernel=$k
done
[ -n "$kernel" ] || { echo "tests/ble: no kernel image with modules in /boot" >&2; exit 2; }

# The initramfs: busybox, the modules that reach the host's root over 9p, and init.
initramfs=$work/initramfs
rm -rf "$initramfs"
mkdir -p "$initramfs"/{bin,proc,sys,dev,newroot,modules.d}
cp /bin/busybox "$initramfs/bin/busybox"
cp tests/ble/init "$initramfs/init"
for m in $(for name in virtio_pci 9pnet_virtio 9p; do modprobe -S "$kernel" --show-depends "$name"; done |
  awk '$1 == "insmod" && !seen[$2]++ { print $2 }'); do
  cp "$m" "$initramfs/modules.d/"
  basename "$m" >>"$initramfs/modules"
done
(cd "$initramfs" && find . | cpio -o -H newc --quiet) >"$work/initramfs.cpio"

out=$work/out
rm -rf "$out"
mkdir -p "$out"
cp tests/ble/guest.sh tests/ble/scenarios.py "$work/"
cat >"$work/config" <<EOF
agent=/run/agent/$(basename "$quorla")
tools=/run/work/tools/$(basename "$tools")
only=${QUORLA_BLE_ONLY:-}
EOF

# The guest prints its progress ("[seconds] ...") and each scenario's result as it ends;
# the kernel's own lines and everything else stay in console.log.
started=$(date +%s)
set +e
timeout --kill-after=10 "${QUORLA_BLE_TIMEOUT:-600}" \
  qemu-system-x86_64 -accel tcg -cpu max -m 1024 -smp 2 \
  -nodefaults -display none -serial stdio -no-reboot \
  -kernel "/boot/vmlinuz-$kernel" -initrd "$work/initramfs.cpio" \
  -append "console=ttyS0 panic=-1 quiet" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$work,mount_tag=work,security_model=none,multidevs=remap" \
  -virtfs "local,path=$(dirname "$quorla"),mount_tag=agent,security_model=none,readonly=on,multidevs=remap" \
  </dev/null 2>&1 | tee "$out/console.log" | grep --line-buffered -E '^(PASS|FAIL)  |^\[ *[0-9]+\.[0-9]{2}\] '
status=${PIPESTATUS[0]}
set -e
echo "tests/ble: guest ran $(($(date +%s) - started)) s (qemu exit status $status)"

passed=0
failed=0
if [ -f "$out/results" ]; then
  passed=$(grep -c '^PASS' "$out/results" || true)
  failed=$(grep -c '^FAIL' "$out/results" || true)
fi
if [ ! -f "$out/done" ]; then
  echo "FAIL  the guest stopped before the end of its run (see $out/console.log)"
  failed=$((failed + 1))
fi
echo "$passed passed, $failed failed"
if ((failed)); then
  echo "tests/ble: logs kept in $out (btmon.snoop: btmon -r; bluetoothd.log; agent-*.log)"
  exit 1
fi
