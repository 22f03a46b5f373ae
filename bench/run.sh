#!/usr/bin/env bash
# Figures, not pass/fail, and never run by CI: request-to-notification latency over the
# emulated radio, the agent against the yardstick (bench/minimal_peripheral.cpp, the floor
# of this stack) interleaved in one guest boot (bench/lab_bench.py). Builds quorla,
# quorla-remote and the yardstick in build/bench (optimised) first. The figures over the
# emulated radio are noisy: compare the ratios of one run, not medians across runs. For
# instructions and system calls per request, natively, see bench/native.sh.
#
#   bench/run.sh [ROUNDS]      (2 by default; a round is 4 blocks of 60 requests)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
rounds=${1:-2}
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "usage: bench/run.sh [ROUNDS]" >&2; exit 2; }

source scripts/install-packages.sh
install_missing_packages cmake ninja-build g++ pkg-config libssl-dev libsystemd-dev \
  nlohmann-json3-dev libcli11-dev
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  "${launcher[@]}" >/dev/null
cmake --build build/bench --target quorla quorla-remote minimal-peripheral
source lab/prepare.sh
lab_prepare
work=$lab_dir/bench
lab_config "$work" "$repo/bench/lab_bench.py" build/bench/src/platform/linux/quorla
echo "rounds=$rounds" >>"$work/config"
# About 4 minutes a round under TCG on a loaded machine, the boot aside.
lab/host.py --timeout $((600 + 600 * rounds)) "$lab_dir" "$work"
