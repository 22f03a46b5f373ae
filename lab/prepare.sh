# Sourced by the scripts that use the virtual Bluetooth lab (scripts/run.sh, tests/lab/run.sh).
# The lab is a Debian kernel under qemu with two emulated LE controllers and a real
# bluetoothd, all taken from the host's own packages: the guest's root is the host's root,
# read-only, so the binaries under test run there unchanged. lab_prepare installs what is
# missing and builds the shared parts in build/lab; lab/host.py then boots a guest.
# Needs $repo (the checkout) and scripts/install-packages.sh sourced.

lab_packages=(qemu-system-x86 linux-image-amd64 bluez bluez-source busybox-static dbus cpio kmod
  python3)

lab_prepare() {
  install_missing_packages "${lab_packages[@]}"
  lab_dir=$repo/build/lab
  mkdir -p "$lab_dir"

  # btvirt and btgatt-client ship in no binary package; bluez-source carries BlueZ's build
  # tree with both built. Unpacking takes ~20 s, so keep them per package version.
  lab_tools=$lab_dir/tools/$(dpkg-query -W -f='${Version}' bluez-source)
  if [ ! -x "$lab_tools/btgatt-client" ] || [ ! -x "$lab_tools/btvirt" ]; then
    echo "lab: unpacking btvirt and btgatt-client from /usr/src/bluez.tar.bz2" >&2
    rm -rf "$lab_dir/tools"
    mkdir -p "$lab_tools"
    tar -xjf /usr/src/bluez.tar.bz2 -C "$lab_tools" --strip-components=2 \
      bluez-source/emulator/btvirt bluez-source/tools/btgatt-client
  fi

  # The newest kernel whose modules are installed: the guest loads them from the host's root.
  lab_kernel=""
  local k
  for k in $(ls /lib/modules | sort -V); do
    [ -r "/boot/vmlinuz-$k" ] && lab_kernel=$k
  done
  [ -n "$lab_kernel" ] || { echo "lab: no kernel image with modules in /boot" >&2; return 2; }
  echo "/boot/vmlinuz-$lab_kernel" >"$lab_dir/kernel"

  # The initramfs: busybox, the modules that reach the host's root over 9p, and init.
  local initramfs=$lab_dir/initramfs m
  rm -rf "$initramfs"
  mkdir -p "$initramfs"/{bin,proc,sys,dev,newroot,modules.d}
  cp /bin/busybox "$initramfs/bin/busybox"
  cp "$repo/lab/init" "$initramfs/init"
  for m in $(for name in virtio_pci 9pnet_virtio 9p; do modprobe -S "$lab_kernel" --show-depends "$name"; done |
    awk '$1 == "insmod" && !seen[$2]++ { print $2 }'); do
    cp "$m" "$initramfs/modules.d/"
    basename "$m" >>"$initramfs/modules"
  done
  (cd "$initramfs" && find . | cpio -o -H newc --quiet) >"$lab_dir/initramfs.cpio"
}

# lab_config FOLDER PROGRAM AGENT: the guest's work folder and what the guest reads from it.
# The checkout is shared with the guest as /run/repo, wherever it lies here (under /tmp, say,
# which the guest covers with a tmpfs of its own).
lab_config() {
  local folder=$1
  rm -rf "$folder/out"
  mkdir -p "$folder/out"
  cp "$repo/lab/guest.sh" "$folder/"
  cat >"$folder/config" <<CONFIG
program=/run/repo/$(realpath --relative-to="$repo" "$2")
agent=/run/repo/$(realpath --relative-to="$repo" "$3")
tools=/run/repo/$(realpath --relative-to="$repo" "$lab_tools")
pythonpath=/run/repo/lab
CONFIG
}
