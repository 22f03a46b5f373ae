#!/usr/bin/env bash
# Figures, not pass/fail, and never run by CI: request-to-notification latency over the
# emulated radio, the agent against the smallest possible peripheral in the same guest boot
# (bench/lab_bench.py). Builds quorla and quorla-remote in build/bench (release) first.
#
#   bench/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

source scripts/install-packages.sh
# The yardstick peripheral is Python over dbus-python and GLib.
install_missing_packages cmake ninja-build g++ pkg-config libssl-dev libsystemd-dev nlohmann-json3-dev \
  libcli11-dev python3-dbus python3-gi
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build/bench --target quorla quorla-remote
source lab/prepare.sh
lab_prepare
work=$lab_dir/bench
lab_config "$work" "$repo/bench/lab_bench.py" build/bench/src/platform/linux/quorla
lab/host.py --timeout 900 "$lab_dir" "$work"
