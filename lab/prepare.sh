# Sourced by the scripts that use the virtual Bluetooth lab (scripts/run.sh, tests/lab/run.sh).
# The lab is a Debian kernel under qemu with two emulated LE controllers and a real
# bluetoothd, all taken from the host's own packages: the guest's root is the host's root,
# read-only, so the binaries under test run there unchanged. lab_prepare installs what is
# missing and builds the shared parts in build/lab, its log in build/lab/prepare.log;
# lab/host.py then boots a guest.
# Needs $repo (the checkout) and scripts/install-packages.sh sourced.

lab_packages=(qemu-system-x86 linux-image-amd64 bluez bluez-source busybox-static dbus cpio kmod
  python3)

lab_prepare() {
  lab_dir=$repo/build/lab
  apt_log=$lab_dir/apt.log install_missing_packages "${lab_packages[@]}"
  lab_tools=$lab_dir/tools/$(dpkg-query -W -f='${Version}' bluez-source)
  [ -x "$lab_tools/btvirt" ] ||
    echo "preparing the lab (first time only)…" >&2
  quietly "$lab_dir/prepare.log" lab_build
}

lab_build() {
  # btvirt ships in no binary package; bluez-source carries BlueZ's build tree with it
  # built. Unpacking takes ~20 s, so keep it per package version.
  if [ ! -x "$lab_tools/btvirt" ]; then
    rm -rf "$lab_dir/tools"
    mkdir -p "$lab_tools"
    tar -xjf /usr/src/bluez.tar.bz2 -C "$lab_tools" --strip-components=2 \
      bluez-source/emulator/btvirt
  fi

  # The newest kernel whose modules are installed: the guest loads them from the host's root.
  local kernel="" k
  for k in $(ls /lib/modules | sort -V); do
    [ -r "/boot/vmlinuz-$k" ] && kernel=$k
  done
  [ -n "$kernel" ] || { echo "lab: no kernel image with modules in /boot"; return 2; }
  echo "/boot/vmlinuz-$kernel" >"$lab_dir/kernel"

  # The initramfs: busybox, the modules that reach the host's root over 9p, and init.
  local initramfs=$lab_dir/initramfs m
  rm -rf "$initramfs"
  mkdir -p "$initramfs"/{bin,proc,sys,dev,newroot,modules.d}
  cp /bin/busybox "$initramfs/bin/busybox"
  cp "$repo/lab/init" "$initramfs/init"
  for m in $(for name in virtio_pci 9pnet_virtio 9p; do modprobe -S "$kernel" --show-depends "$name"; done |
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
