#!/usr/bin/env bash
# Builds the quorla agent and runs it, passing on every argument (see `quorla --help`).
# Installs the Debian packages it needs first, when any is missing: the build's, and BlueZ
# for the Bluetooth stack the agent talks to. The build goes to build/run, without tests.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/install-packages.sh
install_missing_packages cmake ninja-build g++ pkg-config libssl-dev libsystemd-dev nlohmann-json3-dev bluez

# Progress of the build goes to stderr, so standard output carries only the agent's own.
cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >&2
cmake --build build/run --target quorla >&2
exec build/run/src/platform/linux/quorla "$@"
